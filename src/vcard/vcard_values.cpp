#include "vcard/vcard_values.h"

#include <algorithm>

#include "vcard/vcard_scan.h"
#include "vcard/vcard_text.h"

namespace vcard {
namespace {

// Which escapes a text holds, by version and kind of value.
enum class Escapes {
  kModern,        // 3.0 and 4.0
  kV21Structured,  // 2.1 components: \; \\ \:
  kV21Single,      // 2.1 single values: \; only
};

// 3.0 and 4.0 escape only \n \N \, \; \\, but Apple and Google also write
// \: and \" ; any ASCII punctuation after a backslash is taken as escaped.
// Before a letter or digit the backslash stays (an unescaped Windows path).
// 2.1 writers (Evolution, Android) escape the semicolon in every value, a
// backslash and a colon only between components.
bool IsEscapable(char16_t c, Escapes escapes) {
  if (escapes == Escapes::kV21Single) return c == u';';
  if (escapes == Escapes::kV21Structured) return c == u';' || c == u'\\' || c == u':';
  if (c == u'n' || c == u'N') return true;
  return c > 0x20 && c < 0x7F && !(c >= u'0' && c <= u'9') && !(c >= u'A' && c <= u'Z') && !(c >= u'a' && c <= u'z');
}

// Text between backslashes is copied in runs, not a unit at a time.
void AppendUnescaped(std::u16string_view text, Escapes escapes, std::u16string& out) {
  out.reserve(out.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t slash =
        static_cast<std::size_t>(FindEitherUnit(text.data() + i, text.data() + text.size(), u'\\', u'\\') - text.data());
    out.append(text.substr(i, slash - i));
    i = slash;
    if (i == text.size()) break;
    if (i + 1 == text.size() || !IsEscapable(text[i + 1], escapes)) {
      out.push_back(u'\\');
      ++i;
      continue;
    }
    const char16_t next = text[i + 1];
    if (next == u'n' || next == u'N') {
      out += u"\r\n";
    } else {
      out.push_back(next);
    }
    i += 2;
  }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads `count` digits at `pos`; -1 when they are not all digits.
int Digits(std::u16string_view s, std::size_t pos, std::size_t count) {
  if (pos + count > s.size()) return -1;
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(s[i])) return -1;
    value = value * 10 + (s[i] - u'0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return (month == 2 && leap) ? 29 : kDays[month - 1];
}

std::u16string_view TrimSpaces(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::u16string UnescapeText(std::u16string_view text, bool v21) {
  // Most values hold no backslash: they are their own text.
  const char16_t* const end = text.data() + text.size();
  if (FindEitherUnit(text.data(), end, u'\\', u'\\') == end) return std::u16string(text);
  std::u16string out;
  AppendUnescaped(text, v21 ? Escapes::kV21Single : Escapes::kModern, out);
  return out;
}

void Components(std::u16string_view text, bool v21, std::span<std::u16string> out) {
  for (std::u16string& part : out) part.clear();
  const char16_t* const data = text.data();
  std::size_t begin = 0;
  std::size_t found = 0;
  std::size_t i = 0;
  bool escaped = false;  // the part holds a backslash
  while (found < out.size()) {
    i = static_cast<std::size_t>(FindEitherUnit(data + i, data + text.size(), u';', u'\\') - data);
    if (i < text.size() && text[i] == u'\\') {
      escaped = true;
      i += i + 1 < text.size() ? 2 : 1;  // the escaped character never splits
      continue;
    }
    // A part without a backslash is its own text.
    if (escaped) {
      AppendUnescaped(text.substr(begin, i - begin), v21 ? Escapes::kV21Structured : Escapes::kModern, out[found++]);
    } else {
      out[found++].assign(data + begin, i - begin);
    }
    if (i == text.size()) break;
    begin = ++i;
    escaped = false;
  }
}

std::u16string SortAsPart(std::u16string_view text, std::size_t index) {
  const char16_t separator = text.find(u';') != std::u16string_view::npos ? u';' : u',';
  std::size_t begin = 0;
  for (std::size_t part = 0; begin <= text.size(); ++part) {
    std::size_t end = text.find(separator, begin);
    if (end == std::u16string_view::npos) end = text.size();
    if (part == index) return std::u16string(TrimSpaces(text.substr(begin, end - begin)));
    begin = end + 1;
  }
  return {};
}

std::optional<om::Date> ParseDate(std::u16string_view text, bool omit_year) {
  text = TrimSpaces(text);
  const int year = Digits(text, 0, 4);
  if (year < 0) return std::nullopt;  // also "--mmdd": no year
  const bool extended = text.size() > 4 && text[4] == u'-';
  const std::size_t month_at = extended ? 5 : 4;
  const std::size_t day_at = extended ? 8 : 6;
  if (extended && (text.size() < 8 || text[7] != u'-')) return std::nullopt;
  const int month = Digits(text, month_at, 2);
  const int day = Digits(text, day_at, 2);
  const std::size_t end = day_at + 2;
  if (month < 1 || month > 12 || day < 1 || year < 1) return std::nullopt;
  if (day > DaysInMonth(year, month)) return std::nullopt;
  if (end < text.size() && text[end] != u'T' && text[end] != u't' && text[end] != u' ') return std::nullopt;
  if (omit_year && year == 1604) return std::nullopt;
  return om::Date{year, month, day};
}

}  // namespace vcard
