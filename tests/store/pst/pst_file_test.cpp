// The data-file reader on the public sample files kept with the tests
// (tests/data/third_party/pst). Expected values were read by hand from the
// samples' libpff dump.
#include "store/pst/pst_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSampleDir = fs::path(CONTACT_EXPORT_DATA_DIR) / "pst";

std::string Sample(const char* name) { return (kSampleDir / name).string(); }

std::u16string TextAt(const pst::Message& message, std::string_view column) {
  return std::get<std::u16string>(message.values[*om::FindContactProperty(column)]);
}

om::Date DateAt(const pst::Message& message, std::string_view column) {
  return std::get<om::Date>(message.values[*om::FindContactProperty(column)]);
}

// Every column not named in `expected` must be empty (text) or no date.
void ExpectRecord(const pst::Message& message, const std::map<std::string_view, std::u16string>& expected) {
  for (std::size_t i = 0; i < om::kContactPropertyCount; ++i) {
    const std::string_view name = om::kContactProperties[i].name;
    if (om::kContactProperties[i].kind == om::PropertyKind::kDate) continue;
    const auto it = expected.find(name);
    EXPECT_EQ(std::get<std::u16string>(message.values[i]), it == expected.end() ? u"" : it->second) << name;
  }
}

// Sets TZ for the scope of a test and restores the previous zone.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

class PstFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::is_directory(kSampleDir)) << "sample folder missing: " << kSampleDir; }

  pst::FolderHandle ContactsOf(const char* name) {
    pst::FileHandle file = pst::OpenFile(Sample(name));
    EXPECT_TRUE(file) << name;
    return file ? pst::DefaultContactsFolder(file).folder : nullptr;
  }

  pst::Message OnlyContact(const char* name, std::size_t index = 0) {
    pst::FolderHandle folder = ContactsOf(name);
    std::optional<pst::Message> message = folder ? pst::ReadMessage(folder, index) : std::nullopt;
    EXPECT_TRUE(message) << name;
    return message ? *message : pst::Message{om::ItemKind::kMail, om::EmptyContactValues()};
  }

  fs::path TempCopyDir() {
    const fs::path dir = fs::temp_directory_path() /
                         ("pst_file_test_" + std::to_string(::getpid()) + "_" +
                          testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    return dir;
  }
};

std::vector<std::u16string> SubfolderNames(const pst::FolderHandle& folder) {
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i < pst::SubfolderCount(folder); ++i) names.push_back(pst::FolderName(pst::Subfolder(folder, i)));
  return names;
}

// Reads every message of every folder, as an export of the whole store would.
std::size_t ReadEverything(const pst::FolderHandle& folder) {
  std::size_t read = 0;
  for (std::size_t i = 0; i < pst::MessageCount(folder); ++i) read += pst::ReadMessage(folder, i).has_value();
  for (std::size_t i = 0; i < pst::SubfolderCount(folder); ++i) read += ReadEverything(pst::Subfolder(folder, i));
  return read;
}

const std::map<std::string_view, std::u16string> kJapaneseContact{
    {"lastname", u"イグザンプル"},
    {"FirstName", u"コム"},
    {"Suffix", u"殿"},
    {"YomiLastName", u"eguzanpuru"},
    {"YomiFirstName", u"komu"},
    {"FileAs", u"イグザンプル, コム ドット"},
    {"MobileTelephoneNumber", u"080-0001-0001"},
    {"HomeTelephoneNumber", u"06-0001-0001"},
    {"Body", u"\r\n"},
    {"CompanyName", u"My work company"},
    {"YomiCompanyName", u"My work placecompany"},
    {"Department", u"My division"},
    {"JobTitle", u"My position"},
    {"Title", u"Mr."},
    {"BusinessAddressPostalCode", u"544-0001"},
    {"BusinessAddressCountry", u"日本"},
    {"BusinessAddressState", u"Osaka"},
    {"BusinessAddressCity", u"Osaka"},
    {"BusinessAddressStreet", u"Somewhere"},
    {"BusinessTelephoneNumber", u"06-0001-0002"},
    {"BusinessFaxNumber", u"06-0001-0003"},
    {"BusinessHomePage", u"https://example.com"},
};

TEST_F(PstFileTest, JapaneseContactReadsTheSameFromUnicodeAndAnsiFiles) {
  // West of UTC the stored UTC birthday falls on 1999-12-31; the contact's
  // local-date property must win wherever the machine is.
  ScopedTimeZone zone("America/Los_Angeles");
  const pst::Message unicode = OnlyContact("hiraoka-contacts.pst");
  const pst::Message ansi = OnlyContact("hiraoka-contacts97-2002.pst");
  EXPECT_EQ(unicode.kind, om::ItemKind::kContact);
  EXPECT_EQ(ansi.kind, om::ItemKind::kContact);
  ExpectRecord(unicode, kJapaneseContact);
  ExpectRecord(ansi, kJapaneseContact);
  EXPECT_EQ(DateAt(unicode, "Birthday"), (om::Date{2000, 1, 1}));
  EXPECT_EQ(DateAt(unicode, "Anniversary"), om::kNoDate);
  EXPECT_TRUE(unicode.values == ansi.values);
}

TEST_F(PstFileTest, UtcDatesBecomeTheLocalCalendarDay) {
  // 1999-12-31T15:00:00Z, how Outlook stores a birthday entered in Japan.
  constexpr std::uint64_t kTicks = (946652400ULL + 11644473600ULL) * 10000000ULL;
  {
    ScopedTimeZone zone("Asia/Tokyo");
    EXPECT_EQ(pst::LocalDateOfFiletime(kTicks), (om::Date{2000, 1, 1}));
  }
  {
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(pst::LocalDateOfFiletime(kTicks), (om::Date{1999, 12, 31}));
  }
  // 4501-01-01, Outlook's "none", seen from a zone west of UTC is still none.
  constexpr std::uint64_t kNone = (79870665600ULL + 11644473600ULL) * 10000000ULL;
  ScopedTimeZone zone("America/New_York");
  EXPECT_EQ(pst::LocalDateOfFiletime(kNone), om::kNoDate);
}

TEST_F(PstFileTest, FrenchContactWithThreeAddresses) {
  const pst::Message contact = OnlyContact("vitam-ContactCalendar-test.pst");
  ExpectRecord(contact, {
                            {"lastname", u"Last Name"},
                            {"FirstName", u"First Name"},
                            {"Suffix", u"Suffix"},
                            {"FileAs", u"Last Name, First Name Second Name"},
                            {"HomeAddressPostalCode", u"Home zip code"},
                            {"HomeAddressCountry", u"Home country"},
                            {"HomeAddressState", u"Home province"},
                            {"HomeAddressCity", u"Home town"},
                            {"HomeAddressStreet", u"Home line1\r\nHome line2"},
                            {"MobileTelephoneNumber", u"Mobile number"},
                            {"HomeTelephoneNumber", u"Home number"},
                            {"Body", u"Everything you want to know\r\n"},
                            {"CompanyName", u"Organisation"},
                            {"JobTitle", u"Function"},
                            {"Title", u"Title"},
                            {"Business2TelephoneNumber", u"Office2 number"},
                            {"BusinessAddressPostalCode", u"Office zip code"},
                            {"BusinessAddressCountry", u"Office country"},
                            {"BusinessAddressState", u"Office province"},
                            {"BusinessAddressCity", u"Office town"},
                            {"BusinessAddressStreet", u"Office adresse line1\r\nOffice adresse line2"},
                            {"BusinessTelephoneNumber", u"Office number"},
                            {"BusinessFaxNumber", u"Fax number"},
                            {"BusinessHomePage", u"www.programmevitam.fr"},
                            {"Initials", u"F.N.S.N.L.N."},
                            {"OtherAddressPostalCode", u"Other zip code"},
                            {"OtherAddressCountry", u"Other country"},
                            {"OtherAddressState", u"Other province"},
                            {"OtherAddressCity", u"Other town"},
                            {"OtherAddressStreet", u"Other line1\r\nOther line2"},
                            {"OtherTelephoneNumber", u"Other number"},
                            {"AssistantTelephoneNumber", u"Assistant number"},
                        });
  EXPECT_EQ(DateAt(contact, "Birthday"), om::kNoDate);
}

TEST_F(PstFileTest, DistributionListBesideAContactAlsoInPasswordedFile) {
  for (const char* name : {"javalibpst-dist-list.pst", "javalibpst-passworded.pst"}) {
    SCOPED_TRACE(name);
    pst::FolderHandle folder = ContactsOf(name);
    ASSERT_TRUE(folder);
    EXPECT_EQ(pst::FolderName(folder), u"Contacts");
    ASSERT_EQ(pst::MessageCount(folder), 2u);
    EXPECT_EQ(pst::ReadMessage(folder, 0)->kind, om::ItemKind::kDistList);
    const pst::Message contact = *pst::ReadMessage(folder, 1);
    EXPECT_EQ(contact.kind, om::ItemKind::kContact);
    ExpectRecord(contact, {{"lastname", u"1"}, {"FirstName", u"contact"}, {"FileAs", u"1, contact name"},
                           {"Initials", u"c.n.1."}});
  }
}

TEST_F(PstFileTest, NamelessContactsAreItemsLikeTheOthers) {
  pst::FolderHandle folder = ContactsOf("aspose-SampleContacts.pst");
  ASSERT_TRUE(folder);
  ASSERT_EQ(pst::MessageCount(folder), 6u);
  const std::u16string companies[] = {u"", u"Grade A Investment", u"Krauses Sofa Factory", u"Adaptaz", u"Briazz",
                                      u"Awthentikz"};
  const std::u16string file_as[] = {u"", u"", u"", u"Tolle, Margaret J.", u"Wilcox, Matthew R.", u"Buell, Bertha A."};
  for (std::size_t i = 0; i < 6; ++i) {
    const std::optional<pst::Message> message = pst::ReadMessage(folder, i);
    ASSERT_TRUE(message) << i;
    EXPECT_EQ(message->kind, om::ItemKind::kContact) << i;
    EXPECT_EQ(TextAt(*message, "CompanyName"), companies[i]) << i;
    EXPECT_EQ(TextAt(*message, "FileAs"), file_as[i]) << i;
  }
}

TEST_F(PstFileTest, StoresWithoutContactsFolder) {
  // 72 contacts, but in a mail folder: no default contacts folder.
  pst::FileHandle file = pst::OpenFile(Sample("aspose-PersonalStorageFile1.pst"));
  ASSERT_TRUE(file);
  const pst::FolderSearch none = pst::DefaultContactsFolder(file);
  EXPECT_FALSE(none.folder);
  EXPECT_FALSE(none.unreadable);
  pst::FolderHandle top = pst::TopFolder(file);
  EXPECT_EQ(SubfolderNames(top), (std::vector<std::u16string>{u"Deleted Items", u"myInbox", u"Inbox"}));
  EXPECT_EQ(pst::MessageCount(pst::Subfolder(top, 1)), 72u);

  pst::FileHandle empty = pst::OpenFile(Sample("outlookpstrs-Empty.pst"));
  ASSERT_TRUE(empty);
  EXPECT_FALSE(pst::DefaultContactsFolder(empty).folder);
  EXPECT_EQ(pst::FolderName(pst::TopFolder(empty)), u"Top of Outlook data file");
  EXPECT_EQ(SubfolderNames(pst::TopFolder(empty)), std::vector<std::u16string>{u"Deleted Items"});
}

TEST_F(PstFileTest, TopFolderIsTheIpmSubtreeInFileOrder) {
  pst::FileHandle file = pst::OpenFile(Sample("javalibpst-dist-list.pst"));
  ASSERT_TRUE(file);
  pst::FolderHandle top = pst::TopFolder(file);
  EXPECT_EQ(pst::FolderName(top), u"Top of Personal Folders");
  EXPECT_EQ(pst::MessageCount(top), 0u);
  EXPECT_EQ(SubfolderNames(top),
            (std::vector<std::u16string>{u"Deleted Items", u"Inbox", u"Outbox", u"Sent Items", u"Calendar",
                                         u"Contacts", u"Journal", u"Notes", u"Tasks", u"Drafts", u"RSS Feeds",
                                         u"Junk E-mail"}));
}

TEST_F(PstFileTest, DefaultContactsFolderChoices) {
  // Root entry ID from another store's provider UID: the folder it names is used.
  EXPECT_EQ(pst::FolderName(ContactsOf("aspose-Outlook.pst")), u"Contacts");
  // No entry ID: the first IPF.Contact folder; the root-level search folder
  // "Contact Search" (also IPF.Contact) is outside the IPM subtree.
  EXPECT_EQ(pst::FolderName(ContactsOf("hiraoka-contacts97-2002.pst")), u"連絡先 (Contact dedicated)");
  EXPECT_EQ(pst::FolderName(ContactsOf("vitam-ContactCalendar-test.pst")), u"Contacts");
}

TEST_F(PstFileTest, OstMailboxSubtreeAndContactsFolder) {
  pst::FileHandle file = pst::OpenFile(Sample("aspose-SampleOstFile.ost"));
  ASSERT_TRUE(file);
  pst::FolderHandle top = pst::TopFolder(file);
  EXPECT_EQ(pst::FolderName(top), u"IPM_SUBTREE");
  EXPECT_EQ(pst::SubfolderCount(top), 17u);
  // Contacts comes before Suggested Contacts (both IPF.Contact, both empty).
  pst::FolderHandle contacts = pst::DefaultContactsFolder(file).folder;
  ASSERT_TRUE(contacts);
  EXPECT_EQ(pst::FolderName(contacts), u"Contacts");
  EXPECT_EQ(pst::MessageCount(contacts), 0u);

  // Other message classes get other type names.
  pst::FolderHandle deleted = pst::Subfolder(top, 0);
  ASSERT_EQ(pst::FolderName(deleted), u"Deleted Items");
  std::map<std::u16string, int> types;
  for (std::size_t i = 0; i < pst::MessageCount(deleted); ++i) {
    ++types[std::u16string(om::ItemTypeName(pst::ReadMessage(deleted, i)->kind))];
  }
  EXPECT_EQ(types, (std::map<std::u16string, int>{{u"AppointmentItem", 4}, {u"MailItem", 1}, {u"MeetingItem", 5}}));
}

TEST_F(PstFileTest, DamagedFileHasTwelveCorruptItemsOfTwentyOne) {
  pst::FolderHandle folder = ContactsOf("aspose-Chunks-Test_part1.pst");
  ASSERT_TRUE(folder);
  ASSERT_EQ(pst::MessageCount(folder), 21u);
  int readable = 0;
  for (std::size_t i = 0; i < 21; ++i) {
    const std::optional<pst::Message> message = pst::ReadMessage(folder, i);
    if (!message) continue;
    ++readable;
    EXPECT_EQ(TextAt(*message, "lastname"), u"Razzaq") << i;
    EXPECT_EQ(TextAt(*message, "Body"), u"\r\n") << i;
  }
  EXPECT_EQ(readable, 9);
}

TEST_F(PstFileTest, UnusableFilesAreFailing) {
  const fs::path dir = TempCopyDir();
  std::ifstream in(Sample("hiraoka-contacts.pst"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 271360u);
  // Cut after the header: libpff opens it, but there is no root folder.
  std::ofstream(dir / "truncated.pst", std::ios::binary) << bytes.substr(0, 4096);
  std::string damaged = bytes;
  damaged.replace(0, 4, "XXXX");
  std::ofstream(dir / "header.pst", std::ios::binary) << damaged;
  std::ofstream(dir / "empty.pst", std::ios::binary);

  EXPECT_FALSE(pst::OpenFile((dir / "truncated.pst").string()));
  EXPECT_FALSE(pst::OpenFile((dir / "header.pst").string()));
  EXPECT_FALSE(pst::OpenFile((dir / "empty.pst").string()));
  EXPECT_FALSE(pst::OpenFile((dir / "missing.pst").string()));
  EXPECT_FALSE(pst::OpenFile(dir.string()));

  // Cut where libpff still finds the contacts (or the OST's empty Contacts
  // folder): shorter than the end of file the header records.
  const struct {
    const char* sample;
    std::size_t keep;
  } kCuts[] = {
      {"hiraoka-contacts.pst", 65536},
      {"hiraoka-contacts97-2002.pst", 131072},
      {"aspose-SampleOstFile.ost", 4079616},
  };
  for (const auto& cut : kCuts) {
    SCOPED_TRACE(cut.sample);
    std::ifstream whole(Sample(cut.sample), std::ios::binary);
    std::string kept(cut.keep, '\0');
    whole.read(kept.data(), static_cast<std::streamsize>(kept.size()));
    ASSERT_EQ(static_cast<std::size_t>(whole.gcount()), cut.keep);
    const fs::path copy = dir / (std::string("cut-") + cut.sample);
    std::ofstream(copy, std::ios::binary) << kept;
    EXPECT_TRUE(pst::OpenFile(Sample(cut.sample)));
    EXPECT_FALSE(pst::OpenFile(copy.string()));
  }
  fs::remove_all(dir);
}

TEST_F(PstFileTest, ReadingLeavesTheFileUntouched) {
  for (const char* name : {"hiraoka-contacts97-2002.pst", "aspose-Chunks-Test_part1.pst"}) {
    SCOPED_TRACE(name);
    const std::string path = Sample(name);
    auto contents = [&path] {
      std::ifstream in(path, std::ios::binary);
      return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    struct stat before{};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const std::string bytes = contents();
    {
      pst::FileHandle file = pst::OpenFile(path);
      ASSERT_TRUE(file);
      EXPECT_GT(ReadEverything(pst::TopFolder(file)), 0u);
    }
    struct stat after{};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_TRUE(contents() == bytes);
  }
}

}  // namespace
