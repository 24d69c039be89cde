// Copies of the same program file started together, and a copy killed in the
// middle of an export: one copy exports, every other ends with 57 without
// touching the file, and a killed copy leaves the lock free for the next.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "hostile/hostile_support.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using hostile::Describe;

class RacingCopiesTest : public testing::Test {
 protected:
  hostile::Contacts MakeProfile(int count, const std::string& note) {
    fs::create_directories(profile_);
    hostile::Contacts contacts = hostile::NumberedContacts(count, note);
    testfiles::WriteBytes(profile_ / "all.vcf", contacts.cards);
    before_ = hostile::SnapshotTree(profile_);
    return contacts;
  }

  void ExpectWholeExport(const fs::path& out, const hostile::Contacts& contacts) {
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(testfiles::ReadBytes(out), contacts.records, &whole));
    EXPECT_EQ(whole, contacts.records.size());
  }

  void TearDown() override {
    EXPECT_EQ(hostile::FirstDifference(before_, hostile::SnapshotTree(profile_)), "");
  }

  testfiles::TempDir dir_;
  fs::path profile_ = dir_ / "profile";
  std::vector<hostile::Entry> before_;
};

TEST_F(RacingCopiesTest, TwentyCopiesStartedTogetherExportOnce) {
  const hostile::Contacts contacts = MakeProfile(500, "racing");
  const fs::path out = dir_ / "out.csv";
  hostile::RunOptions options;
  options.args = {out.string()};
  options.profile = profile_.string();

  // Every copy waits for one byte on the pipe before it execs; the bytes are
  // written all at once, so the copies start at the same moment.
  int gate[2];
  ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
  options.measureMemory = false;  // each copy is the program itself
  std::vector<hostile::Child> copies;
  for (int i = 0; i < 20; ++i) copies.push_back(hostile::StartProgram(options, gate[0]));
  const std::string go(copies.size(), 'g');
  ASSERT_EQ(write(gate[1], go.data(), go.size()), static_cast<ssize_t>(go.size()));
  close(gate[0]);
  close(gate[1]);

  int exported = 0;
  int refused = 0;
  for (const hostile::Child& copy : copies) {
    const hostile::RunResult result = hostile::WaitProgram(copy, 60);
    exported += result.exitCode == 0;
    refused += result.exitCode == 57;
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 57) << Describe(result);
  }
  EXPECT_EQ(exported, 1);
  EXPECT_EQ(refused, 19);
  ExpectWholeExport(out, contacts);
}

TEST_F(RacingCopiesTest, CopyKilledMidExportLeavesTheLockFree) {
  // Big enough that the export runs for a good while after its first block
  // of records reaches the file (sanitized builds are slower at everything).
  const hostile::Contacts contacts = MakeProfile(hostile::UnderSanitizer() ? 20000 : 100000, "");
  const fs::path out = dir_ / "out.csv";
  hostile::RunOptions options;
  options.args = {out.string()};
  options.profile = profile_.string();
  options.measureMemory = false;  // the process killed is the program itself
  options.timeoutSeconds = hostile::UnderSanitizer() ? 300 : 60;

  const hostile::Child first = hostile::StartProgram(options);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  struct stat info {};
  while ((stat(out.c_str(), &info) != 0 || info.st_size == 0) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(first.pid, SIGKILL);
  const hostile::RunResult killed = hostile::WaitProgram(first, 30);
  ASSERT_EQ(killed.signal, SIGKILL) << "the export ended before it could be killed: "
                                    << Describe(killed);
  std::size_t total = 0;
  for (const std::string& record : contacts.records) total += record.size();
  ASSERT_LT(testfiles::ReadBytes(out).size(), total);

  const hostile::RunResult next = hostile::RunProgram(options);
  EXPECT_EQ(next.exitCode, 0) << Describe(next);
  ExpectWholeExport(out, contacts);
}

}  // namespace
