#include <gtest/gtest.h>

#include <cmath>

#include "../solver/solver_fixture.hpp"
#include "bottom/bottom.hpp"
#include "bottom/infbotm.hpp"
#include "solver/riccati.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {
const double kPi = std::acos(-1.0);
}

TEST(BottomReflectance, LambertianOperatorReflectsRoverPiTimesEdIntoEveryQuad) {
  SolverSetup s;
  s.ibotm = 1;
  s.rbottom = 0.3;
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  botmbc(rs, 0);
  // Incident mode-0 amplitudes a_i: Ed = sum_i nphi a_i fmu_i omega_i (+ cap).
  const int nmu = rs.cmisc.nmu;
  double ed = 0.0;
  std::vector<double> a(nmu + 1);
  for (int i = 1; i <= nmu; ++i) {
    a[i] = 1.0 + 0.1 * i;
    ed += (i == nmu ? 1.0 : rs.cmisc.nphi) * a[i] * rs.cgrid.fmu(i) * rs.cgrid.omega(i);
  }
  for (int j = 1; j <= nmu; ++j) {
    double lu = 0.0;
    for (int i = 1; i <= nmu; ++i) lu += a[i] * rs.bot.cbotbc(i, j);
    EXPECT_NEAR(lu, 0.3 / kPi * ed, 1e-12) << j;
  }
  for (int l = 1; l <= rs.cmisc.lmax; ++l) {
    botmbc(rs, l);
    for (int i = 1; i <= nmu; ++i)
      for (int j = 1; j <= nmu; ++j) EXPECT_NEAR(rs.bot.cbotbc(i, j), 0.0, 1e-15) << l;
  }
}

TEST(BottomReflectance, BlackBottomGivesZeroOperator) {
  SolverSetup s;
  s.ibotm = 1;
  s.rbottom = 0.0;
  SolverRun run(s);
  for (int l = 0; l <= run->cmisc.lmax; ++l) {
    botmbc(*run, l);
    for (int i = 1; i <= run->cmisc.nmu; ++i)
      for (int j = 1; j <= run->cmisc.nmu; ++j) EXPECT_EQ(run->bot.cbotbc(i, j), 0.0);
  }
}

TEST(BottomReflectance, PrintoutLinesForAConstantReflectance) {
  SolverSetup s;
  s.ibotm = 1;
  s.rbottom = 0.25;
  SolverRun run(s);
  pntbc(*run);
  EXPECT_DOUBLE_EQ(rbottom(*run, 1, 600.0), 0.25);
  const std::string t = run.printout_text();
  EXPECT_NE(t.find("     The bottom reflectance R is contant at all wavelengths with  the value: \n"
                   "          R =  0.250\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("     The bottom bidirectional reflectance distribution  function (BRDF) is Lambertian:\n"
                   "        BRDF(mu',phi',mu,phi) = R/pi\n"),
            std::string::npos);
}

TEST(BottomReflectance, InfinitelyDeepWaterIsDescribed) {
  SolverSetup s;
  SolverRun run(s);
  pntbc(*run);
  EXPECT_NE(run.printout_text().find("infinitely deep below the deepest output depth"), std::string::npos);
}

TEST(BottomReflectance, QuadAveragingIsRedoneOnlyForANewWavelength) {
  SolverSetup s;
  s.ibotm = 1;
  s.rbottom = 0.2;
  SolverRun run(s);
  RunState& rs = *run;
  botmbc(rs, 0);
  const double before = rs.bot.cbotbc(2, 3);
  rs.cmisc.rbottom = 0.4;  // not seen while the wavelength stays the same
  botmbc(rs, 0);
  EXPECT_EQ(rs.bot.cbotbc(2, 3), before);
  rs.cmisc.wavenm = 560.0;
  botmbc(rs, 0);
  EXPECT_NEAR(rs.bot.cbotbc(2, 3), 2.0 * before, 1e-15);
}

// ---------------------------------------------------------------------------
// Infinitely deep water

TEST(InfiniteBottom, NonScatteringDeepLayerReflectsNothingInEveryMode) {
  SolverSetup s;
  s.a = 0.5;
  s.b = 0.0;
  SolverRun run(s);
  for (int l = 0; l <= run->cmisc.lmax; ++l) {
    infbotm(*run, l);
    for (int i = 1; i <= run->cmisc.nmu; ++i)
      for (int j = 1; j <= run->cmisc.nmu; ++j) EXPECT_NEAR(run->bot.cbotbc(i, j), 0.0, 1e-14) << l;
  }
}

TEST(InfiniteBottom, OperatorSolvesTheStationaryRiccatiEquation) {
  SolverSetup s;
  s.g = 0.8;
  SolverRun run(s);
  RunState& rs = *run;
  const int nmu = rs.cmisc.nmu;
  for (int l : {0, 1, 5, rs.cmisc.lmax}) {
    infbotm(rs, l);
    const Mat& R = rs.bot.cbotbc;
    const Mat& rho = rs.sol.crhotau.rhohat;
    const Mat& tau = rs.sol.crhotau.tauhat;
    double worst = 0.0;
    for (int i = 1; i <= nmu; ++i)
      for (int j = 1; j <= nmu; ++j) {
        double r = rho(i, j);
        for (int k = 1; k <= nmu; ++k) {
          r += tau(i, k) * R(k, j) + R(i, k) * tau(k, j);
          for (int m = 1; m <= nmu; ++m) r += R(i, k) * rho(k, m) * R(m, j);
        }
        worst = std::max(worst, std::fabs(r));
        if (l == 0) {
          EXPECT_GE(R(i, j), -1e-12);  // reflectances are not negative
        }
      }
    EXPECT_LT(worst, 1e-9) << l;
    if (l > 0) {
      for (int j = 1; j <= nmu; ++j) EXPECT_EQ(R(nmu, j) + R(j, nmu), 0.0);
    }
  }
}

TEST(InfiniteBottom, AsymptoticDistributionIsPrintedAndPhysical) {
  SolverSetup s;
  s.a = 0.1;
  s.b = 0.9;
  SolverRun run(s);
  RunState& rs = *run;
  rs.cmisc.iprint = 0;
  infbotm(rs, 0);
  // The asymptotic attenuation lies between the absorption and the beam attenuation.
  EXPECT_GT(rs.bot.kinf, 0.1);
  EXPECT_LT(rs.bot.kinf, 1.0);
  for (int u = 1; u <= rs.cmisc.nmu; ++u) {
    EXPECT_GT(rs.bot.lasym_down(u), 0.0);
    EXPECT_GT(rs.bot.lasym_up(u), 0.0);
  }
  const std::string t = run.printout_text();
  EXPECT_EQ(t.find("increase mxwork"), std::string::npos);
  EXPECT_NE(t.find("     The shape of the asymptotic radiance distribution\n"), std::string::npos);
  EXPECT_NE(t.find("    iu   theta(deg)   L_down/L_down(cap)   L_up/L_down(cap)\n"), std::string::npos);
  EXPECT_NE(t.find("    10         3.53          1.00000E+00"), std::string::npos) << t;
}

TEST(BottomReflectance, TabulatedReflectanceIsInterpolatedOntoTheBands) {
  SolverSetup s;
  s.ibotm = 2;
  SolverRun run(s);
  RunState& rs = *run;
  rs.cmisc.nwave = 2;
  rs.cwave.wave(1) = 400.0;
  rs.cwave.wave(2) = 500.0;
  rs.files.bottom = std::string(ABYSS_SOURCE_DIR) + "/data/botmrefl/reef_cca.txt";
  pntbc(rs);
  const double r400 = rbottom(rs, 2, 400.0);
  rbottom(rs, 2, 400.0);  // same wavelength: no second message
  const double r500 = rbottom(rs, 2, 500.0);
  EXPECT_NEAR(r400, 0.135819, 1e-9);
  EXPECT_NEAR(r500, 0.123266, 1e-9);
  EXPECT_EQ(rs.cmisc.rbottom, r500);
  const std::string t = run.printout_text();
  EXPECT_NE(t.find("     The bottom reflectance R is obtained from measured values read  from a file named:\n     " +
                   rs.files.bottom + "\n  (Linear interpolation is used to define R at all wavelengths)\n"),
            std::string::npos)
      << t;
  const std::string at400 = "     The bottom reflectance at wavelength 400.0 nm is  R = 0.136\n";
  EXPECT_NE(t.find(at400), std::string::npos) << t;
  EXPECT_EQ(t.find(at400, t.find(at400) + 1), std::string::npos);
  EXPECT_NE(t.find("     The bottom reflectance at wavelength 500.0 nm is  R = 0.123\n"), std::string::npos);
}
