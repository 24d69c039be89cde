// Where the netrc file is on Windows: %NETRC% when set, else _netrc in the
// user's profile folder, else _netrc in %HOME% (set by some ports of Unix
// tools), as curl and other Windows clients look for it.
#include "store/carddav/netrc.h"
#include "store/fs.h"

namespace carddav {

std::optional<std::string> NetrcPath() {
  if (std::optional<std::string> path = store::fs::GetEnvironment("NETRC")) return path;
  for (const char* home : {"USERPROFILE", "HOME"}) {
    if (std::optional<std::string> folder = store::fs::GetEnvironment(home)) {
      return store::fs::JoinPath(*folder, "_netrc");
    }
  }
  return std::nullopt;
}

}  // namespace carddav
