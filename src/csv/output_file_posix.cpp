#include "csv/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "csv/native_path.h"

namespace csv {

struct OutputFile {
  int fd;
};

OutputFile* OutputOpen(const std::u16string& path) {
  const std::string bytes = PathTextToBytes(path);
  if (bytes.empty()) return nullptr;
  const int fd = open(bytes.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return new OutputFile{fd};
}

bool OutputWrite(OutputFile* file, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(file->fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool OutputTruncate(OutputFile* file, std::uint64_t size) {
  return ftruncate(file->fd, static_cast<off_t>(size)) == 0 &&
         lseek(file->fd, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool OutputClose(OutputFile* file) {
  const int result = close(file->fd);
  delete file;
  return result == 0;
}

}  // namespace csv
