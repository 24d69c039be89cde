// Data files with one folder table damaged: copies of the public samples made
// at test time, exported by the built program. The table's block is found
// through the file's own indexes, so nothing here depends on where a sample
// happens to keep it; libpff is first shown to fail on the copy.
#include <gtest/gtest.h>
#include <libpff.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "store/store_test_helpers.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

std::uint64_t Le(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + i));
  return value;
}

// The leaf entry keyed `key` in the B-tree whose root page is at `page`, in a
// Unicode data file (MS-PST 2.2.2.7): a 512-byte page holds its entries from
// its start, their count at 488, their size at 490 and its level at 491; every
// entry starts with its 8-byte key, and an inner entry points at its child
// page from offset 16. Keys are compared under `mask` (the low bit of a block
// identifier is not part of it). The entry's offset in the file, or 0.
std::size_t LeafEntry(const std::string& file, std::size_t page, std::uint64_t key, std::uint64_t mask) {
  for (int depth = 0; depth < 16; ++depth) {
    const std::size_t count = static_cast<std::uint8_t>(file.at(page + 488));
    const std::size_t size = static_cast<std::uint8_t>(file.at(page + 490));
    const bool leaf = file.at(page + 491) == 0;
    std::size_t below = 0;
    for (std::size_t i = 0; i < count && (Le(file, page + i * size, 8) & mask) <= key; ++i) {
      below = page + i * size;
      if (leaf && (Le(file, below, 8) & mask) == key) return below;
    }
    if (leaf || below == 0) return 0;
    page = static_cast<std::size_t>(Le(file, below + 16, 8));
  }
  return 0;
}

// Where the data of node `nid` begins: the node B-tree (root reference at 216,
// its page offset at 224) gives the node's data block, the block B-tree (at
// 240) that block's offset. 0 when the file is no Unicode data file or has no
// such node.
std::size_t NodeDataOffset(const std::string& file, std::uint32_t nid) {
  if (file.size() < 512 || Le(file, 10, 2) < 23) return 0;
  const std::size_t node = LeafEntry(file, static_cast<std::size_t>(Le(file, 224, 8)), nid, ~0ull);
  if (node == 0) return 0;
  const std::uint64_t bid = Le(file, node + 8, 8) & ~1ull;
  const std::size_t block = LeafEntry(file, static_cast<std::size_t>(Le(file, 240, 8)), bid, ~1ull);
  return block == 0 ? 0 : static_cast<std::size_t>(Le(file, block + 8, 8));
}

enum class Table { kHierarchy, kContents };

// A folder table is the node of the folder's NID index with type 0x0D
// (subfolders) or 0x0E (messages).
std::uint32_t TableNid(std::uint32_t folder, Table table) {
  return (folder & ~0x1Fu) | (table == Table::kHierarchy ? 0x0Du : 0x0Eu);
}

// What libpff answers when asked for the folder's count of subfolders or messages.
int CountCall(const fs::path& path, std::uint32_t folder, Table table) {
  libpff_file_t* file = nullptr;
  libpff_item_t* item = nullptr;
  int count = 0;
  int result = -2;
  if (libpff_file_initialize(&file, nullptr) == 1 &&
      libpff_file_open(file, path.c_str(), LIBPFF_OPEN_READ, nullptr) == 1 &&
      libpff_file_get_item_by_identifier(file, folder, &item, nullptr) == 1) {
    result = table == Table::kHierarchy ? libpff_folder_get_number_of_sub_folders(item, &count, nullptr)
                                        : libpff_folder_get_number_of_sub_messages(item, &count, nullptr);
    libpff_item_free(&item, nullptr);
  }
  if (file != nullptr) {
    libpff_file_close(file, nullptr);
    libpff_file_free(&file, nullptr);
  }
  return result;
}

std::size_t Records(const std::string& csv) {
  std::size_t lines = 0;
  for (std::size_t at = csv.find("\r\n"); at != std::string::npos; at = csv.find("\r\n", at + 2)) ++lines;
  return lines;
}

std::string FirstRecords(const std::string& csv, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < count; ++i) end = csv.find("\r\n", end) + 2;
  return csv.substr(0, end);
}

// A folder whose table libpff cannot read fails the export where the walk
// reaches it (56), with the records written before it whole and exact; never
// an exit 0 without the folder's contacts; the folder's failure names the
// file, the folder and libpff's cause. Damaging two bytes at the start of
// the table's block is enough for libpff to reject the table.
TEST(PstDamagedTableTest, FolderThatCannotBeListedFailsTheExport) {
  REQUIRE_DATA_DIR(samples, "pst");
  const struct {
    const char* sample;
    std::uint32_t folder;  // NID (see the samples' README)
    Table table;
    bool searched;        // a failing store first: the export takes the file's top folder
    std::size_t before;   // records of the undamaged file written before the folder
  } kCases[] = {
      // The default contacts folder's messages.
      {"aspose-SampleContacts.pst", 0x8082, Table::kContents, false, 0},
      {"hiraoka-contacts.pst", 0x80C2, Table::kContents, false, 0},
      // The contacts folder's subfolders, after its contact. Its empty table
      // shares its block with the other empty folders' ("Deleted Items" before
      // it among them): the folder the entry ID names is still found.
      {"javalibpst-dist-list.pst", 0x8142, Table::kHierarchy, false, 1},
      // The top folder's subfolders, where the contacts folder is searched for by class.
      {"vitam-ContactCalendar-test.pst", 0x8022, Table::kHierarchy, false, 0},
      // The whole tree: its top folder's subfolders, and "Inbox", after "myInbox" and its 36 named contacts.
      {"aspose-PersonalStorageFile1.pst", 0x8022, Table::kHierarchy, true, 0},
      {"aspose-PersonalStorageFile1.pst", 0x80A2, Table::kContents, true, 36},
  };
  testfiles::TempDir dir;
  int runs = 0;
  for (const auto& c : kCases) {
    char folder[16];
    std::snprintf(folder, sizeof folder, "0x%X", static_cast<unsigned>(c.folder));
    SCOPED_TRACE(std::string(c.sample) + (c.table == Table::kHierarchy ? " hierarchy" : " contents") +
                 " table of folder " + folder);
    const std::string bytes = testfiles::ReadBytes(samples / c.sample);
    const std::size_t at = NodeDataOffset(bytes, TableNid(c.folder, c.table));
    ASSERT_NE(at, 0u);
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
    damaged[at + 1] = static_cast<char>(damaged[at + 1] ^ 0xFF);

    // Each copy in a profile of its own, the damaged one checked to make
    // libpff's count call fail before the program is run on it.
    auto profileOf = [&](const std::string& data) {
      const fs::path profile = dir / ("profile" + std::to_string(++runs));
      fs::create_directories(profile);
      if (c.searched) fs::create_symlink(dir / "nowhere", profile / "0-broken");
      testfiles::WriteBytes(profile / "sample.pst", data);
      return profile;
    };
    auto exportOf = [&](const fs::path& profile, int& exitCode) {
      const fs::path output = profile.string() + ".csv";
      exitCode = testprogram::RunProgram({output.string()}, {{"CONTACT_EXPORT_PROFILE", profile.string()}}).exitCode;
      return fs::exists(output) ? testfiles::ReadBytes(output) : "<no file>";
    };
    const fs::path wholeProfile = profileOf(bytes);
    const fs::path damagedProfile = profileOf(damaged);
    ASSERT_EQ(CountCall(wholeProfile / "sample.pst", c.folder, c.table), 1);
    ASSERT_EQ(CountCall(damagedProfile / "sample.pst", c.folder, c.table), -1);

    int wholeExit = -1;
    const std::string whole = exportOf(wholeProfile, wholeExit);
    ASSERT_EQ(wholeExit, 0);
    ASSERT_GT(Records(whole), 0u);
    ASSERT_GE(Records(whole), c.before);
    int damagedExit = -1;
    const std::string partial = exportOf(damagedProfile, damagedExit);
    EXPECT_EQ(damagedExit, 56);
    EXPECT_EQ(partial, FirstRecords(whole, c.before));
    const om::Handle top = storetest::At(storetest::Member(storetest::OpenNamespace(damagedProfile), "Folders"),
                                         c.searched ? 2 : 1);
    const storetest::Failure failure = storetest::FirstFolderFailure(top);
    EXPECT_EQ(failure.number, om::kMapiCallFailed);
    const std::string where = (damagedProfile / "sample.pst").string() + ", folder \"";
    const std::string what = c.table == Table::kHierarchy ? "cannot read its list of subfolders: libpff: "
                                                          : "cannot read its list of messages: libpff: ";
    EXPECT_TRUE(failure.reason.starts_with(where) && failure.reason.find(what) != std::string::npos) << failure.reason;
  }
}

}  // namespace
