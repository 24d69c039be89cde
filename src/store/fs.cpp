// The file-system services that both platform halves share, built on theirs.
#include "store/fs.h"

namespace store::fs {

bool IsFile(const std::string& path) {
  const Status status = StatPath(path);
  return status.exists && !status.directory;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::uint64_t maxSize, std::string* failure) {
  const FilePtr file(OpenFile(path, failure));
  if (!file) return std::nullopt;
  const std::uint64_t size = FileSize(file.get());
  if (size > maxSize) {
    if (failure) *failure = "file is " + std::to_string(size) + " bytes, more than " + std::to_string(maxSize);
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!ReadAt(file.get(), 0, bytes.size(), bytes.data())) {
    if (failure) *failure = "cannot read file";
    return std::nullopt;
  }
  return bytes;
}

}  // namespace store::fs
