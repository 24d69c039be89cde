// The whole run sequence over COM: an Outlook-shaped automation model in
// process, reached through the COM layer exactly as Outlook would be.
#include <gtest/gtest.h>

#include <algorithm>
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
// `ns` may come with members of its own.
IDispatch* Application(IDispatch* defaultFolder, const std::vector<IDispatch*>& topFolders = {},
                       IDispatch* ns = comtest::NewObject(u"_NameSpace")) {
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

// contact-export-check over Outlook: the profile's stores (Outlook's Store
// objects have no StoreKind), the default one marked, a failing provider's
// description on its store's line and on the default folder's, the
// top-level folder the store search takes, and a folder that cannot be
// listed; the exit code and the total are the export's on the same Outlook.
TEST_F(ComExportTest, CheckListsTheStoresAndTheSearchAsTheExportRuns) {
  const auto failing = [](const wchar_t* description) {
    return comtest::Raises(comtest::Exception{.scode = static_cast<HRESULT>(om::kMapiFailOneProvider),
                                              .description = description, .source = L"Microsoft Outlook"});
  };
  IDispatch* broken = Folder({});
  comtest::SetMember(broken, "Name", comtest::Text(u"壊れた"));
  comtest::SetMember(broken, "Items",
                     comtest::Raises(comtest::Exception{.scode = static_cast<HRESULT>(om::kMapiCallFailed),
                                                        .description = L"The folder cannot be opened."}));
  IDispatch* contacts = Folder({Named(u"sub")}, {broken});
  comtest::SetMember(contacts, "Name", comtest::Text(u"連絡先"));
  IDispatch* personalTop = Folder({Named(u"top")}, {contacts}, comtest::Text(u"personal"));
  comtest::SetMember(personalTop, "Name", comtest::Text(u"個人用フォルダー"));
  IDispatch* exchangeTop = Folder({}, {}, failing(L"Cannot connect to the server."));

  IDispatch* exchange = comtest::NewObject(u"_Store");
  comtest::SetMember(exchange, "DisplayName", comtest::Text(u"taro@example.org"));
  comtest::SetMember(exchange, "FilePath", comtest::Text(u"C:\\Users\\taro\\taro@example.org.ost"));
  comtest::SetMember(exchange, "StoreID", failing(L"Cannot connect to the server."));
  comtest::SetMember(exchange, "GetRootFolder", failing(L"Cannot connect to the server."));
  IDispatch* personal = comtest::NewObject(u"_Store");
  comtest::SetMember(personal, "DisplayName", comtest::Text(u"個人用フォルダー"));
  comtest::SetMember(personal, "FilePath", comtest::Text(u"C:\\Users\\taro\\個人用.pst"));
  comtest::SetMember(personal, "StoreID", comtest::Text(u"personal"));
  comtest::SetMember(personal, "GetRootFolder", comtest::Object(personalTop));
  IDispatch* ns = comtest::NewObject(u"_NameSpace");
  comtest::SetMember(ns, "Stores", comtest::Object(comtest::NewCollection(u"_Stores", {exchange, personal})));
  comtest::SetMember(ns, "DefaultStore", comtest::Object(personal));
  IDispatch* application = Application(nullptr, {exchangeTop, personalTop}, ns);
  comtest::SetMember(ns, "GetDefaultFolder", failing(L"A provider of the profile failed."));

  gApplication = application;
  std::string report;
  const int checked = app::CheckSequence(report);
  EXPECT_EQ(checked, om::RC_EXPORT_FAILED);
  EXPECT_EQ(Run(application), checked);
  EXPECT_EQ(Output(), RecordLine({"top"}) + RecordLine({"sub"}));
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < report.size();) {
    const std::size_t end = report.find('\n', at);
    lines.push_back(report.substr(at, end - at));
    at = end == std::string::npos ? report.size() : end + 1;
  }
  for (const char* line : {
           "Stores of the profile: 2",
           "  1. taro@example.org (Outlook store)",
           "     at C:\\Users\\taro\\taro@example.org.ost",
           "     FAILS: Outlook error 0x8004011D: Cannot connect to the server. (Microsoft Outlook)",
           "  2. 個人用フォルダー (Outlook store), the default store",
           "     at C:\\Users\\taro\\個人用.pst",
           "The default contacts folder FAILS: Outlook error 0x8004011D: A provider of the profile failed. "
           "(Microsoft Outlook)",
           "The store search takes top-level folder 2: 個人用フォルダー",
           "  個人用フォルダー: 1 record",
           "    連絡先: 1 record",
           "      壊れた: 0 records",
           "        FAILS: Outlook error 0x80004005: The folder cannot be opened.",
           "2 records; the export would end with exit code 56",
       }) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "missing: " << line << "\n" << report;
  }
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
