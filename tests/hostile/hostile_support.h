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
  bool asNobody = false;          // through setpriv, as nobody:nogroup
  double timeoutSeconds = 60;     // killed with SIGKILL after this
};

struct RunResult {
  int exitCode = -1;   // -1 when killed by a signal
  int signal = 0;      // the signal that ended it, or 0
  bool timedOut = false;
  double seconds = 0;
  long peakKiB = 0;    // ru_maxrss of this one child
};

// Starts the program (returns at once) and waits for one started copy.
pid_t StartProgram(const RunOptions& options, int startGate = -1);
RunResult WaitProgram(pid_t pid, double timeoutSeconds);
RunResult RunProgram(const RunOptions& options);

// "exit 0", "signal 9", "timed out" and the peak memory, for messages.
std::string Describe(const RunResult& result);

// Every entry under a directory (the root included): relative path bytes,
// type, size, modification time with nanoseconds, a content hash for regular
// files and the target for symbolic links. Links are never followed and only
// regular files are opened.
struct Entry {
  std::string path;
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
