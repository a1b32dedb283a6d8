#include <gtest/gtest.h>

#include <cmath>

#include "band_fixture.hpp"
#include "derived/analysis.hpp"
#include "derived/radiance.hpp"

using namespace abyss;
using abyss::testing::BandRun;

namespace {
const double kPi = std::acos(-1.0);
}

TEST(DerivedIrradiance, UniformRadianceGivesIsotropicIrradiances) {
  BandRun b("irr0", 10, 24, 12, {0.0, 5.0});
  b.set_uniform(0.3);
  synhl(*b.rs);
  irrad(*b.rs);
  const Irradiances& e = b.rs->der.cirrad;
  for (int k = 0; k <= b.rs->cmisc.nz; ++k) {
    EXPECT_NEAR(e.eod(k), 2 * kPi * 0.3, 1e-12) << k;
    EXPECT_NEAR(e.eou(k), 2 * kPi * 0.3, 1e-12);
    EXPECT_NEAR(e.ed(k), kPi * 0.3, 1e-12);
    EXPECT_NEAR(e.eu(k), kPi * 0.3, 1e-12);
    EXPECT_NEAR(e.mubard(k), 0.5, 1e-12);
    EXPECT_NEAR(e.mubaru(k), 0.5, 1e-12);
    EXPECT_NEAR(e.mubar(k), 0.0, 1e-12);
    EXPECT_NEAR(e.r(k), 1.0, 1e-12);
    EXPECT_NEAR(e.eo(k), 4 * kPi * 0.3, 1e-12);
  }
}

TEST(DerivedIrradiance, PrintoutHeaderAndAirRowShortForm) {
  BandRun b("irr1", 6, 12, 6, {0.0});
  b.set_uniform(1.0);
  synhl(*b.rs);
  irrad(*b.rs);
  const std::string p = b.printout();
  EXPECT_NE(
      p.find("\n Irradiances (units of W/m^2 nm), Mean Cosines (Mubars), and Irradiance Reflectance at  405.0 nm\n\n"
             "   iz   zeta   z(m)          Eo          Eu          Ed   MUBARu   MUBARd    MUBAR   R = Eu/Ed\n"
             "    in air           1.2566E+01  3.1416E+00  3.1416E+00   0.5000   0.5000   0.0000  1.0000E+00\n"
             "    1  0.000   0.00  1.2566E+01"),
      std::string::npos)
      << p;
}

TEST(DerivedIrradiance, ExponentialDecayGivesEveryKEqualToK) {
  const double K = 0.37;
  BandRun b("irr2", 10, 24, 12, {1.0, 4.0});
  auto zk = [&](int k) { return b.rs->cgrid.z(k); };
  b.set_isotropic([](int u) { return 1.0 + u; }, [](int u) { return 0.1 * u; },
                  [&](int k, int u) { return (2.0 + u) * std::exp(-K * zk(k)); },
                  [&](int k, int u) { return 0.05 * u * std::exp(-K * zk(k)); });
  b.rs->cmisc.iprint = -1;
  synhl(*b.rs);
  irrad(*b.rs);
  kfcn(*b.rs);
  const KStore& st = b.rs->der.ckxcl;
  ASSERT_EQ(st.zmid.size(), 2u);
  for (int i = 0; i < kNumK; ++i)
    for (int p = 1; p <= 2; ++p) EXPECT_NEAR(st.k[static_cast<std::size_t>(i)](p, 1), K, 1e-9) << i << " " << p;
  const std::string out = b.printout();
  EXPECT_NE(
      out.find(
          "    zupper    zlower         z    Kou(z)    Kod(z)    Ko(z)     Ku(z)     Kd(z)    Knet(z)    KLu(z)\n"
          "     1.000     1.010     1.005    0.3700    0.3700    0.3700    0.3700    0.3700    0.3700    0.3700\n"),
      std::string::npos)
      << out;
}

TEST(DerivedIrradiance, UpwardExceedingDownwardLeavesKnetUndefined) {
  BandRun b("irr3", 6, 12, 6, {1.0});
  b.set_isotropic([](int) { return 1.0; }, [](int) { return 1.0; }, [](int k, int) { return k == 1 ? 1.0 : 0.9; },
                  [](int k, int) { return k == 1 ? 2.0 : 1.9; });
  synhl(*b.rs);
  irrad(*b.rs);
  kfcn(*b.rs);
  EXPECT_TRUE(std::isnan(b.rs->der.ckxcl.k[kKnet](1, 1)));
  EXPECT_FALSE(std::isnan(b.rs->der.ckxcl.k[kKd](1, 1)));
  const std::string p = b.printout();
  EXPECT_NE(p.find("       n/a"), std::string::npos) << p;
  EXPECT_EQ(p.find("NaN"), std::string::npos);
  EXPECT_EQ(p.find("Infinity"), std::string::npos);
}

TEST(DerivedIrradiance, DarkLayerGivesMarkerAndBandStoreFloor) {
  BandRun b("irr4", 6, 12, 6, {1.0, 2.0});
  b.set_isotropic([](int) { return 1.0; }, [](int) { return 0.1; }, [](int k, int) { return k >= 3 ? 0.0 : 1.0; },
                  [](int k, int) { return k >= 3 ? 0.0 : 0.1; });
  synhl(*b.rs);
  irrad(*b.rs);
  store_band(*b.rs);
  const BandStore& st = b.rs->der.ceospl;
  EXPECT_EQ(st.lneo_sum(3, 1), -1000.0);
  EXPECT_EQ(st.lneo(4, 1), -1000.0);
  EXPECT_EQ(st.ed(3, 1), 0.0);
  EXPECT_NEAR(st.lneo(1, 1), std::log(b.rs->der.cirrad.eo(1)), 1e-12);
  EXPECT_EQ(st.z(2), 1.01);
  EXPECT_TRUE(std::isnan(b.rs->der.cirrad.r(3)));
  const std::string p = b.printout();
  EXPECT_NE(p.find("    3  2.000   2.00  0.0000E+00  0.0000E+00  0.0000E+00      n/a      n/a      n/a         n/a\n"),
            std::string::npos)
      << p;
}

TEST(DerivedIrradiance, PathFunctionOfNonScatteringExponentialIsZero) {
  // L = L0 exp(-c z / mu) downward with no scattering: dL/dr = -c L, so the
  // path function mu dL/dz + c L vanishes and K+ = c / mu.
  const double c = 0.8;
  BandRun b("irr5", 6, 12, 6, {1.0});
  auto zk = [&](int k) { return b.rs->cgrid.z(k); };
  const double mu4 = b.rs->cgrid.fmu(4);
  b.set_isotropic([](int) { return 1.0; }, [](int) { return 0.0; },
                  [&](int k, int u) { return std::exp(-c * zk(k) / b.rs->cgrid.fmu(u)); },
                  [](int, int) { return 0.0; });
  for (int k = 1; k <= 2; ++k) b.rs->ciop.c(k) = c;
  b.rs->sel.krad = {4, 4, 1, 1, 1, 1};
  synhl(*b.rs);
  kradpath(*b.rs);
  const std::string p = b.printout();
  EXPECT_NE(
      p.find("  I  J  Theta   Phi  zupper zlower    z      RAD+       RAD-      PATHF+     PATHF-       K+       K-\n"),
      std::string::npos);
  const std::size_t row = p.find("\n  4  1");
  ASSERT_NE(row, std::string::npos) << p;
  std::istringstream in(p.substr(row + 1));
  double I, J, th, ph, z1, z2, z, lp, lm, pp;
  std::string pm, kp, km;
  in >> I >> J >> th >> ph >> z1 >> z2 >> z >> lp >> lm >> pp >> pm >> kp >> km;
  EXPECT_NEAR(th, 36.0, 1e-9);  // band 4 of 6 spans 27..45 degrees
  EXPECT_LT(std::abs(pp), 1e-4 * lp);
  EXPECT_NEAR(std::stod(kp), c / mu4, 1e-3);
  EXPECT_EQ(km, "n/a");  // no upward radiance
}
