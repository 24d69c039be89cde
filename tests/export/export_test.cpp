// The export driven through an object model held in memory: exit codes and
// their precedence, the store search, the walk, the records and the bytes of
// the output file.
#include <gtest/gtest.h>

#include "om/result_codes.h"
#include "csv/csv_file.h"
#include "export/export_contacts.h"
#include "export/folder_walk.h"
#include "om/error_numbers.h"
#include "support/fake_object_model.h"
#include "support/test_files.h"

namespace {

using fake::Contact;
using fake::Folder;
using testfiles::RecordLine;

std::u16string Text(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

fake::Ptr Named(std::string_view last, std::string_view first = "") {
  return Contact({{"lastname", Text(last)}, {"FirstName", Text(first)}});
}

class ExportTest : public testing::Test {
 protected:
  void SetUp() override { fake::ResetCallCount(); }

  int Run(const fake::Profile& profile) { return RunTo(profile, out_.u16string()); }
  int RunTo(const fake::Profile& profile, const std::u16string& path) {
    const int result = exporter::ExportContacts(path, profile.nameSpace);
    csv::CsvFlush();
    return result;
  }
  std::string Output() const { return testfiles::ReadBytes(out_); }

  testfiles::TempDir dir_;
  std::filesystem::path out_ = dir_ / "out.csv";
};

TEST_F(ExportTest, WritesOneRecordPerNamedContactInWalkOrder) {
  // Root holds A; its first subfolder holds B and a subfolder with C; the
  // second subfolder holds D: depth-first, pre-order gives A B C D.
  auto deep = Folder({Named("C")});
  auto first = Folder({Named("B")}, {deep});
  auto second = Folder({Named("D")});
  auto root = Folder({Named("A")}, {first, second});
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine({"B"}) + RecordLine({"C"}) + RecordLine({"D"}));
}

TEST_F(ExportTest, RecordBytesAreQuotedFlattenedCodePage932) {
  auto contact = Contact({{"lastname", std::u16string(u"日本")},
                          {"FirstName", std::u16string(u"Ta\"ro")},
                          {"Body", std::u16string(u"line 1\r\nline 2\nx\ry")},
                          {"Birthday", om::Date{2000, 4, 3}},
                          {"Anniversary", om::Date{999, 12, 31}}});
  EXPECT_EQ(Run(fake::MakeProfile(Folder({contact}))), om::RC_OK);
  std::vector<std::string> fields(55);
  fields[0] = "\x93\xfa\x96\x7b";
  fields[1] = "Ta\"\"ro";
  fields[17] = "2000-04-03";
  fields[18] = "line 1 line 2x y";
  fields[52] = "0999-12-31";
  EXPECT_EQ(Output(), RecordLine(fields));
}

TEST_F(ExportTest, SkipsNonContactsNamelessContactsAndUnreadableNames) {
  auto companyOnly = Contact({{"CompanyName", std::u16string(u"ACME")}});
  auto unreadableName = Contact({{"lastname", std::u16string(u"X")}});
  unreadableName->Fail("FirstName", 0x80004005);
  auto unreadableType = Contact({{"lastname", std::u16string(u"Y")}});
  unreadableType->typeNameFailure = 0x80004005;
  auto onlyFileAs = Contact({{"FileAs", std::u16string(u"F")}});
  auto root = Folder({fake::Item(u"DistListItem"), fake::Item(u"MailItem"), companyOnly,
                      unreadableName, unreadableType, onlyFileAs, Named("Z")});
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_OK);
  std::vector<std::string> fileAs(55);
  fileAs[5] = "F";
  EXPECT_EQ(Output(), RecordLine(fileAs) + RecordLine({"Z"}));
}

TEST_F(ExportTest, FolderOfNonContactsOrEmptyTreeGivesZeroBytes) {
  auto root = Folder({fake::Item(u"MailItem")}, {Folder({}, {Folder({})})});
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_OK);
  EXPECT_TRUE(std::filesystem::exists(out_));
  EXPECT_EQ(Output(), "");
}

TEST_F(ExportTest, UnreadablePropertyGivesEmptyFieldAndRecordKeeps55Fields) {
  auto contact = Named("A", "B");
  contact->Fail("Body", 0x80004005).Fail("Birthday", 0x80004005);
  contact->Set("CompanyName", std::int64_t{42});
  contact->Set("Department", fake::Collection({}));
  contact->Set("Anniversary", std::u16string(u"not a date"));
  EXPECT_EQ(Run(fake::MakeProfile(Folder({contact}))), om::RC_OK);
  std::vector<std::string> fields(55);
  fields[0] = "A";
  fields[1] = "B";
  fields[19] = "42";
  EXPECT_EQ(Output(), RecordLine(fields));
}

TEST_F(ExportTest, DatesOutsideTheFormatAndTheNoDateValueAreEmpty) {
  auto contact = Named("A");
  contact->Set("Birthday", om::Date{4501, 1, 1});
  contact->Set("Anniversary", om::Date{2001, 2, 29});
  auto second = Named("B");
  second->Set("Birthday", om::Date{1, 1, 1});
  second->Set("Anniversary", om::Date{2000, 2, 29});
  EXPECT_EQ(Run(fake::MakeProfile(Folder({contact, second}))), om::RC_OK);
  std::vector<std::string> b(55);
  b[0] = "B";
  b[17] = "0001-01-01";
  b[52] = "2000-02-29";
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine(b));
}

TEST_F(ExportTest, FailedItemFetchSkipsThatIndexOnly) {
  auto root = Folder({Named("A"), Named("B"), Named("C")});
  auto items = std::static_pointer_cast<fake::FakeObject>(
      std::get<om::Handle>(root->Get("Items", {})));
  items->failingItems[2] = om::kMapiCorruptData;
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine({"C"}));
}

TEST_F(ExportTest, EachPropertyIsReadOnce) {
  EXPECT_EQ(Run(fake::MakeProfile(Folder({Named("A")}))), om::RC_OK);
  // Per contact: Item, TypeName, 55 properties; the rest is the fixed cost of
  // the run (namespace, default folder, counts, entry id).
  const std::int64_t fixed = fake::CallCount();
  fake::ResetCallCount();
  EXPECT_EQ(Run(fake::MakeProfile(Folder({Named("A"), Named("B"), Named("C")}))), om::RC_OK);
  EXPECT_EQ(fake::CallCount() - fixed, 2 * 57);
}

TEST_F(ExportTest, MoreThan32767ItemsAreAllExported) {
  auto root = Folder({});
  auto items = std::static_pointer_cast<fake::FakeObject>(
      std::get<om::Handle>(root->Get("Items", {})));
  items->generatedCount = 40000;
  items->generate = [](std::int64_t i) -> om::Handle {
    return i == 40000 ? Named("last") : fake::Item(u"MailItem");
  };
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"last"}));
}

TEST_F(ExportTest, FailureInsideTheWalkIsReportedWithTheRecordsBeforeIt) {
  auto broken = Folder({Named("never")});
  broken->Fail("Folders", 0x80004005);
  auto after = Folder({Named("after")});
  auto root = Folder({Named("A")}, {Folder({Named("B")}), broken, after});
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_EXPORT_FAILED);
  // The broken folder's own items are written before its subfolders fail.
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine({"B"}) + RecordLine({"never"}));
}

TEST_F(ExportTest, FailingSubfolderFetchAbandonsTheWalk) {
  auto root = Folder({Named("A")}, {Folder({Named("B")}), Folder({Named("C")})});
  auto subfolders = std::static_pointer_cast<fake::FakeObject>(
      std::get<om::Handle>(root->Get("Folders", {})));
  subfolders->failingItems[2] = 0x80004005;
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_EXPORT_FAILED);
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine({"B"}));
}

TEST_F(ExportTest, FolderThatContainsItselfStopsTheWalk) {
  auto root = Folder({Named("A")});
  auto child = Folder({Named("B")}, {root});
  root->Set("Folders", fake::Collection({child}));
  EXPECT_EQ(Run(fake::MakeProfile(root)), om::RC_EXPORT_FAILED);
  EXPECT_EQ(Output(), RecordLine({"A"}) + RecordLine({"B"}));
  root->Set("Folders", fake::Collection({}));  // break the cycle so it is freed
}

TEST_F(ExportTest, TooDeepTreeStopsTheWalk) {
  // Folders without identifiers: only the depth limit can stop this walk.
  auto make = [](std::vector<om::Handle> subfolders) {
    auto folder = Folder({}, std::move(subfolders));
    folder->Fail("EntryID", om::kDispUnknownName);
    return folder;
  };
  auto shallow = make({});
  for (std::size_t i = 1; i < exporter::kMaxFolderDepth; ++i) shallow = make({shallow});
  EXPECT_EQ(Run(fake::MakeProfile(shallow)), om::RC_OK);
  auto deep = make({shallow});
  EXPECT_EQ(Run(fake::MakeProfile(deep)), om::RC_EXPORT_FAILED);
}

// --- Choosing the folder -------------------------------------------------

TEST_F(ExportTest, ReachableDefaultFolderNeverSearches) {
  auto other = Folder({Named("other")});
  auto profile = fake::MakeProfile(Folder({Named("default")}), {other});
  profile.topFolders->Fail("Count", 0x80004005);
  EXPECT_EQ(Run(profile), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"default"}));
}

TEST_F(ExportTest, FailingProviderSearchExportsTheLastTopLevelFolderWithSubfolders) {
  auto third = Folder({Named("third")}, {Folder({Named("sub")})});
  auto profile = fake::MakeProfile(nullptr, {Folder({Named("first")}), Folder({Named("second")}), third},
                                   om::kMapiFailOneProvider);
  EXPECT_EQ(Run(profile), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"third"}) + RecordLine({"sub"}));
}

TEST_F(ExportTest, SearchPassesOverFailingStoresAndTakesOtherFailuresAtOnce) {
  auto failing = Folder({Named("failing")});
  failing->Fail("StoreId", om::kMapiFailOneProvider);
  auto odd = Folder({Named("odd")});
  odd->Fail("StoreId", 0x80004005);
  auto profile = fake::MakeProfile(nullptr, {failing, odd, Folder({Named("last")})},
                                   om::kMapiFailOneProvider);
  EXPECT_EQ(Run(profile), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"odd"}));
}

TEST_F(ExportTest, SearchEndingWithNothingGives55AndAnEmptyFile) {
  testfiles::WriteBytes(out_, "old content");
  auto only = Folder({Named("x")});
  only->Fail("StoreId", om::kMapiFailOneProvider);
  EXPECT_EQ(Run(fake::MakeProfile(nullptr, {only}, om::kMapiFailOneProvider)), om::RC_FOLDER_FAILED);
  EXPECT_EQ(Output(), "");

  auto last = Folder({Named("x")});
  last->Fail("StoreId", om::kMapiFailOneProvider);
  EXPECT_EQ(Run(fake::MakeProfile(nullptr, {Folder({Named("y")}), last}, om::kMapiFailOneProvider)),
            om::RC_FOLDER_FAILED);
}

TEST_F(ExportTest, SearchWithFailedFetchesOrCounts) {
  // The first fetch fails while the folder is still nothing: nothing to export.
  auto profile = fake::MakeProfile(nullptr, {Folder({Named("a")}), Folder({Named("b")})},
                                   om::kMapiFailOneProvider);
  profile.topFolders->failingItems[1] = 0x80004005;
  EXPECT_EQ(Run(profile), om::RC_FOLDER_FAILED);

  // A later fetch fails: the folder of the previous pass stands.
  auto later = fake::MakeProfile(nullptr, {Folder({Named("a")}), Folder({Named("b")})},
                                 om::kMapiFailOneProvider);
  later.topFolders->failingItems[2] = 0x80004005;
  EXPECT_EQ(Run(later), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"a"}));

  auto noCount = fake::MakeProfile(nullptr, {Folder({Named("a")})}, om::kMapiFailOneProvider);
  noCount.topFolders->Fail("Count", 0x80004005);
  EXPECT_EQ(Run(noCount), om::RC_FOLDER_FAILED);
  EXPECT_EQ(Run(fake::MakeProfile(nullptr, {}, om::kMapiFailOneProvider)), om::RC_FOLDER_FAILED);
}

TEST_F(ExportTest, DefaultFolderFailingOtherwiseGives55WithoutSearch) {
  auto profile = fake::MakeProfile(nullptr, {Folder({Named("a")})}, om::kMapiNotFound);
  EXPECT_EQ(Run(profile), om::RC_FOLDER_FAILED);
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(Run(fake::MakeProfile(nullptr)), om::RC_FOLDER_FAILED);  // nothing returned
}

// --- The output file ---------------------------------------------------

TEST_F(ExportTest, UnopenableFileGives52BeforeTheFolderIsLookedAt) {
  auto profile = fake::MakeProfile(nullptr, {}, om::kMapiNotFound);
  EXPECT_EQ(RunTo(profile, u""), om::RC_FILE_OPEN_FAILED);
  EXPECT_EQ(RunTo(profile, dir_.path().u16string()), om::RC_FILE_OPEN_FAILED);
  EXPECT_EQ(RunTo(profile, (dir_ / "missing" / "x.csv").u16string()), om::RC_FILE_OPEN_FAILED);
}

TEST_F(ExportTest, ExistingFileIsTruncatedEvenWhenTheExportFails) {
  testfiles::WriteBytes(out_, "previous export");
  EXPECT_EQ(Run(fake::MakeProfile(nullptr, {}, om::kMapiNotFound)), om::RC_FOLDER_FAILED);
  EXPECT_EQ(Output(), "");
}

TEST_F(ExportTest, PathWithSpacesIsOnePath) {
  const auto spaced = dir_ / "my export file.csv";
  EXPECT_EQ(RunTo(fake::MakeProfile(Folder({Named("A")})), spaced.u16string()), om::RC_OK);
  EXPECT_EQ(testfiles::ReadBytes(spaced), RecordLine({"A"}));
}

}  // namespace
