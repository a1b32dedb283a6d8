#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "../grid/depth_test_run.hpp"
#include "sky/ozone_model.hpp"
#include "sky/sun.hpp"

using namespace abyss;
using abyss::testing::TestRun;

namespace {

constexpr double kRaddeg = 180.0 / 3.14159265358979323846;

TEST(Sun, NewYearNoonAtGreenwichOnTheEquator) {
  std::ostringstream pr;
  double zen = 0, az = 0;
  sunang(1, 12.0, kRaddeg, 0.0, 0.0, zen, az, pr);
  // Declination -23.05863 deg, hour angle -0.726052 deg: the zenith angle
  // is the angle between the two on the equator.
  const double decl = -23.05863 / kRaddeg, h = -0.726052 / kRaddeg;
  EXPECT_NEAR(zen, std::acos(std::cos(decl) * std::cos(h)) * kRaddeg, 2e-6);
  EXPECT_NEAR(zen, 23.069, 5e-4);
  // Morning (hour angle < 0), sun in the south: azimuth just below 180.
  EXPECT_LT(az, 180.0);
  EXPECT_GT(az, 178.0);
  EXPECT_TRUE(pr.str().empty());
}

TEST(Sun, SolarNoonSunToTheSouthHasAzimuth180) {
  std::ostringstream pr;
  double zen = 0, az = 0;
  // At 45N on 1 January the sun culminates in the south; find GMT of zero
  // hour angle at longitude 0.726052 deg (cancels the equation of time).
  sunang(1, 12.0, kRaddeg, 0.726052, 45.0, zen, az, pr);
  EXPECT_NEAR(az, 180.0, 1e-4);
  EXPECT_NEAR(zen, 45.0 + 23.05863, 1e-4);
  // Afternoon: azimuth above 180 (west of south).
  sunang(1, 15.0, kRaddeg, 0.0, 45.0, zen, az, pr);
  EXPECT_GT(az, 180.0);
  EXPECT_LE(az, 360.0);
}

TEST(Sun, HourAngleWrapsAcrossTheDateLine) {
  std::ostringstream pr;
  double z1 = 0, a1 = 0, z2 = 0, a2 = 0;
  sunang(100, 23.0, kRaddeg, 170.0, 10.0, z1, a1, pr);  // hour angle 335 -> -25
  sunang(100, 23.0, kRaddeg, -190.0, 10.0, z2, a2, pr);
  EXPECT_NEAR(z1, z2, 1e-9);
  EXPECT_NEAR(a1, a2, 1e-9);
}

TEST(Ozone, ModelReproducesPublishedCheckValues) {
  std::ifstream in("/work/shared/datasrc/ozone_vanheuklon1979_model.txt");
  struct Check { double lat, lon, day, o3; };
  const Check checks[] = {{36, -122, 185, 321.19}, {0, 0, 1, 235.00},    {45, 10, 80, 377.82},
                          {45, 10, 172, 374.49},   {60, -30, 60, 376.95}, {-45, 170, 1, 329.59},
                          {-45, 170, 265, 337.57}, {-70, 0, 270, 342.42}, {80, 90, 100, 404.18},
                          {20, -157, 200, 261.11}};
  for (const auto& c : checks) EXPECT_NEAR(vanheuklon_ozone(c.lat, c.lon, c.day), c.o3, 0.006) << c.lat << " " << c.lon;
}

struct OzoneFile : ::testing::Test {
  TestRun t{"ozone"};
  void SetUp() override { t.rs->cdirnames.data = std::string(ABYSS_SOURCE_DIR) + "/data/"; }
  double o3(int day, double lat, double lon) { return get_o3_climat(*t.rs, day, lat, lon); }
};

TEST_F(OzoneFile, HoldsTheModelAtCellCentresAndMidMonth) {
  EXPECT_NEAR(o3(16, 36.0, -122.0), vanheuklon_ozone(35.0, -125.0, 16.0), 0.05);
  EXPECT_NEAR(o3(197, 36.0, -122.0), vanheuklon_ozone(35.0, -125.0, 197.0), 0.05);  // mid-July = day 197
  EXPECT_NEAR(o3(1, -45.0, 170.0), vanheuklon_ozone(-45.0, 175.0, 16.0), 0.05);
  EXPECT_NEAR(o3(80, 80.0, 90.0), vanheuklon_ozone(85.0, 95.0, 75.0), 0.05);
  // The header's first three lines are echoed after a blank line.
  std::string p = t.printout();
  EXPECT_EQ(p.rfind("\nMonthly mean total ozone (Dobson units) from the Van Heuklon (1979) model", 0), 0u);
  EXPECT_EQ(p.find("latmin"), std::string::npos);
}

TEST_F(OzoneFile, LayoutIsBandsOfThirtySixCellsInIncreasingLongitude) {
  std::ifstream in(t.rs->cdirnames.data + "TOMS_O3.txt");
  std::string line;
  for (int i = 0; i < 4; ++i) std::getline(in, line);
  const double mid[12] = {16, 45.5, 75, 105.5, 136, 166.5, 197, 228, 258.5, 289, 319.5, 350};
  int cells = 0;
  double v[16];
  while (in >> v[0]) {
    for (int i = 1; i < 16; ++i) in >> v[i];
    const int band = cells / 36, cell = cells % 36;
    ASSERT_DOUBLE_EQ(v[0], -90.0 + 10.0 * band);
    ASSERT_DOUBLE_EQ(v[1], v[0] + 10.0);
    ASSERT_DOUBLE_EQ(v[2], -180.0 + 10.0 * cell);
    ASSERT_DOUBLE_EQ(v[3], v[2] + 10.0);
    for (int m = 0; m < 12; ++m) ASSERT_NEAR(v[4 + m], vanheuklon_ozone(v[0] + 5.0, v[2] + 5.0, mid[m]), 0.05);
    ++cells;
  }
  EXPECT_EQ(cells, 18 * 36);
}

TEST_F(OzoneFile, MonthOfDayMapping) {
  const double lat = 55.0, lon = 5.0, jan = vanheuklon_ozone(55.0, 5.0, 16.0);
  EXPECT_NEAR(o3(30, lat, lon), jan, 0.05);
  EXPECT_NEAR(o3(31, lat, lon), vanheuklon_ozone(55.0, 5.0, 45.5), 0.05);
  EXPECT_NEAR(o3(365, lat, lon), vanheuklon_ozone(55.0, 5.0, 350.0), 0.05);
  EXPECT_DOUBLE_EQ(o3(366, lat, lon), o3(365, lat, lon));  // leap day: December, never past the table
}

TEST_F(OzoneFile, CellBoundaries) {
  // Lower bounds inclusive: latitude 10 is in the 10..20 band, longitude -170 in -170..-160.
  EXPECT_NEAR(o3(16, 10.0, -170.0), vanheuklon_ozone(15.0, -165.0, 16.0), 0.05);
  EXPECT_NEAR(o3(16, 90.0, 180.0), vanheuklon_ozone(85.0, 175.0, 16.0), 0.05);
  EXPECT_NEAR(o3(16, -90.0, -180.0), vanheuklon_ozone(-85.0, -175.0, 16.0), 0.05);
  EXPECT_DOUBLE_EQ(o3(16, 95.0, 190.0), o3(16, 90.0, -170.0));  // clamped and wrapped
}

TEST_F(OzoneFile, MissingFileGives300AndAMessage) {
  t.rs->cdirnames.data = "/nonexistent/";
  EXPECT_DOUBLE_EQ(o3(100, 0.0, 0.0), 300.0);
  EXPECT_EQ(t.printout(), " ERROR in get_o3_climat: /nonexistent/TOMS_O3.txt not found; use 300\n");
}

}  // namespace
