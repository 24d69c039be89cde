// File-system services of the stand-alone store on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "outlook/standalone_fs.h"

namespace standalone::fs {

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
// lstat (some file systems report DT_UNKNOWN for everything).
EntryType TypeOf(int directory, const dirent& entry) {
  switch (entry.d_type) {
    case DT_DIR: return EntryType::kDirectory;
    case DT_LNK: return EntryType::kSymlink;
    case DT_REG: return EntryType::kRegular;
    case DT_UNKNOWN: break;
    default: return EntryType::kOther;
  }
  struct stat info {};
  if (fstatat(directory, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryType::kOther;
  return TypeFromMode(info.st_mode);
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool ForEachEntry(const std::string& path, const EntryVisitor& visit) {
  int descriptor = open(path.c_str(), kOpenFlags | O_DIRECTORY);
  if (descriptor < 0) return false;
  DIR* directory = fdopendir(descriptor);
  if (directory == nullptr) {
    close(descriptor);
    return false;
  }
  bool failed = false;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(directory);
    if (entry == nullptr) {
      failed = errno != 0;
      break;
    }
    if (IsDotOrDotDot(entry->d_name)) continue;
    visit(entry->d_name, TypeOf(dirfd(directory), *entry));
  }
  closedir(directory);
  return !failed;
}

bool ProbeDirectory(const std::string& path) {
  int descriptor = open(path.c_str(), kOpenFlags | O_DIRECTORY);
  if (descriptor < 0) return false;
  close(descriptor);
  return true;
}

Status StatPath(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  return {true, S_ISDIR(info.st_mode),
          {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}};
}

struct Directory {
  int descriptor = -1;
};

namespace {

File* FileOf(int descriptor) {
  if (descriptor < 0) return nullptr;
  struct stat info {};
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
    close(descriptor);
    return nullptr;
  }
  return new File{descriptor, static_cast<std::uint64_t>(info.st_size)};
}

}  // namespace

File* OpenFile(const std::string& path) { return FileOf(open(path.c_str(), kOpenFlags)); }

Directory* OpenDirectory(const std::string& path) {
  const int descriptor = open(path.c_str(), kOpenFlags | O_DIRECTORY);
  return descriptor < 0 ? nullptr : new Directory{descriptor};
}

File* OpenFileIn(Directory* directory, const std::string& name) {
  return FileOf(openat(directory->descriptor, name.c_str(), kOpenFlags));
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

}  // namespace standalone::fs
