// Banner and wall-clock time stamps.
#include <chrono>
#include <ctime>

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/run_state.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian): a day count that
// stays consistent across month and year ends.
long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

double seconds_between(const CalendarTime& t0, const CalendarTime& t) {
  double days = static_cast<double>(days_from_civil(t.year, t.month, t.day) - days_from_civil(t0.year, t0.month, t0.day));
  return (((days * 24 + t.hour - t0.hour) * 60 + t.minute - t0.minute) * 60 + t.second - t0.second) +
         0.001 * (t.millisecond - t0.millisecond);
}

std::string date_text(const CalendarTime& t) { return fmt::format("{:02d}/{:02d}/{:04d}", t.month, t.day, t.year); }
std::string time_text(const CalendarTime& t) {
  return fmt::format("{:02d}:{:02d}:{:02d}.{:d}", t.hour, t.minute, t.second, t.millisecond / 100);
}

}  // namespace

CalendarTime system_clock_now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t tt = system_clock::to_time_t(now);
  std::tm lt{};
  localtime_r(&tt, &lt);
  CalendarTime c;
  c.year = lt.tm_year + 1900;
  c.month = lt.tm_mon + 1;
  c.day = lt.tm_mday;
  c.zone_minutes = static_cast<int>(lt.tm_gmtoff / 60);
  c.hour = lt.tm_hour;
  c.minute = lt.tm_min;
  c.second = lt.tm_sec;
  c.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return c;
}

int julianday(const CalendarTime& t) {
  static constexpr int cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (t.year % 400 == 0) || (t.year % 4 == 0 && t.year % 100 != 0);
  return cum[t.month - 1] + t.day + ((leap && t.month > 2) ? 1 : 0);
}

void cpright(std::ostream& os) {
  const std::string pad(5, ' ');
  auto boxed = [&](const std::string& text) {
    std::string line = "|" + text;
    line.resize(55, ' ');
    os << pad << line << "|\n";
  };
  os << "\n";
  os << pad << std::string(56, '=') << "\n";
  boxed("");
  boxed(std::string(8, ' ') + "ABYSSOLVER" + " Version " + "5.1.0" + " (MAIN CODE)");
  boxed("");
  boxed("   Radiance distributions in natural waters by");
  boxed("   invariant imbedding: sky, sea surface, water");
  boxed("   column and bottom, band by band.");
  boxed("");
  os << pad << std::string(56, '=') << "\n";
}

void date_stamp(RunState& rs, std::ostream& unit, int mode, int band, int nbands) {
  StampState& st = rs.stamps;
  if (st.called && (mode == 2 || mode == 3)) st.previous = st.current;
  st.current = rs.clock();
  const CalendarTime& now = st.current;
  std::ostream& con = rs.con();
  if (mode == 0 || mode == 1) {
    std::string line = ff::X(5) + "Run " + (mode == 0 ? "started" : "completed") + " on " + date_text(now) + " at " +
                       time_text(now);
    con << "\n" << line << "\n";
    unit << "\n" << line << "\n";
  }
  if (mode != 0 && st.called) {
    const CalendarTime& ref = (mode == 1) ? st.start : st.previous;
    double secs = seconds_between(ref, now);
    if (mode == 2) {
      std::string line = ff::X(5) + "Initialization of Abyssolver Completed in " + ff::F(secs, 4, 1) + " sec.";
      con << "\n\n" << line << "\n";
      unit << "\n\n" << line << "\n";
    } else if (mode == 3) {
      std::string line = ff::X(5) + "Waveband " + ff::I(band, 3) + " of " + ff::I(nbands, 3) + " completed in " +
                         ff::F(secs, 6, 1) + " sec.";
      con << line << "\n\n";
      unit << "\n\n" << line << "\n";
    } else if (mode == 1) {
      std::string line = ff::X(5) + "Total (wall clock) run time = " + ff::F(secs, 12, 1) + " sec";
      con << "\n" << line << "\n";
      unit << "\n" << line << "\n";
    }
  } else {
    st.start = now;
  }
  st.called = true;
  unit.flush();
  con.flush();
}

}  // namespace abyss
