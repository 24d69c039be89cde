// The built program run as a process: exit codes, the output file, the
// single-instance lock and the pause, --help and --version.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "app/process_posix.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

using testprogram::RunProgram;

class ProgramTest : public testing::Test {
 protected:
  testfiles::TempDir dir_;
  std::map<std::string, std::string> noStore_{
      {"CONTACT_EXPORT_PROFILE", (dir_ / "no-such-profile").string()}};
};

TEST_F(ProgramTest, NoStoreGives51AndLeavesTheOutputAlone) {
  const auto created = dir_ / "new.csv";
  const testprogram::Outcome outcome = RunProgram({created.string()}, noStore_);
  EXPECT_EQ(outcome.exitCode, 51);
  EXPECT_FALSE(std::filesystem::exists(created));
  EXPECT_GE(outcome.seconds, 0.5);

  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  EXPECT_EQ(RunProgram({existing.string()}, noStore_).exitCode, 51);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
}

TEST_F(ProgramTest, SecondInstanceGives57AndLeavesTheOutputAlone) {
  const int lock = app::BindInstanceLock(testprogram::ProgramPath());
  ASSERT_GE(lock, 0) << "a copy of the program is already running";
  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  const testprogram::Outcome outcome = RunProgram({existing.string()}, noStore_);
  close(lock);
  EXPECT_EQ(outcome.exitCode, 57);
  EXPECT_GE(outcome.seconds, 0.5);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
  // Once the holder is gone the lock is free again.
  EXPECT_EQ(RunProgram({existing.string()}, noStore_).exitCode, 51);
}

TEST_F(ProgramTest, LockBelongsToOneExecutableFile) {
  const int lock = app::BindInstanceLock("/some/other/contact-export");
  ASSERT_GE(lock, 0);
  EXPECT_EQ(app::BindInstanceLock("/some/other/contact-export"), -1);
  EXPECT_EQ(RunProgram({(dir_ / "x.csv").string()}, noStore_).exitCode, 51);
  close(lock);
}

// --help and --version answer on standard output and end 0 without taking
// the lock (held here) or writing a file, even with a profile that a path
// would be exported from; "./--help" is such a path.
TEST_F(ProgramTest, HelpAndVersionWriteNoFileAndTakeNoLock) {
  const std::map<std::string, std::string> sample{
      {"CONTACT_EXPORT_PROFILE", CONTACT_EXPORT_SOURCE_DIR "/examples/profile"}};
  ASSERT_TRUE(std::regex_match(CONTACT_EXPORT_VERSION, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
  const int lock = app::BindInstanceLock(testprogram::ProgramPath());
  ASSERT_GE(lock, 0) << "a copy of the program is already running";
  const testprogram::Outcome help = testprogram::RunProgramIn(dir_.path(), {"--help"}, sample);
  const testprogram::Outcome version = testprogram::RunProgramIn(dir_.path(), {"--version"}, sample);
  close(lock);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.standardOutput.rfind("Usage: contact-export OUTPUT-FILE\n", 0), 0u) << help.standardOutput;
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.standardOutput, "contact-export " CONTACT_EXPORT_VERSION "\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));

  const testprogram::Outcome path = testprogram::RunProgramIn(dir_.path(), {"./--help"}, sample);
  EXPECT_EQ(path.exitCode, 0);
  EXPECT_EQ(path.standardOutput, "");
  EXPECT_EQ(testfiles::ReadBytes(dir_ / "--help"),
            testfiles::ReadBytes(CONTACT_EXPORT_SOURCE_DIR "/examples/profile.expected.csv"));
}

}  // namespace
