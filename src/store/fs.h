// The few file-system services the stand-alone store needs, one half per
// platform (fs_posix.cpp, fs_win32.cpp). Paths and names
// are byte strings: the platform's own bytes on POSIX, UTF-8 on Windows. All
// of it is read-only: nothing here creates, changes, renames or locks a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace store::fs {

// What a directory entry is in itself, without following a symbolic link.
enum class EntryType { kDirectory, kSymlink, kRegular, kOther };

// Calls `visit` for each entry of the directory `path` (without "." and
// ".."), in the order the system gives them. Nothing is collected here, so a
// folder of a million files costs only what the caller keeps. False when the
// directory cannot be opened or read to its end, `failure`, when given, then
// saying why ("cannot open directory: Permission denied").
using EntryVisitor = std::function<void(std::string_view name, EntryType type)>;
bool ForEachEntry(const std::string& path, const EntryVisitor& visit, std::string* failure = nullptr);

// Where a directory lives: equal identities are the same directory however
// it was reached (through links, junctions or mount points).
struct Identity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend auto operator<=>(const Identity&, const Identity&) = default;
};

// What `path` resolves to after following symbolic links. A path that does
// not resolve (a dangling link, a name gone meanwhile) has exists == false;
// one that could not be examined at all (no search permission, an I/O error)
// has `failed` as well: whether something is there is not known.
struct Status {
  bool exists = false;
  bool directory = false;
  Identity identity;
  bool failed = false;
};
Status StatPath(const std::string& path);
// True when `path` resolves to something that is no directory (a file, or a
// FIFO or device).
bool IsFile(const std::string& path);

// The largest file the store reads; a bigger file is one unreadable item.
// Files are read in bounded pieces, never whole, so memory sets no limit
// here: 64 GiB is far beyond any address book (a million cards with photos
// take about 3 GiB) and keeps offsets well inside 64 bits.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{64} << 30;

struct File;  // opaque, one per platform

// Opens `path` for reading without blocking and without locking it against
// others. Nothing unless it resolves to a regular file of at most
// kMaxFileSize bytes (a FIFO, device or directory is refused without
// waiting); `failure`, when given, then says why ("cannot open file: No such
// file or directory", "not a regular file").
File* OpenFile(const std::string& path, std::string* failure = nullptr);
std::uint64_t FileSize(const File* file);

// Reads exactly `length` bytes at `offset` into `out`; false on any failure
// or a short read (the file shrank since it was indexed).
bool ReadAt(File* file, std::uint64_t offset, std::size_t length, char* out);

void CloseFile(File* file);

// The whole file at `path` (a settings file, a .carddav file, netrc) when it
// is at most `maxSize` bytes; nothing when it cannot be opened or read or is
// larger, `failure`, when given, then saying why.
std::optional<std::string> ReadSmallFile(const std::string& path, std::uint64_t maxSize,
                                         std::string* failure = nullptr);

// A directory held open: its entries are listed, examined and opened by
// name within it, so that no path grows with the depth of a folder tree and
// a tree deeper than the system's longest path is read like any other.
struct Directory;  // opaque, one per platform
// Nothing when `path` cannot be opened as a directory; `outOfDescriptors`,
// when given, then tells whether only the lack of a free descriptor stood in
// the way, and `failure` why it failed ("cannot open directory: ...").
Directory* OpenDirectory(const std::string& path, bool* outOfDescriptors = nullptr, std::string* failure = nullptr);
// The directory (or link to one) `name` within `parent`; nothing when it
// cannot be opened (no permission, no descriptor left, not a directory),
// `failure`, when given, then saying why.
Directory* OpenDirectoryIn(Directory* parent, const std::string& name, std::string* failure = nullptr);
// ForEachEntry of an open directory, from its first entry. Also false when
// its entries cannot be looked up (no search permission), or the type of one
// cannot be told; `failure`, when given, then says why ("cannot search
// directory: Permission denied").
bool ForEachEntry(Directory* directory, const EntryVisitor& visit, std::string* failure = nullptr);
// StatPath of the entry `name` of `directory`; `failure`, when given, says
// why when the result is `failed`.
Status StatIn(Directory* directory, const std::string& name, std::string* failure = nullptr);
// StatPath of the directory itself.
Status StatDirectory(Directory* directory);
// OpenFile of the entry `name` of `directory`.
File* OpenFileIn(Directory* directory, const std::string& name, std::string* failure = nullptr);
void CloseDirectory(Directory* directory);

struct FileCloser {
  void operator()(File* file) const { CloseFile(file); }
};
using FilePtr = std::unique_ptr<File, FileCloser>;
struct DirectoryCloser {
  void operator()(Directory* directory) const { CloseDirectory(directory); }
};
using DirectoryPtr = std::unique_ptr<Directory, DirectoryCloser>;

// The environment variable `name`; nothing when unset or empty.
std::optional<std::string> GetEnvironment(const char* name);

// Joins a directory and a name with the platform's separator.
std::string JoinPath(const std::string& directory, const std::string& name);

// The last component of `path`, trailing separators ignored.
std::string BaseName(const std::string& path);

bool IsAbsolutePath(const std::string& path);

}  // namespace store::fs
