#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "../grid/depth_test_run.hpp"
#include "control/errors.hpp"
#include "grid/quad_partition.hpp"
#include "sky/qasky.hpp"
#include "sky/sky_models.hpp"

using namespace abyss;
using abyss::testing::TestRun;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct SkyRun : TestRun {
  explicit SkyRun(const std::string& name, int nmu = 10, int nphi = 24) : TestRun(name) {
    build_partition(QuadPartition{nmu, nphi, 1}, rs->cgrid, rs->cgridphi);
    rs->cmisc.nmu = nmu;
    rs->cmisc.nphi = nphi;
    rs->cmisc.jwave = 1;
    rs->cmisc.nwave = 1;
    rs->cwave.waveb(1) = 500.0;
    rs->cwave.waveb(2) = 510.0;
    rs->cwave.wave(1) = 505.0;
  }
  void cosine_sky(double C, double Rsky, double Edtotl, double zen, double az) {
    rs->cmodelopts.opts[3] = 0;
    rs->csky.iskyflag = 1;
    rs->csky.C = C;
    rs->csky.Rsky = Rsky;
    rs->csky.Edtotl = Edtotl;
    rs->csky.suntheta = zen;
    rs->csky.sunphi = az;
  }
  // Plane irradiance carried by radsky.
  double plane_irradiance() const {
    const int nmu = rs->cmisc.nmu;
    double e = rs->sky.radsky(nmu, 1) * rs->cgrid.fmu(nmu) * rs->cgrid.omega(nmu);
    for (int r = 1; r < nmu; ++r)
      for (int s = 1; s <= rs->cmisc.nphi; ++s) e += rs->sky.radsky(r, s) * rs->cgrid.fmu(r) * rs->cgrid.omega(r);
    return e;
  }
  // Quad holding the largest radiance (the sun's, for a strong sun).
  std::pair<int, int> brightest() const {
    std::pair<int, int> best{1, 1};
    for (int r = 1; r <= rs->cmisc.nmu; ++r)
      for (int s = 1; s <= (r == rs->cmisc.nmu ? 1 : rs->cmisc.nphi); ++s)
        if (rs->sky.radsky(r, s) > rs->sky.radsky(best.first, best.second)) best = {r, s};
    return best;
  }
  double boundary_zenith(int k) const { return std::acos(rs->cgrid.bndmu(k)) * 180.0 / kPi; }
};

// Fixed irradiances for the radiance-shape tests of the Harrison and Coombes sky.
void fixed_irradiance(RunState&, double, double, double& ed_diffuse, double& ed_direct) {
  ed_diffuse = 0.4;
  ed_direct = 1.1;
}

TEST(Qasky, UniformSkyGivesEdOverPiEverywhere) {
  SkyRun t("sky_uniform");
  t.cosine_sky(0.0, 1.0, 2.0, 30.0, 0.0);
  qasky(*t.rs);
  for (int r = 1; r < 10; ++r)
    for (int s = 1; s <= 24; ++s) EXPECT_NEAR(t.rs->sky.radsky(r, s), 2.0 / kPi, 1e-12) << r << "," << s;
  EXPECT_NEAR(t.rs->sky.radsky(10, 1), 2.0 / kPi, 1e-12);
  EXPECT_DOUBLE_EQ(t.rs->sky.ed_diffuse(1), 2.0);
  EXPECT_DOUBLE_EQ(t.rs->sky.ed_direct(1), 0.0);
}

TEST(Qasky, CosineSkyClosesOnTotalIrradiance) {
  const double suns[][2] = {{0.0, 0.0}, {30.0, 40.0}, {60.0, 200.0}, {85.0, -10.0}, {89.9, 359.0}};
  for (const auto& sun : suns) {
    SkyRun t("sky_cosclosure");
    t.cosine_sky(0.7, 0.3, 1.7, sun[0], sun[1]);
    qasky(*t.rs);
    EXPECT_NEAR(t.plane_irradiance(), 1.7, 1e-12) << sun[0];
    EXPECT_NEAR(t.rs->sky.ed_diffuse(1), 0.3 * 1.7, 1e-15);
  }
}

TEST(Qasky, HarrisonCoombesSkyClosesAndPeaksTowardsTheSun) {
  const double suns[][3] = {{20.0, 0.0, 0.0}, {45.0, 90.0, 0.3}, {70.0, 250.0, 1.0}, {80.0, 10.0, 0.5}};
  for (const auto& sun : suns) {
    SkyRun t("sky_hcclosure");
    t.rs->cmodelopts.opts[3] = 1;
    t.rs->csky.suntheta = sun[0];
    t.rs->csky.sunphi = sun[1];
    t.rs->csky.cloud = sun[2];
    qasky(*t.rs, &fixed_irradiance);
    EXPECT_NEAR(t.plane_irradiance(), 1.5, 1e-12) << sun[0];
  }
  // Clear sky, sun at 45 deg towards azimuth 90: looking towards the sun
  // (view quad 7, centred at 90 deg) the diffuse sky is brighter than
  // looking away (view quad 19); stored by travel direction these swap.
  SkyRun t("sky_hcshape");
  t.rs->cmodelopts.opts[3] = 1;
  t.rs->csky.suntheta = 45.0;
  t.rs->csky.sunphi = 90.0;
  qasky(*t.rs, &fixed_irradiance);
  EXPECT_GT(t.rs->sky.radsky(3, 19), 3.0 * t.rs->sky.radsky(3, 7));
}

TEST(Qasky, SunSitsInItsQuadAfterTheHalfTurn) {
  SkyRun t("sky_shift");
  t.cosine_sky(0.0, 0.2, 1.0, 40.0, 90.0);
  qasky(*t.rs);
  // 90 deg is the centre of view quad 7; travelling light is stored at 7 + 12.
  EXPECT_EQ(t.brightest(), std::make_pair(6, 19));
  const double direct = 0.8 / (t.rs->cgrid.omega(6) * t.rs->cgrid.fmu(6));
  EXPECT_NEAR(t.rs->sky.radsky(6, 19) - t.rs->sky.radsky(6, 7), direct, 1e-12);
}

TEST(Qasky, SunAtMinusTenDegreesAzimuth) {
  SkyRun t("sky_minus10");
  t.cosine_sky(0.0, 0.2, 1.0, 40.0, -10.0);
  qasky(*t.rs);
  EXPECT_NE(t.printout().find("     The sun is placed in quad Q(r,s) = Q( 6,24) centered at (theta, phi) = (40.000,345.000)\n"),
            std::string::npos);
  EXPECT_EQ(t.brightest(), std::make_pair(6, 12));
}

TEST(Qasky, SunOnBandBoundaries) {
  {
    SkyRun t("sky_bnd1");
    t.cosine_sky(0.0, 0.2, 1.0, t.boundary_zenith(1), 0.0);  // 85 deg: upper boundary of band 1
    qasky(*t.rs);
    EXPECT_EQ(t.brightest().first, 1);
    EXPECT_NE(t.printout().find("Q( 1, 1) centered at (theta, phi) = (87.500,  0.000)"), std::string::npos);
  }
  {
    SkyRun t("sky_bnd3");
    t.cosine_sky(0.0, 0.2, 1.0, t.boundary_zenith(3), 7.5);  // 65 deg: lower zenith limit of band 3
    qasky(*t.rs);
    EXPECT_EQ(t.brightest(), std::make_pair(3, 14));  // 7.5 deg is the upper boundary of azimuth quad 1
  }
  {
    SkyRun t("sky_cap");
    t.cosine_sky(0.0, 0.2, 1.0, 2.0, 123.0);
    qasky(*t.rs);
    EXPECT_EQ(t.brightest(), std::make_pair(10, 1));
    EXPECT_NE(t.printout().find("Q(10, 1) centered at (theta, phi) = ( 0.000,  0.000)"), std::string::npos);
  }
}

TEST(Qasky, ZeroDiffuseSkyKeepsOnlyTheSun) {
  SkyRun t("sky_nodiffuse");
  t.cosine_sky(0.0, 0.0, 1.3, 50.0, 0.0);
  qasky(*t.rs);
  EXPECT_NEAR(t.plane_irradiance(), 1.3, 1e-12);
  EXPECT_DOUBLE_EQ(t.rs->sky.radsky(1, 1), 0.0);
  EXPECT_EQ(t.printout().find("WARNING"), std::string::npos);
}

TEST(Qasky, CloudFractionIsClampedOnce) {
  SkyRun t("sky_cloud");
  t.rs->cmodelopts.opts[3] = 1;
  t.rs->csky.suntheta = 30.0;
  t.rs->csky.cloud = 1.4;
  qasky(*t.rs, &fixed_irradiance);
  qasky(*t.rs, &fixed_irradiance);
  EXPECT_DOUBLE_EQ(t.rs->csky.cloud, 1.0);
  EXPECT_EQ(abyss::testing::count_of(t.printout(), "WARNING: CLOUD fraction greater than one!  Set to one.\n"), 1);
  SkyRun u("sky_cloudneg");
  u.rs->cmodelopts.opts[3] = 1;
  u.rs->csky.suntheta = 30.0;
  u.rs->csky.cloud = -0.2;
  qasky(*u.rs, &fixed_irradiance);
  EXPECT_DOUBLE_EQ(u.rs->csky.cloud, 0.0);
  EXPECT_NE(u.printout().find("WARNING: CLOUD fraction less than zero!  Set to zero.\n"), std::string::npos);
}

TEST(Qasky, SunAtTheHorizonIsRaisedForHarrisonCoombes) {
  SkyRun t("sky_sunset");
  t.rs->cmodelopts.opts[3] = 1;
  t.rs->csky.suntheta = 90.0;
  t.rs->csky.cloud = 0.0;
  qasky(*t.rs, &fixed_irradiance);
  EXPECT_NEAR(t.rs->csky.suntheta, 89.0, 1e-12);
  const std::string p = t.printout();
  EXPECT_NE(p.find("     The Harrison and Coombes sky radiance model cannot be evaluated at sunset.\n"
                   "     The solar zenith angle has been adjusted to a position of  89.00 degrees.\n"),
            std::string::npos);
  EXPECT_NEAR(t.plane_irradiance(), 1.5, 1e-12);
  for (int s = 1; s <= 24; ++s) EXPECT_TRUE(std::isfinite(t.rs->sky.radsky(1, s)));
}

TEST(Qasky, SunFromDateTimeAndPlace) {
  SkyRun t("sky_date");
  t.cosine_sky(0.0, 0.5, 1.0, 0.0, 0.0);
  t.rs->csky.iskyflag = 3;
  t.rs->csky.jday = 1.7;  // truncated to day 1
  t.rs->csky.gmt = 12.0;
  qasky(*t.rs);
  EXPECT_NEAR(t.rs->csky.suntheta, 23.069, 5e-4);
  const std::string p = t.printout();
  EXPECT_NE(p.find("     The computed solar zenith angle is  23.07 degrees\n"), std::string::npos);
  EXPECT_NE(p.find("     The computed solar azimuth angle is not used by Abyssolver, \n"
                   "     which places the sun at 0.00 degrees azimuth relative to the downwind direction.\n"),
            std::string::npos);
  SkyRun night("sky_night");
  night.cosine_sky(0.0, 0.5, 1.0, 0.0, 0.0);
  night.rs->csky.iskyflag = 3;
  night.rs->csky.jday = 1.0;
  night.rs->csky.gmt = 0.0;
  try {
    qasky(*night.rs);
    FAIL() << "expected a stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "QASKY");
    EXPECT_EQ(e.message(), "computed solar zenith angle > 90 deg");
  }
}

TEST(Qasky, UserHooksStop) {
  SkyRun t("sky_user");
  t.rs->cmodelopts.opts[3] = 2;
  try {
    qasky(*t.rs, &fixed_irradiance);
    FAIL() << "expected a stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "user_skyrad");
    EXPECT_EQ(e.message(), "subroutine not specified");
  }
  double d = 0, s = 0;
  EXPECT_THROW(user_skyirrad(*t.rs, 0.0, 0.0, d, s), FatalError);
}

struct Irradat : ::testing::Test {
  SkyRun t{"irradat"};
  std::string file = std::string(ABYSS_BINARY_DIR) + "/test_irradat_ed.txt";
  void SetUp() override {
    std::ofstream f(file);
    for (int i = 1; i <= 10; ++i) f << "header line " << i << "\n";
    f << "400 1.0\n410, 2.0\n420 4.0\n-1 0\n999 999\n";
    const double b[] = {390, 400, 410, 420, 430};
    for (int i = 0; i < 5; ++i) t.rs->cwave.waveb(i + 1) = b[i];
    for (int i = 1; i <= 4; ++i) t.rs->cwave.wave(i) = 0.5 * (b[i - 1] + b[i]);
    t.rs->cmisc.nwave = 4;
  }
};

TEST_F(Irradat, BandMeansOfWholeNanometreSamples) {
  // Band 400-410: samples 400..410 of a line from 1 to 2, mean 1.5; band
  // 410-420: 2..4, mean 3; bands outside the data take the end values.
  const double expect[] = {1.0, 1.5, 3.0, 4.0};
  for (int j = 1; j <= 4; ++j) {
    t.rs->cmisc.jwave = j;
    EXPECT_NEAR(irradat(*t.rs, file), expect[j - 1], 1e-12) << j;
  }
  const std::string p = t.printout();
  EXPECT_EQ(abyss::testing::count_of(p, "The incident Irradiance is obtained from the data file: " + file + "\n"), 1);
  EXPECT_NE(p.find("Incident total (direct + diffuse) irradiance interpolated and averaged over each waveband [W/(m2 nm)]:\n"),
            std::string::npos);
  EXPECT_NE(p.find("           400.0       410.0        405.00     1.50000E+00\n"), std::string::npos);
}

TEST_F(Irradat, MissingFileStops) {
  try {
    irradat(*t.rs, file + ".missing");
    FAIL() << "expected a stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "irradat");
    EXPECT_EQ(e.message(), "required data file " + file + ".missing not found");
  }
}

}  // namespace

namespace {

TEST(Qasky, WithoutPartitionNothingIsAveragedAndABrokenOneStops) {
  TestRun t("sky_nopart");
  t.rs->csky.iskyflag = 1;
  qasky(*t.rs, &fixed_irradiance);
  EXPECT_EQ(t.printout(), "");
  t.rs->cmisc.nmu = 1;
  t.rs->cmisc.nphi = 24;
  EXPECT_THROW(qasky(*t.rs, &fixed_irradiance), FatalError);
}

TEST_F(Irradat, DataFileBranchReadsTheFileBeforeAskingTheClearSkyModel) {
  t.rs->files.skydata = file;
  t.rs->cmodelopts.opts[3] = 1;  // Harrison and Coombes radiance
  t.rs->cmodelopts.opts[4] = 1;  // measured total irradiance
  t.rs->cmisc.jwave = 2;
  double d = 0.0, s = 0.0;
  try {
    skyirrad(*t.rs, 0.5, 0.0, d, s);  // first call: the clear-sky model's own values
  } catch (const FatalError&) {
    // The clear-sky model may stop (e.g. without its data base); the file
    // has been read and the ratio line written before that.
  }
  const std::string p = t.printout();
  const auto read = p.find("The incident Irradiance is obtained from the data file: " + file + "\n");
  const auto ratio = p.find("     Gregg and Carder values used to get the ratio of diffuse to direct irradiance\n");
  ASSERT_NE(read, std::string::npos);
  ASSERT_NE(ratio, std::string::npos);
  EXPECT_LT(read, ratio);
}

}  // namespace
