// Shared pieces of the hostile-input tests: running the built program with a
// deadline, limits and another user while measuring its peak memory; a
// snapshot of a whole directory tree that never opens anything but regular
// files (so FIFOs and devices under a profile are safe to list); trees too
// deep for path names, built and removed through directory descriptors; and
// the expected bytes of generated contacts.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hostile {

struct RunOptions {
  std::vector<std::string> args;  // the output path, usually one argument
  std::string profile;            // CONTACT_EXPORT_PROFILE; unset when empty
  std::string program;            // the program file; the test's own copy when empty
  std::optional<std::uint64_t> fileSizeLimit;  // RLIMIT_FSIZE in bytes
  std::optional<std::uint64_t> openFileLimit;  // RLIMIT_NOFILE, soft and hard
  std::optional<std::uint64_t> addressSpaceLimit;  // RLIMIT_AS in bytes
  bool asNobody = false;          // through setpriv, as nobody:nogroup
  double timeoutSeconds = 60;     // killed with SIGKILL after this
  // Started through a small launcher process that reports the program's own
  // peak memory (a child forked straight from the test process would count
  // the test process's memory as its own). Without it, `pid` is the program.
  bool measureMemory = true;
  std::vector<int> closedDescriptors;  // closed in the program, e.g. {0, 2}
};

struct RunResult {
  int exitCode = -1;   // -1 when killed by a signal
  int signal = 0;      // the signal that ended it, or 0
  bool timedOut = false;
  double seconds = 0;
  long peakKiB = 0;    // the program's peak resident memory; 0 when not measured
};

// A started copy: its process (the launcher when memory is measured) and
// where its peak memory is reported.
struct Child {
  pid_t pid = -1;
  int report = -1;
};

// Starts the program and returns at once; with a `startGate`, the copy waits
// for one byte from that descriptor before it starts the program. The program
// starts with descriptors 0, 1 and 2 only, however the tests were started.
Child StartProgram(const RunOptions& options, int startGate = -1);
RunResult WaitProgram(const Child& child, double timeoutSeconds);
RunResult RunProgram(const RunOptions& options);

// True when this build runs under AddressSanitizer or ThreadSanitizer, whose
// shadow memory (and quarantine, or history of accesses) make memory figures
// meaningless and runs slower.
bool UnderSanitizer();

// "exit 0", "signal 9", "timed out" and the peak memory, for messages.
std::string Describe(const RunResult& result);

// Every entry under a directory (the root included) in depth-first order of
// sorted names: its depth and name (not the whole path, which would make a
// deep tree's snapshot grow with the square of its depth), type, size,
// modification time with nanoseconds, a content hash for regular files and
// the target for symbolic links. Links are never followed and only regular
// files are opened.
struct Entry {
  int depth = 0;
  std::string name;
  char type = '?';  // d, f, l, p (FIFO), c, b, s
  std::uint64_t size = 0;
  std::int64_t mtimeSeconds = 0;
  long mtimeNanoseconds = 0;
  std::uint64_t hash = 0;
  std::string target;
  friend bool operator==(const Entry&, const Entry&) = default;
};
std::vector<Entry> SnapshotTree(const std::filesystem::path& root);

// "" when equal, else the first difference in words.
std::string FirstDifference(const std::vector<Entry>& before, const std::vector<Entry>& after);

// `levels` directories named `name`, each inside the previous one, under
// `root` (an existing directory), built through descriptors so that no path
// grows with the depth. Each (level, contents) of `cards` becomes a file
// "c.vcf" in the directory of that level (level 0 is `root`).
void MakeNestedFolders(const std::filesystem::path& root, int levels, const std::string& name,
                       const std::vector<std::pair<int, std::string>>& cards);

// Removes `root` and everything under it, however deep.
void RemoveTree(const std::filesystem::path& root);

// A temporary directory removed with everything in it, however deep. With
// `inMemory`, it is made in /dev/shm where that exists: a tree of a hundred
// thousand entries is built there in a fraction of the time a disk needs.
class ScratchDir {
 public:
  explicit ScratchDir(bool inMemory = false);
  ~ScratchDir() { RemoveTree(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A vCard 3.0 of a contact with this family and given name and a note, and
// the output record it must give (code page 932 bytes; the names and note
// must be ASCII without quotes).
std::string ContactCard(const std::string& last, const std::string& first,
                        const std::string& note = "");
std::string ContactRecord(const std::string& last, const std::string& first,
                          const std::string& note = "");

// `count` numbered contacts (cards and the records they give), so that
// output sizes can be chosen.
struct Contacts {
  std::string cards;
  std::vector<std::string> records;
};
Contacts NumberedContacts(int count, const std::string& note);

// True when `file` is made of whole records from the start of `records`, in
// order (an empty file included); `whole` is then the number of them.
bool IsPrefixOfRecords(const std::string& file, const std::vector<std::string>& records,
                       std::size_t* whole = nullptr);

}  // namespace hostile
