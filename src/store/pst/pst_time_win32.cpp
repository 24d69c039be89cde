// On Windows through the system's own calendar calls, which cover 1601 to
// 30827 (the C library's localtime_s stops at 1970 and 3000, and would lose
// the birthdays before 1970). The local time is the current time zone's,
// with its daylight saving rules for that year, as Outlook shows it.
#include <windows.h>

#include "store/pst/pst_time.h"

namespace pst {

bool DayOfFiletime(std::uint64_t filetime, bool localZone, CalendarDay& out) {
  FILETIME ft{static_cast<DWORD>(filetime & 0xFFFFFFFFu), static_cast<DWORD>(filetime >> 32)};
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&ft, &utc)) return false;
  if (localZone && !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  const SYSTEMTIME& when = localZone ? local : utc;
  out = {when.wYear, when.wMonth, when.wDay};
  return true;
}

}  // namespace pst
