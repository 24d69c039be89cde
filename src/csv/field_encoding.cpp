#include "csv/field_encoding.h"

#include <array>
#include <cstdint>
#include <memory>

#include "text/codepage932.h"
#include "text/simd.h"

namespace csv {
namespace {

// What each code unit becomes inside a field, as the bytes to write in the
// order they are written (first byte low): the code page 932 code, except
// that CR is a space, a quote is two quotes and LF is nothing (kDropped).
// Every entry is two bytes to store and a length to move on by, so a unit
// costs no branch whatever it is.
using FieldTableArray = std::array<std::uint16_t, 0x10000>;
constexpr std::uint16_t kDropped = 0x0100;  // no second byte is ever 0x01

std::unique_ptr<const FieldTableArray> BuildFieldTable() {
  auto table = std::make_unique<FieldTableArray>();
  const std::uint16_t* const codes = cp932::UnitCodes();
  for (std::size_t unit = 0; unit < table->size(); ++unit) {
    const std::uint16_t code = codes[unit];
    (*table)[unit] = code > 0xFF ? static_cast<std::uint16_t>(code >> 8 | (code & 0xFF) << 8) : code;
  }
  (*table)[u'\r'] = u' ';
  (*table)[u'\n'] = kDropped;
  (*table)[u'"'] = u'"' << 8 | u'"';
  return table;
}

const std::uint16_t* FieldTable() {
  static const std::unique_ptr<const FieldTableArray> table = BuildFieldTable();
  return table->data();
}

// Writes both bytes of the unit's entry and moves on by as many as it has:
// two when the second byte is set, none for kDropped, else one.
inline char* PutUnit(const std::uint16_t* table, char16_t unit, char* out) {
  const std::uint16_t bytes = table[unit];
  out[0] = static_cast<char>(bytes & 0xFF);
  out[1] = static_cast<char>(bytes >> 8);
  return out + 1 + (bytes > 0xFF) - 2 * (bytes == kDropped);
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

// Plain ASCII (below 0x80, not CR, LF or a quote) is its own byte, so a block
// of eight such units is copied at once. A block holding anything else, and
// the last units, go through the table one unit at a time. Every unit gives
// at most two bytes, so the two bytes always stored stay within the room.
char* EncodeFieldTo(std::u16string_view value, char* out) {
  *out++ = '"';
  const char16_t* s = value.data();
  const char16_t* const end = s + value.size();
  if (s != end) {
    const std::uint16_t* const table = FieldTable();
    for (; end - s >= 8; s += 8) {
#ifdef CONTACT_EXPORT_SSE2
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      // Adding 0x7F80 with saturation sets bit 15 exactly in the units of
      // 0x80 and above.
      const __m128i wide = _mm_adds_epu16(units, _mm_set1_epi16(0x7F80));
      const __m128i special =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\r')),
                                    _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\n'))),
                       _mm_cmpeq_epi16(units, _mm_set1_epi16(u'"')));
      if ((_mm_movemask_epi8(_mm_or_si128(wide, special)) & 0xAAAA) == 0) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
        out += 8;
        continue;
      }
#endif
      for (int i = 0; i < 8; ++i) out = PutUnit(table, s[i], out);
    }
    for (; s != end; ++s) out = PutUnit(table, *s, out);
  }
  *out++ = '"';
  return out;
}

}  // namespace csv
