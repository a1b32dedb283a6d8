// The sky branches that take their irradiance from the clear-sky model must
// close it: the quad-averaged sky, weighted by cosine and solid angle, holds
// exactly the model's direct plus diffuse plane irradiance.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "grid/quad_partition.hpp"
#include "sky/qasky.hpp"
#include "sky/radtranx.hpp"

using namespace abyss;

namespace {

class RadtranxSky : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("radtranx_sky_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
    rs.printout.open(path_);
    rs.console = &con;
    rs.gcifname = std::string(ABYSS_SOURCE_DIR) + "/data/RADTRANX_dbase.txt";
    const QuadPartition q{10, 24, 1};
    build_partition(q, rs.cgrid, rs.cgridphi);
    rs.cmisc.nmu = q.nmu;
    rs.cmisc.nphi = q.nphi;
    rs.cmodelopts.opts[3] = 1;  // Harrison and Coombes radiance
    rs.cmodelopts.opts[4] = 0;  // clear-sky irradiance
    rs.cgcirr1 = {172, 35.0, -60.0, 1013.25, 1, 80, 1.5, 15, 5, 300, 0};
    rs.cmisc.windspd = 5.0;
    rs.cmisc.nwave = 1;
    rs.cmisc.jwave = 1;
    rs.cwave.waveb(1) = 500.0;
    rs.cwave.waveb(2) = 510.0;
    rs.cwave.wave(1) = 505.0;
    rs.cmisc.wavenm = 505.0;
  }
  void TearDown() override {
    rs.printout.close();
    std::filesystem::remove(path_);
  }
  double sky_plane_irradiance() const {
    const int nmu = rs.cmisc.nmu;
    double e = rs.sky.radsky(nmu, 1) * rs.cgrid.fmu(nmu) * rs.cgrid.omega(nmu);
    for (int r = 1; r < nmu; ++r)
      for (int s = 1; s <= rs.cmisc.nphi; ++s) e += rs.sky.radsky(r, s) * rs.cgrid.fmu(r) * rs.cgrid.omega(r);
    return e;
  }
  // The model's own values for the band, from a fresh run state with the
  // sun the sky settled on.
  void model(double theta, double& dif, double& dir) {
    RunState fresh;
    fresh.printout.open(path_.string() + ".model");
    fresh.console = &con;
    fresh.gcifname = rs.gcifname;
    fresh.cgcirr1 = rs.cgcirr1;
    fresh.cmisc.windspd = rs.cmisc.windspd;
    fresh.csky.suntheta = theta;
    fresh.csky.cloud = rs.csky.cloud;
    radtranx(fresh, 500.0, 510.0, dif, dir);
    fresh.printout.close();
    std::filesystem::remove(path_.string() + ".model");
  }
  void run_qasky() {
    qasky(rs);
    ASSERT_GT(rs.sky.ed_direct(1) + rs.sky.ed_diffuse(1), 0.0);
  }
  void expect_closure() {
    double dif = 0.0, dir = 0.0;
    model(rs.csky.suntheta, dif, dir);
    EXPECT_NEAR(rs.sky.ed_diffuse(1), dif, 1e-12 * dif);
    EXPECT_NEAR(rs.sky.ed_direct(1), dir, 1e-12 * dir);
    EXPECT_NEAR(sky_plane_irradiance(), dif + dir, 1e-9 * (dif + dir));
  }

  RunState rs;
  std::ostringstream con;
  std::filesystem::path path_;
};

}  // namespace

TEST_F(RadtranxSky, HarrisonCoombesWithGivenSunClosesTheModelIrradiance) {
  rs.csky.iskyflag = 2;
  rs.csky.suntheta = 40.0;
  rs.csky.sunphi = 0.0;
  rs.csky.cloud = 0.3;
  run_qasky();
  expect_closure();
}

TEST_F(RadtranxSky, DateTimePlaceSkyClosesTheModelIrradiance) {
  rs.csky.iskyflag = 3;
  rs.csky.gmt = 15.0;
  rs.csky.sunphi = 0.0;
  rs.csky.cloud = 0.0;
  rs.csky.jday = 172;
  rs.csky.rlat = 35.0;
  rs.csky.rlon = -60.0;
  run_qasky();
  EXPECT_GT(rs.csky.suntheta, 0.0);
  EXPECT_LT(rs.csky.suntheta, 90.0);
  expect_closure();
}

// Measured total irradiance split by the model's ratio: the first call
// (the sky set-up) uses the model as it is, every later one the measured
// total with the model's direct fraction.
TEST_F(RadtranxSky, MeasuredIrradianceSplitByTheModelRatioCloses) {
  const std::string file = path_.string() + ".ed";
  {
    std::ofstream f(file);
    for (int i = 1; i <= 10; ++i) f << "header " << i << "\n";
    f << "400 1.2\n700 1.2\n-1 0\n";
  }
  rs.files.skydata = file;
  rs.cmodelopts.opts[4] = 1;
  rs.csky.iskyflag = 2;
  rs.csky.suntheta = 40.0;
  rs.csky.cloud = 0.0;
  run_qasky();
  expect_closure();
  double dif = 0.0, dir = 0.0;
  model(40.0, dif, dir);
  qasky(rs);  // the band's own call
  EXPECT_NEAR(rs.sky.ed_direct(1) + rs.sky.ed_diffuse(1), 1.2, 1e-12);
  EXPECT_NEAR(rs.sky.ed_direct(1) / 1.2, dir / (dir + dif), 1e-12);
  EXPECT_NEAR(sky_plane_irradiance(), 1.2, 1e-9);
  std::filesystem::remove(file);
}
