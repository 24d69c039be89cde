// contact-export-check over object models held in memory: for each profile
// the check's exit code is the export's, its total is the number of lines
// the export writes, and its text names what it found and why things fail.
#include <gtest/gtest.h>

#include <functional>

#include "app/run_sequence.h"
#include "csv/csv_file.h"
#include "om/error_numbers.h"
#include "om/result_codes.h"
#include "support/fake_object_model.h"
#include "support/test_files.h"

namespace {

using fake::Folder;

om::Handle gApplication;

om::Handle CreateInstalled(std::u16string_view) {
  if (!gApplication) throw om::ObjectModelError(om::kClassNotRegistered, "no Outlook here");
  return gApplication;
}
void NoPause(unsigned) {}
bool Alone() { return true; }

fake::Ptr Named(std::u16string last) { return fake::Contact({{"lastname", std::move(last)}}); }
fake::Ptr NamedFolder(std::u16string name, std::vector<om::Handle> items, std::vector<om::Handle> subfolders = {}) {
  fake::Ptr folder = Folder(std::move(items), std::move(subfolders));
  folder->Set("Name", std::move(name));
  return folder;
}
// A top-level folder of a store whose provider fails.
fake::Ptr FailingTop() {
  fake::Ptr folder = Folder({});
  folder->Fail("StoreId", om::kMapiFailOneProvider);
  return folder;
}
fake::Ptr Store(std::u16string name, std::u16string kind, std::u16string id, std::string failure = {}) {
  fake::Ptr store = std::make_shared<fake::FakeObject>(u"Store");
  store->Set("DisplayName", std::move(name)).Set("StoreKind", std::move(kind)).Set("FilePath", u"/p/" + id);
  if (failure.empty()) {
    store->Set("StoreID", std::move(id)).Set("GetRootFolder", Folder({}));
  } else {
    store->Fail("StoreID", om::kMapiFailOneProvider, failure).Fail("GetRootFolder", om::kMapiFailOneProvider, failure);
  }
  return store;
}

struct Case {
  const char* name;
  std::function<fake::Profile()> profile;
  int exitCode;
  std::vector<std::string> lines;  // each a whole line of the check's text
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases{
      {"SkippedItemsByReason",
       [] {
         fake::Ptr nameless = fake::Contact({});
         fake::Ptr kindless = fake::Item(u"ContactItem");
         kindless->typeNameFailure = om::kMapiCallFailed;
         fake::Ptr items = NamedFolder(u"Contacts", {Named(u"A"), nameless, fake::Item(u"DistListItem"),
                                                     fake::Item(u"MailItem"), kindless, Named(u"B")},
                                       {NamedFolder(u"Sub", {Named(u"C")})});
         return fake::MakeProfile(items);
       },
       om::RC_OK,
       {"Folders the export walks:",
        "  Contacts: 2 records, 4 items skipped (distribution list: 1, not a contact: 1, no name: 1, cannot be read: 1)",
        "    item 2: no name", "    item 3: distribution list", "    item 4: not a contact",
        "    item 5: cannot be read: error 0x80004005", "    Sub: 1 record", "3 records; the export would end with exit code 0"}},
      {"StoresAndTheSearch",
       [] {
         fake::Ptr backup = NamedFolder(u"Backup", {Named(u"A")});
         backup->Set("StoreID", u"b");
         fake::Profile profile = fake::MakeProfile(nullptr, {FailingTop(), backup}, om::kMapiFailOneProvider);
         profile.nameSpace->Fail("GetDefaultFolder", om::kMapiFailOneProvider, "HTTP 401 from http://127.0.0.1/");
         fake::Ptr failing = Store(u"dav.carddav", u"CardDAV address book", u"a", "HTTP 401 from http://127.0.0.1/");
         profile.nameSpace->Set("Stores", fake::Collection({failing, Store(u"old.pst", u"Outlook data file", u"b")}));
         profile.nameSpace->Set("DefaultStore", Store(u"old.pst", u"Outlook data file", u"b"));
         return profile;
       },
       om::RC_OK,
       {"Stores of the profile: 2", "  1. dav.carddav (CardDAV address book)", "     at /p/a",
        "     FAILS: HTTP 401 from http://127.0.0.1/", "  2. old.pst (Outlook data file), the default store",
        "The default contacts folder FAILS: HTTP 401 from http://127.0.0.1/",
        "The store search takes top-level folder 2: Backup", "  Backup: 1 record",
        "1 record; the export would end with exit code 0"}},
      {"NoFolderLeft",
       [] { return fake::MakeProfile(nullptr, {FailingTop(), FailingTop()}, om::kMapiFailOneProvider); },
       om::RC_FOLDER_FAILED,
       {"The default contacts folder FAILS: error 0x8004011D", "The store search finds no folder to export",
        "No folder is exported.", "0 records; the export would end with exit code 55"}},
      {"FailureInTheWalk",
       [] {
         fake::Ptr broken = NamedFolder(u"Broken", {});
         broken->Fail("Items", om::kMapiCallFailed, "cannot list /x/Broken: Permission denied");
         return fake::MakeProfile(NamedFolder(u"Top", {Named(u"A")}, {broken, NamedFolder(u"Later", {Named(u"B")})}));
       },
       om::RC_EXPORT_FAILED,
       {"  Top: 1 record", "    Broken: 0 records", "      FAILS: cannot list /x/Broken: Permission denied",
        "1 record; the export would end with exit code 56"}},
      {"NoApplication", [] { return fake::Profile{}; }, om::RC_OUTLOOK_UNAVAILABLE,
       {"No contact store could be opened: no Outlook here", "0 records; the export would end with exit code 51"}},
  };
  return cases;
}

class CheckTest : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    app::SetSleepFunction(NoPause);
    app::SetInstanceCheck(Alone);
    app::SetObjectFactory(CreateInstalled);
  }
  void TearDown() override {
    gApplication.reset();
    app::SetSleepFunction(nullptr);
    app::SetInstanceCheck(nullptr);
    app::SetObjectFactory(nullptr);
  }
  testfiles::TempDir dir_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

TEST_P(CheckTest, SaysWhatTheExportDoes) {
  const Case& c = GetParam();
  gApplication = c.profile().application;
  std::string report;
  const int checked = app::CheckSequence(report);

  gApplication = c.profile().application;
  const std::filesystem::path out = dir_ / "out.csv";
  const int exported = app::RunSequence(out.u16string());
  csv::CsvFlush();
  const std::string written = testfiles::ReadBytes(out);

  EXPECT_EQ(checked, c.exitCode);
  EXPECT_EQ(exported, checked);
  const std::vector<std::string> lines = Lines(report);
  ASSERT_FALSE(lines.empty());
  const std::size_t records = static_cast<std::size_t>(std::count(written.begin(), written.end(), '\n'));
  EXPECT_EQ(lines.back().substr(0, lines.back().find(' ')), std::to_string(records)) << report;
  for (const std::string& line : c.lines) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "missing: " << line << "\n" << report;
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, CheckTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
