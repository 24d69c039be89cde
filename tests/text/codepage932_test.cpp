#include "text/codepage932.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
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
const std::set<char16_t> kAdditions = {0x301C, 0x2016, 0x2212, 0x2014};

class Codepage932Table : public testing::Test {
 protected:
  void SetUp() override {
    static const std::string path = CONTACT_EXPORT_DATA_DIR "/cp932/bestfit932.txt";
    static const std::optional<Bestfit> parsed = ParseBestfit(path);
    ASSERT_TRUE(parsed) << "test data missing: " << path;
    data = &*parsed;
  }
  const Bestfit* data = nullptr;
};

TEST_F(Codepage932Table, EncodeGivesWindowsResultForEveryCodeUnit) {
  ASSERT_EQ(data->wide.size(), data->declared.at("WCTABLE"));
  for (char16_t unit : kAdditions) EXPECT_EQ(data->wide.count(unit), 0u) << unsigned{unit};
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    if (kAdditions.count(static_cast<char16_t>(unit))) continue;
    const auto entry = data->wide.find(unit);
    ASSERT_EQ(EncodeOne(static_cast<char16_t>(unit)),
              entry == data->wide.end() ? "?" : Bytes(entry->second))
        << "U+" << std::hex << unit;
  }
}

TEST_F(Codepage932Table, DecodeGivesTableEntryOrReplacementForEveryByteAndPair) {
  ASSERT_EQ(data->single.size(), data->declared.at("MBTABLE"));
  for (unsigned lead = 0; lead <= 0xFF; ++lead) {
    bool isLead = false;
    for (auto [first, last] : data->leadRanges) isLead = isLead || (lead >= first && lead <= last);
    ASSERT_EQ(cp932::IsLeadByte(static_cast<unsigned char>(lead)), isLead) << lead;
    const auto single = data->single.find(lead);
    ASSERT_EQ(cp932::Decode(Bytes(lead)),
              std::u16string(1, single == data->single.end() ? kFffd : single->second));
    if (!isLead) continue;
    // A lead byte whose only record is 0x40 -> U+30FB marks an unused lead byte.
    const auto first = data->pairs.lower_bound(lead << 8);
    const bool placeholder = std::distance(first, data->pairs.lower_bound((lead + 1) << 8)) == 1 &&
                             first->first == (lead << 8 | 0x40) && first->second == 0x30FB;
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const auto pair = data->pairs.find(lead << 8 | trail);
      std::u16string expected(1, pair == data->pairs.end() || placeholder ? kFffd : pair->second);
      // A byte that cannot be a trail byte is read again on its own.
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) expected += cp932::Decode(Bytes(trail));
      ASSERT_EQ(cp932::Decode(Bytes(lead << 8 | trail)), expected) << std::hex << lead << trail;
    }
  }
}

TEST(Codepage932, EncodesCharactersOfEachKind) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Az09,\"\uFF71\uFF9F", "Az09,\"\xB1\xDF"},          // ASCII, half-width katakana
      {u"日本語表", "\x93\xFA\x96\x7B\x8C\xEA\x95\x5C"},  // kanji, 0x5C as trail byte
      // NEC special character; IBM kanji at 0xFA, not the NEC-selected 0xEE copies
      {u"\u2460\u2170\uFFE4", "\x87\x40\xFA\x40\xFA\x55"},
      {u"\u00AB\u00B2\u00A5", "\x81\xE1" "2" "\x5C"},  // best fit; yen sign to 0x5C
      {u"\u00BF\uFFFD\u0100", "???"},           // table entry to '?'; no entries
      {u"\u301C\u2016\u2212\u2014", "\x81\x60\x81\x61\x81\x7C\x81\x5C"},  // additions
      {u"\uFF5E\u2225\uFF0D\u2015", "\x81\x60\x81\x61\x81\x7C\x81\x5C"},  // Windows' own
      {u"\uE000\uE757", "\xF0\x40\xF9\xFC"},    // user-defined characters
      {u"日\U0001F600ｱ", "\x93\xFA??\xB1"},      // a surrogate pair is two '?'
      {std::u16string{char16_t{0xD83D}, u'A', char16_t{0xDE00}}, "?A?"},  // lone halves
  };
  for (const auto& [text, bytes] : cases) {
    std::string out = "x";
    cp932::Encode(text, out);
    EXPECT_EQ(out, "x" + bytes) << bytes;
  }
}

// Units the conversion treats differently side by side: ASCII (copied in
// blocks), a two-byte kanji, a one-byte half-width katakana, a best-fit
// entry, a unit without an entry, lone surrogate halves, and U+8000 and
// U+FFFF, which are negative as signed 16-bit numbers.
const char16_t kMixedUnits[] = {u'A', u'~', 0x007F, 0x0080, 0x65E5, 0xFF71, 0x00A5, 0x0100,
                                0xD83D, 0xDE00, 0x8000, 0xFFFF, 0x301C, u'"', u'\r', 0x0000};

// The bytes of `text` converted one unit at a time (each alone, so never in a
// block), which the test above checks against the data file.
std::string UnitByUnit(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) bytes += EncodeOne(unit);
  return bytes;
}

TEST(Codepage932, TextsGiveTheBytesOfTheirUnitsWhereverAnAsciiRunEnds) {
  // Every other unit at each place in and after an ASCII run of each length
  // up to past two blocks, with runs of each length after it.
  for (char16_t other : kMixedUnits) {
    for (std::size_t before = 0; before <= 18; ++before) {
      for (std::size_t after = 0; after <= 10; ++after) {
        std::u16string text(before, u'a');
        text += other;
        for (std::size_t i = 0; i < after; ++i) text += kMixedUnits[(before + i) % std::size(kMixedUnits)];
        text.append(after, u'z');
        std::string out = "x";
        cp932::Encode(text, out);
        ASSERT_EQ(out, "x" + UnitByUnit(text)) << before << " " << after << " " << unsigned{other};
      }
    }
  }
}

TEST(Codepage932, EveryCodeUnitInsideALongTextGivesItsOwnBytes) {
  // All 65,536 units in one text, at every position of the blocks, each unit
  // after a short ASCII run so that blocks end on every kind of unit.
  std::u16string text;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    text.append(unit % 11, static_cast<char16_t>(u'0' + unit % 10));
    text += static_cast<char16_t>(unit);
  }
  std::string out;
  cp932::Encode(text, out);
  EXPECT_EQ(out, UnitByUnit(text));
}

TEST(Codepage932, EncodeToStaysWithinTwoBytesPerUnit) {
  // Exactly the room promised, with a guard after it; the texts are the ones
  // that fill it: all two-byte characters, and two-byte characters after
  // ASCII blocks whose last stores reach furthest.
  const std::u16string texts[] = {std::u16string(17, 0x65E5), std::u16string(9, u'a') + u"日",
                                  std::u16string(16, u'a') + u"日日", u"日日日日日日日日ｱ",
                                  std::u16string(8, u'a')};
  for (const std::u16string& text : texts) {
    std::string buffer(2 * text.size() + 16, '\x55');
    char* const end = cp932::EncodeTo(text, buffer.data());
    const std::string expected = UnitByUnit(text);
    ASSERT_EQ(std::string(buffer.data(), end), expected);
    ASSERT_LE(expected.size(), 2 * text.size());
    EXPECT_EQ(buffer.substr(2 * text.size()), std::string(16, '\x55')) << "written past the room";
  }
}

TEST(Codepage932, DecodesValidAndBrokenInput) {
  const std::pair<std::string, std::u16string> cases[] = {
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
  for (const auto& [bytes, text] : cases) EXPECT_EQ(cp932::Decode(bytes), text) << bytes;
}

}  // namespace
