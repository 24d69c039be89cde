#include "hostile/hostile_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "support/run_program.h"
#include "support/test_files.h"

extern char** environ;

namespace hostile {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// The launcher: this test binary started again with kLauncherVariable set to
// the descriptor it reports on. Freshly started, it is small, so the program
// forked from it starts small too, and wait4 gives the program's own peak.
// It ends the way the program ended (same code, or the same signal).
constexpr char kLauncherVariable[] = "CONTACT_EXPORT_TEST_LAUNCHER";

[[noreturn]] void Launch(int report) {
  std::string all;
  {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    all.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<char*> argv;
  for (std::size_t at = all.find('\0') + 1; at < all.size(); at = all.find('\0', at) + 1) {
    argv.push_back(all.data() + at);
  }
  argv.push_back(nullptr);
  unsetenv(kLauncherVariable);
  const pid_t launcher = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // killing the launcher kills the program
    if (getppid() != launcher) _exit(127);
    // The program gets the standard descriptors only, as from ExecChild.
    if (close_range(3, ~0U, 0) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const long peak = usage.ru_maxrss;
  if (write(report, &peak, sizeof peak) != sizeof peak) _exit(125);
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    raise(WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
}

[[maybe_unused]] const bool gLauncher = [] {
  if (const char* report = std::getenv(kLauncherVariable)) Launch(std::atoi(report));
  return false;
}();

std::string TestBinary() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0) Fail("readlink /proc/self/exe");
  return std::string(buffer, static_cast<std::size_t>(n));
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecChild(const RunOptions& options, const std::vector<char*>& argv,
                            const std::vector<char*>& envp, int startGate, int report) {
  if (startGate >= 0) {
    char byte;
    while (read(startGate, &byte, 1) < 0 && errno == EINTR) {
    }
    close(startGate);
  }
  if (report >= 0 && (dup2(report, 3) != 3 || fcntl(3, F_SETFD, 0) != 0)) _exit(126);
  // Nothing else the test process holds reaches the program: descriptors it
  // inherited itself (a test runner's log file, another pipe) would take the
  // lowest numbers, and with them what a descriptor limit leaves the program
  // would depend on how the tests were started.
  if (close_range(report >= 0 ? 4 : 3, ~0U, 0) != 0) _exit(126);
  if (options.fileSizeLimit) {
    const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  if (options.openFileLimit) {
    const rlimit limit{*options.openFileLimit, *options.openFileLimit};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
  }
  if (options.addressSpaceLimit) {
    const rlimit limit{*options.addressSpaceLimit, *options.addressSpaceLimit};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
  }
  for (int fd : options.closedDescriptors) close(fd);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

std::vector<std::string> ChildEnvironment(const RunOptions& options) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "CONTACT_EXPORT_PROFILE=", 23) != 0) environment.push_back(*entry);
  }
  if (!options.profile.empty()) environment.push_back("CONTACT_EXPORT_PROFILE=" + options.profile);
  if (options.measureMemory) environment.push_back(std::string(kLauncherVariable) + "=3");
  return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::uint64_t Fnv1a(std::uint64_t hash, const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3ULL;
  }
  return hash;
}

char TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return 'd';
  if (S_ISREG(mode)) return 'f';
  if (S_ISLNK(mode)) return 'l';
  if (S_ISFIFO(mode)) return 'p';
  if (S_ISCHR(mode)) return 'c';
  if (S_ISBLK(mode)) return 'b';
  return 's';
}

std::vector<std::string> SortedNames(int directory) {
  const int copy = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) Fail("open directory");
  DIR* dir = fdopendir(copy);
  if (!dir) Fail("fdopendir");
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

Entry StatEntry(int directory, const std::string& name, int depth) {
  struct stat info {};
  if (fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) Fail("lstat " + name);
  Entry entry;
  entry.depth = depth;
  entry.name = name;
  entry.type = TypeOf(info.st_mode);
  entry.size = static_cast<std::uint64_t>(info.st_size);
  entry.mtimeSeconds = info.st_mtim.tv_sec;
  entry.mtimeNanoseconds = info.st_mtim.tv_nsec;
  if (entry.type == 'f') {
    entry.hash = 0xcbf29ce484222325ULL;
    if (entry.size == 0) return entry;
    const int fd = openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) Fail("open " + name);
    static std::vector<char> buffer(1 << 20);
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) {
      entry.hash = Fnv1a(entry.hash, buffer.data(), static_cast<std::size_t>(n));
    }
    close(fd);
  } else if (entry.type == 'l') {
    std::vector<char> target(4096);
    const ssize_t n = readlinkat(directory, name.c_str(), target.data(), target.size());
    if (n >= 0) entry.target.assign(target.data(), static_cast<std::size_t>(n));
  }
  return entry;
}

// A directory being walked: its descriptor and the names still to visit.
struct Level {
  int fd;
  int depth;
  std::vector<std::string> names;
  std::size_t next = 0;
};

// Visits every entry below `root` depth-first, holding one descriptor per
// level. `visit` sees each entry; `leave` each directory after its contents.
template <typename Visit, typename Leave>
void WalkTree(const std::filesystem::path& root, Visit visit, Leave leave) {
  const int top = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (top < 0) Fail("open " + root.string());
  std::vector<Level> stack;
  stack.push_back({top, 0, SortedNames(top)});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.names.size()) {
      close(level.fd);
      stack.pop_back();
      if (!stack.empty()) leave(stack.back().fd, stack.back().names[stack.back().next - 1]);
      continue;
    }
    const std::string name = level.names[level.next++];
    const int depth = level.depth + 1;
    if (!visit(level.fd, name, depth)) continue;
    const int child = openat(level.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) Fail("open " + name + " at depth " + std::to_string(depth));
    stack.push_back({child, depth, SortedNames(child)});
  }
}

}  // namespace

Child StartProgram(const RunOptions& options, int startGate) {
  std::vector<std::string> argv;
  if (options.measureMemory) argv.push_back(TestBinary());
  if (options.asNobody) {
    argv.insert(argv.end(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }
  argv.push_back(options.program.empty() ? testprogram::ProgramPath() : options.program);
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  std::vector<std::string> environment = ChildEnvironment(options);
  const std::vector<char*> argp = Pointers(argv);
  const std::vector<char*> envp = Pointers(environment);
  int report[2] = {-1, -1};
  if (options.measureMemory && pipe2(report, O_CLOEXEC) != 0) Fail("pipe");
  const pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) ExecChild(options, argp, envp, startGate, report[1]);
  if (report[1] >= 0) close(report[1]);
  return {pid, report[0]};
}

RunResult WaitProgram(const Child& child, double timeoutSeconds) {
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::duration<double>(timeoutSeconds);
  RunResult result;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(child.pid, &status, WNOHANG, &usage);
    if (done == child.pid) break;
    if (done < 0 && errno != EINTR) Fail("wait4");
    if (Clock::now() > deadline && !result.timedOut) {
      result.timedOut = true;
      kill(child.pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (child.report >= 0) {
    long peak = 0;
    if (read(child.report, &peak, sizeof peak) == sizeof peak) result.peakKiB = peak;
    close(child.report);
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

RunResult RunProgram(const RunOptions& options) {
  return WaitProgram(StartProgram(options), options.timeoutSeconds);
}

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  return true;
#endif
#endif
  return false;
}

std::string Describe(const RunResult& result) {
  std::string text = result.timedOut ? "timed out"
                     : result.signal ? "signal " + std::to_string(result.signal)
                                     : "exit " + std::to_string(result.exitCode);
  text += " after " + std::to_string(result.seconds) + " s";
  if (result.peakKiB > 0) text += ", peak " + std::to_string(result.peakKiB / 1024) + " MiB";
  return text;
}

std::vector<Entry> SnapshotTree(const std::filesystem::path& root) {
  std::vector<Entry> entries;
  {
    const int parent = open(root.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) Fail("open " + root.parent_path().string());
    entries.push_back(StatEntry(parent, root.filename().string(), 0));
    close(parent);
  }
  if (entries.front().type != 'd') return entries;  // a profile that is one file
  WalkTree(
      root,
      [&](int directory, const std::string& name, int depth) {
        entries.push_back(StatEntry(directory, name, depth));
        return entries.back().type == 'd';
      },
      [](int, const std::string&) {});
  return entries;
}

std::string FirstDifference(const std::vector<Entry>& before, const std::vector<Entry>& after) {
  const std::size_t common = std::min(before.size(), after.size());
  for (std::size_t i = 0; i < common; ++i) {
    const Entry& a = before[i];
    const Entry& b = after[i];
    if (a == b) continue;
    const std::string where = a.name + " at depth " + std::to_string(a.depth);
    if (a.name != b.name || a.depth != b.depth) {
      return "entry " + where + " became " + b.name + " at depth " + std::to_string(b.depth);
    }
    return where + " changed (type " + a.type + "->" + b.type + ", size " +
           std::to_string(a.size) + "->" + std::to_string(b.size) + ", mtime " +
           std::to_string(a.mtimeSeconds) + "." + std::to_string(a.mtimeNanoseconds) + "->" +
           std::to_string(b.mtimeSeconds) + "." + std::to_string(b.mtimeNanoseconds) + ")";
  }
  if (before.size() != after.size()) {
    return "entry count " + std::to_string(before.size()) + " -> " + std::to_string(after.size());
  }
  return "";
}

void MakeNestedFolders(const std::filesystem::path& root, int levels, const std::string& name,
                       const std::vector<std::pair<int, std::string>>& cards) {
  int current = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (current < 0) Fail("open " + root.string());
  for (int level = 0;; ++level) {
    for (const auto& [at, contents] : cards) {
      if (at != level) continue;
      const int fd = openat(current, "c.vcf", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size())) {
        Fail("write card at level " + std::to_string(level));
      }
      close(fd);
    }
    if (level == levels) break;
    if (mkdirat(current, name.c_str(), 0755) != 0) Fail("mkdir level " + std::to_string(level));
    const int next = openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) Fail("open level " + std::to_string(level));
    close(current);
    current = next;
  }
  close(current);
}

void RemoveTree(const std::filesystem::path& root) {
  struct stat info {};
  if (lstat(root.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    unlink(root.c_str());
    return;
  }
  WalkTree(
      root,
      [](int directory, const std::string& name, int) {
        struct stat entry {};
        if (fstatat(directory, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(entry.st_mode)) {
          return true;  // removed on the way back up
        }
        unlinkat(directory, name.c_str(), 0);
        return false;
      },
      [](int parent, const std::string& name) {
        unlinkat(parent, name.c_str(), AT_REMOVEDIR);
      });
  rmdir(root.c_str());
}

ScratchDir::ScratchDir(bool inMemory) {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  if (inMemory && access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
  std::string pattern = (base / "contact-export-hostile-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fail("mkdtemp " + pattern);
  path_ = pattern;
}

std::string ContactCard(const std::string& last, const std::string& first, const std::string& note) {
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + last + ";" + first + ";;;\r\nFN:" + first +
                     " " + last + "\r\n";
  if (!note.empty()) card += "NOTE:" + note + "\r\n";
  return card + "END:VCARD\r\n";
}

std::string ContactRecord(const std::string& last, const std::string& first,
                          const std::string& note) {
  std::vector<std::string> fields{last, first, "", "", "", first + " " + last};
  if (!note.empty()) {
    fields.resize(19);
    fields[18] = note;  // Body
  }
  return testfiles::RecordLine(fields);
}

Contacts NumberedContacts(int count, const std::string& note) {
  Contacts contacts;
  for (int i = 0; i < count; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%06d", i);
    contacts.cards += ContactCard(std::string("Last") + number, std::string("First") + number, note);
    contacts.records.push_back(
        ContactRecord(std::string("Last") + number, std::string("First") + number, note));
  }
  return contacts;
}

bool IsPrefixOfRecords(const std::string& file, const std::vector<std::string>& records,
                       std::size_t* whole) {
  std::size_t at = 0;
  std::size_t count = 0;
  while (at < file.size()) {
    if (count == records.size() || file.compare(at, records[count].size(), records[count]) != 0) {
      return false;
    }
    at += records[count++].size();
  }
  if (whole) *whole = count;
  return true;
}

}  // namespace hostile
