// SQLite address books (Thunderbird's, Evolution's) as stores, exported by
// the built program from the committed fixture books (made by
// tests/data/sqlite/make_books.py): the records, the failing stores, and a
// book held open by its "application" with a contact only in its -wal, read
// without anything under the profile being created, changed or touched.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "hostile/hostile_support.h"
#include "om/object_model.h"
#include "store/store_sources.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

const fs::path kBooks = fs::path(CONTACT_EXPORT_SOURCE_DIR) / "tests" / "data" / "sqlite";

std::string Cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* put = out.data();
  std::size_t outLeft = out.size();
  EXPECT_NE(iconv(cd, &in, &inLeft, &put, &outLeft), static_cast<std::size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// One output record from its non-empty fields (UTF-8), keyed by column (1-55).
std::string Line(const std::map<int, std::string>& fields) {
  std::vector<std::string> leading(55);
  for (const auto& [column, text] : fields) leading.at(static_cast<std::size_t>(column - 1)) = Cp932(text);
  return testfiles::RecordLine(leading);
}

// abook.sqlite in byte order of its card keys: "0b4c…" (a Thunderbird 102
// vCard), "A000…" (vCard), "b1e0…" (per-field rows), "c2f1…" (per-field,
// 30 February is no birthday); its mailing list is not exported.
const std::string kThunderbirdLines =
    Line({{1, "山田"}, {2, "太郎"}, {3, "様"}, {6, "山田 太郎"}, {12, "たろう"}, {13, "090-1111-2222"},
          {18, "1980-02-15"}, {19, "メモ"}, {20, "例示商事"}, {23, "営業部"}, {24, "課長"}, {27, "100-0005"},
          {28, "日本"}, {29, "東京都"}, {30, "千代田区"}, {31, "丸の内1-1"}, {33, "03-1111-2222"}}) +
    Line({{1, "Zeta"}, {2, "Anna"}, {6, "Anna Zeta"}}) +
    Line({{1, "Smith"}, {2, "John"}, {4, "sumisu"}, {5, "jon"}, {6, "Johnny Smith"}, {7, "62701"}, {8, "USA"},
          {9, "IL"}, {10, "Springfield"}, {11, "1 Main St Flat 2"}, {12, "JS"}, {13, "555-0104"},
          {14, "555-0101"}, {17, "https://john.example"}, {18, "1970-07-04"}, {19, "line one line two"},
          {20, "Acme"}, {23, "R&D"}, {24, "Engineer"}, {27, "60601"}, {28, "USA"}, {29, "IL"}, {30, "Chicago"},
          {31, "9 Work Rd"}, {33, "555-0100"}, {34, "555-0102"}, {35, "https://acme.example"}, {48, "555-0103"}}) +
    Line({{6, "Only Display"}, {20, "Lone Co"}});

const std::string kHanakoLine = Line({{1, "佐藤"}, {2, "花子"}, {4, "さとう"}, {6, "佐藤 花子"}, {18, "1990-03-03"}});
// contacts.db in uid order (pas-id-0001, -0002; the list -0003 is not
// exported); cache.db without -0002, deleted there while offline.
const std::string kEvolutionLines =
    kHanakoLine + Line({{1, "Brown"}, {2, "Carol"}, {6, "Carol Brown"}, {7, "SW1A 1AA"}, {8, "UK"},
                        {10, "London"}, {11, "10 High St"}, {14, "+44 20 7946 0000"}, {20, "Brown Ltd"},
                        {25, "Dr."}});

class SqliteStoreTest : public testing::Test {
 protected:
  struct Export {
    int exitCode = -1;
    std::string output;
  };

  // Exports `profile`; nothing under the scratch folder's profile may change.
  Export Run(const fs::path& profile, const hostile::RunOptions& base = {}) {
    const auto before = hostile::SnapshotTree(profile_);
    hostile::RunOptions options = base;
    const fs::path out = outDir_ / ("out" + std::to_string(++runs_) + ".csv");
    options.args = {out.string()};
    options.profile = profile.string();
    const hostile::RunResult result = hostile::RunProgram(options);
    EXPECT_EQ(hostile::FirstDifference(before, hostile::SnapshotTree(profile_)), "") << profile;
    return {result.exitCode, fs::exists(out) ? testfiles::ReadBytes(out) : "<no file>"};
  }

  fs::path Book(const std::string& fixture, const std::string& name) {
    fs::copy_file(kBooks / fixture, profile_ / name);
    return profile_ / name;
  }

  hostile::ScratchDir dir_;
  fs::path profile_ = dir_ / "profile";
  fs::path outDir_ = dir_ / "out";
  int runs_ = 0;

  void SetUp() override {
    fs::create_directories(profile_);
    fs::create_directories(outDir_);
  }
};

// Each kind of book, as the whole profile and as one entry of a profile.
TEST_F(SqliteStoreTest, ExportsEachKindOfBook) {
  const struct {
    const char* fixture;
    const char* name;
    std::string lines;
  } kCases[] = {
      {"thunderbird/abook.sqlite", "abook.SQLite", kThunderbirdLines},
      {"evolution/contacts.db", "contacts.db", kEvolutionLines},
      {"evolution/cache.db", "cache.DB", kHanakoLine},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.fixture);
    const fs::path book = Book(c.fixture, c.name);
    const Export alone = Run(book);
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_EQ(alone.output, c.lines);
    EXPECT_EQ(Run(profile_).output, c.lines);  // the profile's only store
    fs::remove(book);
  }
}

// A book that cannot be read is a failing store: alone, the export has no
// folder (55); beside a store that can be read, that store is exported.
TEST_F(SqliteStoreTest, DamagedBooksAreFailingStores) {
  const std::string good = testfiles::ReadBytes(kBooks / "thunderbird" / "abook.sqlite");
  std::string overwritten = good;
  overwritten.replace(good.size() / 2, 4096, 4096, '\x5A');
  std::string badHeader = good;
  badHeader.replace(0, 6, "sqlitE");  // no longer the SQLite file header
  // A sound database of another application (a browser's history).
  const std::string wrongSchema = testfiles::ReadBytes(kBooks / "other" / "places.sqlite");
  const struct {
    const char* name;
    std::string bytes;
  } kCases[] = {
      {"truncated", good.substr(0, good.size() / 2)},
      {"overwritten", overwritten},
      {"header", badHeader},
      {"text", "BEGIN:VCARD\r\nN:Not;A;Database;;\r\nEND:VCARD\r\n"},
      {"empty", ""},
      {"schema", wrongSchema},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path book = profile_ / (std::string(c.name) + ".sqlite");
    testfiles::WriteBytes(book, c.bytes);
    const Export alone = Run(book);
    EXPECT_EQ(alone.exitCode, 55);
    EXPECT_EQ(alone.output, "");
    // The failing book is the default store; the next one is exported.
    const fs::path good_book = Book("evolution/cache.db", "zz.db");
    const Export beside = Run(profile_);
    EXPECT_EQ(beside.exitCode, 0);
    EXPECT_EQ(beside.output, kHanakoLine);
    fs::remove(book);
    fs::remove(good_book);
  }
}

// Thunderbird running: a second process holds the book open in WAL mode,
// with automatic checkpoints off and a contact committed only to the -wal.
// The export has that contact, and the profile is left as it was, also when
// the program runs as a user who may write to the profile folder.
TEST_F(SqliteStoreTest, BookHeldOpenWithContactOnlyInWal) {
  const fs::path book = Book("thunderbird/abook.sqlite", "abook.sqlite");
  const fs::path stop = dir_ / "stop";
  const std::string holder =
      "import sqlite3, sys, time, os\n"
      "con = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
      "assert con.execute('PRAGMA journal_mode').fetchone()[0] == 'wal'\n"
      "con.execute('PRAGMA wal_autocheckpoint=0')\n"
      "con.execute('BEGIN')\n"
      "con.execute(\"INSERT INTO properties VALUES ('ffff-wal-card', '_vCard', ?)\", (sys.argv[3],))\n"
      "con.execute('COMMIT')\n"
      "print(os.path.getsize(sys.argv[1] + '-wal'), flush=True)\n"
      "while not os.path.exists(sys.argv[2]): time.sleep(0.02)\n";
  testfiles::WriteBytes(dir_ / "holder.py", holder);
  const std::string command = "python3 " + (dir_ / "holder.py").string() + " " + book.string() + " " +
                              stop.string() + " '" + hostile::ContactCard("Walden", "Wally") + "'";
  FILE* app = popen(command.c_str(), "r");
  ASSERT_NE(app, nullptr);
  char walSize[32] = {};
  ASSERT_NE(fgets(walSize, sizeof walSize, app), nullptr) << "the holding process did not start";
  EXPECT_GT(std::stol(walSize), 0);
  const std::string expected = kThunderbirdLines + hostile::ContactRecord("Walden", "Wally");

  const Export asRoot = Run(book);
  EXPECT_EQ(asRoot.exitCode, 0);
  EXPECT_EQ(asRoot.output, expected);

  if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0) {
    // The profile and its files writable by nobody, who runs a copy of the
    // program it may execute and writes where it may.
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    fs::copy_file(CONTACT_EXPORT_BINARY, bin / "contact-export");
    for (const fs::path& p : {dir_.path(), bin, bin / "contact-export"}) {
      fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    }
    for (const fs::path& p : {profile_, outDir_}) fs::permissions(p, fs::perms::all);
    for (const auto& entry : fs::directory_iterator(profile_)) {
      fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                        fs::perms::group_write | fs::perms::others_read |
                                        fs::perms::others_write);
    }
    hostile::RunOptions options;
    options.program = (bin / "contact-export").string();
    options.asNobody = true;
    const Export asNobody = Run(book, options);
    EXPECT_EQ(asNobody.exitCode, 0);
    EXPECT_EQ(asNobody.output, expected);
  }
  testfiles::WriteBytes(stop, "");
  EXPECT_EQ(pclose(app), 0);
}

// The names of `folder` and of its subfolders, in order, with their item
// counts: "name:count".
std::vector<std::string> FolderTree(const om::Handle& folder) {
  const auto describe = [](const om::Handle& f) {
    const std::u16string name = std::get<std::u16string>(om::Get(f, "Name"));
    std::string utf8;
    for (const char16_t c : name) utf8 += c < 0x80 ? static_cast<char>(c) : '?';
    return utf8 + ":" + std::to_string(om::AsCount(om::Get(om::AsObject(om::Get(f, "Items")), "Count")));
  };
  std::vector<std::string> tree{describe(folder)};
  const om::Handle folders = om::AsObject(om::Get(folder, "Folders"));
  for (std::int64_t i = 1; i <= om::AsCount(om::Get(folders, "Count")); ++i) {
    tree.push_back(describe(om::AsObject(om::Get(folders, "Item", om::Value(i)))));
  }
  return tree;
}

om::Handle DefaultContacts(const fs::path& profile) {
  const om::Handle app = store::CreateStandaloneApplicationAt(profile.string());
  const om::Handle ns = om::AsObject(om::Get(app, "GetNamespace", om::Value(std::u16string(u"MAPI"))));
  return om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
}

// Items fetched out of order are the same items as in order (the cursor
// starts again at the item asked for), each where its key says.
TEST_F(SqliteStoreTest, ItemsInAnyOrder) {
  const om::Handle items = om::AsObject(om::Get(DefaultContacts(Book("thunderbird/abook.sqlite", "a.sqlite")), "Items"));
  const auto fileAs = [&](std::int64_t index) {
    const om::Handle item = om::AsObject(om::Get(items, "Item", om::Value(index)));
    return item->TypeName() + u":" + std::get<std::u16string>(om::Get(item, "FileAs")) + u" in " +
           std::get<std::u16string>(om::Get(item, "SourceLocation"));
  };
  const std::vector<std::u16string> inOrder = {
      u"ContactItem:山田 太郎 in a.sqlite, key \"0b4c5a1e-57a5-4d4f-9a8e-7d2b3c4d5e6f\"",
      u"ContactItem:Anna Zeta in a.sqlite, key \"A0000000-0000-4000-8000-000000000001\"",
      u"ContactItem:Johnny Smith in a.sqlite, key \"b1e0c6a4-2f7e-4c2b-8e55-1a2b3c4d5e6f\"",
      u"ContactItem:Only Display in a.sqlite, key \"c2f1d7b5-3a8f-4d3c-9f66-2b3c4d5e6f70\"",
      u"DistListItem:Friends in a.sqlite, mailing list 1"};
  for (const std::vector<std::int64_t>& order : {std::vector<std::int64_t>{1, 2, 3, 4, 5},
                                                  std::vector<std::int64_t>{4, 2, 5, 1, 3, 3, 4}}) {
    for (const std::int64_t index : order) EXPECT_EQ(fileAs(index), inOrder.at(index - 1)) << index;
  }
}

// An item whose card cannot be read fails with its book and key; the others
// are read.
TEST_F(SqliteStoreTest, AnItemThatCannotBeReadSaysWhereItIs) {
  const fs::path book = Book("evolution/contacts.db", "contacts.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(book.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE folder_id SET vcard = 'no card' WHERE uid = 'pas-id-0002'", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const om::Handle items = om::AsObject(om::Get(DefaultContacts(book), "Items"));
  std::string reason;
  try {
    om::Get(items, "Item", om::Value(std::int64_t{2}));
  } catch (const om::ObjectModelError& error) {
    reason = error.reason();
  }
  EXPECT_EQ(reason, "contacts.db, key \"pas-id-0002\": its data cannot be read as a contact");
  EXPECT_EQ(om::Get(om::AsObject(om::Get(items, "Item", om::Value(std::int64_t{1}))), "SourceLocation"),
            om::Value(std::u16string(u"contacts.db, key \"pas-id-0001\"")));
}

// A Thunderbird profile folder and an Evolution address-book folder are each
// one store: the main book on top, the others below it in byte order of
// their files, named as the application's settings name them.
TEST_F(SqliteStoreTest, ApplicationFoldersAreStoresOfTheirBooks) {
  const fs::path thunderbird = profile_ / "tb.default-release";
  fs::create_directories(thunderbird);
  fs::copy_file(kBooks / "thunderbird" / "abook.sqlite", thunderbird / "abook.sqlite");
  fs::copy_file(kBooks / "evolution" / "cache.db", thunderbird / "history.sqlite");
  fs::copy_file(kBooks / "thunderbird" / "abook.sqlite", thunderbird / "abook-2.sqlite");
  fs::copy_file(kBooks / "evolution" / "cache.db", thunderbird / "abook-10.sqlite");
  fs::copy_file(kBooks / "evolution" / "cache.db", thunderbird / "abook-x.sqlite");  // no book of Thunderbird's
  testfiles::WriteBytes(thunderbird / "prefs.js",
                        "// Mozilla User Preferences\n"
                        "user_pref(\"ldap_2.servers.pab.description\", \"chrome://messenger/locale/addressbook/addressBook.properties\");\n"
                        "user_pref(\"ldap_2.servers.pab.filename\", \"abook.sqlite\");\n"
                        "user_pref(\"ldap_2.servers.work.filename\", \"abook-2.sqlite\");\n"
                        "user_pref(\"ldap_2.servers.work.description\", \"Work \\\"A\\\" \\u4ed5\");\n");
  EXPECT_EQ(FolderTree(DefaultContacts(thunderbird)),
            (std::vector<std::string>{"abook:5", "abook-10:2", "Work \"A\" ?:5", "history:2"}));

  const fs::path evolution = profile_ / "addressbook";
  const fs::path config = dir_ / "config";
  for (const char* id : {"system", "1a2b", "0ff", "trash"}) fs::create_directories(evolution / id);
  fs::copy_file(kBooks / "evolution" / "contacts.db", evolution / "system" / "contacts.db");
  fs::copy_file(kBooks / "evolution" / "contacts.db", evolution / "1a2b" / "contacts.db");
  fs::copy_file(kBooks / "evolution" / "cache.db", evolution / "0ff" / "contacts.db");
  fs::create_directories(config / "evolution" / "sources");
  testfiles::WriteBytes(config / "evolution" / "sources" / "system-address-book.source",
                        "[Data Source]\r\nDisplayName[de]=Pers\r\nDisplayName=Personal\r\n");
  testfiles::WriteBytes(config / "evolution" / "sources" / "1a2b.source", "[Data Source]\nDisplayName=Family\n");
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const std::vector<std::string> tree = FolderTree(DefaultContacts(evolution));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(tree, (std::vector<std::string>{"Personal:3", "0ff:2", "Family:3"}));

  // The built program exports the two stores whole (the default store and,
  // as the last store, Thunderbird's), and as shortcuts each one.
  EXPECT_EQ(Run(thunderbird).output, kThunderbirdLines + kHanakoLine + kThunderbirdLines + kHanakoLine);
  EXPECT_EQ(Run(evolution).output, kEvolutionLines + kHanakoLine + kEvolutionLines);
  const Export both = Run(profile_);
  EXPECT_EQ(both.exitCode, 0);
  EXPECT_EQ(both.output, kEvolutionLines + kHanakoLine + kEvolutionLines);
}

}  // namespace
