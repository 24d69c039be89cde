// The built program run as a process: exit codes, the output file, the
// single-instance lock and the pause.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/process_posix.h"
#include "support/test_files.h"

namespace {

struct Outcome {
  int exitCode = -1;
  double seconds = 0;
};

// Runs the program with `args` and the profile (or none) in its environment.
Outcome RunProgram(const std::vector<std::string>& args, const std::string& profile) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("CONTACT_EXPORT_PROFILE", profile.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(CONTACT_EXPORT_BINARY)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(CONTACT_EXPORT_BINARY, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

class ProgramTest : public testing::Test {
 protected:
  testfiles::TempDir dir_;
  std::string missingProfile_ = (dir_ / "no-such-profile").string();
};

TEST_F(ProgramTest, NoStoreGives51AndLeavesTheOutputAlone) {
  const auto created = dir_ / "new.csv";
  Outcome outcome = RunProgram({created.string()}, missingProfile_);
  EXPECT_EQ(outcome.exitCode, 51);
  EXPECT_FALSE(std::filesystem::exists(created));
  EXPECT_GE(outcome.seconds, 0.5);

  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  EXPECT_EQ(RunProgram({existing.string()}, missingProfile_).exitCode, 51);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
}

TEST_F(ProgramTest, SecondInstanceGives57AndLeavesTheOutputAlone) {
  const int lock = app::BindInstanceLock(CONTACT_EXPORT_BINARY);
  ASSERT_GE(lock, 0) << "a copy of the program is already running";
  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  Outcome outcome = RunProgram({existing.string()}, missingProfile_);
  close(lock);
  EXPECT_EQ(outcome.exitCode, 57);
  EXPECT_GE(outcome.seconds, 0.5);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
  // Once the holder is gone the lock is free again.
  EXPECT_EQ(RunProgram({existing.string()}, missingProfile_).exitCode, 51);
}

TEST_F(ProgramTest, LockIsPerExecutable) {
  const int lock = app::BindInstanceLock("/some/other/contact-export");
  ASSERT_GE(lock, 0);
  EXPECT_EQ(app::BindInstanceLock("/some/other/contact-export"), -1);
  EXPECT_EQ(RunProgram({(dir_ / "x.csv").string()}, missingProfile_).exitCode, 51);
  close(lock);
}

}  // namespace
