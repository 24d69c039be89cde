// The private copy of a book in use, on Windows: in the user's temporary
// folder, byte for byte, gone with the copy, the original untouched.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "store/sqlite/sqlite_copy.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(SqliteCopyWin32Test, CopiesBookAndLogIntoTempAndRemovesThem) {
  testfiles::TempDir dir;
  const fs::path book = dir.path() / fs::path(u8"abook \u9023.sqlite");
  testfiles::WriteBytes(book, "pages");
  testfiles::WriteBytes(fs::path(book.native() + L"-wal"), "log");
  EXPECT_EQ(sqlitebook::CopyBook((dir / "none.sqlite").string()), nullptr);

  const std::u8string name = book.u8string();
  std::unique_ptr<sqlitebook::PrivateCopy> copy = sqlitebook::CopyBook(std::string(name.begin(), name.end()));
  ASSERT_NE(copy, nullptr);
  const std::string& path = copy->DatabasePath();
  const fs::path copied(std::u8string(path.begin(), path.end()));
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
  EXPECT_EQ(fs::weakly_canonical(copied.parent_path().parent_path()), fs::weakly_canonical(fs::path(temp)));
  EXPECT_EQ(testfiles::ReadBytes(copied), "pages");
  EXPECT_EQ(testfiles::ReadBytes(fs::path(copied.native() + L"-wal")), "log");
  EXPECT_FALSE(fs::exists(fs::path(copied.native() + L"-journal")));
  testfiles::WriteBytes(fs::path(copied.native() + L"-shm"), "index");  // as SQLite leaves it

  copy.reset();
  EXPECT_FALSE(fs::exists(copied.parent_path()));
  std::size_t beside = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++beside;
  EXPECT_EQ(beside, 2u);
  EXPECT_EQ(testfiles::ReadBytes(book), "pages");
}

}  // namespace
