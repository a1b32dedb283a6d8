#include <gtest/gtest.h>

#include <algorithm>

#include "control/errors.hpp"
#include "grid/depth_conversion.hpp"
#include "iop/abscat.hpp"

#include <cmath>
#include <sstream>
#include <vector>
#include <fstream>
#include "depth_test_run.hpp"
#include "support/case2_water.hpp"

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

namespace {

// Case 2 water whose only depth-varying part is a mineral profile with the
// given data records, at 500 nm.
void mineral_profile_water(TestRun& t, const std::string& profile_path, const std::string& records) {
  RunState& rs = *t.rs;
  std::ofstream prof(profile_path);
  for (int i = 1; i <= 10; ++i) prof << "mineral test profile, header " << i << "\n";
  prof << records << "-1 0\n";
  prof.close();
  abyss::testing::case2_mineral_profile_water(rs, profile_path);
  rs.cmisc.nwave = 1;
  rs.cmisc.iprint = -1;
  rs.cwave.wave(1) = 500.0;
}

// Attenuation c(z) = c_w + k C(z) with C = 1 above 10 m and 3 below (a 0.1 mm ramp).
void two_layer_water(TestRun& t, const std::string& profile_path) {
  mineral_profile_water(t, profile_path, "0 1\n10 1\n10.0001 3\n60 3\n");
}

}  // namespace

TEST(DepthConversion, TwoLayerProfileGivesTheExactPiecewiseIntegral) {
  TestRun t("ztwo");
  two_layer_water(t, std::string(ABYSS_BINARY_DIR) + "/test_ztwo_profile.txt");
  t.set_depths({0.0, 5.0, 10.0, 20.0, 30.0});
  ztozeta(*t.rs);
  auto c_at = [&](double z) {
    IopValues v = abscat(*t.rs, z, 500.0, 4);
    return v.atot + v.btot;
  };
  const double c1 = c_at(5.0), c3 = c_at(20.0);
  const double k = 0.5 * (c3 - c1), cw = c1 - k;
  ASSERT_NEAR(k, 0.55, 1e-12);  // a* + b* of the minerals
  // Integral of C: 10 (upper layer) + 0.0002 (ramp) + 19.9999 * 3 (lower layer) to 30 m.
  const double expect[] = {0.0, 5.0 * c1, 10.0 * c1, 10.0 * c1 + 0.0001 * 2.0 * k + 9.9999 * c3,
                           cw * 30.0 + k * (10.0 + 0.0002 + 19.9999 * 3.0)};
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(t.rs->cgrid.zeta(i + 1), expect[i], 1e-4) << i;
  // The fine table follows the kink: half way into the lower layer.
  EXPECT_NEAR(z_of_zeta(*t.rs, 10.0 * c1 + 5.0 * c3), 15.0, 1e-3);
}

// A step in a profile between two nodes of the fine table lands at its depth:
// the solver's slabs end where the IOPs change, not where a chord through the
// table cell puts the change.
TEST(DepthConversion, StepBetweenTableNodesKeepsItsDepth) {
  TestRun t("zstep");
  two_layer_water(t, std::string(ABYSS_BINARY_DIR) + "/test_zstep_profile.txt");
  t.set_depths({0.0, 3.05, 30.0});  // table cells ~0.1 m wide, none ending at 10 m
  ztozeta(*t.rs);
  auto c_at = [&](double z) {
    IopValues v = abscat(*t.rs, z, 500.0, 4);
    return v.atot + v.btot;
  };
  const double c1 = c_at(5.0), c3 = c_at(20.0);
  EXPECT_NEAR(z_of_zeta(*t.rs, 10.0 * c1), 10.0, 1e-7);
  // Past the 0.1 mm ramp the lower layer's attenuation carries the depth on.
  const double zeta_ramp = 10.0 * c1 + 0.0001 * 0.5 * (c1 + c3);
  EXPECT_NEAR(z_of_zeta(*t.rs, zeta_ramp + 0.03 * c3), 10.0301, 1e-6);
  EXPECT_NEAR(z_of_zeta(*t.rs, 10.0 * c1 - 0.03 * c1), 9.97, 1e-7);
}

namespace {

// A mineral profile tabulated every metre (a Gaussian layer at 12 m): c is
// linear between the nodes and kinks at each.
void gaussian_layer_water(TestRun& t, const std::string& profile_path) {
  std::ostringstream rec;
  for (int z = 0; z <= 40; ++z) rec << z << " " << 0.2 + 2.0 * std::exp(-0.5 * (z - 12.0) * (z - 12.0) / 9.0) << "\n";
  mineral_profile_water(t, profile_path, rec.str());
}

}  // namespace

// The profile's nodes are table entries, so every cell is smooth and takes
// the polynomial form of zeta(z), which inverts as exactly as the quadrature
// it replaces; the forward conversion of a node and its inversion return the
// node.
TEST(DepthConversion, PolynomialInversionAgreesWithQuadratureInversion) {
  TestRun t("zfit");
  gaussian_layer_water(t, std::string(ABYSS_BINARY_DIR) + "/test_zfit_profile.txt");
  t.set_depths({0.0, 2.35, 7.0, 19.5, 30.0});
  ztozeta(*t.rs);
  ZetaTable& tab = t.rs->cztozeta;
  ASSERT_EQ(tab.fit.size() + 1, static_cast<std::size_t>(tab.n));
  int smooth = 0;
  for (const CellFit& f : tab.fit) smooth += f.smooth;
  EXPECT_EQ(smooth, static_cast<int>(tab.fit.size()));
  for (int node = 3; node < 30; ++node)  // between the first and the last output depth
    EXPECT_EQ(std::count(tab.z.begin(), tab.z.begin() + tab.n, static_cast<double>(node)), 1) << node;
  std::vector<double> zeta, fast;
  const double last = tab.zeta[static_cast<std::size_t>(tab.n - 1)];
  for (int i = 0; i <= 400; ++i) zeta.push_back(last * (i + 0.37) / 401.0);
  for (double x : zeta) fast.push_back(z_of_zeta(*t.rs, x));
  for (int node = 1; node < 30; ++node) {
    const double zn = zeta_of_depth(*t.rs, node);
    EXPECT_NEAR(z_of_zeta(*t.rs, zn), node, 1e-9) << node;
  }
  const std::vector<CellFit> kept = tab.fit;
  tab.fit.clear();  // every cell by quadrature
  for (std::size_t i = 0; i < zeta.size(); ++i) EXPECT_NEAR(fast[i], z_of_zeta(*t.rs, zeta[i]), 1e-9) << zeta[i];
  for (int node = 1; node < 30; ++node) {
    const double zn = zeta_of_depth(*t.rs, node);
    tab.fit = kept;
    EXPECT_NEAR(zeta_of_depth(*t.rs, node), zn, 1e-10) << node;
    tab.fit.clear();
  }
}
