// Profile rules that involve symbolic links: links as stores (even dangling
// ones), failing providers, links back to an ancestor, entry IDs, and a
// profile left exactly as it was. (POSIX only: they rely on POSIX links.)
#include <gtest/gtest.h>

#include <map>

#include "store/profile.h"
#include "store/store_test_helpers.h"

namespace {

namespace fs = std::filesystem;
using storetest::Card;
using storetest::ErrorOf;
using storetest::OpenNamespace;
using storetest::Tree;

class LinksTest : public storetest::ProfileTest {
 protected:
  void Link(const std::string& target, const std::string& relative) { fs::create_symlink(target, Path(relative)); }
};

TEST_F(LinksTest, LinksAreStoresEvenWhenTheyLeadNowhere) {
  Write("p/a-store/Contacts/x.vcf", (Dir("p/a-store/Contacts"), Card("InA")));
  Write("p/B-store/Contacts/x.vcf", (Dir("p/B-store/Contacts"), Card("InB")));
  Dir("p/b-store");
  Link("b-store", "p/c-link");
  Link("nowhere", "p/d-broken");
  const om::Handle ns = OpenNamespace(Path("p"));
  EXPECT_EQ(storetest::StoreNames(ns), "B-store,a-store,b-store,c-link,<failing>");
  EXPECT_EQ(Tree(DefaultFolder(ns)), "Contacts[InB]");
}

TEST_F(LinksTest, FailingStoresFailAsProvidersAndTheOthersStillServe) {
  Write("good/Contacts/a.vcf", (Dir("good/Contacts"), Card("Good")));
  Write("a-file", "x");
  for (const char* target : {"a-file", "missing"}) {
    SCOPED_TRACE(target);
    const std::string profile = std::string("profile-") + target;
    Dir(profile);
    Link(Path(target).string(), profile + "/0-failing");
    Link(Path("good").string(), profile + "/1-good");
    const om::Handle ns = OpenNamespace(Path(profile));
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

TEST_F(LinksTest, DanglingLinksNamedVcfAreUnreadableItemsAndADanglingProfileIsNone) {
  Write("p/s/Contacts/a.vcf", (Dir("p/s/Contacts"), Card("A")));
  Link("nowhere.vcf", "p/s/Contacts/b.vcf");
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))), "Contacts[A,!]");
  Link("missing", "dangling");
  EXPECT_NE(ErrorOf([&] { store::CreateStandaloneApplicationAt(Path("dangling").string()); }), 0u);
}

TEST_F(LinksTest, SubfoldersThatLeadBackToAnAncestorAreNotListed) {
  Dir("p/s/Contacts/b/deep");
  Dir("p/s/Contacts/B");
  Dir("p/s/Other");
  Write("p/s/Other/o.vcf", Card("Other"));
  Link("..", "p/s/Contacts/b/deep/up");         // the parent: an ancestor
  Link("../..", "p/s/Contacts/b/deep/top");     // the contacts folder itself
  Link(".", "p/s/Contacts/b/self");             // the folder itself
  Link("../../Other", "p/s/Contacts/b/other");  // elsewhere: an ordinary subfolder
  // Above the store: listed, but the store inside it is an ancestor again.
  Link(Path("p").string(), "p/s/Contacts/profile");
  EXPECT_EQ(Tree(DefaultFolder(OpenNamespace(Path("p")))),
            "Contacts[](B[],b[](deep[],other[Other]),profile[])");
}

TEST_F(LinksTest, EntryIdsNameTheDirectory) {
  Dir("p/s/Contacts/a");
  Link("a", "p/s/Contacts/b");  // a second way to the same folder: not listed
  const om::Handle folders = storetest::Member(DefaultFolder(OpenNamespace(Path("p"))), "Folders");
  EXPECT_EQ(om::AsCount(om::Get(folders, "Count")), 1);
  const std::string a = storetest::Text(om::Get(storetest::At(folders, 1), "EntryID"));
  EXPECT_FALSE(a.empty());
  Dir("p/s/Contacts/c");
  const om::Handle again = storetest::Member(DefaultFolder(OpenNamespace(Path("p"))), "Folders");
  EXPECT_EQ(storetest::Text(om::Get(storetest::At(again, 1), "EntryID")), a);
  EXPECT_NE(storetest::Text(om::Get(storetest::At(again, 2), "EntryID")), a);
}

// Every entry under `root` (links not followed) with its bytes or link target
// and its modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string state;
    if (entry.is_symlink()) {
      state = "link:" + fs::read_symlink(entry.path()).string();
    } else {
      state = std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
      if (entry.is_regular_file()) state += ":" + testfiles::ReadBytes(entry.path());
    }
    entries[fs::relative(entry.path(), root).string()] = state;
  }
  return entries;
}

TEST_F(LinksTest, AFullWalkChangesNothingUnderTheProfile) {
  const fs::path profile = Dir("profile");
  Dir("profile/a/Contacts/Sub");
  Dir("profile/b/Other");
  Write("profile/a/Contacts/one.vcf", Card("One") + Card("Two"));
  Write("profile/a/Contacts/Sub/three.VCF", Card("Three"));
  Write("profile/a/Contacts/junk.vcf", "not a card");
  Write("profile/b/Other/four.vcf", Card("Four"));
  Link("../../b", "profile/a/Contacts/link");
  Link("missing", "profile/c");
  // Times well in the past, so that any write would show.
  for (const auto& entry : fs::recursive_directory_iterator(profile)) {
    if (!entry.is_symlink()) fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  const auto before = Snapshot(dir_.path());

  const om::Handle folders = storetest::Member(OpenNamespace(profile), "Folders");
  std::string walked;
  for (std::int64_t i = 1; i <= om::AsCount(om::Get(folders, "Count")); ++i) {
    ErrorOf([&] { walked += Tree(storetest::At(folders, i)) + ";"; });
  }
  // Store b was walked through the link already: along its second path, as
  // a top folder, it holds nothing.
  EXPECT_EQ(walked, "a[](Contacts[!,One,Two](Sub[Three],link[](Other[Four])));b[];");
  EXPECT_EQ(Snapshot(dir_.path()), before);
}

std::map<std::string, std::string> gEnvironment;

std::optional<std::string> FakeLookup(const char* name) {
  const auto found = gEnvironment.find(name);
  if (found == gEnvironment.end() || found->second.empty()) return std::nullopt;
  return found->second;
}

// The XDG conventions are those of POSIX systems.
TEST(ProfileLocationTest, ProfileVariableThenXdgDataHomeThenHome) {
  struct Case {
    std::map<std::string, std::string> environment;
    std::optional<std::string> location;
  };
  const Case cases[] = {
      {{{"CONTACT_EXPORT_PROFILE", "/p"}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}}, "/p"},
      {{{"CONTACT_EXPORT_PROFILE", "relative/p"}}, "relative/p"},
      {{{"CONTACT_EXPORT_PROFILE", ""}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}}, "/x/contact-export/profile"},
      {{{"XDG_DATA_HOME", "/x/"}}, "/x/contact-export/profile"},
      {{{"XDG_DATA_HOME", "relative"}, {"HOME", "/h"}}, "/h/.local/share/contact-export/profile"},
      {{{"XDG_DATA_HOME", ""}, {"HOME", "/h"}}, "/h/.local/share/contact-export/profile"},
      {{{"XDG_DATA_HOME", "relative"}}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const Case& c : cases) {
    gEnvironment = c.environment;
    EXPECT_EQ(store::ProfileLocation(FakeLookup), c.location) << testing::PrintToString(c.environment);
  }
}

}  // namespace
