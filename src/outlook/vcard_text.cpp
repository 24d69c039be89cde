#include "outlook/vcard_text.h"

#include <array>

#include "csv/codepage932.h"

namespace vcard {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

struct CharsetName {
  std::string_view name;
  Charset charset;
};

// Windows-1252 is read as ISO-8859-1: the two differ only in 0x80-0x9F,
// which is better than guessing UTF-8 or code page 932 for such bytes.
constexpr std::array<CharsetName, 17> kCharsetNames{{
    {"UTF-8", Charset::kUtf8},       {"UTF8", Charset::kUtf8},
    {"SHIFT_JIS", Charset::kCp932},  {"SHIFT-JIS", Charset::kCp932},
    {"SJIS", Charset::kCp932},       {"X-SJIS", Charset::kCp932},
    {"CP932", Charset::kCp932},      {"MS932", Charset::kCp932},
    {"WINDOWS-31J", Charset::kCp932}, {"MS_KANJI", Charset::kCp932},
    {"ISO-8859-1", Charset::kLatin1}, {"ISO_8859-1", Charset::kLatin1},
    {"ISO8859-1", Charset::kLatin1}, {"LATIN1", Charset::kLatin1},
    {"WINDOWS-1252", Charset::kLatin1}, {"US-ASCII", Charset::kAscii},
    {"ASCII", Charset::kAscii},
}};

// Length of the valid UTF-8 sequence at `i` and its code point; 0 when the
// bytes there do not start one.
std::size_t Utf8Sequence(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendCodePoint(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string_view bytes, std::u16string& out) {
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const std::size_t len = Utf8Sequence(bytes, i, cp);
    if (len == 0) {
      out.push_back(kReplacement);
      ++i;
    } else {
      AppendCodePoint(cp, out);
      i += len;
    }
  }
}

void AppendUtf8CodePoint(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = UpperAscii(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

FileEncoding DetectFileEncoding(std::string_view file, std::size_t& bom_length) {
  bom_length = 0;
  if (file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE') {
    bom_length = 2;
    return FileEncoding::kUtf16Le;
  }
  if (file.size() >= 2 && file[0] == '\xFE' && file[1] == '\xFF') {
    bom_length = 2;
    return FileEncoding::kUtf16Be;
  }
  if (file.substr(0, 3) == "\xEF\xBB\xBF") bom_length = 3;
  return FileEncoding::kBytes;
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t k) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[2 * k]);
    const auto b = static_cast<unsigned char>(bytes[2 * k + 1]);
    return big_endian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t k = 0; k < units; ++k) {
    char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = kReplacement;
    }
    AppendUtf8CodePoint(u, out);
  }
  if (bytes.size() % 2 != 0) AppendUtf8CodePoint(kReplacement, out);
  return out;
}

Charset CharsetFromName(std::string_view name) {
  for (const CharsetName& entry : kCharsetNames) {
    if (EqualsNoCase(entry.name, name)) return entry.charset;
  }
  return Charset::kAuto;
}

bool IsValidUtf8(std::string_view bytes) {
  char32_t cp = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t len = Utf8Sequence(bytes, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void AppendDecoded(std::string_view bytes, Charset charset, std::u16string& out) {
  if (IsAscii(bytes)) {
    out.append(bytes.begin(), bytes.end());
    return;
  }
  if (charset == Charset::kAuto) charset = IsValidUtf8(bytes) ? Charset::kUtf8 : Charset::kCp932;
  switch (charset) {
    case Charset::kUtf8:
      AppendUtf8(bytes, out);
      break;
    case Charset::kCp932:
      out += cp932::Decode(bytes);
      break;
    case Charset::kLatin1:
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
      break;
    case Charset::kAscii:
    case Charset::kAuto:
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : kReplacement);
      break;
  }
}

void DecodeQuotedPrintable(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '=' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
      i += 2;
    } else if (!(in[i] == '=' && i + 1 == in.size())) {  // a final '=' is a soft break
      out.push_back(in[i]);
    }
  }
}

void NormaliseLineBreaks(std::u16string& text) {
  bool any = false;
  for (char16_t c : text) any = any || c == u'\r' || c == u'\n';
  if (!any) return;
  std::u16string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      out += u"\r\n";
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  text.swap(out);
}

}  // namespace vcard
