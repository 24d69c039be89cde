#include "csv/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "text/native_path.h"
#include "csv/output_guard.h"

namespace csv {

struct OutputFile {
  int fd;
};

namespace {

FileIdentity IdentityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where an open with O_CREAT writes: symbolic links at the end of the path
// are followed, a dangling one to the file it names, which the open would
// create. Nothing for a loop of links (the open fails on it as well).
bool FollowFinalLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof target) return false;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next.front() == '/' ? next : ParentOf(path) + "/" + next;
  }
  return false;
}

// True when the file that writing `path` would create or truncate is
// protected or lies, by its real path, inside a protected folder. A path
// whose folder cannot be resolved counts as refused: the open would fail on
// it too.
bool ReachesProtected(std::string path) {
  if (!FollowFinalLinks(path)) return true;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && IsProtected(IdentityOf(info))) return true;
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(ParentOf(path).c_str(), nullptr), &std::free);
  if (!real) return true;
  for (std::string folder = real.get();; folder = ParentOf(folder)) {
    if (stat(folder.c_str(), &info) == 0 && IsProtected(IdentityOf(info))) return true;
    if (folder == "/") return false;
  }
}

}  // namespace

OutputFile* OutputOpen(const std::u16string& path) {
  const std::string bytes = text::PathTextToBytes(path);
  if (bytes.empty() || ReachesProtected(bytes)) return nullptr;
  // Not truncated by the open itself: what was opened is looked at first.
  // Non-blocking, so that a FIFO without a reader fails at once (ENXIO)
  // instead of waiting for one.
  const int fd = open(bytes.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || IsProtected(IdentityOf(info)) || flags < 0 ||
      (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  return new OutputFile{fd};
}

WriteEnd OutputWrite(OutputFile* file, std::string_view bytes, std::size_t& written, bool stoppable) {
  written = 0;
  while (written < bytes.size()) {
    // A signal that asks the process to end interrupts a write that waits
    // (a pipe read slowly) with EINTR, or cuts it short after some bytes.
    if (stoppable && StopRequested()) return WriteEnd::kStopped;
    const ssize_t n = write(file->fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WriteEnd::kFailed;
    }
    if (n == 0) return WriteEnd::kFailed;
    written += static_cast<std::size_t>(n);
  }
  return WriteEnd::kDone;
}

bool OutputTruncate(OutputFile* file, std::uint64_t size) {
  struct stat info {};
  return fstat(file->fd, &info) == 0 && S_ISREG(info.st_mode) &&
         ftruncate(file->fd, static_cast<off_t>(size)) == 0 &&
         lseek(file->fd, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool OutputClose(OutputFile* file) {
  const int result = close(file->fd);
  delete file;
  return result == 0;
}

}  // namespace csv
