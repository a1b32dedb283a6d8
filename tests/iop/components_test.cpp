#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "control/errors.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "iop_fixture.hpp"

using namespace abyss;
using abyss::testing::stop_of;

class Components : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    rs.cmisc.ncomp = rs.cmisc.nconc = 4;
    rs.cmodelopts.opts[1] = 2;
  }
  std::size_t count(const std::string& text) {
    const std::string p = printout();
    std::size_t n = 0;
    for (auto i = p.find(text); i != std::string::npos; i = p.find(text, i + 1)) ++n;
    return n;
  }
};

TEST_F(Components, AstarExponentialModelAndItsDescription) {
  rs.comp.astar_opt(3) = 4;
  rs.comp.astar_A(3) = 1.0;
  rs.comp.astar_S(3) = 0.014;
  rs.comp.astar_wave0(3) = 440.0;
  EXPECT_NEAR(astar(rs, 3, 500.0), std::exp(-0.014 * 60.0), 1e-15);
  EXPECT_DOUBLE_EQ(astar(rs, 3, 440.0), 1.0);
  EXPECT_EQ(printout(),
            "\n     Specific Absorption for component 3 calculated from an Exponential model:\n"
            "        astar(waven) = 1.0000* exp[ -0.0140*(waven - 440.)]\n");
}

TEST_F(Components, AstarConstantAndSilentOptions) {
  rs.comp.astar_opt(2) = 6;
  rs.comp.astar_A(2) = 0.03;
  EXPECT_DOUBLE_EQ(astar(rs, 2, 600.0), 0.03);
  EXPECT_EQ(printout(), "\n     Specific Absorption for component 2assumed constant:\n        astar = 0.0300\n");
  for (int opt : {-2, -1, 1, 2, 5}) {
    rs.iopflags = IopFlags{};
    rs.comp.astar_opt(4) = opt;
    EXPECT_DOUBLE_EQ(astar(rs, 4, 500.0), 1.0) << opt;
  }
  EXPECT_EQ(count("component 4"), 0u);
}

TEST_F(Components, InvalidAstarOptionIsReportedOnceAndGivesOne) {
  rs.comp.astar_opt(2) = -5;
  for (int j = 1; j <= rs.cmisc.nwave; ++j) EXPECT_DOUBLE_EQ(astar(rs, 2, rs.cwave.wave(j)), 1.0);
  EXPECT_EQ(printout(), " ASTAR: component #           2 Invalid option          -5\n");
}

TEST_F(Components, AstarFileValueExactlyAtWave0EvenOffTheRunGrid) {
  set_waves({440.0, 450.0});
  rs.comp.astar_opt(4) = 0;
  rs.comp.astar_wave0(4) = 442.5;
  rs.comp.astar_file[4] = data("astarmineral.txt");
  // The file holds 0.041 exp(-0.011 (l - 440)) every 5 nm; 442.5 nm lies midway between two records.
  const double mid = 0.5 * (0.041 + 0.041 * std::exp(-0.011 * 5.0));
  EXPECT_NEAR(astar(rs, 4, 442.5 + 0.9e-4), mid, 1e-6);
  EXPECT_NEAR(astar(rs, 4, 442.5 - 0.9e-4), mid, 1e-6);
  EXPECT_NEAR(astar(rs, 4, 442.5 + 1.1e-4), 0.041, 1e-6);  // no longer wave0: nearest run wavelength, 440
  EXPECT_NEAR(astar(rs, 4, 449.0), 0.041 * std::exp(-0.011 * 10.0), 1e-6);
  EXPECT_NE(printout().find("     Specific Absorption for component 4 read in from file: " + data("astarmineral.txt")),
            std::string::npos);
}

TEST_F(Components, BstarModels) {
  ComponentOpts& c = rs.comp;
  c.bstar_opt(2) = 1;
  c.bstar_B(2) = 0.3;
  c.bstar_X(2) = 0.62;
  c.bstar_n(2) = 1.0;
  c.bstar_wave0(2) = 550.0;
  EXPECT_NEAR(bstar(rs, 2, 440.0), 0.3 * 550.0 / 440.0, 1e-15);
  c.bstar_opt(3) = 2;
  c.bstar_B(3) = 2.0;
  c.bstar_m(3) = -0.001;
  c.bstar_i(3) = 1.5;
  c.bstar_wave0(3) = 500.0;
  EXPECT_NEAR(bstar(rs, 3, 600.0), 2.0 * (1.5 - 0.6) / (1.5 - 0.5), 1e-14);
  c.bstar_opt(4) = 3;
  c.bstar_B(4) = 0.25;
  EXPECT_DOUBLE_EQ(bstar(rs, 4, 700.0), 0.25);
  c.bstar_opt(1) = -1;
  EXPECT_DOUBLE_EQ(bstar(rs, 1, 700.0), 0.0);
  const std::string p = printout();
  EXPECT_NE(p.find("     Scattering for component 2 calculated using a Power Law model\n"
                   "        b = 0.3000 X^(0.6200) * (550./wavenm)^(1.0000)\n"),
            std::string::npos);
  EXPECT_NE(p.find("     Scattering for component 3 calculated using a Linear model:\n"), std::string::npos);
  EXPECT_NE(p.find("     Scattering for component 4 assumed constant:\n        b = 0.2500\n"), std::string::npos);
}

TEST_F(Components, BstarAttenuationOptionAndInvalidOption) {
  rs.comp.bstar_opt(2) = 4;
  rs.comp.bstar_B(2) = 0.5;
  rs.comp.bstar_n(2) = 0.0;
  rs.comp.bstar_wave0(2) = 550.0;
  EXPECT_DOUBLE_EQ(bstar(rs, 2, 400.0), 0.5);
  rs.comp.bstar_opt(3) = 9;
  EXPECT_DOUBLE_EQ(bstar(rs, 3, 400.0), 1.0);
  EXPECT_DOUBLE_EQ(bstar(rs, 3, 500.0), 1.0);
  EXPECT_EQ(count(" bstar: component #           3 Invalid option           9\n"), 1u);
  EXPECT_EQ(count("calculated from b = c - a, using a Power Law model\n        c = 0.5000"), 1u);
}

TEST_F(Components, NoChlorophyllOrCdomComponentAbsorbsNothing) {
  rs.cmodelopts.opts[5] = rs.cmodelopts.opts[6] = 0;
  EXPECT_EQ(achlz(rs, 5.0, 440.0), 0.0);
  EXPECT_EQ(acdomsub(rs, 5.0, 440.0), 0.0);
  EXPECT_EQ(printout(), "");
}

TEST_F(Components, NormalisedPigmentSpectrumFollowsMorel) {
  set_waves({440.0, 550.0});
  rs.cmodelopts.opts[5] = 2;
  rs.comp.conc_opt(2) = 0;
  rs.comp.constconc(2) = 2.0;
  rs.comp.astar_opt(2) = 3;
  rs.comp.astar_wave0(2) = 440.0;
  rs.comp.astar_file[2] = data("astarchl_norm_ps81.txt");
  EXPECT_NEAR(achlz(rs, 0.0, 550.0), 0.06 * 0.357 * std::pow(2.0, 0.65), 1e-12);
  EXPECT_NE(printout().find("     The Chlorophyll concentration is constant with depth with a value of   2.000 mg/m^3\n"),
            std::string::npos);
}

TEST_F(Components, CdomCovaryingWithChlorophyll) {
  set_waves({440.0, 500.0});
  rs.cmodelopts.opts[5] = 2;
  rs.cmodelopts.opts[6] = 3;
  rs.comp.conc_opt(2) = 0;
  rs.comp.constconc(2) = 1.0;
  rs.comp.astar_opt(2) = 6;
  rs.comp.astar_A(2) = 0.05;  // a_chl = 0.05 at every wavelength
  rs.comp.astar_opt(3) = -2;
  rs.comp.astar_A(3) = 0.3;
  rs.comp.astar_S(3) = 0.015;
  rs.comp.astar_wave0(3) = 440.0;
  EXPECT_NEAR(acdomsub(rs, 0.0, 500.0), 0.3 * 0.05 * std::exp(-0.015 * 60.0), 1e-15);
  EXPECT_NE(printout().find("     CDOM absorption will covary with chlorophyll according to a Case 1 model\n"),
            std::string::npos);
  // The concentration of such a component is its absorption at the current wavelength.
  rs.cmisc.wavenm = 440.0;
  EXPECT_NEAR(abmodel(rs, 0.0)[3], 0.3 * 0.05, 1e-15);
}

TEST_F(Components, CaseOneCdomIsTwentyPercentOfPigmentAt440) {
  rs.cmodelopts.opts[1] = 1;
  rs.cmodelopts.opts[5] = 2;
  rs.comp.conc_opt(2) = 0;
  rs.comp.constconc(2) = 1.0;
  rs.comp.astar_opt(2) = 6;
  rs.comp.astar_A(2) = 0.06;
  EXPECT_NEAR(acdomsub(rs, 0.0, 540.0), 0.2 * 0.06 * std::exp(-1.4), 1e-15);
}

TEST_F(Components, ProfileWithOpticalDepthStops) {
  rs.cmisc.iop = 1;
  rs.files.profile[2] = data("chlzprofile_gaussian.txt");
  FatalError e = stop_of([&] { chlzdata(rs, 2, 1.0); });
  EXPECT_EQ(e.routine(), "chlzdata");
  EXPECT_EQ(e.message(), "depth type is not compatible");
  EXPECT_NE(printout().find("\nError in sub chlzdata:  called with optical depth: iop  =  1\n"), std::string::npos);
  rs.files.profile[4] = data("minzprofile_plume.txt");
  FatalError m = stop_of([&] { minzdata(rs, 4, 1.0); });
  EXPECT_EQ(m.routine(), "Minzdata");
  EXPECT_EQ(m.message(), "cannot use optical depth");
  EXPECT_EQ(stop_of([&] { cdomdata(rs, 3, 1.0); }).routine(), "cdomdata");
}

TEST_F(Components, ProfilesInterpolateAndClamp) {
  rs.files.profile[4] = data("minzprofile_plume.txt");
  EXPECT_NEAR(minzdata(rs, 4, 0.0), 4.5, 1e-9);
  EXPECT_NEAR(minzdata(rs, 4, 1.0), 0.5 * (4.5 + 0.5 + 4.0 * std::exp(-0.4)), 1e-5);
  EXPECT_NEAR(minzdata(rs, 4, 5000.0), 0.5 + 4.0 * std::exp(-40.0), 1e-6);
  EXPECT_EQ(count("101 records read"), 1u);  // loaded once
}

TEST_F(Components, AbmodelStopsOnOptionsItCannotServe) {
  rs.comp.conc_opt(2) = 3;
  FatalError e = stop_of([&] { abmodel(rs, 0.0); });
  EXPECT_EQ(e.routine(), "abmodel");
  EXPECT_EQ(e.message(), "OPTION not supported");
  rs.comp.conc_opt(2) = 0;
  rs.cmisc.ncomp = 5;
  rs.comp.conc_opt(5) = 2;  // a profile for a component that is neither Chl, CDOM nor minerals
  EXPECT_EQ(stop_of([&] { abmodel(rs, 0.0); }).message(), "concentration routine not specified");
}

TEST_F(Components, UserHooksStopWithTheirMessages) {
  rs.cmodelopts.opts[2] = 1;
  FatalError a = stop_of([&] { abmodel(rs, 0.0); });
  EXPECT_EQ(a.routine(), "user_abmodel");
  EXPECT_EQ(a.message(), "no concentrations specified");
  rs.cmodelopts.opts[1] = 7;
  FatalError s = stop_of([&] { abscat(rs, 0.0, 400.0, 4); });
  EXPECT_EQ(s.routine(), "user_abscat");
  EXPECT_EQ(s.message(), "no IOP model specified");
  rs.cmodelopts.opts[5] = 2;
  rs.comp.conc_opt(2) = 1;
  FatalError c = stop_of([&] { achlz(rs, 0.0, 400.0); });
  EXPECT_EQ(c.routine(), "user_achlz");
  EXPECT_EQ(c.message(), "subroutine not specified");
  rs.cmodelopts.opts[1] = 2;
  rs.cmodelopts.opts[6] = 3;
  rs.comp.conc_opt(3) = 1;
  FatalError d = stop_of([&] { acdomsub(rs, 0.0, 400.0); });
  EXPECT_EQ(d.routine(), "user_acdomsub");
  EXPECT_NE(printout().find("A subroutine will be called to provide aCDOM as a function of depth and wavelength"),
            std::string::npos);
}

TEST_F(Components, PureWaterAtTheNearestRunWavelength) {
  set_waves({440.0, 550.0});
  rs.files.purewater = data("pureh2o_abs_scat.txt");
  PureWater w = pureh2o(rs, 552.0);
  EXPECT_DOUBLE_EQ(w.a, 0.0565);
  EXPECT_NEAR(w.b, 0.00170679, 1e-12);
  EXPECT_DOUBLE_EQ(w.c, w.a + w.b);
  EXPECT_DOUBLE_EQ(pureh2o(rs, 440.0).a, 0.00635);
  EXPECT_EQ(count("Pure water a and b values are obtained from the file:"), 1u);
}

TEST_F(Components, BackscatterFractionPowerLaw) {
  rs.comp.bb_coef(2) = 0.01;
  rs.comp.bb_wave0(2) = 550.0;
  rs.comp.bb_expo(2) = 1.2;
  double bbtob = 0.0;
  try {
    bfcalc(rs, 2, 440.0, bbtob);  // the phase-function library may be absent in a test run
  } catch (const FatalError&) {
  }
  EXPECT_NEAR(bbtob, 0.01 * std::pow(550.0 / 440.0, 1.2), 1e-15);
}
