#include "vcard/vcard_scan.h"

#include <bit>

#include "text/simd.h"

namespace vcard {
namespace {

// ---- The byte-at-a-time loops: the plain twins, and each scanner's tail ----

inline const char* LineBreakLoop(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n') return p;
  }
  return end;
}

// `last` is end - 1: the byte after a break must be there.
inline const char* UnfoldingBreakLoop(const char* p, const char* last, const char* end) {
  for (; p < last; ++p) {
    const char after = p[1];
    const bool breaks = *p == '\n' || (*p == '\r' && after != '\n');
    if (breaks && after != ' ' && after != '\t') return p;
  }
  return end;
}

inline bool QOrBLoop(const char* p, const char* end) {
  for (; p < end; ++p) {
    const char lower = static_cast<char>(*p | 0x20);
    if (lower == 'q' || lower == 'b') return true;
  }
  return false;
}

inline const char* HeaderMarkLoop(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == ';' || *p == ':' || *p == '"' || *p == '.') return p;
  }
  return end;
}

inline const char16_t* EitherUnitLoop(const char16_t* p, const char16_t* end, char16_t a, char16_t b) {
  for (; p < end; ++p) {
    if (*p == a || *p == b) return p;
  }
  return end;
}

inline bool IsBase64OrBlank(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
         c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline const char* NonBase64Loop(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (!IsBase64OrBlank(static_cast<unsigned char>(*p))) return p;
  }
  return end;
}

inline const char* LineStartingWithABELoop(const char* p, const char* end) {
  for (; p < end; ++p) {
    const char lower = static_cast<char>(*p | 0x20);
    if ((p[-1] == '\r' || p[-1] == '\n') && (lower == 'a' || lower == 'b' || lower == 'e' || lower == '\xEF')) {
      return p;
    }
  }
  return end;
}

#ifdef CONTACT_EXPORT_SSE2
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

const char* FindLineBreak(const char* p, const char* end) {
#ifdef CONTACT_EXPORT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i v = Load(p);
    if (const unsigned bits = Bits(_mm_or_si128(Is(v, '\r'), Is(v, '\n')))) return p + std::countr_zero(bits);
  }
#endif
  return LineBreakLoop(p, end);
}

const char* FindUnfoldingBreak(const char* p, const char* end) {
  if (end - p < 2) return end;
  const char* const last = end - 1;
#ifdef CONTACT_EXPORT_SSE2
  for (; last - p >= 16; p += 16) {
    const __m128i v = Load(p), after = Load(p + 1);
    const __m128i lf_after = Is(after, '\n');
    const __m128i blank_after = _mm_or_si128(Is(after, ' '), Is(after, '\t'));
    const __m128i breaks = _mm_or_si128(Is(v, '\n'), _mm_andnot_si128(lf_after, Is(v, '\r')));
    if (const unsigned bits = Bits(_mm_andnot_si128(blank_after, breaks))) return p + std::countr_zero(bits);
  }
#endif
  return UnfoldingBreakLoop(p, last, end);
}

bool HasQOrB(std::string_view bytes) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
#ifdef CONTACT_EXPORT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i lower = _mm_or_si128(Load(p), _mm_set1_epi8(0x20));
    if (Bits(_mm_or_si128(Is(lower, 'q'), Is(lower, 'b'))) != 0) return true;
  }
#endif
  return QOrBLoop(p, end);
}

const char* FindHeaderMark(const char* p, const char* end, const char* readable) {
#ifdef CONTACT_EXPORT_SSE2
  while (end - p > 0 && readable - p >= 16) {
    const __m128i v = Load(p);
    unsigned bits = Bits(_mm_or_si128(_mm_or_si128(Is(v, ';'), Is(v, ':')), _mm_or_si128(Is(v, '"'), Is(v, '.'))));
    if (end - p < 16) bits &= (1u << (end - p)) - 1;
    if (bits != 0) return p + std::countr_zero(bits);
    p += 16;
  }
#endif
  (void)readable;
  return HeaderMarkLoop(p, end);
}

const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b) {
#ifdef CONTACT_EXPORT_SSE2
  const __m128i wide_a = _mm_set1_epi16(static_cast<short>(a)), wide_b = _mm_set1_epi16(static_cast<short>(b));
  for (; end - p >= 8; p += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned bits = Bits(_mm_or_si128(_mm_cmpeq_epi16(v, wide_a), _mm_cmpeq_epi16(v, wide_b)));
    if (bits != 0) return p + std::countr_zero(bits) / 2;
  }
#endif
  return EitherUnitLoop(p, end, a, b);
}

const char* FindNonBase64(const char* p, const char* end) {
#ifdef CONTACT_EXPORT_SSE2
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
  return NonBase64Loop(p, end);
}

const char* FindLineStartingWithABE(const char* p, const char* end) {
#ifdef CONTACT_EXPORT_SSE2
  for (; end - p >= 16; p += 16) {
    const __m128i before = Load(p - 1);
    const __m128i lower = _mm_or_si128(Load(p), _mm_set1_epi8(0x20));
    const __m128i after_break = _mm_or_si128(Is(before, '\r'), Is(before, '\n'));
    __m128i letter = _mm_or_si128(Is(lower, 'a'), _mm_or_si128(Is(lower, 'b'), Is(lower, 'e')));
    letter = _mm_or_si128(letter, Is(lower, '\xEF'));
    if (const unsigned bits = Bits(_mm_and_si128(after_break, letter))) return p + std::countr_zero(bits);
  }
#endif
  return LineStartingWithABELoop(p, end);
}

namespace plain {

const char* FindLineBreak(const char* p, const char* end) { return LineBreakLoop(p, end); }

const char* FindUnfoldingBreak(const char* p, const char* end) {
  return end - p < 2 ? end : UnfoldingBreakLoop(p, end - 1, end);
}

bool HasQOrB(std::string_view bytes) { return QOrBLoop(bytes.data(), bytes.data() + bytes.size()); }

const char* FindHeaderMark(const char* p, const char* end) { return HeaderMarkLoop(p, end); }

const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b) {
  return EitherUnitLoop(p, end, a, b);
}

const char* FindNonBase64(const char* p, const char* end) { return NonBase64Loop(p, end); }

const char* FindLineStartingWithABE(const char* p, const char* end) { return LineStartingWithABELoop(p, end); }

}  // namespace plain

}  // namespace vcard
