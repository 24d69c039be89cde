// The whole run sequence over COM: an Outlook-shaped automation model in
// process, reached through the COM layer exactly as Outlook would be.
#include <gtest/gtest.h>

#include <cstdio>

#include "om/result_codes.h"
#include "app/run_sequence.h"
#include "csv/csv_file.h"
#include "om/com_object_model_win32.h"
#include "om/com_test_model_win32.h"
#include "om/contact_properties.h"
#include "om/error_numbers.h"
#include "support/test_files.h"

namespace {

using comtest::Answer;
using testfiles::RecordLine;

constexpr double kNoDateOle = 949998.0;  // 4501-01-01

// A contact as Outlook gives it: every property present, texts empty and
// dates "none" unless set.
IDispatch* ContactItem(const std::vector<std::pair<std::string_view, Answer>>& set) {
  IDispatch* item = comtest::NewObject(u"_ContactItem");
  for (const om::ContactProperty& property : om::kContactProperties) {
    comtest::SetMember(item, property.name,
                       property.kind == om::PropertyKind::kDate ? comtest::OleDate(kNoDateOle) : comtest::Text(u""));
  }
  for (const auto& [name, answer] : set) comtest::SetMember(item, name, answer);
  return item;
}

IDispatch* Named(std::u16string_view last) { return ContactItem({{"LastName", comtest::Text(last)}}); }

IDispatch* Folder(const std::vector<IDispatch*>& items, const std::vector<IDispatch*>& subfolders = {},
                  Answer storeId = comtest::Text(u"store")) {
  static int entryIds = 0;
  IDispatch* folder = comtest::NewObject(u"MAPIFolder");
  comtest::SetMember(folder, "Items", comtest::Object(comtest::NewCollection(u"_Items", items)));
  comtest::SetMember(folder, "Folders", comtest::Object(comtest::NewCollection(u"_Folders", subfolders)));
  comtest::SetMember(folder, "StoreID", std::move(storeId));
  comtest::SetMember(folder, "EntryID", comtest::Text(u"entry " + std::u16string(1, u'A' + entryIds++ % 26)));
  return folder;
}

// Outlook.Application with its MAPI namespace; a null default folder fails
// with MAPI_E_FAILONEPROVIDER, as a failing provider of the profile does.
IDispatch* Application(IDispatch* defaultFolder, const std::vector<IDispatch*>& topFolders = {}) {
  IDispatch* ns = comtest::NewObject(u"_NameSpace");
  const Answer folder = defaultFolder != nullptr
                            ? comtest::Object(defaultFolder)
                            : comtest::Raises(static_cast<HRESULT>(om::kMapiFailOneProvider));
  comtest::SetMember(ns, "GetDefaultFolder", [folder](std::span<VARIANT> args, VARIANT* result, EXCEPINFO* e) {
    if (args.size() != 1 || V_VT(&args[0]) != VT_I4 || V_I4(&args[0]) != 10) return DISP_E_TYPEMISMATCH;
    return folder(args, result, e);
  });
  comtest::SetMember(ns, "Folders", comtest::Object(comtest::NewCollection(u"_Folders", topFolders)));
  IDispatch* application = comtest::NewObject(u"_Application");
  comtest::SetMember(application, "GetNamespace", [ns](std::span<VARIANT> args, VARIANT* result, EXCEPINFO* e) {
    if (args.size() != 1 || V_VT(&args[0]) != VT_BSTR || std::wstring(V_BSTR(&args[0])) != L"MAPI") {
      return DISP_E_TYPEMISMATCH;
    }
    return comtest::Object(ns)(args, result, e);
  });
  return application;
}

IDispatch* gApplication = nullptr;

om::Handle CreateTestApplication(std::u16string_view progId) {
  EXPECT_EQ(progId, u"Outlook.Application");
  return om::WrapDispatch(gApplication);
}

void NoPause(unsigned) {}
bool Alone() { return true; }

class ComExportTest : public testing::Test {
 protected:
  void SetUp() override {
    comtest::ResetModel();
    om::ClearMemberIdCache();
    app::SetSleepFunction(NoPause);
    app::SetInstanceCheck(Alone);
    app::SetObjectFactory(CreateTestApplication);
  }
  void TearDown() override {
    // Everything the run fetched has been released, exactly once.
    EXPECT_EQ(comtest::OutstandingReferences(), 0);
    EXPECT_EQ(comtest::OverReleases(), 0);
    app::SetObjectFactory(nullptr);
    app::SetSleepFunction(nullptr);
    app::SetInstanceCheck(nullptr);
    comtest::ResetModel();
  }
  int Run(IDispatch* application) {
    gApplication = application;
    const int result = app::RunSequence(out_.u16string());
    csv::CsvFlush();
    return result;
  }
  std::string Output() const { return testfiles::ReadBytes(out_); }

  testfiles::TempDir dir_;
  std::filesystem::path out_ = dir_ / "out.csv";
};

TEST_F(ComExportTest, ExportsTheDefaultFolderTree) {
  IDispatch* full = ContactItem({
      {"LastName", comtest::Text(u"山田")},
      {"FirstName", comtest::Text(u"Taro")},
      {"Birthday", comtest::OleDate(29314.0 + 86399.6 / 86400)},  // 1980-04-03 23:59:59.6
      {"Body", comtest::Text(u"line 1\r\nline 2")},
      {"Anniversary", comtest::OleDate(-1.5)},                      // 1899-12-29 noon
  });
  IDispatch* list = comtest::NewObject(u"_DistListItem");
  comtest::SetMember(list, "LastName", comtest::Text(u"list"));
  IDispatch* companyOnly = ContactItem({{"CompanyName", comtest::Text(u"Company")}});
  IDispatch* root = Folder({full, list, companyOnly}, {Folder({Named(u"sub")}), Folder({})});

  EXPECT_EQ(Run(Application(root)), om::RC_OK);
  std::vector<std::string> fields(55);
  fields[0] = "\x8eR\x93\x63";  // 山田
  fields[1] = "Taro";
  fields[17] = "1980-04-03";
  fields[18] = "line 1 line 2";
  fields[52] = "1899-12-29";
  EXPECT_EQ(Output(), RecordLine(fields) + RecordLine({"sub"}));
}

TEST_F(ComExportTest, FailingProviderSearchesTheTopLevelFolders) {
  // Identifiers that can be read and differ from the preferred (empty) one
  // are passed over; a store whose identifier fails with another number is
  // taken at once.
  IDispatch* first = Folder({Named(u"first")});
  IDispatch* failing = Folder({Named(u"failing")}, {Folder({Named(u"below")})},
                              comtest::Raises(static_cast<HRESULT>(om::kMapiNotFound)));
  IDispatch* last = Folder({Named(u"last")});
  EXPECT_EQ(Run(Application(nullptr, {first, failing, last})), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"failing"}) + RecordLine({"below"}));
}

TEST_F(ComExportTest, SearchWithOnlyFailingProvidersEndsWith55AndAnEmptyFile) {
  IDispatch* only = Folder({Named(u"x")}, {}, comtest::Raises(static_cast<HRESULT>(om::kMapiFailOneProvider)));
  EXPECT_EQ(Run(Application(nullptr, {only})), om::RC_FOLDER_FAILED);
  EXPECT_EQ(Output(), "");
}

// Each contact after the first costs one Invoke per property plus the item
// fetch, and no name lookups: the ids are cached per type and every
// property is read once.
TEST_F(ComExportTest, CallsPerContact) {
  const auto callsFor = [&](int contacts) {
    comtest::ResetModel();
    om::ClearMemberIdCache();
    std::vector<IDispatch*> items;
    for (int i = 0; i < contacts; ++i) items.push_back(Named(u"n"));
    EXPECT_EQ(Run(Application(Folder(items))), om::RC_OK);
    return comtest::Calls();
  };
  const comtest::CallCounts one = callsFor(1);
  const comtest::CallCounts many = callsFor(11);
  EXPECT_EQ(one.getIdsOfNames, many.getIdsOfNames);
  EXPECT_EQ((many.invoke - one.invoke) / 10, static_cast<int>(om::kContactPropertyCount) + 1);
  EXPECT_EQ((many.invoke - one.invoke) % 10, 0);
  EXPECT_EQ((many.getTypeInfo - one.getTypeInfo) / 10, 1);
  EXPECT_EQ((many.getDocumentation - one.getDocumentation) / 10, 1);
  std::printf("first contact: %d GetIDsOfNames, %d Invoke in all; each further contact: %d Invoke, %d GetIDsOfNames\n",
              one.getIdsOfNames, one.invoke, (many.invoke - one.invoke) / 10,
              (many.getIdsOfNames - one.getIdsOfNames) / 10);
}

}  // namespace
