#include "vcard/vcard_text.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VCARD_TEXT_SSE2 1
#endif

#include "text/codepage932.h"
#include "text/unicode_text.h"
#include "vcard/vcard_charset.h"

namespace vcard {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

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

bool IsBase64OrBlank(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
         c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

#ifdef VCARD_TEXT_SSE2
__m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
unsigned Bits(__m128i mask) { return static_cast<unsigned>(_mm_movemask_epi8(mask)); }
// Bytes in [lo, hi] (ASCII bounds); bytes from 0x80 up are negative and never in.
__m128i InRange(__m128i v, char lo, char hi) {
  return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                       _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
}
#endif

}  // namespace

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
    if (in[i] == '=' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
      i += 2;
    } else if (!(in[i] == '=' && i + 1 == in.size())) {  // a final '=' is a soft break
      out.push_back(in[i]);
    }
  }
}

const char* FindLineBreak(const char* p, const char* end) {
#ifdef VCARD_TEXT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i v = Load(p);
    if (const unsigned bits = Bits(_mm_or_si128(Is(v, '\r'), Is(v, '\n')))) return p + std::countr_zero(bits);
  }
#endif
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n') return p;
  }
  return end;
}

const char* FindUnfoldingBreak(const char* p, const char* end) {
  if (end - p < 2) return end;
  const char* const last = end - 1;  // the byte after a break must be there
#ifdef VCARD_TEXT_SSE2
  for (; last - p >= 16; p += 16) {
    const __m128i v = Load(p), after = Load(p + 1);
    const __m128i lf_after = Is(after, '\n');
    const __m128i blank_after = _mm_or_si128(Is(after, ' '), Is(after, '\t'));
    const __m128i breaks = _mm_or_si128(Is(v, '\n'), _mm_andnot_si128(lf_after, Is(v, '\r')));
    if (const unsigned bits = Bits(_mm_andnot_si128(blank_after, breaks))) return p + std::countr_zero(bits);
  }
#endif
  for (; p < last; ++p) {
    const char after = p[1];
    const bool breaks = *p == '\n' || (*p == '\r' && after != '\n');
    if (breaks && after != ' ' && after != '\t') return p;
  }
  return end;
}

bool HasQOrB(std::string_view bytes) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
#ifdef VCARD_TEXT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i lower = _mm_or_si128(Load(p), _mm_set1_epi8(0x20));
    if (Bits(_mm_or_si128(Is(lower, 'q'), Is(lower, 'b'))) != 0) return true;
  }
#endif
  for (; p < end; ++p) {
    const char lower = static_cast<char>(*p | 0x20);
    if (lower == 'q' || lower == 'b') return true;
  }
  return false;
}

const char* FindHeaderMark(const char* p, const char* end, const char* readable) {
#ifdef VCARD_TEXT_SSE2
  while (end - p > 0 && readable - p >= 16) {
    const __m128i v = Load(p);
    unsigned bits = Bits(_mm_or_si128(_mm_or_si128(Is(v, ';'), Is(v, ':')), _mm_or_si128(Is(v, '"'), Is(v, '.'))));
    if (end - p < 16) bits &= (1u << (end - p)) - 1;
    if (bits != 0) return p + std::countr_zero(bits);
    p += 16;
  }
#endif
  (void)readable;
  for (; p < end; ++p) {
    if (*p == ';' || *p == ':' || *p == '"' || *p == '.') return p;
  }
  return end;
}

const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b) {
#ifdef VCARD_TEXT_SSE2
  const __m128i wide_a = _mm_set1_epi16(static_cast<short>(a)), wide_b = _mm_set1_epi16(static_cast<short>(b));
  for (; end - p >= 8; p += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned bits = Bits(_mm_or_si128(_mm_cmpeq_epi16(v, wide_a), _mm_cmpeq_epi16(v, wide_b)));
    if (bits != 0) return p + std::countr_zero(bits) / 2;
  }
#endif
  for (; p < end; ++p) {
    if (*p == a || *p == b) return p;
  }
  return end;
}

const char* FindNonBase64(const char* p, const char* end) {
#ifdef VCARD_TEXT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i v = Load(p);
    // A-Z and a-z are one range once the case bit is set.
    __m128i ok = InRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
    ok = _mm_or_si128(ok, InRange(v, '/', '9'));  // '/' and the digits
    ok = _mm_or_si128(ok, _mm_or_si128(Is(v, '+'), Is(v, '=')));
    ok = _mm_or_si128(ok, _mm_or_si128(Is(v, ' '), Is(v, '\t')));
    ok = _mm_or_si128(ok, _mm_or_si128(Is(v, '\r'), Is(v, '\n')));
    if (const unsigned bad = ~Bits(ok) & 0xFFFFu) return p + std::countr_zero(bad);
  }
#endif
  for (; p < end; ++p) {
    if (!IsBase64OrBlank(static_cast<unsigned char>(*p))) return p;
  }
  return end;
}

const char* FindLineStartingWithABE(const char* p, const char* end) {
  auto starts = [](char before, char c) {
    const char lower = static_cast<char>(c | 0x20);
    return (before == '\r' || before == '\n') && (lower == 'a' || lower == 'b' || lower == 'e' || lower == '\xEF');
  };
#ifdef VCARD_TEXT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i before = Load(p - 1);
    const __m128i lower = _mm_or_si128(Load(p), _mm_set1_epi8(0x20));
    const __m128i after_break = _mm_or_si128(Is(before, '\r'), Is(before, '\n'));
    __m128i letter = _mm_or_si128(Is(lower, 'a'), _mm_or_si128(Is(lower, 'b'), Is(lower, 'e')));
    letter = _mm_or_si128(letter, Is(lower, '\xEF'));
    if (const unsigned bits = Bits(_mm_and_si128(after_break, letter))) return p + std::countr_zero(bits);
  }
#endif
  for (; p < end; ++p) {
    if (starts(p[-1], *p)) return p;
  }
  return end;
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
