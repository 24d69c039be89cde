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

// Calls `setting` with the key and value of each `key = value` line, blank
// lines and # comments left out; false at a line of no such form.
template <typename Setting>
bool ForEachSetting(std::string_view text, Setting setting) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || !setting(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadSmallFile(const std::string& path, std::string* failure) {
  return store::fs::ReadSmallFile(path, kMaxSmallFile, failure);
}

std::optional<StoreFile> ParseStoreFile(std::string_view text) {
  StoreFile file;
  const bool known = ForEachSetting(text, [&](std::string_view key, std::string_view value) {
    if (key == "url") {
      file.url = value;
    } else if (key == "user") {
      file.user = value;
    } else {
      return false;
    }
    return true;
  });
  if (!known || !IsServerUrl(file.url)) return std::nullopt;
  return file;
}

std::optional<std::string> UrlLine(std::string_view text) {
  std::optional<std::string> url;
  ForEachSetting(text, [&](std::string_view key, std::string_view value) {
    if (key == "url") url = std::string(value);
    return true;
  });
  return url;
}

}  // namespace carddav
