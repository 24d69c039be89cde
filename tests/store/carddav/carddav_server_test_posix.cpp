// The built program over CardDAV stores served by a real server (Radicale,
// started per test on 127.0.0.1 with its own storage and user file). What a
// book gives must be byte for byte what the same cards give from a
// directory store.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "store/carddav/dav_server_posix.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret-Pa55";

using Cards = std::vector<std::pair<std::string, std::string>>;  // file name, card

std::string Card(const std::string& uid, const std::string& lines) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\n" + lines + "END:VCARD\r\n";
}

// One request of the test's own set-up; the status it got.
long Send(const std::string& method, const std::string& url, const std::string& contentType,
          const std::string& body) {
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERNAME, kUser);
  curl_easy_setopt(curl, CURLOPT_PASSWORD, kPassword);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
  long status = 0;
  if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return status;
}

class CardDavServerTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_RADICALE();
    port_ = davtest::FreePort();
    fs::create_directories(dir_ / "server");
    fs::create_directories(dir_ / "profile");
    server_ = std::make_unique<davtest::ServerProcess>(
        davtest::RadicaleCommand(dir_ / "server", port_, kUser, kPassword), port_);
    ASSERT_TRUE(server_->ready()) << "Radicale did not start";
    SetPassword(kPassword);
  }
  // The server is stopped by its process ID whatever the test did.
  void TearDown() override { server_.reset(); }

  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  void SetPassword(const std::string& password) {
    WriteBytes(dir_ / "netrc", "machine 127.0.0.1 login " + std::string(kUser) + " password " + password + "\n");
  }

  // A book at /alice/`segment`/ named `name`, with `cards` put one by one.
  void AddBook(const std::string& segment, const std::string& name, const Cards& cards) {
    const std::string url = Base() + "/" + kUser + "/" + segment + "/";
    ASSERT_EQ(Send("MKCOL", url, "application/xml",
                   "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:mkcol xmlns:D=\"DAV:\" "
                   "xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><D:set><D:prop><D:resourcetype><D:collection/>"
                   "<C:addressbook/></D:resourcetype><D:displayname>" + name +
                       "</D:displayname></D:prop></D:set></D:mkcol>"),
              201);
    for (const auto& [file, card] : cards) ASSERT_EQ(Send("PUT", url + file, "text/vcard", card), 201);
  }

  // Runs the program over a profile of one .carddav file whose url is `url`.
  std::string ExportFrom(const std::string& url, int expectedExit) {
    WriteBytes(dir_ / "profile" / "server.carddav", "# the test's Radicale\nurl = " + url + "\nuser = alice\n");
    const fs::path out = dir_ / "out.csv";
    const testprogram::Outcome outcome = testprogram::RunProgram(
        {out.string()}, {{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()}, {"NETRC", (dir_ / "netrc").string()}});
    EXPECT_EQ(outcome.exitCode, expectedExit) << url;
    return ReadBytes(out);
  }

  // What the same cards give from a directory store of one folder.
  std::string ExportFromDirectory(const Cards& cards) {
    const fs::path folder = dir_ / ("cards" + std::to_string(++directories_));
    fs::create_directories(folder);
    for (const auto& [file, card] : cards) WriteBytes(folder / file, card);
    const fs::path out = dir_ / "expected.csv";
    EXPECT_EQ(testprogram::RunProgram({out.string()}, {{"CONTACT_EXPORT_PROFILE", folder.string()}}).exitCode, 0);
    return ReadBytes(out);
  }

  // Radicale syncs each card it stores to its disk: 2,000 cards took a minute
  // on a busy disk, and longer than the requests may wait when the machine
  // was loaded. In memory the sync costs nothing.
  testfiles::TempDir dir_{/*inMemory=*/true};
  int port_ = 0;
  int directories_ = 0;
  std::unique_ptr<davtest::ServerProcess> server_;
};

// The second card's name has characters Radicale escapes in its hrefs.
const Cards kWork = {
    {"w1.vcf", Card("w1", "FN:Bea Work\r\nN:Work;Bea;;;\r\nORG:Acme\r\nTEL;TYPE=WORK:+1 555 0100\r\n")},
    {"w2+x@y.vcf", Card("w2", "FN:Carl Work\r\nN:Work;Carl;;;\r\nEMAIL;TYPE=INTERNET:carl@example.org\r\n")},
};
// Japanese names with their readings, and a group card, which is a
// distribution list and so no record.
const Cards kJapanese = {
    {"j1.vcf", Card("j1", "FN:山田 太郎\r\nN:山田;太郎;;;\r\nX-PHONETIC-LAST-NAME:やまだ\r\n"
                          "X-PHONETIC-FIRST-NAME:たろう\r\nADR;TYPE=HOME:;;千代田1-1;千代田区;東京都;100-0001;日本\r\n")},
    {"j2.vcf", Card("j2", "FN:佐藤 花子\r\nN:佐藤;花子;;;\r\nX-PHONETIC-LAST-NAME:さとう\r\n")},
    {"j3.vcf", "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:j3\r\nKIND:group\r\nFN:家族\r\nN:家族;;;;\r\nMEMBER:urn:uuid:j1\r\nEND:VCARD\r\n"},
};

// From the server root: discovery finds the home, the book named 連絡先 is the
// default folder though its href sorts last, and the other book follows as
// its subfolder. From a URL the server does not know: the same through its
// /.well-known/carddav. From one book's URL: that book alone.
TEST_F(CardDavServerTest, DiscoversBooksAndExportsThemAsDirectoryStoresWould) {
  AddBook("a-work", "Work", kWork);
  AddBook("z-jp", "連絡先", kJapanese);
  const std::string japanese = ExportFromDirectory(kJapanese);
  const std::string work = ExportFromDirectory(kWork);
  ASSERT_NE(japanese.find("\x8E\x52\x93\x63"), std::string::npos);  // 山田 in code page 932
  EXPECT_EQ(std::count(japanese.begin(), japanese.end(), '\n'), 2);  // the group is no record

  EXPECT_EQ(ExportFrom(Base() + "/", 0), japanese + work);
  EXPECT_EQ(ExportFrom(Base() + "/alice/", 0), japanese + work);
  EXPECT_EQ(ExportFrom(Base() + "/alice/nothing-here/", 0), japanese + work);
  EXPECT_EQ(ExportFrom(Base() + "/alice/a-work/", 0), work);
}

// A book named Contacts (any case) is the default even when another sorts first.
TEST_F(CardDavServerTest, ContactsBookIsTheDefault) {
  AddBook("a-work", "Work", kWork);
  AddBook("b-main", "CONTACTS", kJapanese);
  EXPECT_EQ(ExportFrom(Base() + "/", 0), ExportFromDirectory(kJapanese) + ExportFromDirectory(kWork));
}

// A refused login and a port nobody listens on are failing stores: nothing
// is exported and the run ends as having no folder, never as an empty store.
TEST_F(CardDavServerTest, RefusedLoginAndClosedPortAreFailingStores) {
  AddBook("a-work", "Work", kWork);
  SetPassword("wrong");
  EXPECT_EQ(ExportFrom(Base() + "/", 55), "");
  SetPassword(kPassword);
  EXPECT_EQ(ExportFrom("http://127.0.0.1:" + std::to_string(davtest::FreePort()) + "/", 55), "");
}

// 2,000 cards in one book: several multiget batches, every card once, in
// href order.
TEST_F(CardDavServerTest, ThousandsOfCardsInOneBook) {
  Cards cards;
  std::string bulk;
  for (int i = 0; i < 2000; ++i) {
    char uid[16];
    std::snprintf(uid, sizeof uid, "u%05d", i);
    cards.emplace_back(std::string(uid) + ".vcf",
                       Card(uid, "FN:Person " + std::to_string(i) + "\r\nN:Person;N" + std::to_string(i) + ";;;\r\n"));
    bulk += cards.back().second;
  }
  // One PUT of the whole book: Radicale names each card after its UID.
  ASSERT_EQ(Send("PUT", Base() + "/alice/big/", "text/vcard", bulk), 201);
  const std::string expected = ExportFromDirectory(cards);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 2000);
  EXPECT_EQ(ExportFrom(Base() + "/alice/big/", 0), expected);
}

}  // namespace
