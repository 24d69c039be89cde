// The profile layout of the stand-alone store, on real directories: which
// entries are stores, folders and items, in which order, and which folder is
// the default contacts folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "outlook/standalone_test_helpers.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using storetest::Card;
using storetest::ErrorOf;
using storetest::OpenNamespace;
using storetest::Tree;
using testfiles::WriteBytes;

class LayoutTest : public testing::Test {
 protected:
  fs::path Dir(const std::string& relative) {
    fs::create_directories(dir_ / relative);
    return dir_ / relative;
  }
  void Write(const std::string& relative, const std::string& bytes) { WriteBytes(dir_ / relative, bytes); }
  // Links are part of every rule below; where the system refuses them the
  // test cannot say anything.
  void Link(const std::string& target, const std::string& relative) {
    std::error_code error;
    fs::create_symlink(target, dir_ / relative, error);
    if (error) GTEST_SKIP() << "cannot create symbolic links: " << error.message();
  }
  om::Handle DefaultFolder(const om::Handle& ns) {
    return om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
  }

  testfiles::TempDir dir_;
};

TEST_F(LayoutTest, StoresAreDirectoriesAndLinksInByteOrderAndTheFirstIsTheDefault) {
  Write("a-store/Contacts/x.vcf", (Dir("a-store/Contacts"), Card("InA")));
  Write("B-store/Contacts/x.vcf", (Dir("B-store/Contacts"), Card("InB")));
  Dir("b-store");
  Dir(".hidden-store/Contacts");
  Write("notes.txt", "not a store");
  Link("b-store", "c-link");
  Link("nowhere", "d-broken");

  const om::Handle ns = OpenNamespace(dir_.path());
  // "B" (0x42) sorts before "a" (0x61): byte order, not case-folded order.
  EXPECT_EQ(storetest::StoreNames(ns), "B-store,a-store,b-store,c-link,<failing>");
  EXPECT_EQ(Tree(DefaultFolder(ns)), "Contacts[InB]");
}

TEST_F(LayoutTest, DefaultContactsFolderIsContactsInAnyCaseElseTheJapaneseName) {
  Dir("p/store/Other");
  Write("p/store/連絡先/a.vcf", (Dir("p/store/連絡先"), Card("Japanese")));
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(dir_ / "p"))), "連絡先[Japanese]");

  Write("p/store/cONTACTS/a.vcf", (Dir("p/store/cONTACTS"), Card("English")));
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(dir_ / "p"))), "cONTACTS[English]");
}

TEST_F(LayoutTest, WithoutContactsFolderInTheDefaultStoreTheDefaultFolderIsNotFound) {
  Dir("p/1/Other/Contacts");          // not directly in the store
  Write("p/1/Contacts", "a file, not a folder");
  Dir("p/2/Contacts");                // not the default store
  const om::Handle ns = OpenNamespace(dir_ / "p");
  EXPECT_EQ(ErrorOf([&] { DefaultFolder(ns); }), om::kMapiNotFound);
  // Only the contacts folder is served.
  EXPECT_EQ(ErrorOf([&] { om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{6})); }), om::kMapiNotFound);

  Dir("empty-profile");
  EXPECT_EQ(ErrorOf([&] { DefaultFolder(OpenNamespace(dir_ / "empty-profile")); }), om::kMapiNotFound);
}

TEST_F(LayoutTest, FailingStoresFailAsProvidersAndTheOthersStillServe) {
  Write("good/Contacts/a.vcf", (Dir("good/Contacts"), Card("Good")));
  Write("a-file", "x");
  for (const char* target : {"a-file", "missing"}) {
    SCOPED_TRACE(target);
    const std::string profile = std::string("profile-") + target;
    Dir(profile);
    Link((dir_ / target).string(), profile + "/0-failing");
    Link((dir_ / "good").string(), profile + "/1-good");
    const om::Handle ns = OpenNamespace(dir_ / profile);
    EXPECT_EQ(ErrorOf([&] { DefaultFolder(ns); }), om::kMapiFailOneProvider);
    const om::Handle folders = storetest::Member(ns, "Folders");
    ASSERT_EQ(om::AsCount(om::Get(folders, "Count")), 2);
    const om::Handle failing = storetest::At(folders, 1);
    for (const char* member : {"StoreID", "Items", "Folders", "EntryID"}) {
      EXPECT_EQ(ErrorOf([&] { om::Get(failing, member); }), om::kMapiFailOneProvider) << member;
    }
    const om::Handle good = storetest::At(folders, 2);
    EXPECT_FALSE(storetest::Text(om::Get(good, "StoreID")).empty());
    EXPECT_EQ(Tree(good), "1-good[](Contacts[Good])");
  }
}

TEST_F(LayoutTest, StoreIdsAreStableAndDistinct) {
  Dir("p/one");
  Dir("p/two");
  auto ids = [&] {
    const om::Handle folders = storetest::Member(OpenNamespace(dir_ / "p"), "Folders");
    return std::pair(storetest::Text(om::Get(storetest::At(folders, 1), "StoreID")),
                     storetest::Text(om::Get(storetest::At(folders, 2), "StoreID")));
  };
  const auto first = ids();
  EXPECT_FALSE(first.first.empty());
  EXPECT_NE(first.first, first.second);
  EXPECT_EQ(ids(), first);
  // Subfolders belong to their store.
  Dir("p/one/Contacts");
  const om::Handle ns = OpenNamespace(dir_ / "p");
  EXPECT_EQ(storetest::Text(om::Get(DefaultFolder(ns), "StoreID")), first.first);
}

TEST_F(LayoutTest, AVcfFileOrADirectoryOfVcfFilesIsAProfileOfOneStore) {
  Write("book.vcf", Card("One") + Card("Two"));
  om::Handle ns = OpenNamespace(dir_ / "book.vcf");
  EXPECT_EQ(storetest::StoreNames(ns), "book.vcf");
  EXPECT_EQ(Tree(DefaultFolder(ns)), "book.vcf[One,Two]");

  Write("dir/b.VCF", (Dir("dir"), Card("B")));
  Write("dir/a.vcf", Card("A"));
  Write("dir/Family/c.vcf", (Dir("dir/Family"), Card("C")));
  ns = OpenNamespace(dir_ / "dir");
  EXPECT_EQ(storetest::CountOf(ns, "Folders"), 1);
  EXPECT_EQ(Tree(DefaultFolder(ns)), "dir[A,B](Family[C])");
  EXPECT_EQ(Tree(storetest::At(storetest::Member(ns, "Folders"), 1)), "dir[A,B](Family[C])");
}

TEST_F(LayoutTest, AProfileThatCannotBeOpenedCreatesNoApplication) {
  Write("not-a-profile.txt", "x");
  Link("missing", "dangling");
  for (const char* name : {"missing", "not-a-profile.txt", "dangling"}) {
    EXPECT_NE(ErrorOf([&] { standalone::CreateStandaloneApplicationAt((dir_ / name).string()); }), 0u) << name;
  }
}

TEST_F(LayoutTest, ItemsAreTheCardsOfVcfFilesInByteOrderOfFilesAndFileOrderOfCards) {
  Dir("p/s/Contacts");
  Write("p/s/Contacts/b.vcf", Card("B1") + "\r\n" + Card("B2"));
  Write("p/s/Contacts/A.VCF", Card("A1"));
  Write("p/s/Contacts/c.Vcf", Card("C1"));
  Write("p/s/Contacts/d.vcf.bak", Card("NotAnItem"));
  Write("p/s/Contacts/e.txt", Card("NotAnItem"));
  Write("p/s/Contacts/.f.vcf", Card("Hidden"));
  Write("p/s/Contacts/empty.vcf", "");
  Write("p/s/Contacts/junk.vcf", "\x89PNG not a card at all");
  Dir("p/s/Contacts/g.vcf");  // a folder, even with that name
  Link("nowhere.vcf", "p/s/Contacts/h.vcf");
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(dir_ / "p"))), "Contacts[A1,B1,B2,C1,!,!](g.vcf[])");
}

TEST_F(LayoutTest, UnreadableCardsFailAloneAndGroupsAreDistributionLists) {
  Dir("p/s/Contacts");
  Write("p/s/Contacts/a.vcf",
        Card("Before") + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Cut;;;;\r\n" /* no END: the file ends in the card */);
  Write("p/s/Contacts/b.vcf", Card("Team", "KIND:group\r\n") + Card("After"));
  const std::string tree = Tree(DefaultFolder(OpenNamespace(dir_ / "p")));
  // A card cut off by the end of its file is the reader's to decode or to
  // refuse; either way it is one item and the items after it are served.
  EXPECT_TRUE(tree.starts_with("Contacts[Before,")) << tree;
  EXPECT_TRUE(tree.ends_with(",group:Team,After]")) << tree;
  EXPECT_EQ(std::count(tree.begin(), tree.end(), ','), 3) << tree;
}

TEST_F(LayoutTest, SubfoldersInByteOrderWithoutHiddenOnesOrLinksBackToAnAncestor) {
  Dir("p/s/Contacts/b/deep");
  Dir("p/s/Contacts/B");
  Dir("p/s/Contacts/.git");
  Dir("p/s/Other");
  Write("p/s/Other/o.vcf", Card("Other"));
  Link("..", "p/s/Contacts/b/deep/up");      // the parent: an ancestor
  Link("../..", "p/s/Contacts/b/deep/top");  // the contacts folder itself
  Link(".", "p/s/Contacts/b/self");          // the folder itself
  Link("../../Other", "p/s/Contacts/b/other");  // elsewhere: an ordinary subfolder
  // Above the store: listed, but the store inside it is an ancestor again.
  Link((dir_ / "p").string(), "p/s/Contacts/profile");
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(dir_ / "p"))),
            "Contacts[](B[],b[](deep[],other[Other]),profile[])");
}

TEST_F(LayoutTest, EntryIdsNameTheDirectory) {
  Dir("p/s/Contacts/a");
  Link("a", "p/s/Contacts/b");
  const om::Handle folders = storetest::Member(DefaultFolder(OpenNamespace(dir_ / "p")), "Folders");
  const std::string a = storetest::Text(om::Get(storetest::At(folders, 1), "EntryID"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(storetest::Text(om::Get(storetest::At(folders, 2), "EntryID")), a);
  Dir("p/s/Contacts/c");
  const om::Handle again = storetest::Member(DefaultFolder(OpenNamespace(dir_ / "p")), "Folders");
  EXPECT_NE(storetest::Text(om::Get(storetest::At(again, 3), "EntryID")), a);
}

}  // namespace
