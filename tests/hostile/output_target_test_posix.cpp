// What the output path points at, through the built program: a file of the
// profile is never overwritten, a FIFO is never waited on and gets exactly the
// bytes a file gets, a reader that quits or a signal to end never leaves a cut
// record or a killed process, and closed standard descriptors never become
// the output file.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "hostile/hostile_support.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using hostile::Describe;
using hostile::RunOptions;
using hostile::RunResult;

const std::string kNote(200, 'n');  // records of about 400 bytes

class OutputTargetTest : public testing::Test {
 protected:
  RunResult Run(const std::string& profile, const std::string& out, RunOptions options = {}) {
    options.args = {out};
    options.profile = profile;
    return hostile::RunProgram(options);
  }

  // Starts the program on `profile` writing to `out`; `pid` is the program's own.
  hostile::Child Start(const std::string& profile, const std::string& out) {
    RunOptions options;
    options.args = {out};
    options.profile = profile;
    options.measureMemory = false;
    return hostile::StartProgram(options);
  }

  // A FIFO in the test's folder and its read end, opened without waiting for
  // a writer (the program's open must find a reader).
  int MakeReadFifo(const fs::path& path) {
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }

  // Reads the FIFO to its end; waits up to 30 s for the writer's first bytes.
  static std::string ReadFifo(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 30000) != 1) return "(no writer)";
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string all;
    std::string buffer(65536, '\0');
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) {
      all.append(buffer, 0, static_cast<std::size_t>(n));
    }
    return all;
  }

  // Exactly `count` bytes from the FIFO, once its writer has begun.
  static std::string ReadFifoBytes(int fd, std::size_t count) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string all(count, '\0');
    for (std::size_t got = 0; got < count;) {
      const ssize_t n = read(fd, all.data() + got, count - got);
      if (n == 0 || (n < 0 && errno != EINTR)) return all.substr(0, got);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    return all;
  }

  testfiles::TempDir dir_;
};

// Every way the output path can name the profile, a file in it or a folder
// below it or below one of its stores: 52, and nothing changes anywhere.
TEST_F(OutputTargetTest, OutputInsideTheProfileGives52AndChangesNothing) {
  const hostile::Contacts contacts = hostile::NumberedContacts(3, kNote);
  // A profile of stores, one a link to a folder outside; a folder of cards,
  // one a link to a card outside; one card file; one data file.
  const fs::path stores = dir_ / "stores", outside = dir_ / "outside";
  fs::create_directories(stores / "1-own" / "Contacts");
  fs::create_directories(outside / "linked" / "Contacts");
  testfiles::WriteBytes(stores / "1-own" / "Contacts" / "a.vcf", contacts.cards);
  testfiles::WriteBytes(outside / "linked" / "Contacts" / "b.vcf", contacts.cards);
  fs::create_directory_symlink(outside / "linked", stores / "2-linked");
  const fs::path cards = dir_ / "cards";
  fs::create_directory(cards);
  testfiles::WriteBytes(cards / "a.vcf", contacts.cards);
  testfiles::WriteBytes(outside / "loose.vcf", contacts.cards);
  fs::create_symlink(outside / "loose.vcf", cards / "b.vcf");
  testfiles::WriteBytes(dir_ / "one.vcf", contacts.cards);
  testfiles::WriteBytes(dir_ / "one.pst", "not an Outlook data file, but the profile's all the same");
  fs::create_symlink(stores / "1-own" / "Contacts" / "a.vcf", dir_ / "link-to-card");
  fs::create_symlink(stores / "1-own" / "new.csv", dir_ / "dangling-into-store");

  const struct {
    const char* what;
    fs::path profile, out;
  } cases[] = {
      {"a card file", stores, stores / "1-own" / "Contacts" / "a.vcf"},
      {"a card file through a link", stores, dir_ / "link-to-card"},
      {"a new file in the profile", stores, stores / "new.csv"},
      {"a new file in a store, named through a dangling link", stores, dir_ / "dangling-into-store"},
      {"a card of a linked store, at its real path", stores, outside / "linked" / "Contacts" / "b.vcf"},
      {"a new file in a linked store, at its real path", stores, outside / "linked" / "new.csv"},
      {"a card of a card folder", cards, cards / "a.vcf"},
      {"a linked card of a card folder, at its real path", cards, outside / "loose.vcf"},
      {"the one-file profile", dir_ / "one.vcf", dir_ / "one.vcf"},
      {"the data file profile", dir_ / "one.pst", dir_ / "one.pst"},
  };
  for (const auto& c : cases) {
    const auto before = hostile::SnapshotTree(dir_.path());
    const RunResult result = Run(c.profile.string(), c.out.string());
    EXPECT_EQ(result.exitCode, 52) << c.what << ": " << Describe(result);
    EXPECT_EQ(hostile::FirstDifference(before, hostile::SnapshotTree(dir_.path())), "") << c.what;
  }
  // Beside the profile, and in the folder a linked card lies in, is fine.
  const fs::path beside = outside / "out.csv";
  const RunResult result = Run(cards.string(), beside.string());
  EXPECT_EQ(result.exitCode, 0) << Describe(result);
  std::string twice;
  for (int copy = 0; copy < 2; ++copy) {
    for (const std::string& record : contacts.records) twice += record;
  }
  EXPECT_EQ(testfiles::ReadBytes(beside), twice);
}

// A FIFO with no reader is refused at once (52), not waited on; one that is
// read gets exactly the bytes of a file; a reader that quits gives a failed
// write (56 or 54), not a death by SIGPIPE.
TEST_F(OutputTargetTest, FifoIsNeverWaitedOnAndGetsTheBytesOfAFile) {
  const fs::path profile = dir_ / "profile";
  fs::create_directory(profile);
  const hostile::Contacts contacts = hostile::NumberedContacts(2000, kNote);  // about 800 KB
  testfiles::WriteBytes(profile / "all.vcf", contacts.cards);
  ASSERT_EQ(Run(profile.string(), (dir_ / "file.csv").string()).exitCode, 0);
  const std::string file = testfiles::ReadBytes(dir_ / "file.csv");

  ASSERT_EQ(mkfifo((dir_ / "unread").c_str(), 0600), 0);
  RunOptions quick;
  quick.timeoutSeconds = 10;
  const RunResult unread = Run(profile.string(), (dir_ / "unread").string(), quick);
  EXPECT_EQ(unread.exitCode, 52) << Describe(unread);

  const int reader = MakeReadFifo(dir_ / "read");
  ASSERT_GE(reader, 0);
  const hostile::Child child = Start(profile.string(), (dir_ / "read").string());
  const std::string piped = ReadFifo(reader);
  close(reader);
  const RunResult read = hostile::WaitProgram(child, 30);
  EXPECT_EQ(read.exitCode, 0) << Describe(read);
  EXPECT_TRUE(piped == file) << "FIFO got " << piped.size() << " bytes, the file " << file.size();

  const int quitter = MakeReadFifo(dir_ / "quit");
  ASSERT_GE(quitter, 0);
  const hostile::Child writer = Start(profile.string(), (dir_ / "quit").string());
  pollfd ready{quitter, POLLIN, 0};
  EXPECT_EQ(poll(&ready, 1, 30000), 1);
  close(quitter);
  const RunResult quit = hostile::WaitProgram(writer, 30);
  EXPECT_EQ(quit.signal, 0) << Describe(quit);
  EXPECT_TRUE(quit.exitCode == 56 || quit.exitCode == 54) << Describe(quit);
}

// SIGTERM, SIGINT and SIGHUP at random points, over a file and over a FIFO:
// whole records from the start of the export and nothing else, and 56 (0 when
// the export of a file was done before the signal came). Over the FIFO the
// signal comes after a random part of the output has been read, at most half
// of it: the rest is far more than a pipe holds, so the export is still
// running then, however the machine schedules the test and the program.
TEST_F(OutputTargetTest, SignalToEndLeavesWholeRecordsAndGives56) {
  const fs::path profile = dir_ / "profile";
  fs::create_directory(profile);
  const hostile::Contacts contacts = hostile::NumberedContacts(20000, kNote);  // about 8 MB
  testfiles::WriteBytes(profile / "all.vcf", contacts.cards);
  std::size_t total = 0;
  for (const std::string& record : contacts.records) total += record.size();
  std::mt19937 rng(12345);
  const int signals[] = {SIGTERM, SIGINT, SIGHUP};
  for (int run = 0; run < 30; ++run) {
    const bool fifo = run % 5 == 4;
    const int signal = signals[run % 3];
    const fs::path out = dir_ / ("run-" + std::to_string(run));
    SCOPED_TRACE((fifo ? "FIFO, signal " : "file, signal ") + std::to_string(signal) + ", run " +
                 std::to_string(run));
    const int reader = fifo ? MakeReadFifo(out) : -1;
    ASSERT_TRUE(!fifo || reader >= 0);
    const hostile::Child child = Start(profile.string(), out.string());
    std::string written;
    if (fifo) {
      pollfd ready{reader, POLLIN, 0};
      ASSERT_EQ(poll(&ready, 1, 30000), 1);
      written = ReadFifoBytes(reader, rng() % (total / 2));
    } else {
      // The signal comes once the output is open (the program is past its
      // start), at a random time: before or after the export is done.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!fs::exists(out) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 150000));
    }
    kill(child.pid, signal);
    if (fifo) {
      // The rest, up to the end of the record that was going out.
      written += ReadFifo(reader);
      close(reader);
    }
    const RunResult result = hostile::WaitProgram(child, 60);
    if (!fifo) written = testfiles::ReadBytes(out);
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(written, contacts.records, &whole))
        << "not whole records from the start (" << written.size() << " bytes)";
    if (fifo) {
      EXPECT_EQ(result.exitCode, 56) << Describe(result);
    }
    if (result.exitCode == 56) {
      EXPECT_LT(whole, contacts.records.size());
    } else {
      EXPECT_EQ(result.exitCode, 0) << Describe(result);
      EXPECT_EQ(whole, contacts.records.size());
    }
  }
}

// With 0 and 2 closed at start, the output file must not become either of
// them (where the runtime's last words would land in it): seen while the
// program waits on a FIFO that is not read.
TEST_F(OutputTargetTest, ClosedStandardDescriptorsNeverBecomeTheOutput) {
  const fs::path profile = dir_ / "profile";
  fs::create_directory(profile);
  testfiles::WriteBytes(profile / "all.vcf", hostile::NumberedContacts(2000, kNote).cards);
  const fs::path out = dir_ / "out";
  const int reader = MakeReadFifo(out);
  ASSERT_GE(reader, 0);
  RunOptions options;
  options.args = {out.string()};
  options.profile = profile.string();
  options.measureMemory = false;
  options.closedDescriptors = {0, 2};
  const hostile::Child child = hostile::StartProgram(options);
  pollfd ready{reader, POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 30000), 1);  // the program has the FIFO open and writes
  for (int fd : {0, 2}) {
    const fs::path link = "/proc/" + std::to_string(child.pid) + "/fd/" + std::to_string(fd);
    std::error_code error;
    EXPECT_EQ(fs::read_symlink(link, error).string(), "/dev/null") << "descriptor " << fd;
  }
  kill(child.pid, SIGKILL);
  hostile::WaitProgram(child, 30);
  close(reader);
}

}  // namespace
