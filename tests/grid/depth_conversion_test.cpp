#include <gtest/gtest.h>

#include "control/errors.hpp"
#include "grid/depth_conversion.hpp"
#include "depth_test_run.hpp"

using namespace abyss;
using abyss::testing::TestRun;

namespace {

const char* kQagFirst = "     Routine \"QAG\" had a difficult time integrating dzeta/c in routine zetatoz.\n";

TEST(DepthConversion, HomogeneousWaterGivesZetaEqualCz) {
  TestRun t("zhom", 0.3, 0.9);
  t.set_depths({0.0, 0.5, 1.0, 2.5, 10.0, 40.0});
  ztozeta(*t.rs);
  for (int k = 1; k <= 6; ++k) EXPECT_NEAR(t.rs->cgrid.zeta(k), 1.2 * t.rs->cgrid.z(k), 1e-9);
  EXPECT_EQ(t.printout().find("QAG"), std::string::npos);
}

TEST(DepthConversion, OpticalToGeometricInvertsTheForwardConversion) {
  TestRun t("zinv", 0.05, 0.2);
  auto& g = t.rs->cgrid;
  t.rs->cmisc.nz = 4;
  g.zeta(1) = 0.5; g.zeta(2) = 1.0; g.zeta(3) = 2.0; g.zeta(4) = 7.5;
  zetatoz(*t.rs);
  for (int k = 1; k <= 4; ++k) EXPECT_NEAR(g.z(k), g.zeta(k) / 0.25, 1e-9);
}

TEST(DepthConversion, TableStartsAtFirstOutputDepthAndAgreesWithZeta) {
  // The grid does not begin at the surface: the first table entry carries
  // zeta(1), not 0, so interpolating the table at any zeta(k) returns z(k).
  TestRun t("ztab", 0.2, 0.3);
  t.set_depths({2.0, 3.0, 7.0});
  ztozeta(*t.rs);
  const auto& tab = t.rs->cztozeta;
  EXPECT_DOUBLE_EQ(tab.z[0], 2.0);
  EXPECT_NEAR(tab.zeta[0], 1.0, 1e-12);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(z_of_zeta(*t.rs, t.rs->cgrid.zeta(k)), t.rs->cgrid.z(k), 1e-9);
  EXPECT_NEAR(z_of_zeta(*t.rs, 2.0), 4.0, 1e-9);
  // Density: min(10, INT((2800 - 3) / 7)) = 10 parts per metre: 1 + (10+1) + (40+1) entries.
  EXPECT_EQ(tab.n, 53);
  EXPECT_DOUBLE_EQ(tab.z[static_cast<std::size_t>(tab.n - 1)], 7.0);
  // Beyond the ends the local attenuation carries the depth on.
  EXPECT_NEAR(z_of_zeta(*t.rs, 3.5 + 0.25), 7.5, 1e-9);
  EXPECT_NEAR(z_of_zeta(*t.rs, 0.5), 1.0, 1e-9);
}

TEST(DepthConversion, SingleOutputDepthGivesOneTableEntry) {
  TestRun t("zone", 0.1, 0.1);
  t.set_depths({5.0});
  ztozeta(*t.rs);
  EXPECT_NEAR(t.rs->cgrid.zeta(1), 1.0, 1e-12);
  EXPECT_EQ(t.rs->cztozeta.n, 1);
  t.set_depths({0.0});
  ztozeta(*t.rs);  // z(nz) = 0 must not divide by zero
  EXPECT_EQ(t.rs->cztozeta.n, 1);
}

TEST(DepthConversion, DeepGridGetsOnePartPerInterval) {
  // z(nz) = 5000 m: INT((2800 - 3) / 5000) = 0 parts per metre, so every
  // interval is one part and the table holds exactly the output depths.
  TestRun t("zdeep", 0.001, 0.001);
  t.set_depths({0.0, 1000.0, 5000.0});
  ztozeta(*t.rs);
  const auto& tab = t.rs->cztozeta;
  ASSERT_EQ(tab.n, 3);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_DOUBLE_EQ(tab.z[static_cast<std::size_t>(k - 1)], t.rs->cgrid.z(k));
    EXPECT_DOUBLE_EQ(tab.zeta[static_cast<std::size_t>(k - 1)], t.rs->cgrid.zeta(k));
  }
  EXPECT_NEAR(t.rs->cgrid.zeta(3), 10.0, 1e-9);
}

TEST(DepthConversion, TableNeverExceedsItsCapacity) {
  TestRun t("zcap", 0.1, 0.1);
  auto& g = t.rs->cgrid;
  t.rs->cmisc.nz = 400;
  for (int k = 1; k <= 400; ++k) g.z(k) = 0.7 * k;  // nd = INT(2400/280) = 8 per metre
  ztozeta(*t.rs);
  EXPECT_LE(t.rs->cztozeta.n, ZetaTable::kCapacity);
  EXPECT_NEAR(g.zeta(400), 0.2 * 280.0, 1e-8);
}

TEST(DepthConversion, ZeroAttenuationStopsWithTrivialCase) {
  TestRun t("zzero", 0.0, 0.0);
  t.set_depths({0.0, 1.0});
  try {
    ztozeta(*t.rs);
    FAIL() << "expected a stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "ZTOZETA");
    EXPECT_EQ(e.message(), "trivial case");
  }
  EXPECT_EQ(t.console.str(), "Total attenuation is ZERO.  Light field does not change with depth.\n");
  t.rs->cgrid.zeta(1) = 0.0;
  t.rs->cgrid.zeta(2) = 1.0;
  try {
    zetatoz(*t.rs);
    FAIL() << "expected a stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "ZETATOZ");
    EXPECT_EQ(e.message(), "trivial case");
  }
}

TEST(DepthConversion, QagDifficultyIsReportedOncePerRunAndConversion) {
  TestRun t("zqag");
  qag_warning(*t.rs, false);
  qag_warning(*t.rs, false);
  std::string p = t.printout();
  EXPECT_EQ(p, std::string("\n") + kQagFirst +
                   "     This error message does not mean the results are necessarily inaccurate, so\n"
                   "     ingore the error message from \"QAG\" unless the output is clearly wrong.\n");
  qag_warning(*t.rs, true);
  qag_warning(*t.rs, true);
  EXPECT_EQ(abyss::testing::count_of(t.printout(), kQagFirst), 2);
  EXPECT_EQ(abyss::testing::count_of(
                t.printout(), "     ingore the error message from \"QAG\" unless the Abyssolver output is clearly wrong.\n"),
            1);
}

}  // namespace
