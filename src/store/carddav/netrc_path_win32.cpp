#include "store/carddav/netrc.h"
#include "store/fs.h"

namespace carddav {

std::optional<std::string> NetrcPath() {
  if (std::optional<std::string> path = standalone::fs::GetEnvironment("NETRC")) return path;
  if (std::optional<std::string> home = standalone::fs::GetEnvironment("USERPROFILE")) {
    return standalone::fs::JoinPath(*home, "_netrc");
  }
  return std::nullopt;
}

}  // namespace carddav
