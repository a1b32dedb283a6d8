// Wall-clock calendar values for the run's time stamps.
#pragma once

#include <functional>

namespace abyss {

struct CalendarTime {
  int year = 0, month = 0, day = 0, zone_minutes = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

using Clock = std::function<CalendarTime()>;
CalendarTime system_clock_now();

// State of date_stamp between calls.
struct StampState {
  bool called = false;
  CalendarTime start, previous, current;
};

// Day of the year (1..366), Gregorian leap years.
int julianday(const CalendarTime& t);

}  // namespace abyss
