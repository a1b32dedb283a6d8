// A band with a non-finite radiance or irradiance is found, with its depth
// level and the quantity, before anything of the band is written.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "derived/band_check.hpp"

using namespace abyss;

TEST(BandCheck, FiniteBandPassesAndTheFirstFaultIsNamed) {
  auto rs = std::make_unique<RunState>();
  Radiances& rad = rs->der.rad;
  Irradiances& e = rs->der.cirrad;
  const int nz = 3, nmu = 4, nphi = 8;
  EXPECT_FALSE(first_nonfinite(rad, e, nz, nmu, nphi).has_value());
  e.mubar(2) = std::numeric_limits<double>::quiet_NaN();  // undefined ratios are allowed
  EXPECT_FALSE(first_nonfinite(rad, e, nz, nmu, nphi).has_value());
  rad.dif_up(2)(nmu, nphi) = std::numeric_limits<double>::infinity();
  e.ed(3) = std::numeric_limits<double>::quiet_NaN();
  auto f = first_nonfinite(rad, e, nz, nmu, nphi);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->level, 2);
  EXPECT_EQ(f->what, "upward diffuse radiance");
  rad.dif_up(2)(nmu, nphi) = 0.0;
  f = first_nonfinite(rad, e, nz, nmu, nphi);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->level, 3);
  EXPECT_EQ(f->what, "Ed");
  e.ed(3) = 1.0;
  rad.dir_down(0)(1, 1) = -std::numeric_limits<double>::infinity();
  f = first_nonfinite(rad, e, nz, nmu, nphi);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->level, 0);  // in air
}

TEST(BandCheck, TheStopNamesBandAndDepth) {
  auto rs = std::make_unique<RunState>();
  rs->cmisc.nz = 2;
  rs->cmisc.nmu = 4;
  rs->cmisc.nphi = 8;
  rs->cmisc.jwave = 5;
  rs->cmisc.wavenm = 487.5;
  rs->cgrid.z(1) = 0.0;
  rs->cgrid.z(2) = 12.5;
  rs->der.cirrad.eou(2) = std::numeric_limits<double>::quiet_NaN();
  try {
    require_finite_band(*rs);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "radanal");
    EXPECT_EQ(e.message(), "non-finite Eou in band 5 (487.5 nm) at depth 12.5 m (grid depth 2); nothing of this band "
                           "is written");
  }
}
