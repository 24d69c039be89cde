// Code page 932 conversion through flat lookup tables built once, on first
// use, from the records generated out of Microsoft's bestfit932.txt.
#include "text/codepage932.h"

#include <array>
#include <bit>
#include <cstdint>
#include <memory>

#include "text/codepage932_table.h"
#include "text/simd.h"

namespace cp932 {
namespace {

using table::Pair;

// Windows writes '?' for these four code units, although they are exactly the
// JIS X 0208 characters at these codes: Windows maps the look-alikes U+FF5E,
// U+2225, U+FF0D and U+2015 there instead, while text from other systems
// (JIS-based converters, Macs, web forms) often carries the JIS forms. Mapping
// them too loses less Japanese text. They are one-way: decoding these codes
// still gives Windows' characters. bestfit932.txt has no entry for any of the
// four, so nothing Windows would write differently is overridden.
constexpr Pair kAdditions[] = {
    {0x301C, 0x8160},  // WAVE DASH
    {0x2016, 0x8161},  // DOUBLE VERTICAL LINE
    {0x2212, 0x817C},  // MINUS SIGN
    {0x2014, 0x815C},  // EM DASH
};

// Lead bytes whose only record maps trail 0x40 to U+30FB, the code page's
// default character for bytes it cannot read. That record marks an unused lead
// byte rather than a character, so these decode like any unmapped pair.
constexpr unsigned char kPlaceholderLeadBytes[] = {0x85, 0x86, 0xEB, 0xEC, 0xEF};

constexpr std::uint16_t kUnknownByteCode = 0x3F;  // '?'
constexpr char16_t kReplacement = 0xFFFD;

// Code unit -> code; a value above 0xFF is a lead byte (high) and trail byte.
using EncodeTable = std::array<std::uint16_t, 0x10000>;

struct DecodeTables {
  std::array<bool, 0x100> lead{};
  std::array<char16_t, 0x100> single{};
  std::array<char16_t, 0x10000> pair{};  // indexed by lead << 8 | trail
};

std::unique_ptr<const EncodeTable> BuildEncodeTable() {
  auto codes = std::make_unique<EncodeTable>();
  codes->fill(kUnknownByteCode);
  for (const Pair& p : table::kWideChar) (*codes)[p.key] = p.value;
  for (const Pair& p : kAdditions) (*codes)[p.key] = p.value;
  return codes;
}

bool IsPlaceholder(std::uint16_t code) {
  for (unsigned char lead : kPlaceholderLeadBytes) {
    if (code >> 8 == lead) return true;
  }
  return false;
}

std::unique_ptr<const DecodeTables> BuildDecodeTables() {
  auto tables = std::make_unique<DecodeTables>();
  for (const Pair& range : table::kLeadByteRanges) {
    for (unsigned b = range.key; b <= range.value; ++b) tables->lead[b] = true;
  }
  tables->single.fill(kReplacement);
  for (const Pair& p : table::kSingleByte) tables->single[p.key] = p.value;
  tables->pair.fill(kReplacement);
  for (const Pair& p : table::kDoubleByte) {
    if (!IsPlaceholder(p.key)) tables->pair[p.key] = p.value;
  }
  return tables;
}

const EncodeTable& Codes() {
  static const std::unique_ptr<const EncodeTable> codes = BuildEncodeTable();
  return *codes;
}

const DecodeTables& Chars() {
  static const std::unique_ptr<const DecodeTables> tables = BuildDecodeTables();
  return *tables;
}

// The trail byte ranges of code page 932 (the generator checks that every
// record of the data file lies within them).
bool IsTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

}  // namespace

void Encode(std::u16string_view text, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + 2 * text.size());
  char* const end = EncodeTo(text, out.data() + start);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

// Code units below 0x80 are their own single byte in code page 932 (the table
// test checks every unit), so runs of them are copied eight at a time without
// a lookup; the table is read only for the other units. Output is mostly
// ASCII (numbers, addresses, mail) with runs of Japanese, so each kind of run
// stays in its own loop until the other kind starts.
char* EncodeTo(std::u16string_view text, char* out) {
  const EncodeTable& codes = Codes();
  const char16_t* s = text.data();
  const char16_t* const end = s + text.size();
  while (s != end) {
#ifdef CONTACT_EXPORT_SSE2
    if (end - s >= 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      // Adding 0x7F80 with saturation sets bit 15 exactly in the units of 0x80
      // and above; movemask reads that bit from each unit's high byte.
      const __m128i raised = _mm_adds_epu16(units, _mm_set1_epi16(0x7F80));
      const unsigned wide = static_cast<unsigned>(_mm_movemask_epi8(raised)) & 0xAAAAu;
      // All eight units narrowed and stored; only the ASCII ones before the
      // first wide unit are kept, the rest is written over below (the caller
      // gave room for two bytes per unit).
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
      const int ascii = wide == 0 ? 8 : std::countr_zero(wide) / 2;
      s += ascii;
      out += ascii;
      if (ascii == 8) continue;
    }
#endif
    // One unit through the table, and the units of 0x80 and above that follow.
    // Both bytes are always stored and the end moves by the code's length.
    do {
      const std::uint16_t code = codes[*s++];
      const unsigned two = code > 0xFF;
      out[0] = static_cast<char>(code >> (8 * two));
      out[1] = static_cast<char>(code & 0xFF);
      out += 1 + two;
    } while (s != end && *s >= 0x80);
  }
  return out;
}

const std::uint16_t* UnitCodes() { return Codes().data(); }

// A lead byte followed by a byte that cannot be a trail byte yields U+FFFD
// and the follower is read again on its own, so a stray lead byte costs one
// character and never swallows the ASCII (quote, comma, line end) after it.
// A lead byte followed by a trail byte is one unit, mapped or U+FFFD.
std::u16string Decode(std::string_view bytes) {
  const DecodeTables& chars = Chars();
  std::u16string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!chars.lead[byte]) {
      text.push_back(chars.single[byte]);
      continue;
    }
    if (i + 1 == bytes.size() || !IsTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
      text.push_back(kReplacement);
      continue;
    }
    text.push_back(chars.pair[byte << 8 | static_cast<unsigned char>(bytes[++i])]);
  }
  return text;
}

bool IsLeadByte(unsigned char byte) { return Chars().lead[byte]; }

}  // namespace cp932
