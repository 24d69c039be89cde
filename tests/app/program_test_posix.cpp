// The built program run as a process: exit codes, the output file, the
// single-instance lock and the pause.
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
