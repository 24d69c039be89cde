// Byte-level text handling for vCard files: the file's own encoding,
// charsets of single values, quoted-printable and line breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/unicode_text.h"

namespace vcard {

using text::EqualsNoCase;
using text::IsValidUtf8;

// How the bytes of a whole file are to be read.
enum class FileEncoding { kBytes, kUtf16Le, kUtf16Be };

// The file's encoding from its byte-order mark; `bom_length` receives the
// size of the mark (0 when there is none). A UTF-8 mark gives kBytes.
FileEncoding DetectFileEncoding(std::string_view file, std::size_t& bom_length);

// UTF-16 bytes (without mark) converted to UTF-8. Unpaired surrogates and a
// trailing odd byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);

// The character set a value's bytes are in. kAuto is "UTF-8 when the bytes
// are valid UTF-8, else the fallback (code page 932 unless the card names
// another)", used when no CHARSET is given or the named one is not known.
// UTF-8, code page 932, ISO-8859-1 and ASCII are decoded here; from
// kPlatform up, each value is one charset that the platform's converter
// reads (vcard_charset.h): kPlatform + n is the n-th such name the reader met.
enum class Charset : std::uint8_t { kAuto, kUtf8, kCp932, kLatin1, kAscii, kPlatform };

// The charset a CHARSET parameter names (letters in any case); kAuto for a
// name neither this reader nor the platform's converter knows.
Charset CharsetFromName(std::string_view name);

// Whether undeclared bytes of a card that names `charset` somewhere are
// better read in it than in code page 932: any charset but UTF-8 and ASCII.
inline bool IsEightBitCharset(Charset charset) {
  return charset != Charset::kAuto && charset != Charset::kUtf8 && charset != Charset::kAscii;
}

// Appends the text of `bytes` in `charset`; bytes that do not form a
// character become U+FFFD. kAuto reads bytes that are not valid UTF-8 in
// `fallback`; the result says whether it did (false for every other charset).
bool AppendDecoded(std::string_view bytes, Charset charset, std::u16string& out,
                   Charset fallback = Charset::kCp932);

// Decodes =XX escapes. Soft line breaks are already joined by the line
// reader, and a final '=' (a soft break with nothing after it) is dropped;
// any other '=' not followed by two hex digits is kept as it is.
void DecodeQuotedPrintable(std::string_view in, std::string& out);

// Every CR LF, lone CR and lone LF in `text` becomes CR LF.
void NormaliseLineBreaks(std::u16string& text);

// ---- Searching bytes in bulk (16 at a time where the processor allows) ----

// The first CR or LF in [p, end); end when there is none.
const char* FindLineBreak(const char* p, const char* end);

inline bool HasLineBreak(std::string_view bytes) {
  return FindLineBreak(bytes.data(), bytes.data() + bytes.size()) != bytes.data() + bytes.size();
}

// The first CR or LF at some i in [p, end - 1) after which comes neither a
// space nor a tab, nor (for a CR) an LF: where a run of folded lines may
// end. end when there is none.
const char* FindUnfoldingBreak(const char* p, const char* end);

// Whether `bytes` hold a Q or a B, in either case.
bool HasQOrB(std::string_view bytes);

// The first ';', ':', '"' or '.' in [p, end): the bytes that shape a
// content line's name and parameters. Bytes up to `readable` (at or after
// end) may be read in blocks.
const char* FindHeaderMark(const char* p, const char* end, const char* readable);

// The first unit in [p, end) that is `a` or `b`; end when there is none.
const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b);

// The first byte in [p, end) that is neither a base64 character
// (A-Z a-z 0-9 + / =), a space, a tab, CR nor LF; end when there is none.
const char* FindNonBase64(const char* p, const char* end);

// The first x in [p, end) whose byte before is CR or LF and whose own byte
// is A, B or E in either case: where a BEGIN, END or AGENT line may start,
// also behind a byte-order mark, so 0xEF (and 0xCF) stops it too.
// p[-1] must be readable.
const char* FindLineStartingWithABE(const char* p, const char* end);

}  // namespace vcard
