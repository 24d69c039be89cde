// The decoding of a folder's cards on a second thread: whatever the order of
// the fetches, the items are those a plain read of each card gives; cards
// taken back by the index are never served; a decoder with work pending
// goes away without hanging.
#include "store/cards/card_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "store/cards/files_ahead.h"
#include "store/store_test_helpers.h"
#include "support/test_files.h"

namespace {

using store::CardDecoder;
using store::CardRef;
using store::ItemData;
using store::NameRef;

class DirFiles final : public store::FolderFiles {
 public:
  explicit DirFiles(std::filesystem::path dir) : dir_(std::move(dir)) {}
  std::string FilePath(NameRef file) const override { return (dir_ / Name(file)).string(); }
  std::string FileName(NameRef file) const override { return Name(file); }
  static std::string Name(NameRef file) { return "f" + std::to_string(file) + ".vcf"; }

 private:
  std::filesystem::path dir_;
};

// The family name of an item, or how fetching it failed.
std::string Fetched(CardDecoder& decoder, std::size_t index) {
  try {
    const ItemData item = decoder.Fetch(index);
    if (!item.properties) return "no properties";
    const auto& last = std::get<std::u16string>((*item.properties)[om::kLastName]);
    return std::string(last.begin(), last.end()) + (item.kind == om::ItemKind::kContact ? "" : "/group");
  } catch (const om::ObjectModelError& error) {
    return "error " + std::to_string(error.number());
  }
}

// A folder of `files` files: file k holds k % 4 cards named "k.c" (none in
// every fourth file, which is then "junk" and one unreadable item), the
// last card of each file a group; the big file is read window by window.
struct Folder {
  testfiles::TempDir dir;
  std::shared_ptr<const DirFiles> files = std::make_shared<const DirFiles>(dir.path());
  std::vector<std::string> expected;

  explicit Folder(int count) {
    for (int k = 0; k < count; ++k) {
      std::string bytes;
      const int cards = k % 4;
      for (int c = 0; c < cards; ++c) {
        const std::string name = std::to_string(k) + "." + std::to_string(c);
        bytes += storetest::Card(name, c + 1 == cards ? "KIND:group\r\n" : "");
        expected.push_back(name + (c + 1 == cards ? "/group" : ""));
      }
      if (cards == 0) {
        bytes = "junk\r\n";
        expected.push_back("error " + std::to_string(om::kMapiCorruptData));
      }
      testfiles::WriteBytes(dir / DirFiles::Name(k), bytes);
    }
  }

  void Index(CardDecoder& decoder, int count) const {
    std::string buffer;
    for (int k = 0; k < count; ++k) {
      store::IndexCardFile(files->FilePath(k), static_cast<NameRef>(k), buffer, decoder);
    }
    decoder.Complete();
  }

  // The same through IndexFiles, which reads files ahead of the index: the
  // files opened within the directory, or by their paths.
  void IndexAhead(CardDecoder& decoder, int count, bool withDirectory) const {
    std::vector<NameRef> names;
    for (int k = 0; k < count; ++k) names.push_back(static_cast<NameRef>(k));
    std::shared_ptr<store::fs::Directory> directory(
        withDirectory ? store::fs::OpenDirectory(dir.path().string()) : nullptr,
        store::fs::DirectoryCloser());
    ASSERT_EQ(withDirectory, directory != nullptr);
    decoder.IndexFiles(std::move(names), std::move(directory));
  }
};

enum class Indexing { kCardByCard, kFilesInDirectory, kFilesByPath };
constexpr Indexing kIndexings[] = {Indexing::kCardByCard, Indexing::kFilesInDirectory, Indexing::kFilesByPath};

void IndexFolder(const Folder& folder, CardDecoder& decoder, int count, Indexing indexing) {
  if (indexing == Indexing::kCardByCard) {
    folder.Index(decoder, count);
  } else {
    folder.IndexAhead(decoder, count, indexing == Indexing::kFilesInDirectory);
  }
}

TEST(CardDecoderTest, AnyOrderOfFetchesGivesTheSameItems) {
  constexpr int kFiles = 120;  // more items than are decoded ahead
  Folder folder(kFiles);
  const std::size_t n = folder.expected.size();
  ASSERT_GT(n, 2 * store::kItemsAhead);

  std::vector<std::size_t> inOrder(n);
  for (std::size_t i = 0; i < n; ++i) inOrder[i] = i;
  std::vector<std::size_t> shuffled = inOrder;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  std::vector<std::size_t> mixed;  // forward, a jump back, repeats, a jump ahead
  for (std::size_t i : {0, 1, 2, 1, 1, 0, 100, 101, 5, 6, 7}) mixed.push_back(i);
  for (std::size_t i = 150; i < n; ++i) mixed.push_back(i);
  std::vector<std::size_t> backwards(inOrder.rbegin(), inOrder.rend());

  // Keeping where 40 cards lie, the rest are found again as they are fetched.
  for (const std::size_t held : {store::kHeldCards, std::size_t{40}}) {
    for (const bool threaded : {true, false}) {
      for (const Indexing indexing : kIndexings) {
        for (const auto* order : {&inOrder, &shuffled, &mixed, &backwards}) {
          CardDecoder decoder(folder.files, threaded, held);
          IndexFolder(folder, decoder, kFiles, indexing);
          ASSERT_EQ(decoder.Count(), n);
          for (std::size_t i : *order) {
            ASSERT_EQ(Fetched(decoder, i), folder.expected[i]) << i << " threaded " << threaded << " indexing "
                                                               << static_cast<int>(indexing) << " held " << held;
          }
        }
      }
    }
  }
}

// Files read ahead of the index give the items the index gives when it reads
// each file itself, whatever the file turns out to be: a directory or a
// missing file under a .vcf name, an empty file, a file too large to be read
// ahead (read window by window), and more files than are read ahead at once.
TEST(CardDecoderTest, FilesReadAheadGiveTheItemsOfTheFiles) {
  constexpr int kFiles = 3 * static_cast<int>(store::kFilesAhead);
  Folder folder(kFiles);
  std::filesystem::remove(folder.dir / DirFiles::Name(5));
  std::filesystem::create_directory(folder.dir / DirFiles::Name(5));
  std::filesystem::remove(folder.dir / DirFiles::Name(6));
  testfiles::WriteBytes(folder.dir / DirFiles::Name(9), "");
  std::string big;
  for (int c = 0; big.size() <= store::kAheadFileBytes; ++c) {
    big += storetest::Card("big" + std::to_string(c), "NOTE:" + std::string(2000, 'x') + "\r\n");
  }
  testfiles::WriteBytes(folder.dir / DirFiles::Name(kFiles - 2), big);

  CardDecoder reference(folder.files, false);
  folder.Index(reference, kFiles);
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < reference.Count(); ++i) expected.push_back(Fetched(reference, i));
  ASSERT_GT(expected.size(), folder.expected.size());  // the big file's cards are there

  for (const std::size_t held : {store::kHeldCards, std::size_t{10}}) {
    for (const bool threaded : {true, false}) {
      for (const bool withDirectory : {true, false}) {
        CardDecoder decoder(folder.files, threaded, held);
        folder.IndexAhead(decoder, kFiles, withDirectory);
        ASSERT_EQ(decoder.Count(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
          ASSERT_EQ(Fetched(decoder, i), expected[i]) << i << " threaded " << threaded << " held " << held;
        }
      }
    }
  }
}

// Where each item lies, its file and its number there, whether the index
// keeps the item's card or finds it again as it is fetched; a file without a
// card is one unreadable item, told as such right after its fetch.
TEST(CardDecoderTest, EachItemsPlaceIsItsFileAndNumber) {
  constexpr int kFiles = 30;
  Folder folder(kFiles);
  std::vector<store::CardPlace> expected;
  for (int k = 0; k < kFiles; ++k) {
    for (int c = 0; c < std::max(k % 4, 1); ++c) {
      expected.push_back({static_cast<NameRef>(k), static_cast<std::size_t>(c + 1), k % 4 == 0});
    }
  }
  for (const std::size_t held : {store::kHeldCards, std::size_t{10}}) {
    CardDecoder decoder(folder.files, true, held);
    folder.IndexAhead(decoder, kFiles, true);
    ASSERT_EQ(decoder.Count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      Fetched(decoder, i);
      const store::CardPlace place = decoder.Place(i);
      EXPECT_EQ(place.file, expected[i].file) << i << " held " << held;
      EXPECT_EQ(place.number, expected[i].number) << i << " held " << held;
      EXPECT_EQ(place.unreadable, expected[i].unreadable) << i << " held " << held;
    }
  }
}

// The second thread serves one folder at a time; folders fetched in turn
// take it from each other.
TEST(CardDecoderTest, FoldersFetchedInTurnEachGetTheirOwnItems) {
  Folder first(60), second(90);
  CardDecoder a(first.files), b(second.files);
  first.Index(a, 60);
  second.Index(b, 90);
  const std::size_t n = std::max(a.Count(), b.Count());
  for (std::size_t i = 0; i < n; ++i) {
    if (i < a.Count()) {
      ASSERT_EQ(Fetched(a, i), first.expected[i]) << i;
    }
    if (i < b.Count()) {
      ASSERT_EQ(Fetched(b, i), second.expected[i]) << i;
    }
  }
}

TEST(CardDecoderTest, FilesReadWholeAreNotReadAgain) {
  for (const Indexing indexing : kIndexings) {
    Folder folder(12);
    CardDecoder decoder(folder.files);
    IndexFolder(folder, decoder, 12, indexing);
    // The files are gone once indexed; their cards come from what the index read.
    for (int k = 0; k < 12; ++k) std::filesystem::remove(folder.dir / DirFiles::Name(k));
    for (std::size_t i = 0; i < decoder.Count(); ++i) {
      EXPECT_EQ(Fetched(decoder, i), folder.expected[i]) << i << " indexing " << static_cast<int>(indexing);
    }
  }
}

// A sink that lets the cards of one file be decoded, then takes them back,
// as the index does when the rest of a file turns out to be unreadable.
TEST(CardDecoderTest, WithdrawnCardsAreNeverServed) {
  Folder folder(8);
  CardDecoder decoder(folder.files);
  std::string buffer;
  store::IndexCardFile(folder.files->FilePath(3), 3, buffer, decoder);  // 3 cards
  // Give the thread time to decode them before they are taken back.
  for (int spin = 0; spin < 50; ++spin) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  decoder.Withdraw(3);
  const CardRef unreadable{0, store::kUnreadableCard, 3};
  decoder.Add(std::span<const CardRef>(&unreadable, 1), {});
  store::IndexCardFile(folder.files->FilePath(2), 2, buffer, decoder);  // 2 cards
  decoder.Complete();
  ASSERT_EQ(decoder.Count(), 3u);
  EXPECT_EQ(Fetched(decoder, 0), "error " + std::to_string(om::kMapiCorruptData));
  EXPECT_EQ(Fetched(decoder, 1), "2.0");
  EXPECT_EQ(Fetched(decoder, 2), "2.1/group");
}

// The index takes cards back while the second thread is decoding them, and
// the fetches run between: round after round, a batch of cards is added
// (enough to wake the second thread) and withdrawn at once, then two cards
// are added for good and fetched. Only the cards kept are ever served.
TEST(CardDecoderTest, WithdrawalsRacingTheSecondThreadNeverServeWithdrawnCards) {
  constexpr int kRounds = 300;
  Folder folder(0);
  std::string batch;
  for (int c = 0; c < 40; ++c) batch += storetest::Card("gone" + std::to_string(c));
  CardDecoder decoder(folder.files);
  std::vector<std::string> expected;
  for (int round = 0; round < kRounds; ++round) {
    const auto gone = static_cast<NameRef>(2 * round), kept = gone + 1;
    const std::string names[] = {std::to_string(round) + ".0", std::to_string(round) + ".1"};
    const std::string keptBytes = storetest::Card(names[0]) + storetest::Card(names[1]);
    testfiles::WriteBytes(folder.dir / DirFiles::Name(gone), batch);
    testfiles::WriteBytes(folder.dir / DirFiles::Name(kept), keptBytes);
    store::IndexWholeFile(batch, gone, decoder);
    decoder.Withdraw(40);
    store::IndexWholeFile(keptBytes, kept, decoder);
    expected.insert(expected.end(), std::begin(names), std::end(names));
    // Fetched while the index goes on, as a fetch out of order would.
    ASSERT_EQ(Fetched(decoder, expected.size() - 1), names[1]);
  }
  decoder.Complete();
  ASSERT_EQ(decoder.Count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(Fetched(decoder, i), expected[i]) << i;
}

TEST(CardDecoderTest, GoesAwayPromptlyWithWorkPending) {
  Folder folder(400);
  {
    // Indexed but never fetched: the thread waits with a full window.
    CardDecoder decoder(folder.files);
    folder.Index(decoder, 400);
  }
  {
    // Fetched part-way, and an index never completed.
    CardDecoder decoder(folder.files);
    std::string buffer;
    for (NameRef k = 0; k < 50; ++k) store::IndexCardFile(folder.files->FilePath(k), k, buffer, decoder);
  }
  {
    // Files read ahead, never fetched.
    CardDecoder decoder(folder.files);
    folder.IndexAhead(decoder, 400, true);
  }
  CardDecoder decoder(folder.files);
  folder.Index(decoder, 400);
  EXPECT_EQ(Fetched(decoder, 0), folder.expected[0]);
  EXPECT_EQ(Fetched(decoder, 1), folder.expected[1]);
}

}  // namespace
