#include "store/carddav/carddav_store_file.h"

#include <cstdint>

#include "store/carddav/carddav_url.h"
#include "store/fs.h"

namespace carddav {
namespace {

constexpr std::uint64_t kMaxSmallFile = 1u << 20;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::string> ReadSmallFile(const std::string& path, std::string* failure) {
  return store::fs::ReadSmallFile(path, kMaxSmallFile, failure);
}

std::optional<StoreFile> ParseStoreFile(std::string_view text) {
  StoreFile file;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key == "url") {
      file.url = value;
    } else if (key == "user") {
      file.user = value;
    } else {
      return std::nullopt;
    }
  }
  if (!IsServerUrl(file.url)) return std::nullopt;
  return file;
}

}  // namespace carddav
