// The built program over stand-alone profiles: the sample profile byte for
// byte, where the profile is looked for, the search when the default store
// fails, and the whole vCard corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "text/codepage932.h"
#include "csv/field_encoding.h"
#include "store/store_test_helpers.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;
using testfiles::RecordLine;
using testprogram::RunProgram;

const fs::path kSampleProfile = fs::path(CONTACT_EXPORT_SOURCE_DIR) / "examples/profile";
const fs::path kSampleExpected = fs::path(CONTACT_EXPORT_SOURCE_DIR) / "examples/profile.expected.csv";

// The fields of output lines, still in code page 932 (a trail byte is never
// a quote or a comma, so the bytes can be split as they are).
std::vector<std::vector<std::string>> ParseRecords(const std::string& bytes) {
  std::vector<std::vector<std::string>> records;
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::vector<std::string> fields;
    for (;;) {
      if (bytes[at] != '"') return {};  // every field is quoted
      std::string field;
      for (++at; at < bytes.size(); ++at) {
        if (bytes[at] == '"' && (at + 1 >= bytes.size() || bytes[at + 1] != '"')) break;
        if (bytes[at] == '"') ++at;
        field += bytes[at];
      }
      fields.push_back(field);
      ++at;
      if (bytes.compare(at, 2, "\r\n") == 0) break;
      if (at >= bytes.size() || bytes[at] != ',') return {};
      ++at;
    }
    at += 2;
    records.push_back(fields);
  }
  return records;
}

class StandaloneProgramTest : public testing::Test {
 protected:
  std::string Export(const std::map<std::string, std::string>& environment, int expectedExit = 0) {
    const fs::path out = dir_ / "out.csv";
    const testprogram::Outcome outcome = RunProgram({out.string()}, environment);
    EXPECT_EQ(outcome.exitCode, expectedExit);
    return ReadBytes(out);
  }
  testfiles::TempDir dir_;
};

TEST_F(StandaloneProgramTest, SampleProfileExportsByteForByte) {
  const std::string expected = ReadBytes(kSampleExpected);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Export({{"CONTACT_EXPORT_PROFILE", kSampleProfile.string()}}), expected);
}

TEST_F(StandaloneProgramTest, WithoutTheVariableTheProfileIsInTheDataHome) {
  const std::string expected = ReadBytes(kSampleExpected);
  fs::create_directories(dir_ / "data/contact-export");
  fs::create_directory_symlink(kSampleProfile, dir_ / "data/contact-export/profile");
  EXPECT_EQ(Export({{"XDG_DATA_HOME", (dir_ / "data").string()}, {"HOME", "/nonexistent"}}), expected);

  fs::create_directories(dir_ / "home/.local/share");
  fs::create_directory_symlink(dir_ / "data/contact-export", dir_ / "home/.local/share/contact-export");
  EXPECT_EQ(Export({{"XDG_DATA_HOME", ""}, {"HOME", (dir_ / "home").string()}}), expected);

  Export({{"XDG_DATA_HOME", ""}, {"HOME", (dir_ / "nowhere").string()}}, 51);
}

TEST_F(StandaloneProgramTest, AFailingDefaultStoreExportsTheLastStoreWithItsSubfolders) {
  const fs::path profile = dir_ / "profile";
  fs::create_directories(profile / "2-middle/Contacts");
  fs::create_directories(profile / "3-last/Sub");
  fs::create_symlink("missing", profile / "1-broken");
  testfiles::WriteBytes(profile / "2-middle/Contacts/a.vcf", storetest::Card("Middle"));
  testfiles::WriteBytes(profile / "3-last/a.vcf", storetest::Card("Last"));
  testfiles::WriteBytes(profile / "3-last/Sub/b.vcf", storetest::Card("Below"));
  EXPECT_EQ(Export({{"CONTACT_EXPORT_PROFILE", profile.string()}}),
            RecordLine({"Last", "", "", "", "", "Last"}) + RecordLine({"Below", "", "", "", "", "Below"}));

  // A broken last store is passed over: nothing is left to export.
  fs::create_symlink("missing", profile / "4-broken");
  EXPECT_EQ(Export({{"CONTACT_EXPORT_PROFILE", profile.string()}}, 55), "");
}

TEST_F(StandaloneProgramTest, ADefaultStoreWithoutContactsFolderGives55AndAnEmptyFile) {
  fs::create_directories(dir_ / "profile/store/Other");
  testfiles::WriteBytes(dir_ / "profile/store/Other/a.vcf", storetest::Card("Unseen"));
  EXPECT_EQ(Export({{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()}}, 55), "");
}

// The named contact items of every file, as their three name fields would be
// written, and how many items the files hold.
struct CorpusContents {
  std::multiset<std::vector<std::string>> names;
  std::size_t items = 0;
};

std::string FieldBytes(const om::Value& value) {
  std::string bytes;
  if (const auto* text = std::get_if<std::u16string>(&value)) cp932::Encode(csv::ReplaceLineBreaks(*text), bytes);
  return bytes;
}

CorpusContents ReadThroughTheStore(const fs::path& profile) {
  CorpusContents contents;
  const om::Handle ns = storetest::OpenNamespace(profile);
  const om::Handle folder = om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
  const om::Handle items = storetest::Member(folder, "Items");
  contents.items = static_cast<std::size_t>(om::AsCount(om::Get(items, "Count")));
  for (std::size_t i = 1; i <= contents.items; ++i) {
    om::Handle item;
    if (storetest::ErrorOf([&] { item = storetest::At(items, static_cast<std::int64_t>(i)); }) != 0) continue;
    if (item->TypeName() != u"ContactItem") continue;
    std::vector<std::string> names{FieldBytes(om::Get(item, "lastname")), FieldBytes(om::Get(item, "FirstName")),
                                   FieldBytes(om::Get(item, "FileAs"))};
    if (names[0].empty() && names[1].empty() && names[2].empty()) continue;
    contents.names.insert(names);
  }
  return contents;
}

TEST_F(StandaloneProgramTest, TheWholeCorpusExportsEveryNamedCardOnceWith55Fields) {
  REQUIRE_DATA_DIR(corpus, "vcard-samples");
  // One store whose contacts folder holds a link to every sample file.
  const fs::path contacts = dir_ / "profile/store/Contacts";
  fs::create_directories(contacts);
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".vcf") continue;
    std::string name = fs::relative(entry.path(), corpus).string();
    std::replace(name.begin(), name.end(), '/', '_');
    fs::create_symlink(entry.path(), contacts / name);
    ++files;
  }
  ASSERT_EQ(files, 78u);
  const CorpusContents expected = ReadThroughTheStore(dir_ / "profile");
  EXPECT_GE(expected.items, 1000u);  // the files hold 1124 BEGIN:VCARD lines

  const fs::path out = dir_ / "out.csv";
  const testprogram::Outcome outcome =
      RunProgram({out.string()}, {{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()}});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_LT(outcome.seconds, 60);
  const auto records = ParseRecords(ReadBytes(out));
  ASSERT_FALSE(records.empty());
  std::multiset<std::vector<std::string>> exported;
  for (const auto& fields : records) {
    ASSERT_EQ(fields.size(), 55u);
    exported.insert({fields[0], fields[1], fields[5]});
  }
  EXPECT_EQ(records.size(), expected.names.size());
  EXPECT_TRUE(exported == expected.names);
}

}  // namespace
