// Byte-level text handling for vCard files: the file's own encoding,
// charsets of single values, quoted-printable and line breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/ascii_case.h"
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

}  // namespace vcard
