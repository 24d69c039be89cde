// File-system services of the stand-alone store on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "store/fs.h"

namespace store::fs {

struct File {
  int descriptor = -1;
  std::uint64_t size = 0;
};

namespace {

// Every open of the store: read-only, close-on-exec, and non-blocking so that
// a FIFO or a device under the profile cannot stall the export. Links are
// followed on purpose (profiles are often assembled from links).
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

EntryType TypeFromMode(mode_t mode) {
  if (S_ISDIR(mode)) return EntryType::kDirectory;
  if (S_ISLNK(mode)) return EntryType::kSymlink;
  if (S_ISREG(mode)) return EntryType::kRegular;
  return EntryType::kOther;
}

// The entry's type from readdir when the file system gives it, else from
// lstat (some file systems report DT_UNKNOWN for everything). False when it
// cannot be told, errno saying why.
bool TypeOf(int directory, const dirent& entry, EntryType& type) {
  switch (entry.d_type) {
    case DT_DIR: type = EntryType::kDirectory; return true;
    case DT_LNK: type = EntryType::kSymlink; return true;
    case DT_REG: type = EntryType::kRegular; return true;
    case DT_UNKNOWN: break;
    default: type = EntryType::kOther; return true;
  }
  struct stat info {};
  if (fstatat(directory, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  type = TypeFromMode(info.st_mode);
  return true;
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The one place where the system's error numbers become words: "what: why".
void Explain(std::string* failure, const char* what, int error) {
  if (failure) *failure = std::string(what) + ": " + std::generic_category().message(error);
}

// Lists `stream` and closes it. An entry gone between readdir and lstat is
// left out, as if it had gone before.
bool ListStream(DIR* stream, const EntryVisitor& visit, std::string* failure = nullptr) {
  bool failed = false;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream);
    if (entry == nullptr) {
      failed = errno != 0;
      if (failed) Explain(failure, "cannot read directory", errno);
      break;
    }
    if (IsDotOrDotDot(entry->d_name)) continue;
    EntryType type = EntryType::kOther;
    if (!TypeOf(dirfd(stream), *entry, type)) {
      if (errno == ENOENT) continue;
      failed = true;
      Explain(failure, "cannot examine an entry", errno);
      break;
    }
    visit(entry->d_name, type);
  }
  closedir(stream);
  return !failed;
}

// What a stat that followed links found. A link that leads nowhere (to
// nothing, through a file, round in a loop, or to a name too long) does not
// exist; any other failure means the entry could not be examined.
Status StatusOf(int result, const struct stat& info) {
  if (result != 0) {
    const bool nowhere = errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG;
    return {false, false, {}, !nowhere};
  }
  return {true, S_ISDIR(info.st_mode),
          {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}};
}

// Each folder being read holds its directory open, so a walk as deep as an
// export goes needs over a thousand descriptors, about the usual soft limit:
// the soft limit is raised towards the hard one, once, before the first
// directory is opened. Where the hard limit is lower, a folder that finds no
// descriptor left cannot be read, and the export says so.
constexpr rlim_t kWantedDescriptors = 65536;

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = std::min(limit.rlim_max, kWantedDescriptors);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return;
  limit.rlim_cur = wanted;
  setrlimit(RLIMIT_NOFILE, &limit);
}

int OpenDirectoryAt(int at, const char* name) {
  [[maybe_unused]] static const bool raised = (RaiseDescriptorLimit(), true);
  return openat(at, name, kOpenFlags | O_DIRECTORY);
}

}  // namespace

bool ForEachEntry(const std::string& path, const EntryVisitor& visit, std::string* failure) {
  const int descriptor = open(path.c_str(), kOpenFlags | O_DIRECTORY);
  if (descriptor < 0) {
    Explain(failure, "cannot open directory", errno);
    return false;
  }
  DIR* stream = fdopendir(descriptor);
  if (stream == nullptr) {
    Explain(failure, "cannot list directory", errno);
    close(descriptor);
    return false;
  }
  return ListStream(stream, visit, failure);
}

Status StatPath(const std::string& path) {
  struct stat info {};
  const int result = stat(path.c_str(), &info);
  return StatusOf(result, info);
}

struct Directory {
  int descriptor = -1;
};

namespace {

File* FileOf(int descriptor, std::string* failure = nullptr) {
  if (descriptor < 0) {
    Explain(failure, "cannot open file", errno);
    return nullptr;
  }
  struct stat info {};
  if (fstat(descriptor, &info) != 0) {
    Explain(failure, "cannot examine file", errno);
  } else if (!S_ISREG(info.st_mode)) {
    if (failure) *failure = "not a regular file";
  } else if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
    if (failure) *failure = "file is larger than 64 GiB";
  } else {
    return new File{descriptor, static_cast<std::uint64_t>(info.st_size)};
  }
  close(descriptor);
  return nullptr;
}

}  // namespace

File* OpenFile(const std::string& path, std::string* failure) {
  return FileOf(open(path.c_str(), kOpenFlags), failure);
}

Directory* OpenDirectory(const std::string& path, bool* outOfDescriptors, std::string* failure) {
  const int descriptor = OpenDirectoryAt(AT_FDCWD, path.c_str());
  if (outOfDescriptors) *outOfDescriptors = descriptor < 0 && (errno == EMFILE || errno == ENFILE);
  if (descriptor < 0) Explain(failure, "cannot open directory", errno);
  return descriptor < 0 ? nullptr : new Directory{descriptor};
}

Directory* OpenDirectoryIn(Directory* parent, const std::string& name, std::string* failure) {
  const int descriptor = OpenDirectoryAt(parent->descriptor, name.c_str());
  if (descriptor < 0) Explain(failure, "cannot open directory", errno);
  return descriptor < 0 ? nullptr : new Directory{descriptor};
}

bool ForEachEntry(Directory* directory, const EntryVisitor& visit, std::string* failure) {
  // A directory that can be listed but not searched (read permission
  // without execute) has entries that can be neither examined nor opened.
  if (faccessat(directory->descriptor, ".", X_OK, AT_EACCESS) != 0) {
    Explain(failure, "cannot search directory", errno);
    return false;
  }
  // The stream reads a copy of the descriptor, which it closes; the
  // directory itself stays open for its entries to be opened.
  const int copy = fcntl(directory->descriptor, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    Explain(failure, "cannot list directory", errno);
    return false;
  }
  DIR* stream = fdopendir(copy);
  if (stream == nullptr) {
    Explain(failure, "cannot list directory", errno);
    close(copy);
    return false;
  }
  rewinddir(stream);  // the copy shares its position with the directory
  return ListStream(stream, visit, failure);
}

Status StatIn(Directory* directory, const std::string& name, std::string* failure) {
  struct stat info {};
  const int result = fstatat(directory->descriptor, name.c_str(), &info, 0);
  const Status status = StatusOf(result, info);
  if (status.failed) Explain(failure, "cannot examine an entry", errno);
  return status;
}

Status StatDirectory(Directory* directory) {
  struct stat info {};
  const int result = fstat(directory->descriptor, &info);
  return StatusOf(result, info);
}

File* OpenFileIn(Directory* directory, const std::string& name, std::string* failure) {
  return FileOf(openat(directory->descriptor, name.c_str(), kOpenFlags), failure);
}

void CloseDirectory(Directory* directory) {
  if (directory == nullptr) return;
  close(directory->descriptor);
  delete directory;
}

std::uint64_t FileSize(const File* file) { return file->size; }

bool ReadAt(File* file, std::uint64_t offset, std::size_t length, char* out) {
  std::size_t done = 0;
  while (done < length) {
    ssize_t got = pread(file->descriptor, out + done, length - done,
                        static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

void CloseFile(File* file) {
  if (file == nullptr) return;
  close(file->descriptor);
  delete file;
}

std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + '/' + name;
}

std::string BaseName(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::size_t slash = path.rfind('/', end - 1);
  if (slash == std::string::npos || end == 1) return path.substr(0, end);
  return path.substr(slash + 1, end - slash - 1);
}

bool IsAbsolutePath(const std::string& path) { return path.starts_with('/'); }

}  // namespace store::fs
