// Outlook data files as stores of a profile: through the object model, and
// whole exports by the built program compared byte for byte with records
// written out by hand from the samples' libpff dump.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "om/error_numbers.h"
#include "store/store_sources.h"
#include "store/store_test_helpers.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using storetest::ErrorOf;

// One output record from its non-empty fields, keyed by column number (1-55).
std::string Line(const std::map<int, std::string>& fields) {
  std::vector<std::string> leading(55);
  for (const auto& [column, text] : fields) leading.at(static_cast<std::size_t>(column - 1)) = text;
  return testfiles::RecordLine(leading);
}

// The Japanese contact; its texts in code page 932.
const std::string kJapaneseLine = Line({
    {1, "\x83\x43\x83\x4F\x83\x55\x83\x93\x83\x76\x83\x8B"},  // イグザンプル
    {2, "\x83\x52\x83\x80"},                                  // コム
    {3, "\x93\x61"},                                          // 殿
    {4, "eguzanpuru"},
    {5, "komu"},
    // イグザンプル, コム ドット
    {6, "\x83\x43\x83\x4F\x83\x55\x83\x93\x83\x76\x83\x8B\x2C\x20\x83\x52\x83\x80\x20\x83\x68\x83\x62\x83\x67"},
    {13, "080-0001-0001"},
    {14, "06-0001-0001"},
    {18, "2000-01-01"},
    {19, " "},  // the body is one CR LF
    {20, "My work company"},
    {21, "My work placecompany"},
    {23, "My division"},
    {24, "My position"},
    {25, "Mr."},
    {27, "544-0001"},
    {28, "\x93\xFA\x96\x7B"},  // 日本
    {29, "Osaka"},
    {30, "Osaka"},
    {31, "Somewhere"},
    {33, "06-0001-0002"},
    {34, "06-0001-0003"},
    {35, "https://example.com"},
});

const std::string kFrenchLine = Line({
    {1, "Last Name"},
    {2, "First Name"},
    {3, "Suffix"},
    {6, "Last Name, First Name Second Name"},
    {7, "Home zip code"},
    {8, "Home country"},
    {9, "Home province"},
    {10, "Home town"},
    {11, "Home line1 Home line2"},
    {13, "Mobile number"},
    {14, "Home number"},
    {19, "Everything you want to know "},
    {20, "Organisation"},
    {24, "Function"},
    {25, "Title"},
    {26, "Office2 number"},
    {27, "Office zip code"},
    {28, "Office country"},
    {29, "Office province"},
    {30, "Office town"},
    {31, "Office adresse line1 Office adresse line2"},
    {33, "Office number"},
    {34, "Fax number"},
    {35, "www.programmevitam.fr"},
    {38, "F.N.S.N.L.N."},
    {41, "Other zip code"},
    {42, "Other country"},
    {43, "Other province"},
    {44, "Other town"},
    {45, "Other line1 Other line2"},
    {46, "Other number"},
    {55, "Assistant number"},
});

const std::string kDistListFileLine = Line({{1, "1"}, {2, "contact"}, {6, "1, contact name"}, {38, "c.n.1."}});

std::string RazzaqLine(const std::string& fileAs) {
  return Line({{1, "Razzaq"}, {2, "Saqib"}, {6, fileAs}, {13, "3334443333"}, {14, "1112223333"}, {19, " "},
               {20, "Aspose"}, {24, "Developer"}, {33, "1110001234"}, {35, "www.aspose.com"}, {38, "S.R."}});
}

// The three named contacts of the Aspose contact samples (the other three
// have no name and are not exported).
const std::string kAsposeNamedLines =
    Line({{1, "Tolle"}, {2, "Margaret"}, {6, "Tolle, Margaret J."}, {13, "(925)599-3355(925)599-3355"},
          {20, "Adaptaz"}, {24, "Recording engineer"}, {33, "(08)9080-1183"}}) +
    Line({{1, "Wilcox"}, {2, "Matthew"}, {6, "Wilcox, Matthew R."}, {14, "(661)387-5382(661)387-5382"},
          {20, "Briazz"}, {24, "Psychiatric aide"}, {33, "0650 675 73 300650 675 73 30"}}) +
    Line({{1, "Buell"}, {2, "Bertha"}, {6, "Buell, Bertha A."}, {17, "B2BTies.com"}, {20, "Awthentikz"},
          {24, "Social work assistant"}});

const std::string kCardLine = Line({{1, "Cardholder"}, {6, "Cardholder"}});

// What must not change when a file is read: its bytes and its timestamps.
struct FileState {
  std::string bytes;
  long long mtimeNs = 0;
  long long ctimeNs = 0;
  friend bool operator==(const FileState&, const FileState&) = default;
};

FileState StateOf(const fs::path& path) {
  struct stat info{};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {testfiles::ReadBytes(path), info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

class PstStoreTest : public testing::Test {
 protected:
  struct Export {
    int exitCode = -1;
    std::string output;
  };

  // Runs the program on `profile`; every sample linked into it must be left
  // exactly as it was.
  Export Run(const fs::path& profile) {
    std::map<std::string, FileState> before;
    for (const auto& name : linked_) before[name] = StateOf(samples_ / name);
    const fs::path output = dir_ / ("out" + std::to_string(++runs_) + ".csv");
    const testprogram::Outcome outcome =
        testprogram::RunProgram({output.string()}, {{"CONTACT_EXPORT_PROFILE", profile.string()}});
    for (const auto& name : linked_) EXPECT_TRUE(StateOf(samples_ / name) == before[name]) << name << " changed";
    return {outcome.exitCode, fs::exists(output) ? testfiles::ReadBytes(output) : "<no file>"};
  }

  // A new profile folder under the test's temporary folder.
  fs::path Profile(const std::string& name) {
    const fs::path profile = dir_ / name;
    fs::create_directories(profile);
    return profile;
  }

  // Links `sample` into `profile` as `entry`.
  void Link(const fs::path& profile, const std::string& entry, const std::string& sample) {
    fs::create_symlink(samples_ / sample, profile / entry);
    linked_.push_back(sample);
  }

  // A vCard directory store whose Contacts folder holds one card.
  void CardStore(const fs::path& profile, const std::string& entry) {
    fs::create_directories(profile / entry / "Contacts");
    testfiles::WriteBytes(profile / entry / "Contacts" / "a.vcf",
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Cardholder;;;;\r\nFN:Cardholder\r\nEND:VCARD\r\n");
  }

  // Copies of the Japanese sample that are damaged: cut to 64 KiB (libpff
  // still reads its contact there) and with a damaged header.
  void BrokenCopies(const fs::path& profile, const std::string& truncated, const std::string& header) {
    const std::string bytes = testfiles::ReadBytes(samples_ / "hiraoka-contacts.pst");
    testfiles::WriteBytes(profile / truncated, bytes.substr(0, 65536));
    std::string damaged = bytes;
    damaged.replace(0, 4, "XXXX");
    testfiles::WriteBytes(profile / header, damaged);
  }

  om::Handle Namespace(const fs::path& profile) {
    const om::Handle app = store::CreateStandaloneApplicationAt(profile.string());
    return om::AsObject(om::Get(app, "GetNamespace", om::Value(std::u16string(u"MAPI"))));
  }

  static om::Handle Contacts(const om::Handle& ns) {
    return om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
  }

  static om::Handle ItemAt(const om::Handle& folder, std::int64_t index) {
    return om::AsObject(om::Get(om::AsObject(om::Get(folder, "Items")), "Item", om::Value(index)));
  }

  static om::Handle StoreFolder(const om::Handle& ns, std::int64_t index) {
    return om::AsObject(om::Get(om::AsObject(om::Get(ns, "Folders")), "Item", om::Value(index)));
  }

  fs::path samples_ = testfiles::DataDir("pst");
  testfiles::TempDir dir_;
  std::vector<std::string> linked_;
  int runs_ = 0;
};

#define REQUIRE_SAMPLES() ASSERT_FALSE(samples_.empty()) << "test data missing: pst"

TEST_F(PstStoreTest, EachSampleExportsItsDefaultContactsFolder) {
  REQUIRE_SAMPLES();
  const std::vector<std::pair<std::string, std::string>> cases{
      {"hiraoka-contacts.pst", kJapaneseLine},
      {"hiraoka-contacts97-2002.pst", kJapaneseLine},
      {"vitam-ContactCalendar-test.pst", kFrenchLine},
      {"javalibpst-dist-list.pst", kDistListFileLine},  // the list itself is skipped
      {"javalibpst-passworded.pst", kDistListFileLine},
      {"aspose-SampleContacts.pst", kAsposeNamedLines},
      {"aspose-Outlook.pst", RazzaqLine("Razzaq, Saqib")},
      // 12 of 21 items cannot be read; the 9 others (without FileAs) are exported.
      {"aspose-Chunks-Test_part1.pst", [] {
         std::string lines;
         for (int i = 0; i < 9; ++i) lines += RazzaqLine("");
         return lines;
       }()},
      {"aspose-SampleOstFile.ost", ""},  // an empty Contacts folder
  };
  for (const auto& [sample, expected] : cases) {
    SCOPED_TRACE(sample);
    const fs::path profile = Profile("profile-" + sample);
    Link(profile, sample, sample);
    const Export result = Run(profile);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, expected);
  }
}

TEST_F(PstStoreTest, ProfileThatIsOneDataFile) {
  REQUIRE_SAMPLES();
  linked_.push_back("hiraoka-contacts97-2002.pst");
  const Export result = Run(samples_ / "hiraoka-contacts97-2002.pst");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, kJapaneseLine);
}

TEST_F(PstStoreTest, StoresWithoutContactsFolderFailTheExport) {
  REQUIRE_SAMPLES();
  for (const std::string sample : {"aspose-PersonalStorageFile1.pst", "outlookpstrs-Empty.pst"}) {
    SCOPED_TRACE(sample);
    const fs::path profile = Profile("profile-" + sample);
    Link(profile, sample, sample);
    const storetest::Failure failure = storetest::FailureOf([&] { Contacts(Namespace(profile)); });
    EXPECT_EQ(failure.number, om::kMapiNotFound);
    EXPECT_EQ(failure.reason, (profile / sample).string() + ": no contacts folder");
    EXPECT_EQ(Run(profile).exitCode, 55);
  }
}

TEST_F(PstStoreTest, FailingDataFilesTakeTheSearchPath) {
  REQUIRE_SAMPLES();
  // Broken first store: the search ends on the last store's top-level folder,
  // whichever kind of store it is, and exports its whole tree.
  const fs::path toCards = Profile("to-cards");
  BrokenCopies(toCards, "a-truncated.pst", "b-header.PST");
  CardStore(toCards, "c-cards");
  const om::Handle ns = Namespace(toCards);
  EXPECT_EQ(ErrorOf([&] { Contacts(ns); }), om::kMapiFailOneProvider);
  EXPECT_EQ(ErrorOf([&] { om::Get(StoreFolder(ns, 1), "StoreID"); }), om::kMapiFailOneProvider);
  EXPECT_EQ(ErrorOf([&] { om::Get(StoreFolder(ns, 2), "StoreID"); }), om::kMapiFailOneProvider);
  const Export cards = Run(toCards);
  EXPECT_EQ(cards.exitCode, 0);
  EXPECT_EQ(cards.output, kCardLine);

  const fs::path toPst = Profile("to-pst");
  BrokenCopies(toPst, "a-truncated.ost", "b-header.pst");
  Link(toPst, "c-japanese.pst", "hiraoka-contacts.pst");
  const Export pst = Run(toPst);
  EXPECT_EQ(pst.exitCode, 0);
  EXPECT_EQ(pst.output, kJapaneseLine);

  // No store that works: nothing exported, never the cut file's contact.
  const fs::path none = Profile("none-works");
  BrokenCopies(none, "a-truncated.pst", "b-header.pst");
  const Export nothing = Run(none);
  EXPECT_EQ(nothing.exitCode, 55);
  EXPECT_EQ(nothing.output, "");
}

TEST_F(PstStoreTest, MixedProfilesKeepTheByteOrderOfNames) {
  REQUIRE_SAMPLES();
  // Default store first: a directory store, then a data file store.
  const fs::path cardsFirst = Profile("cards-first");
  CardStore(cardsFirst, "a-cards");
  Link(cardsFirst, "b.pst", "vitam-ContactCalendar-test.pst");
  EXPECT_EQ(Run(cardsFirst).output, kCardLine);
  const fs::path pstFirst = Profile("pst-first");
  Link(pstFirst, "a.pst", "vitam-ContactCalendar-test.pst");
  CardStore(pstFirst, "b-cards");
  EXPECT_EQ(Run(pstFirst).output, kFrenchLine);

  // With a broken first store the search walks both and exports the last.
  const fs::path searchToPst = Profile("search-to-pst");
  fs::create_symlink(dir_ / "nowhere", searchToPst / "0-broken");
  CardStore(searchToPst, "a-cards");
  Link(searchToPst, "b.pst", "vitam-ContactCalendar-test.pst");
  const om::Handle ns = Namespace(searchToPst);
  EXPECT_EQ(om::Get(StoreFolder(ns, 2), "Name"), om::Value(std::u16string(u"a-cards")));
  EXPECT_EQ(om::Get(StoreFolder(ns, 3), "Name"), om::Value(std::u16string(u"Début du fichier de données Outlook")));
  const Export toPst = Run(searchToPst);
  EXPECT_EQ(toPst.exitCode, 0);
  EXPECT_EQ(toPst.output, kFrenchLine);

  const fs::path searchToCards = Profile("search-to-cards");
  fs::create_symlink(dir_ / "nowhere", searchToCards / "0-broken");
  Link(searchToCards, "A.OST", "aspose-SampleOstFile.ost");  // upper case sorts first
  Link(searchToCards, "a.pst", "vitam-ContactCalendar-test.pst");
  CardStore(searchToCards, "b-cards");
  const Export toCards = Run(searchToCards);
  EXPECT_EQ(toCards.exitCode, 0);
  EXPECT_EQ(toCards.output, kCardLine);
}

TEST_F(PstStoreTest, ItemsAndFoldersThroughTheObjectModel) {
  REQUIRE_SAMPLES();
  const fs::path profile = Profile("objects");
  Link(profile, "a.pst", "aspose-Chunks-Test_part1.pst");
  Link(profile, "b.ost", "aspose-SampleOstFile.ost");
  const om::Handle ns = Namespace(profile);

  const om::Handle contacts = Contacts(ns);
  EXPECT_EQ(om::Get(contacts, "Name"), om::Value(std::u16string(u"Contacts")));
  EXPECT_EQ(om::TypeNameOf(ItemAt(contacts, 9)), u"ContactItem");
  EXPECT_EQ(om::Get(ItemAt(contacts, 9), "LastName"), om::Value(std::u16string(u"Razzaq")));
  EXPECT_EQ(om::Get(ItemAt(contacts, 9), "Birthday"), om::Value(om::kNoDate));
  EXPECT_EQ(om::Get(ItemAt(contacts, 9), "SourceLocation"), om::Value(std::u16string(u"message 9")));
  for (const std::int64_t unreadable : {10, 21}) {
    const storetest::Failure failure = storetest::FailureOf([&] { ItemAt(contacts, unreadable); });
    EXPECT_EQ(failure.number, om::kMapiCorruptData);
    const std::string where = "message " + std::to_string(unreadable) + ": ";
    EXPECT_TRUE(failure.reason.starts_with(where) && failure.reason.size() > where.size()) << failure.reason;
  }

  // A mail item has none of the contact properties.
  const om::Handle ostTop = StoreFolder(ns, 2);
  const om::Handle deleted = om::AsObject(om::Get(om::AsObject(om::Get(ostTop, "Folders")), "Item", om::Value(std::int64_t{1})));
  EXPECT_EQ(om::Get(deleted, "Name"), om::Value(std::u16string(u"Deleted Items")));
  const om::Handle first = ItemAt(deleted, 1);
  EXPECT_NE(om::TypeNameOf(first), u"ContactItem");
  EXPECT_EQ(ErrorOf([&] { om::Get(first, "LastName"); }), om::kDispUnknownName);

  // Store and folder identities: stable, and distinct between stores and folders.
  const om::Value pstId = om::Get(StoreFolder(ns, 1), "StoreID");
  EXPECT_EQ(pstId, om::Get(StoreFolder(Namespace(profile), 1), "StoreID"));
  EXPECT_NE(pstId, om::Get(ostTop, "StoreID"));
  EXPECT_NE(om::Get(ostTop, "EntryID"), om::Get(deleted, "EntryID"));
  EXPECT_NE(om::Get(StoreFolder(ns, 1), "EntryID"), om::Get(ostTop, "EntryID"));
}

}  // namespace
