#include "store/carddav/netrc.h"
#include "store/fs.h"

namespace carddav {

std::optional<std::string> NetrcPath() {
  if (std::optional<std::string> path = store::fs::GetEnvironment("NETRC")) return path;
  if (std::optional<std::string> home = store::fs::GetEnvironment("HOME")) {
    return store::fs::JoinPath(*home, ".netrc");
  }
  return std::nullopt;
}

}  // namespace carddav
