// Copies of the same program file started together, and a copy killed in the
// middle of an export: one copy exports, every other ends with 57 without
// touching the file, and a killed copy leaves the lock free for the next.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

  void ExpectWholeExport(const std::string& written, const hostile::Contacts& contacts) {
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(written, contacts.records, &whole));
    EXPECT_EQ(whole, contacts.records.size());
  }

  // A FIFO and its read end, opened without waiting for a writer (the
  // program's open must find a reader, or it fails at once).
  static int OpenFifoToRead(const fs::path& path) {
    if (mkfifo(path.c_str(), 0600) != 0) return -1;
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }

  // Everything written into the FIFO until its last writer closes it (once a
  // writer has opened it: before that, the end comes at once).
  static std::string ReadToEnd(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string all;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
      if (n > 0) all.append(buffer, static_cast<std::size_t>(n));
      if (n < 0 && errno != EINTR) break;
    }
    return all;
  }

  void TearDown() override {
    EXPECT_EQ(hostile::FirstDifference(before_, hostile::SnapshotTree(profile_)), "");
  }

  testfiles::TempDir dir_;
  fs::path profile_ = dir_ / "profile";
  std::vector<hostile::Entry> before_;
};

// The copies export into a FIFO that is read only once all copies but one
// have ended. The copy that wins the lock cannot end before that (its output
// is far beyond what a pipe holds), so every other copy meets the lock held,
// however late the machine lets it run: exactly one exports, whichever it is.
TEST_F(RacingCopiesTest, TwentyCopiesStartedTogetherExportOnce) {
  const hostile::Contacts contacts = MakeProfile(10000, "racing");  // about 2 MB of output
  const fs::path out = dir_ / "out";
  const int reader = OpenFifoToRead(out);
  ASSERT_GE(reader, 0);
  hostile::RunOptions options;
  options.args = {out.string()};
  options.profile = profile_.string();
  options.measureMemory = false;  // each copy is the program itself

  // Every copy waits for one byte on the pipe before it execs; the bytes are
  // written all at once, so the copies start at the same moment.
  int gate[2];
  ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
  std::vector<hostile::Child> copies;
  for (int i = 0; i < 20; ++i) copies.push_back(hostile::StartProgram(options, gate[0]));
  const std::string go(copies.size(), 'g');
  ASSERT_EQ(write(gate[1], go.data(), go.size()), static_cast<ssize_t>(go.size()));
  close(gate[0]);
  close(gate[1]);

  // The copies that end while the FIFO is not read; a deadline only for a
  // failure (two copies past the lock would both wait on the FIFO).
  std::vector<int> exitCodes(copies.size(), -1);
  std::size_t running = copies.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (running > 1 && std::chrono::steady_clock::now() < deadline) {
    for (std::size_t i = 0; i < copies.size(); ++i) {
      int status = 0;
      if (exitCodes[i] != -1 || waitpid(copies[i].pid, &status, WNOHANG) != copies[i].pid) continue;
      exitCodes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      --running;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The copy left holds the lock; its output is read once it has begun (a
  // read before any writer opened the FIFO would find its end at once).
  if (running == 1) {
    pollfd ready{reader, POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 120000), 1) << "no output from the copy holding the lock";
  }
  const std::string written = ReadToEnd(reader);
  close(reader);
  int exported = 0;
  int refused = 0;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    if (exitCodes[i] == -1) {
      const hostile::RunResult result = hostile::WaitProgram(copies[i], 60);
      exitCodes[i] = result.signal ? 128 + result.signal : result.exitCode;
    }
    exported += exitCodes[i] == 0;
    refused += exitCodes[i] == 57;
    EXPECT_TRUE(exitCodes[i] == 0 || exitCodes[i] == 57) << "copy " << i << ": " << exitCodes[i];
  }
  EXPECT_EQ(running, 1u) << "copies still running when the others had ended";
  EXPECT_EQ(exported, 1);
  EXPECT_EQ(refused, 19);
  ExpectWholeExport(written, contacts);
}

// The first copy is killed while it waits on the FIFO it exports into, its
// first records written and most of them not: in the middle of its export,
// with the lock held, whenever the machine lets the test run.
TEST_F(RacingCopiesTest, CopyKilledMidExportLeavesTheLockFree) {
  const hostile::Contacts contacts = MakeProfile(20000, "");  // about 4 MB of output
  const fs::path fifo = dir_ / "fifo";
  const int reader = OpenFifoToRead(fifo);
  ASSERT_GE(reader, 0);
  hostile::RunOptions options;
  options.args = {fifo.string()};
  options.profile = profile_.string();
  options.measureMemory = false;  // the process killed is the program itself

  const hostile::Child first = hostile::StartProgram(options);
  pollfd ready{reader, POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 60000), 1) << "no output from the first copy";
  ASSERT_TRUE(ready.revents & POLLIN) << "the first copy ended without output";
  kill(first.pid, SIGKILL);
  const hostile::RunResult killed = hostile::WaitProgram(first, 30);
  ASSERT_EQ(killed.signal, SIGKILL) << Describe(killed);
  // What reached the FIFO: whole records from the start, then perhaps part
  // of one (a kill leaves no time to finish it), and far from all of them.
  const std::string partial = ReadToEnd(reader);
  close(reader);
  const std::size_t lastEnd = partial.rfind("\r\n");
  std::size_t whole = 0;
  EXPECT_TRUE(hostile::IsPrefixOfRecords(partial.substr(0, lastEnd == std::string::npos ? 0 : lastEnd + 2),
                                         contacts.records, &whole));
  EXPECT_LT(whole, contacts.records.size());

  const fs::path out = dir_ / "out.csv";
  options.args = {out.string()};
  options.timeoutSeconds = hostile::UnderSanitizer() ? 300 : 60;
  const hostile::RunResult next = hostile::RunProgram(options);
  EXPECT_EQ(next.exitCode, 0) << Describe(next);
  ExpectWholeExport(testfiles::ReadBytes(out), contacts);
}

}  // namespace
