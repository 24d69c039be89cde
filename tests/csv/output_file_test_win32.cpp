// The Windows output file: wide-character paths, create-or-truncate, writing,
// cutting back and closing.
#include "csv/output_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/test_files.h"

namespace {

class WindowsOutputFileTest : public testing::Test {
 protected:
  std::u16string PathText(const std::filesystem::path& path) { return path.u16string(); }
  testfiles::TempDir dir_;
};

TEST_F(WindowsOutputFileTest, WritesThroughAnyWidePath) {
  const std::filesystem::path folder = dir_.path() / std::filesystem::path(u"データ フォルダ");
  std::filesystem::create_directory(folder);
  const std::filesystem::path path = folder / std::filesystem::path(u"連絡先 一覧.csv");
  csv::OutputFile* file = csv::OutputOpen(PathText(path));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(csv::OutputWrite(file, std::string("\"a\"\r\n\x82\xa0", 7)));
  EXPECT_TRUE(csv::OutputWrite(file, ""));
  EXPECT_TRUE(csv::OutputClose(file));
  EXPECT_EQ(testfiles::ReadBytes(path), std::string("\"a\"\r\n\x82\xa0", 7));
}

TEST_F(WindowsOutputFileTest, OpeningTruncatesExistingFilesHiddenOnesToo) {
  const std::filesystem::path path = dir_ / "existing.csv";
  testfiles::WriteBytes(path, "previous contents");
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  csv::OutputFile* file = csv::OutputOpen(PathText(path));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(csv::OutputClose(file));
  EXPECT_EQ(testfiles::ReadBytes(path), "");
  EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsOutputFileTest, TruncateCutsBackAndWritingGoesOnThere) {
  const std::filesystem::path path = dir_ / "cut.csv";
  csv::OutputFile* file = csv::OutputOpen(PathText(path));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(csv::OutputWrite(file, "abcdef"));
  EXPECT_TRUE(csv::OutputTruncate(file, 3));
  EXPECT_TRUE(csv::OutputWrite(file, "XY"));
  EXPECT_TRUE(csv::OutputClose(file));
  EXPECT_EQ(testfiles::ReadBytes(path), "abcXY");
}

TEST_F(WindowsOutputFileTest, OpenFailsWhereNoFileCanBe) {
  EXPECT_EQ(csv::OutputOpen(PathText(dir_ / "missing" / "out.csv")), nullptr);
  EXPECT_EQ(csv::OutputOpen(PathText(dir_.path())), nullptr);  // a folder
  EXPECT_EQ(csv::OutputOpen(u""), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

}  // namespace
