#include <gtest/gtest.h>

#include "band_fixture.hpp"
#include "derived/radiance.hpp"

using namespace abyss;
using abyss::testing::BandRun;

TEST(DerivedSynthesis, OnlyModeZeroCosineGivesAzimuthIndependentRadiance) {
  BandRun b("syn0", 10, 24, 12, {0.0});
  std::vector<double> amp(mxamp, 0.0);
  for (int u = 1; u <= 10; ++u) amp[b.cos_index(u, 0) - 1] = 0.1 * u;
  Mat L(mxmu, mxphi);
  synrad(*b.rs, amp.data(), L);
  for (int u = 1; u < 10; ++u)
    for (int s = 1; s <= 24; ++s) EXPECT_DOUBLE_EQ(L(u, s), 0.1 * u) << u << " " << s;
  EXPECT_DOUBLE_EQ(L(10, 1), 1.0);
  for (int s = 2; s <= 24; ++s) EXPECT_EQ(L(10, s), 0.0);  // the cap is carried by s = 1 only
}

TEST(DerivedSynthesis, SineOfModeZeroAndLmaxVanishAtQuadCentres) {
  BandRun b("syn1", 10, 24, 12, {0.0});
  std::vector<double> amp(mxamp, 0.0);
  for (int u = 1; u <= 10; ++u) {
    amp[b.cos_index(u, 0) - 1] = 1.0;
    amp[b.sin_index(u, 0) - 1] = 7.0;
    amp[b.sin_index(u, 12) - 1] = -5.0;
  }
  Mat L(mxmu, mxphi);
  synrad(*b.rs, amp.data(), L);
  for (int u = 1; u < 10; ++u)
    for (int s = 1; s <= 24; ++s) EXPECT_NEAR(L(u, s), 1.0, 1e-12);
  // A sine amplitude of mode 1 does vary with azimuth: sin(phi) at 90 deg.
  amp[b.sin_index(3, 1) - 1] = 0.5;
  synrad(*b.rs, amp.data(), L);
  EXPECT_NEAR(L(3, 7), 1.5, 1e-12);
  EXPECT_NEAR(L(3, 19), 0.5, 1e-12);
}

TEST(DerivedSynthesis, NegativeNonPolarRadianceIsZeroedSilentlyInSynthesis) {
  BandRun b("syn2", 6, 12, 6, {0.0});
  b.set_uniform(1.0);
  b.rs->sol.cramp_up(b.cos_index(2, 0), 1) = -3.0;
  synhl(*b.rs);
  EXPECT_EQ(b.rs->der.rad.dif_up(1)(2, 5), 0.0);
  EXPECT_EQ(b.printout().find("WARNING"), std::string::npos);
}

TEST(DerivedSynthesis, NegativePolarCapIsZeroedWithTheWarning) {
  BandRun b("syn3", 6, 12, 6, {0.0, 5.0, 10.0});
  b.set_uniform(1.0);
  b.rs->sol.cramp_up(b.cos_index(6, 0), 3) = -2.0;  // grid depth 3 = 5.0 m
  b.rs->sol.cramp_up(b.cos_index(6, 0), 5) = -2.0;  // grid depth 5 = 10.0 m
  synhl(*b.rs);
  EXPECT_EQ(b.rs->der.rad.dif_up(3)(6, 1), 0.0);
  EXPECT_EQ(b.rs->der.rad.dif_up(5)(6, 1), 0.0);
  const std::string p = b.printout();
  EXPECT_NE(p.find(" WARNING:  some calculated radiances were negative.  Negative radiances have been set to zero. \n"
                   " Results below    5.0m may not be correct. \n"),
            std::string::npos)
      << p;
}

TEST(DerivedSynthesis, DiffuseIsTotalMinusDirect) {
  BandRun b("syn4", 6, 12, 6, {0.0});
  b.set_uniform(2.0);
  // A direct beam at grid depth 1 of 0.5 in band 4: diffuse there is 1.5.
  b.rs->sol.cramp0(b.cos_index(4, 0), 2) = 0.5;
  synhl(*b.rs);
  const Radiances& r = b.rs->der.rad;
  EXPECT_NEAR(r.dif_down(1)(4, 3), 1.5, 1e-12);
  EXPECT_NEAR(r.dir_down(1)(4, 3), 0.5, 1e-12);
  EXPECT_NEAR(total_down(*b.rs, 1, 4, 3), 2.0, 1e-12);
  // Downward in air equals the direct (sky) amplitudes: no diffuse radiance there.
  for (int u = 1; u <= 6; ++u) EXPECT_EQ(r.dif_down(0)(u, 1), 0.0);
  EXPECT_NEAR(r.dir_down(0)(2, 1), 2.0, 1e-12);
}
