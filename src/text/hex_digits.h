// Hexadecimal digits both ways: the upper-case digits of bytes, as store
// identifiers and escapes are written, and the value of a digit of either
// case, as escapes are read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The value of the hexadecimal digit `c` (0-9, a-f, A-F); -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte that the two digits at `at` of `text` stand for (as in "%3D" and
// "=3D" escapes); -1 unless two digits stand there.
constexpr int HexByteAt(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return -1;
  const int high = HexDigitValue(text[at]);
  const int low = HexDigitValue(text[at + 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Appends the two upper-case digits of `byte` to `out`, a std::string or a
// std::u16string.
template <class String>
void AppendHexByte(unsigned char byte, String& out) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  out.push_back(static_cast<typename String::value_type>(kDigits[byte >> 4]));
  out.push_back(static_cast<typename String::value_type>(kDigits[byte & 0xF]));
}

// Two upper-case digits for each byte of `bytes`.
inline std::u16string HexText(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) AppendHexByte(static_cast<unsigned char>(byte), text);
  return text;
}

}  // namespace text
