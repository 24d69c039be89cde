// Output files that cannot be opened, disks that fill up and file size limits,
// through the built program: the run ends with its code (52, or 56 / 54 when
// a write fails), never 0 and never killed by a signal, the file holds whole
// records from the start of the export and nothing else, and the profile is
// left exactly as it was.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "hostile/hostile_support.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using hostile::Describe;
using hostile::RunOptions;
using hostile::RunResult;

// A note that makes each record about 400 bytes, so a few hundred contacts
// fill several of the writer's blocks.
const std::string kNote(200, 'n');

class OutputFailureTest : public testing::Test {
 protected:
  // A profile of one folder holding `count` contacts in one file.
  hostile::Contacts MakeProfile(int count) {
    fs::create_directories(profile_);
    hostile::Contacts contacts = hostile::NumberedContacts(count, kNote);
    testfiles::WriteBytes(profile_ / "all.vcf", contacts.cards);
    before_ = hostile::SnapshotTree(profile_);
    return contacts;
  }

  RunResult Run(std::vector<std::string> args, RunOptions options = {}) {
    options.args = std::move(args);
    options.profile = profile_.string();
    return hostile::RunProgram(options);
  }

  void TearDown() override {
    if (!before_.empty()) {
      EXPECT_EQ(hostile::FirstDifference(before_, hostile::SnapshotTree(profile_)), "");
    }
  }

  // A write failed: 56 mid-export or 54 at close, not a signal, and the file
  // holds fewer than all records, each whole and in order.
  void ExpectFailedWrite(const RunResult& result, const std::string& file,
                         const std::vector<std::string>& records) {
    EXPECT_FALSE(result.timedOut) << Describe(result);
    EXPECT_EQ(result.signal, 0) << Describe(result);
    EXPECT_TRUE(result.exitCode == 56 || result.exitCode == 54) << Describe(result);
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(file, records, &whole))
        << "the file is not whole records from the start (" << file.size() << " bytes)";
    EXPECT_LT(whole, records.size());
  }

  testfiles::TempDir dir_;
  fs::path profile_ = dir_ / "profile";
  std::vector<hostile::Entry> before_;
};

TEST_F(OutputFailureTest, PathsThatCannotBeOpenedGive52AndTouchNothing) {
  MakeProfile(3);
  fs::create_directory(dir_ / "a directory");
  const auto directoryBefore = hostile::SnapshotTree(dir_ / "a directory");
  const struct {
    const char* what;
    std::vector<std::string> args;
  } cases[] = {
      {"a directory", {(dir_ / "a directory").string()}},
      {"a path in a missing directory", {(dir_ / "missing" / "out.csv").string()}},
      {"an empty path", {}},
  };
  for (const auto& c : cases) {
    const RunResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, 52) << c.what << ": " << Describe(result);
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(hostile::FirstDifference(directoryBefore, hostile::SnapshotTree(dir_ / "a directory")), "");
}

TEST_F(OutputFailureTest, ReadOnlyFileGives52AndKeepsItsContents) {
  MakeProfile(3);
  const fs::path out = dir_ / "read-only.csv";
  testfiles::WriteBytes(out, "previous contents\r\n");
  fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  RunOptions options;
  if (geteuid() == 0) {
    // Root writes through any permission bits: run as nobody instead, from a
    // copy of the program that nobody may execute, on a profile nobody may read.
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    fs::copy_file(testprogram::ProgramPath(), bin / "contact-export");
    for (const fs::path& p : {dir_.path(), bin, bin / "contact-export", profile_}) {
      fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    }
    options.program = (bin / "contact-export").string();
    options.asNobody = true;
    // Shows that nobody can run the program at all: a writable path exports.
    const fs::path writable = dir_ / "writable";
    fs::create_directory(writable);
    fs::permissions(writable, fs::perms::all);
    const RunResult control = Run({(writable / "out.csv").string()}, options);
    ASSERT_EQ(control.exitCode, 0) << "as nobody: " << Describe(control);
  }
  const RunResult result = Run({out.string()}, options);
  EXPECT_EQ(result.exitCode, 52) << Describe(result);
  EXPECT_EQ(testfiles::ReadBytes(out), "previous contents\r\n");
}

// /dev/full accepts the open and refuses every write: a small export is
// buffered whole and fails when the file is closed, a big one while it runs.
TEST_F(OutputFailureTest, FullDeviceNeverGivesSuccess) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
  for (int count : {2, 1000}) {
    fs::remove_all(profile_);
    const hostile::Contacts contacts = MakeProfile(count);
    ExpectFailedWrite(Run({"/dev/full"}), "", contacts.records);
  }
}

// A small file system that fills up in the middle of the export.
TEST_F(OutputFailureTest, DiskFillingUpMidExportKeepsWholeRecords) {
  const hostile::Contacts contacts = MakeProfile(2000);  // about 800 KB of records
  const fs::path disk = dir_ / "disk";
  fs::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
  }
  const fs::path out = disk / "out.csv";
  const RunResult result = Run({out.string()});
  const std::string written = testfiles::ReadBytes(out);
  umount2(disk.c_str(), MNT_DETACH);
  ExpectFailedWrite(result, written, contacts.records);
  EXPECT_GT(written.size(), 0u) << "the records that fit should be in the file";
}

// RLIMIT_FSIZE: writes past the limit fail with EFBIG (the program ignores
// SIGXFSZ, which would otherwise kill it). Limits from nothing at all to one
// byte short of the whole export.
TEST_F(OutputFailureTest, FileSizeLimitEndsWithAFailureNotASignal) {
  const hostile::Contacts contacts = MakeProfile(700);
  std::uint64_t total = 0;
  for (const std::string& record : contacts.records) total += record.size();
  for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1000}, total / 2, total - 1}) {
    SCOPED_TRACE("limit " + std::to_string(limit) + " of " + std::to_string(total));
    const fs::path out = dir_ / ("limit-" + std::to_string(limit) + ".csv");
    RunOptions options;
    options.fileSizeLimit = limit;
    const RunResult result = Run({out.string()}, options);
    const std::string written = testfiles::ReadBytes(out);
    ExpectFailedWrite(result, written, contacts.records);
    EXPECT_LE(written.size(), limit);
  }
  // With room for everything the same export succeeds.
  RunOptions roomy;
  roomy.fileSizeLimit = total;
  const fs::path out = dir_ / "roomy.csv";
  const RunResult result = Run({out.string()}, roomy);
  EXPECT_EQ(result.exitCode, 0) << Describe(result);
  std::size_t whole = 0;
  EXPECT_TRUE(hostile::IsPrefixOfRecords(testfiles::ReadBytes(out), contacts.records, &whole));
  EXPECT_EQ(whole, contacts.records.size());
}

}  // namespace
