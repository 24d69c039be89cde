// Finding the cards of a file and reading them whatever the bytes are.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "vcard/vcard_fields.h"
#include "vcard/vcard_test_support.h"

namespace {

using vcard::CardExtent;
using vcard::FindCards;
using vcard::ReadCard;

std::string Slice(std::string_view file, CardExtent e) { return std::string(file.substr(e.offset, e.length)); }

TEST(VcardReaderTest, FindsCardsAsByteRanges) {
  const std::string file =
      "junk before\nEND:VCARD\n\nBEGIN:VCARD \nN:A\nEND:VCARD\n\n\nbegin : vCard\r\nN:B\r\nend:VCARD\r\n"
      "BEGIN:VCARDX\nBEGIN:VCARD\nN:C\n";
  const std::vector<CardExtent> cards = FindCards(file);
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(Slice(file, cards[0]), "BEGIN:VCARD \nN:A\nEND:VCARD");
  EXPECT_EQ(Slice(file, cards[1]), "begin : vCard\r\nN:B\r\nend:VCARD");
  // Without END:VCARD the card runs to the end of the file.
  EXPECT_EQ(Slice(file, cards[2]), "BEGIN:VCARD\nN:C\n");
  EXPECT_EQ(vcard_test::ColumnText(ReadCard(file, cards[2]).value(), om::kLastName), u"C");
  EXPECT_TRUE(FindCards("VERSION:3.0\nN:A\nEND:VCARD\n").empty());
  EXPECT_TRUE(FindCards("\xEF\xBB\xBF").empty());
  EXPECT_TRUE(FindCards("").empty());
}

TEST(VcardReaderTest, BeginInsideACard) {
  // After an AGENT property without value the card that follows is that
  // property's value: one card, the agent's properties are not the
  // contact's.
  const std::string agent =
      "BEGIN:VCARD\nVERSION:2.1\nN:Outer;O\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nN:Inner;I\nTEL;HOME:2\nEND:VCARD\n"
      "TEL;WORK:1\nEND:VCARD\n";
  vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(agent),
                            {{"lastname", u"Outer"}, {"FirstName", u"O"}, {"BusinessTelephoneNumber", u"1"}});
  // Elsewhere a BEGIN:VCARD means the open card was cut off.
  const std::string cut = "BEGIN:VCARD\nN:Cut\nBEGIN:VCARD\nN:Whole\nEND:VCARD\n";
  const std::vector<CardExtent> cards = FindCards(cut);
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(Slice(cut, cards[0]), "BEGIN:VCARD\nN:Cut\n");
  EXPECT_EQ(vcard_test::ColumnText(ReadCard(cut, cards[0]).value(), om::kLastName), u"Cut");
  EXPECT_EQ(vcard_test::ColumnText(ReadCard(cut, cards[1]).value(), om::kLastName), u"Whole");
}

// Lines that cannot begin or end a card are passed over in bulk; the cards
// are found wherever their lines fall, after lines of any length and with
// any line end, and an AGENT line still holds the BEGIN that follows it.
TEST(VcardReaderTest, FindsCardsAfterLinesOfEveryLength) {
  for (std::string_view eol : {"\r\n", "\n", "\r", "\r\r\n"}) {
    std::string file = "X";
    std::vector<std::string> expected;
    for (std::size_t length = 0; length <= 40; ++length) {
      const std::string filler(length, length % 2 ? 'b' : 'Z');
      std::string card = (length % 3 ? "BEGIN:VCARD" : "begin:vcard") + std::string(eol) + "N:" + filler +
                         std::string(eol) + " eNd:VCARD" + std::string(eol) + "BDAY:" + filler + std::string(eol);
      if (length % 4 == 0) {
        card += "AGENT:" + std::string(eol) + "BEGIN:VCARD" + std::string(eol) + "N:" + filler + std::string(eol) +
                "END:VCARD" + std::string(eol);
      }
      card += "End:vCard";
      file += filler + std::string(eol) + (length % 5 ? "" : std::string(eol));
      expected.push_back(card);
      file += card + std::string(eol) + "e" + filler + std::string(eol);
    }
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    const std::vector<CardExtent> cards = FindCards(file);
    ASSERT_EQ(cards.size(), expected.size());
    for (std::size_t i = 0; i < cards.size(); ++i) EXPECT_EQ(Slice(file, cards[i]), expected[i]) << "card " << i;
  }
}

TEST(VcardReaderTest, NothingForBytesThatAreNoCard) {
  const std::string file = "N:A\nBEGIN:VCARD\nN:B\nEND:VCARD\n";
  EXPECT_FALSE(ReadCard(file, {0, 4}).has_value());
  EXPECT_FALSE(ReadCard(file, {file.size() + 10, 5}).has_value());
  EXPECT_FALSE(ReadCard(file, {0, 0}).has_value());
  EXPECT_FALSE(ReadCard("\xFF\xFE" "A", {0, 3}).has_value());
  // A card with garbage lines still maps what it can.
  std::optional<vcard::Card> card = ReadCard("BEGIN:VCARD\n\x01\x02garbage\n:\n;;;\nN:G\nEND:VCARD", {0, 36});
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(vcard_test::ColumnText(*card, om::kLastName), u"G");
}

// Reads every card of `file` and checks that text columns are texts and
// date columns dates.
void ReadAll(std::string_view file) {
  for (const CardExtent& extent : FindCards(file)) {
    std::optional<vcard::Card> card = ReadCard(file, extent);
    if (!card) continue;
    for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
      const std::u16string text = vcard_test::ColumnText(*card, column);
      ASSERT_NE(text, u"<not a text>");
      ASSERT_NE(text, u"<not a date>");
    }
  }
}

TEST(VcardReaderTest, SurvivesMutatedCards) {
  const std::string seed =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=83=5C;=\r\n=95=5C\r\n"
      "item1.TEL;TYPE=\"a,b\":1\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\nPHOTO;ENCODING=BASE64:\r\n QUFB\r\n\r\n"
      "ADR;HOME:;x\\;y;z\r\nBDAY:2000-02-29\r\nAGENT:\r\nBEGIN:VCARD\r\nEND:VCARD\r\nNOTE:a\\nb\r\nEND:VCARD\r\n";
  std::mt19937 random(20261208);
  const std::string alphabet = std::string("\r\n\t ;:=,\\\"\0.\x83\x5C\xC3\xFF\xFE", 18) + "BEGINDVCAR";
  for (int round = 0; round < 3000; ++round) {
    std::string file = seed;
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % (file.size() + 1);
      switch (random() % 3) {
        case 0: file.insert(at, 1, alphabet[random() % alphabet.size()]); break;
        case 1: if (at < file.size()) file.erase(at, 1 + random() % 16); break;
        default: file.resize(at); break;
      }
    }
    if (round % 2 == 1) file = "\xFF\xFE" + file;
    ReadAll(file);
  }
}

TEST(VcardReaderTest, LargeInputsStayLinear) {
  const auto start = std::chrono::steady_clock::now();
  // A million properties.
  std::string many = "BEGIN:VCARD\nVERSION:3.0\n";
  for (int i = 0; i < 1000000; ++i) many += (i % 2 == 0) ? "TEL;TYPE=home:1\n" : "X-JUNK:2\n";
  many += "N:Many\nEND:VCARD\n";
  vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(many),
                            {{"lastname", u"Many"}, {"HomeTelephoneNumber", u"1"}, {"Home2TelephoneNumber", u"1"}});
  // A 16 MB line with NUL bytes in it, and one folded over 16,384 lines:
  // both cut at the longest text a column takes.
  const std::string nul_note = std::string("NOTE:a\0b", 8) + std::string(16 << 20, 'x');
  const std::u16string body = vcard_test::ColumnText(vcard_test::ReadOnlyCard("BEGIN:VCARD\n" + nul_note + "\nEND:VCARD\n"), om::kBody);
  EXPECT_EQ(body.size(), vcard::kMaxTextLength);
  EXPECT_EQ(body.substr(0, 4), std::u16string(u"a\0bx", 4));
  std::string wide = "BEGIN:VCARD\nNOTE:";
  for (int i = 0; i < 16384; ++i) wide += std::string(1024, 'y') + "\n ";
  wide += "z\nEND:VCARD\n";
  EXPECT_EQ(vcard_test::ColumnText(vcard_test::ReadOnlyCard(wide), om::kBody), std::u16string(vcard::kMaxTextLength, u'y'));
  // A header folded over 200,000 lines that never finds its ':'.
  std::string folded = "BEGIN:VCARD\nX-A;P=\"";
  for (int i = 0; i < 200000; ++i) folded += "\n abcdefgh";
  folded += "\nN:Folded\nEND:VCARD\n";
  EXPECT_EQ(vcard_test::ColumnText(vcard_test::ReadOnlyCard(folded), om::kLastName), u"Folded");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
}

}  // namespace
