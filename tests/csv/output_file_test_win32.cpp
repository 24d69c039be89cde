// The Windows output file: wide-character paths, create-or-truncate, writing,
// cutting back and closing.
#include "csv/output_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "csv/output_guard.h"
#include "store/fs.h"
#include "support/test_files.h"

namespace {

class WindowsOutputFileTest : public testing::Test {
 protected:
  std::u16string PathText(const std::filesystem::path& path) { return path.u16string(); }
  static bool Write(csv::OutputFile* file, std::string_view bytes) {
    std::size_t written = 0;
    return csv::OutputWrite(file, bytes, written, true) == csv::WriteEnd::kDone && written == bytes.size();
  }
  testfiles::TempDir dir_;
};

TEST_F(WindowsOutputFileTest, WritesThroughAnyWidePath) {
  const std::filesystem::path folder = dir_.path() / std::filesystem::path(u"データ フォルダ");
  std::filesystem::create_directory(folder);
  const std::filesystem::path path = folder / std::filesystem::path(u"連絡先 一覧.csv");
  csv::OutputFile* file = csv::OutputOpen(PathText(path));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(Write(file, std::string("\"a\"\r\n\x82\xa0", 7)));
  EXPECT_TRUE(Write(file, ""));
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
  EXPECT_TRUE(Write(file, "abcdef"));
  EXPECT_TRUE(csv::OutputTruncate(file, 3));
  EXPECT_TRUE(Write(file, "XY"));
  EXPECT_TRUE(csv::OutputClose(file));
  EXPECT_EQ(testfiles::ReadBytes(path), "abcXY");
}

TEST_F(WindowsOutputFileTest, OpenFailsWhereNoFileCanBe) {
  EXPECT_EQ(csv::OutputOpen(PathText(dir_ / "missing" / "out.csv")), nullptr);
  EXPECT_EQ(csv::OutputOpen(PathText(dir_.path())), nullptr);  // a folder
  EXPECT_EQ(csv::OutputOpen(u""), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

// A folder protected as the stand-alone profile protects it: no file is
// created in it or below it, and a file in it is not truncated.
TEST_F(WindowsOutputFileTest, RefusesPathsInsideAProtectedFolder) {
  const std::filesystem::path profile = dir_.path() / "profile";
  std::filesystem::create_directories(profile / "store");
  testfiles::WriteBytes(profile / "store" / "a.vcf", "card");
  const std::u8string utf8 = profile.u8string();
  const auto identity = store::fs::StatPath(std::string(utf8.begin(), utf8.end())).identity;
  csv::Protect({identity.device, identity.inode});
  EXPECT_EQ(csv::OutputOpen(PathText(profile / "store" / "a.vcf")), nullptr);
  EXPECT_EQ(csv::OutputOpen(PathText(profile / "new.csv")), nullptr);
  csv::OutputFile* beside = csv::OutputOpen(PathText(dir_.path() / "beside.csv"));
  csv::ClearProtected();
  EXPECT_EQ(testfiles::ReadBytes(profile / "store" / "a.vcf"), "card");
  EXPECT_FALSE(std::filesystem::exists(profile / "new.csv"));
  ASSERT_NE(beside, nullptr);
  EXPECT_TRUE(csv::OutputClose(beside));
}

}  // namespace
