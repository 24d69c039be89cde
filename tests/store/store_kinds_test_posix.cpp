// The table of store kinds: which kind each entry of a profile is (by its
// name and by what it is: file, FIFO, directory, link), which kind a profile
// is by itself, and why each kind's store fails when it cannot be used.
// (POSIX only: FIFOs and links.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "om/error_numbers.h"
#include "store/carddav/dav_server_posix.h"
#include "store/store_kinds.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using store::StoreEntry;
using store::StoreKind;

const fs::path kBooks = fs::path(CONTACT_EXPORT_SOURCE_DIR) / "tests" / "data" / "sqlite";

// The name of `kind`, or "-" for none.
std::string NameOf(const StoreKind* kind) { return kind ? std::string(kind->name) : "-"; }

const StoreKind& Kind(std::string_view name) {
  for (const StoreKind& kind : store::StoreKinds()) {
    if (kind.name == name) return kind;
  }
  throw std::logic_error("no such kind");
}

// The entries of `dir` as the profile lists them.
std::map<std::string, StoreEntry> Entries(const fs::path& dir) {
  std::map<std::string, StoreEntry> entries;
  store::fs::ForEachEntry(dir.string(), [&](std::string_view name, store::fs::EntryType type) {
    entries[std::string(name)] = StoreEntry{(dir / name).string(), std::string(name), type};
  });
  return entries;
}

TEST(StoreKindsTest, EntriesAreKnownByTheirNamesAndWhatTheyAre) {
  const testfiles::TempDir dir;
  const auto file = [&](const char* name) { testfiles::WriteBytes(dir / name, "x"); };
  const auto folder = [&](const char* name) { fs::create_directories(dir / name); };
  const auto fifo = [&](const char* name) { ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0); };
  const auto link = [&](const char* target, const char* name) { fs::create_symlink(target, dir / name); };
  file("a.PST"), folder("dir.ost"), fifo("fifo.pst");
  file("a.CardDav"), fifo("fifo.carddav"), folder("dir.carddav"), link("dir.carddav", "to-dir.carddav");
  link("nowhere", "nowhere.carddav"), link("a.CardDav", "to-file.carddav");
  file("a.vcf"), fifo("fifo.vcf"), folder("dir.vcf"), link("nowhere", "nowhere.vcf");
  file("a.sqlite"), fifo("fifo.db"), folder("dir.sqlite"), link("nowhere", "nowhere.db");
  folder("tb"), file("tb/prefs.js"), folder("tb-prefs-folder/prefs.js"), link("tb", "to-tb");
  folder("evo/system"), file("evo/system/contacts.db"), folder("evo-without/system");
  folder("plain"), link("nowhere", "nowhere"), link("a.PST", "to-file"), file("notes.txt"), fifo("fifo");

  const std::map<std::string, std::string> kExpected = {
      {"a.PST", "Outlook data file"},      {"dir.ost", "Outlook data file"},
      {"fifo.pst", "Outlook data file"},   {"a.CardDav", "CardDAV address book"},
      {"fifo.carddav", "-"},               {"dir.carddav", "folder of vCard files"},
      {"to-dir.carddav", "folder of vCard files"},
      {"nowhere.carddav", "CardDAV address book"},
      {"to-file.carddav", "CardDAV address book"},
      {"a.vcf", "vCard file"},             {"fifo.vcf", "vCard file"},
      {"dir.vcf", "folder of vCard files"}, {"nowhere.vcf", "vCard file"},
      {"a.sqlite", "SQLite address book"}, {"fifo.db", "SQLite address book"},
      {"dir.sqlite", "folder of vCard files"},
      {"nowhere.db", "SQLite address book"},
      {"tb", "Thunderbird profile folder"}, {"tb-prefs-folder", "folder of vCard files"},
      {"to-tb", "Thunderbird profile folder"},
      {"evo", "Evolution address-book folder"},
      {"evo-without", "folder of vCard files"},
      {"plain", "folder of vCard files"},   {"nowhere", "folder of vCard files"},
      {"to-file", "folder of vCard files"}, {"notes.txt", "-"},
      {"fifo", "-"},
  };
  const std::map<std::string, StoreEntry> entries = Entries(dir.path());
  ASSERT_EQ(entries.size(), kExpected.size());
  for (const auto& [name, kind] : kExpected) {
    EXPECT_EQ(NameOf(store::KindOfEntry(entries.at(name))), kind) << name;
  }

  // A profile by itself: a folder only as an application's folder, a file
  // only of a kind that may stand alone.
  const auto profile = [&](const char* name, bool folder) {
    return NameOf(store::KindOfProfile(StoreEntry{(dir / name).string(), name,
                                                       folder ? store::fs::EntryType::kDirectory
                                                              : store::fs::EntryType::kRegular}));
  };
  EXPECT_EQ(profile("a.PST", false), "Outlook data file");
  EXPECT_EQ(profile("dir.ost", true), "-");
  EXPECT_EQ(profile("a.CardDav", false), "-");
  EXPECT_EQ(profile("a.vcf", false), "vCard file");
  EXPECT_EQ(profile("a.sqlite", false), "SQLite address book");
  EXPECT_EQ(profile("tb", true), "Thunderbird profile folder");
  EXPECT_EQ(profile("evo", true), "Evolution address-book folder");
  EXPECT_EQ(profile("plain", true), "-");
  EXPECT_EQ(profile("notes.txt", false), "-");
}

// A store that cannot be used fails as a provider, every time the same way,
// and says why; in a build without the kind's library, it says that.
TEST(StoreKindsTest, FailingStoresSayWhy) {
  REQUIRE_DATA_DIR(samples, "pst");
  const testfiles::TempDir dir;
  const std::string contacts = testfiles::ReadBytes(samples / "hiraoka-contacts.pst");
  testfiles::WriteBytes(dir / "cut.pst", contacts.substr(0, 100000));
  testfiles::WriteBytes(dir / "header.pst", "XXXX" + contacts.substr(4));
  testfiles::WriteBytes(dir / "text.sqlite", "BEGIN:VCARD\r\nEND:VCARD\r\n");
  fs::copy_file(kBooks / "other" / "places.sqlite", dir / "places.sqlite");
  testfiles::WriteBytes(dir / "closed.carddav", "url = http://127.0.0.1:" + std::to_string(davtest::FreePort()) + "/dav/\n");
  testfiles::WriteBytes(dir / "colour.carddav", "url = http://127.0.0.1/\ncolour = red\n");
  fs::create_directory(dir / "tb");
  testfiles::WriteBytes(dir / "tb" / "prefs.js", "");
  ASSERT_EQ(mkfifo((dir / "fifo.pst").c_str(), 0600), 0);
  const struct {
    const char* entry;
    const char* kind;
    std::string reason;
  } kCases[] = {
      {"missing.pst", "Outlook data file", "cannot open file: No such file or directory"},
      {"fifo.pst", "Outlook data file", "not a regular file"},
      {"cut.pst", "Outlook data file", "file is 100000 bytes, its header records 271360"},
      {"header.pst", "Outlook data file", "libpff: invalid file signature"},
      {"text.sqlite", "SQLite address book", "SQLite: file is not a database"},
      {"places.sqlite", "SQLite address book", "its tables are none of a Thunderbird or Evolution address book's"},
      {"tb", "Thunderbird profile folder",
       (dir / "tb" / "abook.sqlite").string() + ": cannot open file: No such file or directory"},
      {"closed.carddav", "CardDAV address book", "no answer from http://127.0.0.1:"},
      {"colour.carddav", "CardDAV address book", "not a store file"},
      {"missing", "folder of vCard files", "cannot open directory: No such file or directory"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.entry);
    const StoreKind& kind = Kind(c.kind);
    const std::string_view unavailable = kind.unavailable ? kind.unavailable() : std::string_view();
    const std::unique_ptr<store::StoreSource> store =
        kind.open(StoreEntry{(dir / c.entry).string(), c.entry, store::fs::EntryType::kRegular},
                  std::make_shared<store::ListedDirectories>());
    for (int use = 0; use < 2; ++use) {
      try {
        store->OpenTopFolder();
        ADD_FAILURE() << "opened";
      } catch (const om::ObjectModelError& error) {
        EXPECT_EQ(error.number(), om::kMapiFailOneProvider);
        EXPECT_TRUE(error.reason().starts_with(unavailable.empty() ? c.reason : unavailable)) << error.reason();
      }
    }
  }
}

}  // namespace
