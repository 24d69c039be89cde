// The snapshot every hostile test compares before and after a run: it must
// notice each kind of change the program could make to a profile, and list
// special files without opening them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "hostile/hostile_support.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// Sets the modification time of `path` (without following a link).
void SetMtime(const fs::path& path, const timespec& when) {
  const timespec times[2] = {{0, UTIME_OMIT}, when};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

timespec MtimeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0);
  return info.st_mtim;
}

TEST(TreeSnapshotTest, NoticesContentTimeAndLinkChangesAndNeverOpensFifos) {
  hostile::ScratchDir dir;
  const fs::path root = dir / "profile";
  fs::create_directories(root / "sub");
  testfiles::WriteBytes(root / "sub" / "a.vcf", "BEGIN:VCARD\r\n");
  fs::create_symlink("sub/a.vcf", root / "link.vcf");
  // A FIFO with no writer: opening it for reading would block the test.
  ASSERT_EQ(mkfifo((root / "fifo.vcf").c_str(), 0644), 0);
  const auto before = hostile::SnapshotTree(root);
  EXPECT_EQ(before.size(), 5u);
  EXPECT_EQ(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");

  // Same size, same time, other bytes.
  const timespec fileTime = MtimeOf(root / "sub" / "a.vcf");
  const timespec dirTime = MtimeOf(root / "sub");
  testfiles::WriteBytes(root / "sub" / "a.vcf", "BEGIN:VCARX\r\n");
  SetMtime(root / "sub" / "a.vcf", fileTime);
  EXPECT_NE(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");
  testfiles::WriteBytes(root / "sub" / "a.vcf", "BEGIN:VCARD\r\n");
  SetMtime(root / "sub" / "a.vcf", fileTime);
  EXPECT_EQ(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");

  // Only the nanoseconds of a directory's time.
  SetMtime(root / "sub", {dirTime.tv_sec, (dirTime.tv_nsec + 1) % 1000000000});
  EXPECT_NE(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");
  SetMtime(root / "sub", dirTime);

  // A link pointing elsewhere, with its own time kept.
  const timespec linkTime = MtimeOf(root / "link.vcf");
  const timespec rootTime = MtimeOf(root);
  fs::remove(root / "link.vcf");
  fs::create_symlink("sub/b.vcf", root / "link.vcf");
  SetMtime(root / "link.vcf", linkTime);
  SetMtime(root, rootTime);
  EXPECT_NE(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");

  // An entry more.
  fs::remove(root / "link.vcf");
  fs::create_symlink("sub/a.vcf", root / "link.vcf");
  SetMtime(root / "link.vcf", linkTime);
  testfiles::WriteBytes(root / "sub" / "new.vcf", "");
  SetMtime(root / "sub", dirTime);
  SetMtime(root, rootTime);
  EXPECT_NE(hostile::FirstDifference(before, hostile::SnapshotTree(root)), "");
}

TEST(TreeSnapshotTest, DeepTreesAreBuiltListedAndRemovedBeyondPathLimits) {
  const fs::path root = [] {
    hostile::ScratchDir dir(true);
    const fs::path root = dir / "deep";
    fs::create_directory(root);
    // 3000 levels of "dd/": paths far longer than the system accepts.
    hostile::MakeNestedFolders(root, 3000, "dd", {{3000, "x"}});
    const auto entries = hostile::SnapshotTree(root);
    EXPECT_EQ(entries.size(), 3002u);
    EXPECT_EQ(entries.back().name, "c.vcf");
    EXPECT_EQ(entries.back().depth, 3001);
    return dir.path();
  }();
  EXPECT_FALSE(fs::exists(root));  // the scratch directory removed it all
}

}  // namespace
