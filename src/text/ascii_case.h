// ASCII letters compared and converted without regard to case. Every other
// byte or unit stays as it is: no locale and no Unicode case folding, so
// that vCard names, file suffixes, folder names and message classes match
// the same way on every platform. For bytes (char) and UTF-16 units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace text {

template <class Char>
constexpr Char ToLowerAscii(Char c) {
  return (c >= Char{'A'} && c <= Char{'Z'}) ? static_cast<Char>(c + ('a' - 'A')) : c;
}
template <class Char>
constexpr Char ToUpperAscii(Char c) {
  return (c >= Char{'a'} && c <= Char{'z'}) ? static_cast<Char>(c - ('a' - 'A')) : c;
}

// Compares two texts with ASCII letters folded; other bytes must be equal.
// Inline: every property of every vCard is compared with a few names.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x == y) continue;
    if (ToLowerAscii(x) != ToLowerAscii(y)) return false;
  }
  return true;
}

namespace ascii_case {
// Whether the first n units of `a` and `b` are equal with ASCII letters
// folded. A byte is taken as the unit of its unsigned value.
template <class A, class B>
constexpr bool SameUnits(const A* a, const B* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const char32_t x = ToLowerAscii(static_cast<char32_t>(static_cast<std::make_unsigned_t<A>>(a[i])));
    const char32_t y = ToLowerAscii(static_cast<char32_t>(static_cast<std::make_unsigned_t<B>>(b[i])));
    if (x != y) return false;
  }
  return true;
}
}  // namespace ascii_case

inline bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && ascii_case::SameUnits(a.data(), b.data(), a.size());
}
// A UTF-16 text against a word in ASCII.
inline bool EqualsNoCase(std::u16string_view text, std::string_view word) {
  return text.size() == word.size() && ascii_case::SameUnits(text.data(), word.data(), word.size());
}
inline bool StartsWithNoCase(std::u16string_view text, std::string_view word) {
  return text.size() >= word.size() && ascii_case::SameUnits(text.data(), word.data(), word.size());
}
inline bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

inline std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLowerAscii(c);
  return lower;
}
inline std::u16string LowerAscii(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) c = ToLowerAscii(c);
  return lower;
}

}  // namespace text
