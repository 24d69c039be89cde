// The card index of a folder: large files read window by window, and the
// packed file names.
#include "store/cards/card_index.h"

#include <gtest/gtest.h>

#include "store/store_test_helpers.h"
#include "support/test_files.h"

namespace {

TEST(CardIndexTest, NamesSurviveManyBlocks) {
  store::NamePool pool;
  std::vector<store::NameRef> refs;
  for (int i = 0; i < 120000; ++i) refs.push_back(store::AddName(pool, "contact-" + std::to_string(i) + ".vcf"));
  EXPECT_GT(pool.blocks.size(), 1u);
  for (int i : {0, 1, 55000, 119999}) EXPECT_EQ(store::GetName(pool, refs[i]), "contact-" + std::to_string(i) + ".vcf");
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

  store::CardList cards;
  std::string buffer;
  store::IndexCardFile((dir / "big.vcf").string(), 7, cards, buffer);
  ASSERT_EQ(cards.size(), static_cast<std::size_t>(kCards));
  store::fs::FilePtr file(store::fs::OpenFile((dir / "big.vcf").string()));
  ASSERT_TRUE(file);
  for (int i : {0, 1, 16000, 16001, 33333, kCards - 1}) {
    EXPECT_EQ(cards[i].file, 7u);
    vcard::Card card;
    ASSERT_TRUE(store::ReadIndexedCard(file.get(), *store::ReadFileHead(file.get()), cards[i], buffer, card))
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
  store::CardList cards;
  std::string buffer;
  store::IndexCardFile((dir / "empty.vcf").string(), 1, cards, buffer);
  EXPECT_TRUE(cards.empty());
  store::IndexCardFile((dir / "junk.vcf").string(), 2, cards, buffer);
  store::IndexCardFile((dir / "missing.vcf").string(), 3, cards, buffer);
  store::IndexCardFile(dir.path().string(), 4, cards, buffer);  // a directory
  ASSERT_EQ(cards.size(), 3u);
  for (const store::CardRef& card : cards) EXPECT_EQ(card.length, store::kUnreadableCard);
  EXPECT_EQ(cards[0].file, 2u);
  EXPECT_EQ(cards[2].file, 4u);
}

}  // namespace
