// The private copy of a book in use, on POSIX systems: a folder made by
// mkdtemp (mode 0700, so no other user can read the copied contacts) under
// $TMPDIR or /tmp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/sqlite/sqlite_copy.h"

namespace sqlitebook {
namespace {

constexpr std::array<const char*, 3> kParts = {"", "-wal", "-journal"};
constexpr std::array<const char*, 4> kCopiedNames = {"book", "book-wal", "book-journal", "book-shm"};

// What tells that a file changed while it was copied.
struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const Stamp& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

Stamp StampOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

Stamp StampOfPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

class PosixCopy final : public PrivateCopy {
 public:
  explicit PosixCopy(std::string folder) : folder_(std::move(folder)), database_(folder_ + "/book") {}
  ~PosixCopy() override {
    for (const char* name : kCopiedNames) unlink((folder_ + "/" + name).c_str());
    rmdir(folder_.c_str());
  }
  const std::string& DatabasePath() const override { return database_; }

 private:
  std::string folder_;
  std::string database_;
};

// Copies the regular file `from` to the new file `to`; false when it is no
// regular file, cannot be read, or changed while it was read.
bool CopyFile(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  const Stamp before = StampOf(in);
  struct stat st {};
  bool good = fstat(in, &st) == 0 && S_ISREG(st.st_mode);
  const int out = good ? open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
  good = good && out >= 0;
  std::vector<char> buffer(std::size_t{1} << 20);
  while (good) {
    const ssize_t got = read(in, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      good = false;
      break;
    }
    for (ssize_t done = 0; good && done < got;) {
      const ssize_t put = write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put <= 0) good = false;
      done += put;
    }
  }
  good = good && StampOf(in) == before && StampOfPath(from) == before;
  if (out >= 0 && close(out) != 0) good = false;
  close(in);
  return good;
}

}  // namespace

std::unique_ptr<PrivateCopy> CopyBook(const std::string& path) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/contact-export-book-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return nullptr;
  auto copy = std::make_unique<PosixCopy>(pattern);
  // The book and its log are one state only when neither changed while the
  // other was copied (a checkpoint between the two would pair an old book
  // with a restarted log): all are stamped before and after.
  std::array<Stamp, kParts.size()> before;
  for (std::size_t i = 0; i < kParts.size(); ++i) before[i] = StampOfPath(path + kParts[i]);
  if (!before[0].exists) return nullptr;
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    if (before[i].exists && !CopyFile(path + kParts[i], pattern + "/" + kCopiedNames[i])) return nullptr;
  }
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    if (!(StampOfPath(path + kParts[i]) == before[i])) return nullptr;
  }
  return copy;
}

}  // namespace sqlitebook
