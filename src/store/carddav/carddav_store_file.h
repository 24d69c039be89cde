// The `.carddav` file that names a CardDAV store: where its server is and,
// optionally, whose netrc login it uses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carddav {

struct StoreFile {
  std::string url;
  std::string user;
};

// A .carddav or netrc file: a few lines; a longer file is not one. Nothing
// when it cannot be read, `failure` (when given) then saying why.
std::optional<std::string> ReadSmallFile(const std::string& path, std::string* failure = nullptr);

// The `key = value` lines of a .carddav file. Nothing when a line is not of
// that form, a key is unknown or the url is missing or not http(s).
std::optional<StoreFile> ParseStoreFile(std::string_view text);

// The value of the url line of a .carddav file, whatever it is and whatever
// the other lines are (the last, when there are several, as for
// ParseStoreFile); nothing when there is none.
std::optional<std::string> UrlLine(std::string_view text);

}  // namespace carddav
