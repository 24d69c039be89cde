#include "csv/codepage932.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Microsoft's bestfit932.txt, read here independently of the generator, so
// that the committed table is checked against the data file itself.
struct Bestfit {
  std::map<unsigned, unsigned> single;  // byte -> UTF-16
  std::map<unsigned, unsigned> pairs;   // lead << 8 | trail -> UTF-16
  std::map<unsigned, unsigned> wide;    // UTF-16 -> code
  std::vector<std::pair<unsigned, unsigned>> leadRanges;
  std::map<std::string, unsigned> declared;  // MBTABLE / WCTABLE record counts
};

std::optional<Bestfit> ParseBestfit(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  Bestfit data;
  enum { kNone, kSingle, kRange, kDouble, kWide } section = kNone;
  unsigned lead = 0, remaining = 0;
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line.substr(0, line.find(';')));
    std::string tag;
    unsigned count = 0;
    if (!(fields >> tag)) continue;
    if (tag.rfind("0x", 0) != 0) {
      fields >> count;
      if (tag == "MBTABLE") section = kSingle;
      if (tag == "DBCSRANGE") section = kRange;
      if (tag == "DBCSTABLE") section = kDouble, ++lead, remaining = count;
      if (tag == "WCTABLE") section = kWide;
      data.declared[tag] = count;
      continue;
    }
    unsigned key = std::stoul(tag, nullptr, 16), value = 0;
    fields >> std::hex >> value;
    if (section == kDouble && remaining-- == 0) section = kRange;
    if (section == kSingle) data.single[key] = value;
    if (section == kRange) data.leadRanges.emplace_back(key, value), lead = key - 1;
    if (section == kDouble) data.pairs[lead << 8 | key] = value;
    if (section == kWide) data.wide[key] = value;
  }
  return data;
}

std::string Bytes(unsigned code) {
  std::string bytes;
  if (code > 0xFF) bytes.push_back(static_cast<char>(code >> 8));
  bytes.push_back(static_cast<char>(code & 0xFF));
  return bytes;
}

std::string EncodeOne(char16_t unit) {
  std::string out;
  cp932::Encode(std::u16string_view(&unit, 1), out);
  return out;
}

constexpr char16_t kFffd = 0xFFFD;
// The code units mapped on purpose where Windows writes '?'.
const std::map<char16_t, unsigned> kAdditions = {
    {0x301C, 0x8160}, {0x2016, 0x8161}, {0x2212, 0x817C}, {0x2014, 0x815C}};

class Codepage932Table : public testing::Test {
 protected:
  void SetUp() override {
    static const std::string path = CONTACT_EXPORT_DATA_DIR "/cp932/bestfit932.txt";
    static const std::optional<Bestfit> parsed = ParseBestfit(path);
    if (!parsed && std::getenv("CI")) FAIL() << "reference data missing: " << path;
    if (!parsed) GTEST_SKIP() << "reference data missing: " << path;
    data = &*parsed;
  }
  const Bestfit* data = nullptr;
};

TEST_F(Codepage932Table, EncodeGivesWindowsResultForEveryCodeUnit) {
  ASSERT_EQ(data->wide.size(), data->declared.at("WCTABLE"));
  int mismatches = 0;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    if (kAdditions.count(static_cast<char16_t>(unit))) continue;
    const auto entry = data->wide.find(unit);
    const std::string expected = entry == data->wide.end() ? "?" : Bytes(entry->second);
    if (EncodeOne(static_cast<char16_t>(unit)) != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << std::hex << unit;
    }
  }
  EXPECT_EQ(mismatches, 0);
  for (const auto& [unit, code] : kAdditions) {
    EXPECT_EQ(data->wide.count(unit), 0u) << "Windows maps U+" << std::hex << unsigned{unit};
    EXPECT_EQ(EncodeOne(unit), Bytes(code)) << std::hex << unsigned{unit};
  }
}

TEST_F(Codepage932Table, DecodeGivesTableEntryOrReplacementForEveryByteAndPair) {
  ASSERT_EQ(data->single.size(), data->declared.at("MBTABLE"));
  int mismatches = 0;
  auto check = [&](const std::string& bytes, const std::u16string& expected) {
    if (cp932::Decode(bytes) != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "bytes " << std::hex << (static_cast<unsigned char>(bytes[0]) << 8 |
                                                 static_cast<unsigned char>(bytes.back()));
    }
  };
  for (unsigned lead = 0; lead <= 0xFF; ++lead) {
    bool isLead = false;
    for (auto [first, last] : data->leadRanges) isLead = isLead || (lead >= first && lead <= last);
    EXPECT_EQ(cp932::IsLeadByte(static_cast<unsigned char>(lead)), isLead) << lead;
    const auto single = data->single.find(lead);
    check(Bytes(lead), {single == data->single.end() ? kFffd : char16_t(single->second)});
    if (!isLead) continue;
    // A lead byte whose only record is 0x40 -> U+30FB marks an unused lead byte.
    const auto first = data->pairs.lower_bound(lead << 8);
    const bool placeholder = std::distance(first, data->pairs.lower_bound((lead + 1) << 8)) == 1 &&
                             first->first == (lead << 8 | 0x40) && first->second == 0x30FB;
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const std::string bytes = Bytes(lead << 8 | trail);
      const auto pair = data->pairs.find(lead << 8 | trail);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) {
        check(bytes, kFffd + cp932::Decode(Bytes(trail)));
      } else {
        const bool mapped = pair != data->pairs.end() && !placeholder;
        check(bytes, {mapped ? char16_t(pair->second) : kFffd});
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Codepage932, EncodesCharactersOfEachKind) {
  const struct {
    std::u16string text;
    std::string bytes;
  } cases[] = {
      {u"Az09,\"", "Az09,\""},
      {u"\uFF71\uFF9F", "\xB1\xDF"},           // half-width katakana
      {u"日本語", "\x93\xFA\x96\x7B\x8C\xEA"},  // kanji
      {u"表", "\x95\x5C"},                     // trail byte 0x5C
      {u"\u2170\uFFE4", "\xFA\x40\xFA\x55"},    // IBM extensions in 0xFA, not NEC-selected 0xEE
      {u"\u2460", "\x87\x40"},                  // NEC special character
      {u"\u00AB\u00B2\u00B7", "\x81\xE1" "2" "\x81\x45"},  // best fit
      {u"\u00A5", "\x5C"},                      // yen sign: best fit to 0x5C
      {u"\u00BF\uFFFD\u0100", "???"},           // table entry to '?'; no entries
      {u"\u301C\u2016\u2212\u2014", "\x81\x60\x81\x61\x81\x7C\x81\x5C"},  // additions
      {u"\uFF5E\u2225\uFF0D\u2015", "\x81\x60\x81\x61\x81\x7C\x81\x5C"},  // Windows' own
      {u"\uE000\uE757", "\xF0\x40\xF9\xFC"},    // user-defined characters
      {u"日\U0001F600ｱ", "\x93\xFA??\xB1"},      // a surrogate pair is two '?'
      {std::u16string{char16_t{0xD83D}, u'A', char16_t{0xDE00}}, "?A?"},  // lone halves
  };
  for (const auto& c : cases) {
    std::string out = "x";
    cp932::Encode(c.text, out);
    EXPECT_EQ(out, "x" + c.bytes) << c.bytes;
  }
}

TEST(Codepage932, DecodesValidAndBrokenInput) {
  const struct {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"", u""},
      {"\x93\xFA\x96\x7B\x8C\xEA", u"日本語"},
      {"\x95\x5C\x5C", u"表\\"},        // 0x5C as trail, then as a byte of its own
      {"\xB1\xA0\xFD\x80", u"\uFF71\uF8F0\uF8F1\u0080"},
      {"\x81\x60\x81\x7C", u"\uFF5E\uFF0D"},  // the additions' codes read back as Windows'
      {"A\x93", u"A\uFFFD"},               // truncated lead byte
      {"\x93\"A", u"\uFFFD\"A"},           // invalid trail byte is read again
      {"\x81\x7F", u"\uFFFD\u007F"},
      {"\x81\xAD" "A", u"\uFFFD" "A"},     // unmapped pair: one replacement
      {"\x85\x40" "A", u"\uFFFD" "A"},     // placeholder lead byte
  };
  for (const auto& c : cases) EXPECT_EQ(cp932::Decode(c.bytes), c.text) << c.bytes;
}

TEST(Codepage932, JapaneseContactRoundTrips) {
  const std::u16string text = u"山田 太郎,\"ﾔﾏﾀﾞ\" 〒100-0001 東京都千代田区 ①表示 ＡＢＣ\r\n";
  std::string bytes;
  cp932::Encode(text, bytes);
  EXPECT_EQ(cp932::Decode(bytes), text);
}

}  // namespace
