#include "store/pst/pst_header.h"

#include <algorithm>

#include "store/fs.h"

namespace pst {

// The ROOT structure's ibFileEof: 64 bits at 0xB8 in Unicode files (wVer 23
// and up, 4 KiB-page OSTs included), 32 bits at 0xA8 in ANSI ones (wVer 14
// and 15).
std::optional<std::uint64_t> RecordedEndOfFile(std::string_view header) {
  auto little = [&](std::size_t at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) value = value << 8 | static_cast<unsigned char>(header[at + i]);
    return value;
  };
  if (header.size() < 0xC0 || header.substr(0, 4) != "!BDN") return std::nullopt;
  const std::uint64_t version = little(10, 2);
  if (version == 14 || version == 15) return little(0xA8, 4);
  if (version >= 23) return little(0xB8, 8);
  return std::nullopt;
}

bool IsWholeDataFile(const std::string& path, std::string* failure) {
  // Through the store's file services, which take the path as the store
  // names it on every platform (UTF-8 on Windows).
  const store::fs::FilePtr file(store::fs::OpenFile(path));
  const std::uint64_t length = file ? store::fs::FileSize(file.get()) : 0;
  std::string header(static_cast<std::size_t>(std::min<std::uint64_t>(length, 0x200)), '\0');
  if (!file || !store::fs::ReadAt(file.get(), 0, header.size(), header.data())) {
    if (failure) *failure = "cannot read the file's length";
    return false;
  }
  const std::optional<std::uint64_t> end = RecordedEndOfFile(header);
  if (!end || length >= *end) return true;
  if (failure) *failure = "file is " + std::to_string(length) + " bytes, its header records " + std::to_string(*end);
  return false;
}

}  // namespace pst
