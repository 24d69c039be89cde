// Special files under a profile: FIFOs and devices are never read and never
// make the store wait, and what fails says where and why. (POSIX only:
// Windows has no FIFOs in its file system.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "store/store_test_helpers.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(SpecialFilesTest, FifosAndDevicesNamedVcfAreUnreadableItems) {
  testfiles::TempDir dir;
  fs::create_directories(dir / "p/s/Contacts");
  ASSERT_EQ(mkfifo((dir / "p/s/Contacts/a-fifo.vcf").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir / "p/s/Contacts/b-device.vcf");
  fs::create_symlink("nowhere", dir / "p/s/Contacts/c-broken.vcf");
  testfiles::WriteBytes(dir / "p/s/Contacts/d.vcf", storetest::Card("Readable"));
  const om::Handle ns = storetest::OpenNamespace(dir / "p");
  const om::Handle folder = om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
  EXPECT_EQ(storetest::Tree(folder), "Contacts[!,!,!,Readable]");
  const char* const kReasons[] = {"a-fifo.vcf, card 1: not a regular file", "b-device.vcf, card 1: not a regular file",
                                  "c-broken.vcf, card 1: cannot open file: No such file or directory"};
  for (std::int64_t i = 1; i <= std::ssize(kReasons); ++i) {
    EXPECT_EQ(storetest::FailureOf([&] { storetest::At(storetest::Member(folder, "Items"), i); }).reason,
              kReasons[i - 1]);
  }
}

TEST(SpecialFilesTest, AFifoInPlaceOfAStoreOrProfileNeverBlocks) {
  testfiles::TempDir dir;
  fs::create_directories(dir / "p/b");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "fifo", dir / "p/a");
  // Named like an Outlook data file: never handed to the data file reader.
  ASSERT_EQ(mkfifo((dir / "p/c.pst").c_str(), 0600), 0);
  const om::Handle ns = storetest::OpenNamespace(dir / "p");
  EXPECT_EQ(storetest::ErrorOf([&] { om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})); }),
            om::kMapiFailOneProvider);
  EXPECT_EQ(storetest::StoreNames(ns), "<failing>,b,<failing>");
  for (const auto& [index, reason] :
       {std::pair{1, "cannot open directory: Not a directory"}, {3, "not a regular file"}}) {
    const om::Handle store = storetest::At(storetest::Member(ns, "Stores"), index);
    EXPECT_EQ(storetest::FailureOf([&] { om::Get(store, "GetRootFolder"); }).reason, reason);
  }
  const om::Handle dataFile = storetest::At(storetest::Member(ns, "Folders"), 3);
  EXPECT_EQ(storetest::ErrorOf([&] { om::Get(dataFile, "StoreID"); }), om::kMapiFailOneProvider);

  // A profile that is a FIFO named like a card file: one store, one item
  // that cannot be read.
  ASSERT_EQ(mkfifo((dir / "book.vcf").c_str(), 0600), 0);
  const om::Handle single = storetest::OpenNamespace(dir / "book.vcf");
  const om::Handle book = om::AsObject(om::Get(single, "GetDefaultFolder", om::Value(std::int64_t{10})));
  EXPECT_EQ(storetest::Tree(book), "book.vcf[!]");
  EXPECT_EQ(storetest::FailureOf([&] { storetest::At(storetest::Member(book, "Items"), 1); }).reason,
            "book.vcf, card 1: not a regular file");
  EXPECT_NE(storetest::ErrorOf([&] { storetest::OpenNamespace(dir / "fifo"); }), 0u);
  const om::Handle dataFileProfile = storetest::OpenNamespace(dir / "p/c.pst");
  EXPECT_EQ(storetest::ErrorOf([&] { om::Get(dataFileProfile, "GetDefaultFolder", om::Value(std::int64_t{10})); }),
            om::kMapiFailOneProvider);
}

}  // namespace
