// UTF-8 and UTF-16 conversions and byte-order marks, shared
// by everything that turns bytes from outside (paths, vCard files, file
// names) into the program's UTF-16 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Byte-order marks. A UTF-8 mark may start a file and, in files joined
// with cat, a line; a UTF-16 mark says the file's byte order.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr char16_t kByteOrderMark = u'\uFEFF';  // the mark as a UTF-16 unit
enum class Utf16Mark { kNone, kLittleEndian, kBigEndian };

inline bool StartsWithUtf8Mark(std::string_view bytes) { return bytes.starts_with(kUtf8Mark); }
inline Utf16Mark Utf16MarkOf(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) return Utf16Mark::kLittleEndian;
  if (bytes.starts_with("\xFE\xFF")) return Utf16Mark::kBigEndian;
  return Utf16Mark::kNone;
}
inline bool StartsWithUtf16Mark(std::string_view bytes) { return Utf16MarkOf(bytes) != Utf16Mark::kNone; }

// The length of the valid UTF-8 sequence at `i` of `bytes`, with its code
// point in `cp`; 0 when no valid sequence starts there (over-long forms,
// surrogates and values past U+10FFFF are not valid).
std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t i, char32_t& cp);
bool IsValidUtf8(std::string_view bytes);

// What a byte that starts no valid UTF-8 sequence becomes.
enum class InvalidUtf8 {
  kReplace,   // U+FFFD
  kKeepByte,  // the lone surrogate U+DC80..U+DCFF carrying the byte
};
void AppendUtf8AsUtf16(std::string_view bytes, std::u16string& out, InvalidUtf8 invalid);
std::u16string Utf16FromUtf8(std::string_view bytes);  // with kReplace

void AppendUtf16CodePoint(char32_t cp, std::u16string& out);
void AppendUtf8CodePoint(char32_t cp, std::string& out);
// The code point at `i` of `text`, with `i` moved past it: a surrogate pair
// is one code point, a lone surrogate U+FFFD.
char32_t NextUtf16CodePoint(std::u16string_view text, std::size_t& i);
// `text` as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// `text` with every line break in one form, CR LF: a lone CR or LF (as
// other writers than Outlook store them) becomes CR LF too, so that the
// record writer turns each line break into exactly one space.
std::u16string WithCrLfLineBreaks(std::u16string text);

}  // namespace text
