// The profile layout of the stand-alone store, on real directories: which
// entries are stores, folders and items, in which order, and which folder is
// the default contacts folder. (Rules that need symbolic links or FIFOs are
// in the *_posix tests.)
#include <gtest/gtest.h>

#include <algorithm>

#include "store/store_test_helpers.h"

namespace {

using storetest::Card;
using storetest::ErrorOf;
using storetest::OpenNamespace;
using storetest::Tree;
using LayoutTest = storetest::ProfileTest;

TEST_F(LayoutTest, StoresAreDirectoriesInByteOrderAndTheFirstIsTheDefault) {
  Write("p/a-store/Contacts/x.vcf", (Dir("p/a-store/Contacts"), Card("InA")));
  Write("p/B-store/Contacts/x.vcf", (Dir("p/B-store/Contacts"), Card("InB")));
  Dir("p/c-store");
  Dir("p/.hidden-store/Contacts");
  Write("p/notes.txt", "not a store");

  const om::Handle ns = OpenNamespace(Path("p"));
  // "B" (0x42) sorts before "a" (0x61): byte order, not case-folded order.
  EXPECT_EQ(storetest::StoreNames(ns), "B-store,a-store,c-store");
  EXPECT_EQ(Tree(DefaultFolder(ns)), "Contacts[InB]");
}

TEST_F(LayoutTest, DefaultContactsFolderIsContactsInAnyCaseElseTheJapaneseName) {
  Dir("p/store/Other");
  Write("p/store/連絡先/a.vcf", (Dir("p/store/連絡先"), Card("Japanese")));
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))), "連絡先[Japanese]");

  Write("p/store/cONTACTS/a.vcf", (Dir("p/store/cONTACTS"), Card("English")));
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))), "cONTACTS[English]");
}

TEST_F(LayoutTest, WithoutContactsFolderInTheDefaultStoreTheDefaultFolderIsNotFound) {
  Dir("p/1/Other/Contacts");  // not directly in the store
  Write("p/1/Contacts", "a file, not a folder");
  Dir("p/2/Contacts");  // not the default store
  const om::Handle ns = OpenNamespace(Path("p"));
  EXPECT_EQ(ErrorOf([&] { DefaultFolder(ns); }), om::kMapiNotFound);
  // Only the contacts folder is served.
  EXPECT_EQ(ErrorOf([&] { om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{6})); }), om::kMapiNotFound);

  Dir("empty-profile");
  EXPECT_EQ(ErrorOf([&] { DefaultFolder(OpenNamespace(Path("empty-profile"))); }), om::kMapiNotFound);
}

TEST_F(LayoutTest, StoreIdsAreStableAndDistinct) {
  Dir("p/one");
  Dir("p/two");
  auto ids = [&] {
    const om::Handle folders = storetest::Member(OpenNamespace(Path("p")), "Folders");
    return std::pair(storetest::Text(om::Get(storetest::At(folders, 1), "StoreID")),
                     storetest::Text(om::Get(storetest::At(folders, 2), "StoreID")));
  };
  const auto first = ids();
  EXPECT_FALSE(first.first.empty());
  EXPECT_NE(first.first, first.second);
  EXPECT_EQ(ids(), first);
  // Subfolders belong to their store.
  Dir("p/one/Contacts");
  EXPECT_EQ(storetest::Text(om::Get(DefaultFolder(OpenNamespace(Path("p"))), "StoreID")), first.first);
}

TEST_F(LayoutTest, AVcfFileOrADirectoryOfVcfFilesIsAProfileOfOneStore) {
  Write("book.vcf", Card("One") + Card("Two"));
  om::Handle ns = OpenNamespace(Path("book.vcf"));
  EXPECT_EQ(storetest::StoreNames(ns), "book.vcf");
  EXPECT_EQ(Tree(DefaultFolder(ns)), "book.vcf[One,Two]");

  Write("dir/b.VCF", (Dir("dir"), Card("B")));
  Write("dir/a.vcf", Card("A"));
  Write("dir/Family/c.vcf", (Dir("dir/Family"), Card("C")));
  ns = OpenNamespace(Path("dir"));
  EXPECT_EQ(storetest::CountOf(ns, "Folders"), 1);
  EXPECT_EQ(Tree(DefaultFolder(ns)), "dir[A,B](Family[C])");
  EXPECT_EQ(Tree(storetest::At(storetest::Member(ns, "Folders"), 1)), "dir[A,B](Family[C])");
}

TEST_F(LayoutTest, AProfileThatDoesNotExistOrIsNoProfileCreatesNoApplication) {
  Write("not-a-profile.txt", "x");
  for (const char* name : {"missing", "not-a-profile.txt"}) {
    EXPECT_NE(ErrorOf([&] { store::CreateStandaloneApplicationAt(storetest::PathBytes(Path(name))); }), 0u)
        << name;
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
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))), "Contacts[A1,B1,B2,C1,!](g.vcf[])");
}

TEST_F(LayoutTest, UnreadableCardsFailAloneAndGroupsAreDistributionLists) {
  Dir("p/s/Contacts");
  Write("p/s/Contacts/a.vcf",
        Card("Before") + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Cut;;;;\r\n" /* no END: the file ends in the card */);
  Write("p/s/Contacts/b.vcf", Card("Team", "KIND:group\r\n") + Card("After"));
  const std::string tree = Tree(DefaultFolder(OpenNamespace(Path("p"))));
  // A card cut off by the end of its file is the reader's to decode or to
  // refuse; either way it is one item and the items after it are served.
  EXPECT_TRUE(tree.starts_with("Contacts[Before,")) << tree;
  EXPECT_TRUE(tree.ends_with(",group:Team,After]")) << tree;
  EXPECT_EQ(std::count(tree.begin(), tree.end(), ','), 3) << tree;
}

TEST_F(LayoutTest, SubfoldersInByteOrderWithoutHiddenOnes) {
  Dir("p/s/Contacts/a/deep");
  Dir("p/s/Contacts/B");
  Dir("p/s/Contacts/.git");
  Write("p/s/Contacts/a/deep/x.vcf", Card("Deep"));
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))), "Contacts[](B[],a[](deep[Deep]))");
}

}  // namespace
