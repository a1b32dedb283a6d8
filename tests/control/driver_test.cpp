// Band loop, skipped-band filling, visible-range test, time stamps and banner.
#include <gtest/gtest.h>

#include <sstream>

#include "control/driver.hpp"
#include "control/run_state.hpp"

using namespace abyss;

TEST(BandLoop, SkipFactorAndTheLastBand) {
  EXPECT_EQ(solved_bands(5, 1), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(solved_bands(5, 2), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(solved_bands(4, 2), (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(solved_bands(1, 3), (std::vector<int>{1}));
  EXPECT_EQ(solved_bands(10, 4), (std::vector<int>{1, 5, 9, 10}));
}

TEST(BandLoop, FillwaveAveragesNeighboursByIndexAtPrintDepths) {
  RunState rs;
  rs.cmisc.nwave = 5;
  rs.cmisc.nwskip = 2;
  rs.sel.pirrad = {1, 3};
  auto& st = rs.der.ceospl;
  for (int j : {1, 3, 5}) {
    st.lneo_sum(1, j) = j;
    st.lneo_sum(3, j) = 10.0 * j;
    st.lneo_sum(2, j) = 7.0;
  }
  fillwave(rs);
  EXPECT_DOUBLE_EQ(st.lneo_sum(1, 2), 2.0);
  EXPECT_DOUBLE_EQ(st.lneo_sum(3, 4), 40.0);
  EXPECT_DOUBLE_EQ(st.lneo_sum(2, 2), 0.0);  // not a print depth: untouched
  EXPECT_DOUBLE_EQ(st.lneo(1, 2), 0.0);      // only the first array is filled
}

TEST(BandLoop, ColourAndSecchiNeedTheVisibleRange) {
  RunState rs;
  rs.cmisc.nwave = 2;
  rs.cwave.waveb(1) = 400.0;
  rs.cwave.waveb(2) = 550.0;
  rs.cwave.waveb(3) = 700.0;
  EXPECT_TRUE(covers_visible(rs));
  rs.cwave.waveb(1) = 401.0;
  EXPECT_FALSE(covers_visible(rs));
}

namespace {
CalendarTime at(int y, int mo, int d, int h, int mi, int s, int ms) {
  CalendarTime t;
  t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s, t.millisecond = ms;
  return t;
}
}  // namespace

TEST(TimeStamps, ElapsedTimesAcrossMidnightAndYearEnd) {
  RunState rs;
  std::ostringstream con, unit;
  rs.console = &con;
  std::vector<CalendarTime> times = {at(2026, 12, 31, 23, 59, 50, 0), at(2026, 12, 31, 23, 59, 58, 500),
                                     at(2027, 1, 1, 0, 0, 3, 700), at(2027, 1, 1, 0, 1, 0, 0)};
  std::size_t next = 0;
  rs.clock = [&] { return times[next++]; };
  date_stamp(rs, unit, 0);
  date_stamp(rs, unit, 2);
  date_stamp(rs, unit, 3, 1, 2);
  date_stamp(rs, unit, 1);
  const std::string u = unit.str();
  EXPECT_NE(u.find("\n     Run started on 12/31/2026 at 23:59:50.0\n"), std::string::npos);
  EXPECT_NE(u.find("\n\n     Initialization of Abyssolver Completed in  8.5 sec.\n"), std::string::npos);
  EXPECT_NE(u.find("\n\n     Waveband   1 of   2 completed in    5.2 sec.\n"), std::string::npos);
  EXPECT_NE(u.find("\n     Run completed on 01/01/2027 at 00:01:00.0\n\n     Total (wall clock) run time =         70.0 sec\n"),
            std::string::npos);
  EXPECT_NE(con.str().find("     Waveband   1 of   2 completed in    5.2 sec.\n\n"), std::string::npos);
}

TEST(TimeStamps, JulianDayLeapYears) {
  EXPECT_EQ(julianday(at(2024, 3, 1, 0, 0, 0, 0)), 61);
  EXPECT_EQ(julianday(at(2023, 3, 1, 0, 0, 0, 0)), 60);
  EXPECT_EQ(julianday(at(1900, 12, 31, 0, 0, 0, 0)), 365);
  EXPECT_EQ(julianday(at(2000, 12, 31, 0, 0, 0, 0)), 366);
}

TEST(Banner, BoxLines) {
  std::ostringstream os;
  cpright(os);
  std::istringstream in(os.str());
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "");
  std::getline(in, line);
  EXPECT_EQ(line, "     " + std::string(56, '='));
  std::getline(in, line);
  EXPECT_EQ(line, "     |" + std::string(54, ' ') + "|");
  std::getline(in, line);
  EXPECT_EQ(line, "     |        ABYSSOLVER Version 5.1.0 (MAIN CODE)          |");
  std::string last;
  while (std::getline(in, line)) {
    EXPECT_EQ(line.size(), 61u);
    last = line;
  }
  EXPECT_EQ(last, "     " + std::string(56, '='));
}
