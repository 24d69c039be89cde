// Books of other kinds inside a folder of vCard files, exported by the built
// program: a Thunderbird profile folder, an Evolution address-book folder, a
// CardDAV book (Radicale on 127.0.0.1) and two SQLite books whose names
// differ only in their endings, each one subfolder holding what that book
// exports by itself, in byte order of the entries' names; a book that cannot
// be read ends the walk there (56); and the output may not be written over
// or into a book reached that way.
#include <gtest/gtest.h>

#include <memory>

#include "store/carddav/dav_server_posix.h"
#include "store/store_test_helpers.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

const fs::path kBooks = fs::path(CONTACT_EXPORT_SOURCE_DIR) / "tests" / "data" / "sqlite";

class BooksInFoldersTest : public storetest::ProfileTest {
 protected:
  void SetUp() override {
    if (!store::AddressBooksUnavailable().empty() || !store::CardDavUnavailable().empty()) {
      GTEST_SKIP() << "built without SQLite or CardDAV";
    }
    REQUIRE_RADICALE();
    // One book of two cards, written where Radicale keeps its collections.
    const int port = davtest::FreePort();
    const fs::path book = Dir("server/collections/collection-root/alice/book");
    Write("server/collections/collection-root/alice/book/.Radicale.props", R"({"tag": "VADDRESSBOOK"})");
    Write("server/collections/collection-root/alice/book/1.vcf", storetest::Card("Dav1", "UID:1\r\n"));
    Write("server/collections/collection-root/alice/book/2.vcf", storetest::Card("Dav2", "UID:2\r\n"));
    server_ = std::make_unique<davtest::ServerProcess>(davtest::RadicaleCommand(Path("server"), port, "alice", "pw"),
                                                       port);
    ASSERT_TRUE(server_->ready()) << "Radicale did not start";
    Write("netrc", "machine 127.0.0.1 login alice password pw\n");
    Write("dav/d.carddav", (Dir("dav"), "url = http://127.0.0.1:" + std::to_string(port) + "/alice/book/\nuser = alice\n"));

    Write("books/tb/prefs.js", (Dir("books/tb"), ""));
    fs::copy_file(kBooks / "thunderbird/abook.sqlite", Path("books/tb/abook.sqlite"));
    Dir("books/evo/system"), Dir("books/evo/0ff");
    fs::copy_file(kBooks / "evolution/contacts.db", Path("books/evo/system/contacts.db"));
    fs::copy_file(kBooks / "evolution/cache.db", Path("books/evo/0ff/contacts.db"));
    fs::copy_file(kBooks / "thunderbird/abook.sqlite", Path("books/e.sqlite"));
    fs::copy_file(kBooks / "evolution/cache.db", Path("books/e.db"));

    Write("profile/1-books/Contacts/a.vcf", (Dir("profile/1-books/Contacts"), storetest::Card("Own")));
    for (const auto& [target, link] : {std::pair{"books/tb", "b-tb"}, {"books/evo", "c-evo"}, {"dav/d.carddav", "d.carddav"},
                                       {"books/e.sqlite", "e.sqlite"}, {"books/e.db", "e.db"},
                                       {"books/tb", "f-again"}}) {  // a book reached twice is exported once
      fs::create_symlink(Path(target), Path("profile/1-books/Contacts") / link);
    }
    // Walked first from a subfolder: along its later path, it holds nothing.
    fs::create_symlink(Path("books/e.db"), Dir("profile/1-books/Contacts/0-sub") / "e.db");
  }
  void TearDown() override { server_.reset(); }

  // Exports the profile `profile` into `out`; the exit code.
  int Run(const fs::path& profile, const fs::path& out) {
    return testprogram::RunProgram({out.string()}, {{"CONTACT_EXPORT_PROFILE", profile.string()},
                                                    {"NETRC", Path("netrc").string()}})
        .exitCode;
  }
  // What the book at `relative` exports as a profile by itself.
  std::string Alone(const std::string& relative) {
    EXPECT_EQ(Run(Path(relative), Path("alone.csv")), 0) << relative;
    const std::string records = ReadBytes(Path("alone.csv"));
    EXPECT_FALSE(records.empty()) << relative;
    return records;
  }

  std::unique_ptr<davtest::ServerProcess> server_;
};

TEST_F(BooksInFoldersTest, BooksAreSubfoldersInOrderOfTheirEntries) {
  // Named by their entries, each book opened only when its contents are asked for.
  const om::Handle folders = storetest::Member(DefaultFolder(storetest::OpenNamespace(Path("profile"))), "Folders");
  std::vector<std::string> names;
  for (std::int64_t i = 1; i <= om::AsCount(om::Get(folders, "Count")); ++i) {
    names.push_back(storetest::Text(om::Get(storetest::At(folders, i), "Name")));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"0-sub", "b-tb", "c-evo", "d", "e", "e"}));

  const std::string own = testfiles::RecordLine({"Own", "", "", "", "", "Own"});
  const std::string thunderbird = Alone("books/tb"), evolution = Alone("books/evo");
  const std::string before = own + Alone("books/e.db") + thunderbird + evolution;
  const std::string after = Alone("dav") + Alone("books/e.sqlite");
  EXPECT_EQ(Run(Path("profile"), Path("out.csv")), 0);
  EXPECT_EQ(ReadBytes(Path("out.csv")), before + after);

  // A book that cannot be read, among the others: the records before it.
  const std::string book = ReadBytes(kBooks / "thunderbird/abook.sqlite");
  for (const std::string& damaged : {book.substr(0, book.size() / 2), std::string("BEGIN:VCARD\r\nEND:VCARD\r\n")}) {
    Write("profile/1-books/Contacts/c2.sqlite", damaged);
    EXPECT_EQ(Run(Path("profile"), Path("out.csv")), 56);
    EXPECT_EQ(ReadBytes(Path("out.csv")), before);
  }
  fs::remove(Path("profile/1-books/Contacts/c2.sqlite"));

  // The output over a book reached through a link, or inside a folder of
  // books: refused before anything is written.
  for (const char* output : {"books/e.sqlite", "books/tb/out.csv", "books/evo/system/contacts.db"}) {
    const std::string was = fs::exists(Path(output)) ? ReadBytes(Path(output)) : "<none>";
    EXPECT_EQ(Run(Path("profile"), Path(output)), 52) << output;
    EXPECT_EQ(fs::exists(Path(output)) ? ReadBytes(Path(output)) : "<none>", was) << output;
  }
}

}  // namespace
