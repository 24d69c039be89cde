// Small text helpers shared by the stand-alone store's parts.
#include "outlook/standalone_store_internal.h"

namespace standalone {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// The length of the UTF-8 sequence led by `lead`, and the smallest code point
// it may encode (to refuse over-long forms); 0 for a byte that cannot lead.
struct Utf8Lead {
  int length;
  char32_t minimum;
};
Utf8Lead DescribeLead(unsigned char lead) {
  if (lead < 0x80) return {1, 0};
  if ((lead & 0xE0) == 0xC0) return {2, 0x80};
  if ((lead & 0xF0) == 0xE0) return {3, 0x800};
  if ((lead & 0xF8) == 0xF0) return {4, 0x10000};
  return {0, 0};
}

void AppendCodePoint(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::u16string TextFromUtf8(std::string_view bytes) {
  std::u16string text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const Utf8Lead form = DescribeLead(lead);
    char32_t c = form.length == 1 ? lead : lead & (0x7F >> form.length);
    int taken = 1;
    for (; form.length > 1 && taken < form.length && i + taken < bytes.size(); ++taken) {
      const auto next = static_cast<unsigned char>(bytes[i + taken]);
      if ((next & 0xC0) != 0x80) break;
      c = (c << 6) | (next & 0x3F);
    }
    const bool valid = form.length > 0 && taken == form.length && c >= form.minimum && c <= 0x10FFFF &&
                       (c < 0xD800 || c > 0xDFFF);
    AppendCodePoint(valid ? c : 0xFFFD, text);
    i += valid ? taken : 1;
  }
  return text;
}

std::u16string HexText(std::string_view bytes) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    text.push_back(kDigits[value >> 4]);
    text.push_back(kDigits[value & 0xF]);
  }
  return text;
}

}  // namespace standalone
