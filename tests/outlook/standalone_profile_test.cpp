// Where the profile is found, and that reading a profile leaves it exactly as
// it was.
#include "outlook/standalone_profile.h"

#include <gtest/gtest.h>

#include <map>

#include "outlook/standalone_test_helpers.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> gEnvironment;

std::optional<std::string> FakeLookup(const char* name) {
  const auto found = gEnvironment.find(name);
  if (found == gEnvironment.end() || found->second.empty()) return std::nullopt;
  return found->second;
}

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
    EXPECT_EQ(standalone::ProfileLocation(FakeLookup), c.location) << testing::PrintToString(c.environment);
  }
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

TEST(ProfileUntouchedTest, AFullWalkChangesNothingUnderTheProfile) {
  testfiles::TempDir dir;
  const fs::path profile = dir / "profile";
  fs::create_directories(profile / "a/Contacts/Sub");
  fs::create_directories(profile / "b/Other");
  testfiles::WriteBytes(profile / "a/Contacts/one.vcf", storetest::Card("One") + storetest::Card("Two"));
  testfiles::WriteBytes(profile / "a/Contacts/Sub/three.VCF", storetest::Card("Three"));
  testfiles::WriteBytes(profile / "a/Contacts/junk.vcf", "not a card");
  testfiles::WriteBytes(profile / "b/Other/four.vcf", storetest::Card("Four"));
  fs::create_symlink("../../b", profile / "a/Contacts/link");
  fs::create_symlink("missing", profile / "c");
  // Times well in the past, so that any write would show.
  for (const auto& entry : fs::recursive_directory_iterator(profile)) {
    if (!entry.is_symlink()) fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  const auto before = Snapshot(dir.path());

  const om::Handle ns = storetest::OpenNamespace(profile);
  const om::Handle folders = storetest::Member(ns, "Folders");
  std::string walked;
  for (std::int64_t i = 1; i <= om::AsCount(om::Get(folders, "Count")); ++i) {
    storetest::ErrorOf([&] { walked += storetest::Tree(storetest::At(folders, i)) + ";"; });
  }
  EXPECT_EQ(walked, "a[](Contacts[!,One,Two](Sub[Three],link[](Other[Four])));b[](Other[Four]);");
  EXPECT_EQ(Snapshot(dir.path()), before);
}

}  // namespace
