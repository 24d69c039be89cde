// Byte-level text handling for vCard files: the file's own encoding,
// charsets of single values, quoted-printable and line breaks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "csv/unicode_text.h"

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
// are valid UTF-8, else code page 932", used when no CHARSET is given or the
// named one is not known.
enum class Charset { kAuto, kUtf8, kCp932, kLatin1, kAscii };

Charset CharsetFromName(std::string_view name);

// Appends the text of `bytes` in `charset`; bytes that do not form a
// character become U+FFFD.
void AppendDecoded(std::string_view bytes, Charset charset, std::u16string& out);

// Decodes =XX escapes. Soft line breaks are already joined by the line
// reader, and a final '=' (a soft break with nothing after it) is dropped;
// any other '=' not followed by two hex digits is kept as it is.
void DecodeQuotedPrintable(std::string_view in, std::string& out);

// Every CR LF, lone CR and lone LF in `text` becomes CR LF.
void NormaliseLineBreaks(std::u16string& text);

}  // namespace vcard
