// The card index of a folder: large files read window by window, and the
// packed file names.
#include "store/cards/card_index.h"

#include <gtest/gtest.h>

#include "store/store_test_helpers.h"
#include "support/test_files.h"

namespace {

TEST(CardIndexTest, NamesSurviveManyBlocks) {
  standalone::NamePool pool;
  std::vector<standalone::NameRef> refs;
  for (int i = 0; i < 120000; ++i) refs.push_back(standalone::AddName(pool, "contact-" + std::to_string(i) + ".vcf"));
  EXPECT_GT(pool.blocks.size(), 1u);
  for (int i : {0, 1, 55000, 119999}) EXPECT_EQ(standalone::GetName(pool, refs[i]), "contact-" + std::to_string(i) + ".vcf");
}

// A file several times the scan window: every card found once, in order,
// and each decoded from its own bytes.
TEST(CardIndexTest, LargeFilesAreIndexedWindowByWindow) {
  testfiles::TempDir dir;
  std::string bytes = "\xEF\xBB\xBF";  // a UTF-8 mark at the start of the file only
  const std::string padding(200, 'x');
  constexpr int kCards = 60000;  // about 15 MiB
  for (int i = 0; i < kCards; ++i) bytes += storetest::Card("N" + std::to_string(i), "NOTE:" + padding + "\r\n");
  testfiles::WriteBytes(dir / "big.vcf", bytes);

  standalone::CardList cards;
  std::string buffer;
  standalone::IndexCardFile((dir / "big.vcf").string(), 7, cards, buffer);
  ASSERT_EQ(cards.size(), static_cast<std::size_t>(kCards));
  standalone::fs::FilePtr file(standalone::fs::OpenFile((dir / "big.vcf").string()));
  ASSERT_TRUE(file);
  for (int i : {0, 1, 16000, 16001, 33333, kCards - 1}) {
    EXPECT_EQ(cards[i].file, 7u);
    vcard::Card card;
    ASSERT_TRUE(standalone::ReadIndexedCard(file.get(), *standalone::ReadFileHead(file.get()), cards[i], buffer, card))
        << i;
    const std::string name = "N" + std::to_string(i);
    EXPECT_EQ(card.values[om::kLastName], om::Value(std::u16string(name.begin(), name.end())));
  }
  // In order, without overlaps, and none lost at a window's edge.
  for (std::size_t i = 1; i < cards.size(); ++i) {
    ASSERT_GE(cards[i].offset, cards[i - 1].offset + cards[i - 1].length) << i;
    ASSERT_LT(cards[i].offset - cards[i - 1].offset, 300u) << i;
  }
}

TEST(CardIndexTest, FilesWithoutCardsAndFilesThatCannotBeRead) {
  testfiles::TempDir dir;
  testfiles::WriteBytes(dir / "empty.vcf", "");
  testfiles::WriteBytes(dir / "junk.vcf", "no card here\r\n");
  standalone::CardList cards;
  std::string buffer;
  standalone::IndexCardFile((dir / "empty.vcf").string(), 1, cards, buffer);
  EXPECT_TRUE(cards.empty());
  standalone::IndexCardFile((dir / "junk.vcf").string(), 2, cards, buffer);
  standalone::IndexCardFile((dir / "missing.vcf").string(), 3, cards, buffer);
  standalone::IndexCardFile(dir.path().string(), 4, cards, buffer);  // a directory
  ASSERT_EQ(cards.size(), 3u);
  for (const standalone::CardRef& card : cards) EXPECT_EQ(card.length, standalone::kUnreadableCard);
  EXPECT_EQ(cards[0].file, 2u);
  EXPECT_EQ(cards[2].file, 4u);
}

}  // namespace
