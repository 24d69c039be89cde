// Code page 932 conversion through flat lookup tables built once, on first
// use, from the records generated out of Microsoft's bestfit932.txt.
#include "csv/codepage932.h"

#include <array>
#include <cstdint>
#include <memory>

#include "csv/codepage932_table.h"

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
  const EncodeTable& codes = Codes();
  for (char16_t unit : text) {
    const std::uint16_t code = codes[unit];
    if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  }
}

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
