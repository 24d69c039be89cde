#include "store/carddav/netrc.h"
#include "store/fs.h"

namespace carddav {

std::optional<std::string> NetrcPath() {
  if (std::optional<std::string> path = standalone::fs::GetEnvironment("NETRC")) return path;
  if (std::optional<std::string> home = standalone::fs::GetEnvironment("HOME")) {
    return standalone::fs::JoinPath(*home, ".netrc");
  }
  return std::nullopt;
}

}  // namespace carddav
