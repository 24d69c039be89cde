#include <ctime>

#include "store/pst/pst_time.h"

namespace pst {

bool DayOfFiletime(std::uint64_t filetime, bool localZone, CalendarDay& out) {
  constexpr std::int64_t kTicksPerSecond = 10000000;
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::time_t seconds =
      static_cast<std::time_t>(static_cast<std::int64_t>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970);
  std::tm parts{};
  if ((localZone ? localtime_r(&seconds, &parts) : gmtime_r(&seconds, &parts)) == nullptr) return false;
  out = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
  return true;
}

}  // namespace pst
