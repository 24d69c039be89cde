#include "csv/field_encoding.h"

#include <bit>

#include "csv/codepage932.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FIELD_ENCODING_SSE2 1
#endif

namespace csv {
namespace {

// The first CR, LF or double quote from `s` on, or `end`. Most values hold
// none, so the search goes eight units at a time.
const char16_t* FindSpecial(const char16_t* s, const char16_t* const end) {
#ifdef FIELD_ENCODING_SSE2
  const __m128i cr = _mm_set1_epi16(u'\r');
  const __m128i lf = _mm_set1_epi16(u'\n');
  const __m128i quote = _mm_set1_epi16(u'"');
  for (; end - s >= 8; s += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(units, cr), _mm_cmpeq_epi16(units, lf)),
        _mm_cmpeq_epi16(units, quote));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return s + std::countr_zero(mask) / 2;
  }
#endif
  // All three are at most '"', so one comparison passes over nearly every unit.
  for (; s != end; ++s) {
    if (*s <= u'"' && (*s == u'\r' || *s == u'\n' || *s == u'"')) return s;
  }
  return s;
}

}  // namespace

std::u16string ReplaceLineBreaks(std::u16string_view value) {
  std::u16string result;
  result.reserve(value.size());
  for (char16_t c : value) {
    if (c == u'\r') {
      result += u' ';
    } else if (c != u'\n') {
      result += c;
    }
  }
  return result;
}

std::u16string QuoteField(std::u16string_view value) {
  std::u16string result;
  result.reserve(value.size() + 2);
  result += u'"';
  for (char16_t c : value) {
    if (c == u'"') result += u'"';
    result += c;
  }
  result += u'"';
  return result;
}

void AppendEncodedField(std::u16string_view value, std::u16string& line) {
  line += u'"';
  for (char16_t c : value) {
    switch (c) {
      case u'\r':
        line += u' ';
        break;
      case u'\n':
        break;
      case u'"':
        line += u"\"\"";
        break;
      default:
        line += c;
    }
  }
  line += u'"';
}

char* EncodeFieldTo(std::u16string_view value, char* out) {
  *out++ = '"';
  const char16_t* s = value.data();
  const char16_t* const end = s + value.size();
  // The text between the special units is converted as it is; each special
  // unit then becomes its own bytes. Writing stays within the room: every
  // unit gives at most two bytes.
  while (s != end) {
    const char16_t* const special = FindSpecial(s, end);
    out = cp932::EncodeTo(std::u16string_view(s, static_cast<std::size_t>(special - s)), out);
    if (special == end) break;
    if (*special == u'\r') {
      *out++ = ' ';
    } else if (*special == u'"') {
      *out++ = '"';
      *out++ = '"';
    }
    s = special + 1;
  }
  *out++ = '"';
  return out;
}

}  // namespace csv
