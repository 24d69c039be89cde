#include "vcard/vcard_text.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "text/codepage932.h"
#include "text/hex_digits.h"
#include "text/unicode_text.h"
#include "vcard/vcard_charset.h"

namespace vcard {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

struct CharsetName {
  std::string_view name;
  Charset charset;
};

// The charsets decoded here, fast and the same on every platform; any
// other name is asked of the platform's converter.
constexpr std::array<CharsetName, 16> kCharsetNames{{
    {"UTF-8", Charset::kUtf8},       {"UTF8", Charset::kUtf8},
    {"SHIFT_JIS", Charset::kCp932},  {"SHIFT-JIS", Charset::kCp932},
    {"SJIS", Charset::kCp932},       {"X-SJIS", Charset::kCp932},
    {"CP932", Charset::kCp932},      {"MS932", Charset::kCp932},
    {"WINDOWS-31J", Charset::kCp932}, {"MS_KANJI", Charset::kCp932},
    {"ISO-8859-1", Charset::kLatin1}, {"ISO_8859-1", Charset::kLatin1},
    {"ISO8859-1", Charset::kLatin1}, {"LATIN1", Charset::kLatin1},
    {"US-ASCII", Charset::kAscii},
    {"ASCII", Charset::kAscii},
}};

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// True when every CR is followed by LF and every LF follows a CR, as in
// notes whose line breaks were written as escapes.
bool IsNormalised(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      if (i + 1 == text.size() || text[i + 1] != u'\n') return false;
      ++i;
    } else if (text[i] == u'\n') {
      return false;
    }
  }
  return true;
}

}  // namespace

FileEncoding DetectFileEncoding(std::string_view file, std::size_t& bom_length) {
  bom_length = 0;
  switch (text::Utf16MarkOf(file)) {
    case text::Utf16Mark::kLittleEndian:
      bom_length = 2;
      return FileEncoding::kUtf16Le;
    case text::Utf16Mark::kBigEndian:
      bom_length = 2;
      return FileEncoding::kUtf16Be;
    case text::Utf16Mark::kNone:
      break;
  }
  if (text::StartsWithUtf8Mark(file)) bom_length = text::kUtf8Mark.size();
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
    text::AppendUtf8CodePoint(u, out);
  }
  if (bytes.size() % 2 != 0) text::AppendUtf8CodePoint(kReplacement, out);
  return out;
}

Charset CharsetFromName(std::string_view name) {
  for (const CharsetName& entry : kCharsetNames) {
    if (EqualsNoCase(entry.name, name)) return entry.charset;
  }
  const std::optional<std::size_t> slot = platform_charset::Find(name);
  if (!slot) return Charset::kAuto;
  return static_cast<Charset>(static_cast<std::size_t>(Charset::kPlatform) + *slot);
}

namespace {

// Decodes UTF-8 in one pass, writing into room made for the worst case (a
// UTF-16 text never has more units than its UTF-8 has bytes). A byte that
// starts no valid sequence becomes U+FFFD, or with `strict` ends the
// decoding: `out` is then left as it was and the result is false.
bool AppendUtf8(std::string_view bytes, bool strict, std::u16string& out) {
  const std::size_t start = out.size();
  out.resize(start + bytes.size());
  char16_t* w = out.data() + start;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      // ASCII (mail addresses, numbers, dates) eight bytes at a time.
      while (bytes.size() - i >= 8) {
        std::uint64_t eight;
        std::memcpy(&eight, bytes.data() + i, 8);
        if ((eight & 0x8080808080808080u) != 0) break;
        for (std::size_t k = 0; k < 8; ++k) w[k] = static_cast<unsigned char>(bytes[i + k]);
        w += 8;
        i += 8;
      }
      if (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) {
        *w++ = static_cast<unsigned char>(bytes[i]);
        ++i;
      }
      continue;
    }
    char32_t cp = 0;
    std::size_t len = 0;
    if ((b & 0xF0) == 0xE0 && i + 2 < bytes.size()) {
      // Three bytes, as all of Japanese text takes: decoded here, with the
      // same checks (continuation bytes, over-long forms, surrogates).
      const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
      const auto b2 = static_cast<unsigned char>(bytes[i + 2]);
      cp = (char32_t{b & 0x0Fu} << 12) | (char32_t{b1 & 0x3Fu} << 6) | (b2 & 0x3Fu);
      // Without branches: the checks all but always pass.
      const bool continuations = ((b1 ^ 0x80u) | (b2 ^ 0x80u)) < 0x40u;
      const bool valid = continuations & (cp >= 0x800) & (cp - 0xD800 >= 0x800);
      len = valid ? 3 : 0;
    } else {
      len = text::Utf8SequenceAt(bytes, i, cp);
    }
    if (len == 0) {
      if (strict) {
        out.resize(start);
        return false;
      }
      *w++ = kReplacement;
      ++i;
      continue;
    }
    if (cp < 0x10000) {
      *w++ = static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      *w++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *w++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
    i += len;
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
  return true;
}

}  // namespace

bool AppendDecoded(std::string_view bytes, Charset charset, std::u16string& out, Charset fallback) {
  // kAuto: UTF-8 when every sequence is valid, else the whole value is in
  // the fallback. ASCII text is the same in every charset taken.
  bool fell_back = false;
  if (charset == Charset::kUtf8 || charset == Charset::kAuto) {
    if (AppendUtf8(bytes, charset == Charset::kAuto, out)) return false;
    charset = IsEightBitCharset(fallback) ? fallback : Charset::kCp932;
    fell_back = true;
  }
  if (IsAscii(bytes)) {
    out.append(bytes.begin(), bytes.end());
    return fell_back;
  }
  switch (charset) {
    case Charset::kCp932:
      out += cp932::Decode(bytes);
      break;
    case Charset::kLatin1:
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
      break;
    case Charset::kAscii:
    case Charset::kAuto:
    case Charset::kUtf8:
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : kReplacement);
      break;
    default:
      platform_charset::Decode(static_cast<std::size_t>(charset) - static_cast<std::size_t>(Charset::kPlatform), bytes,
                               out);
      break;
  }
  return fell_back;
}

void DecodeQuotedPrintable(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const int escaped = in[i] == '=' ? text::HexByteAt(in, i + 1) : -1;
    if (escaped >= 0) {
      out.push_back(static_cast<char>(escaped));
      i += 2;
    } else if (!(in[i] == '=' && i + 1 == in.size())) {  // a final '=' is a soft break
      out.push_back(in[i]);
    }
  }
}

void NormaliseLineBreaks(std::u16string& text) {
  // Counted without a branch per unit: most values hold no line break.
  std::size_t breaks = 0;
  for (char16_t c : text) breaks += (c == u'\r') | (c == u'\n');
  if (breaks == 0 || IsNormalised(text)) return;
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
