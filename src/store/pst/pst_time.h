// The calendar date of a FILETIME (100 ns ticks since 1601-01-01 UTC), in UTC
// or in the machine's local time zone; one half per platform
// (pst_time_posix.cpp, pst_time_win32.cpp). False when the system cannot
// place it on its calendar.
#pragma once

#include <cstdint>

namespace pst {

struct CalendarDay {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool DayOfFiletime(std::uint64_t filetime, bool localZone, CalendarDay& out);

}  // namespace pst
