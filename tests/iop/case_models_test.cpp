#include <gtest/gtest.h>

#include <cmath>

#include "control/errors.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "iop_fixture.hpp"

using namespace abyss;

using abyss::testing::stop_of;

// Case 1: pure water + pigments (normalised Prieur-Sathyendranath shape) + CDOM.
class Case1 : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    set_waves({440.0, 550.0, 670.0});
    rs.cmodelopts.opts[1] = 1;
    rs.cmodelopts.opts[5] = 2;  // chlorophyll is component 2
    rs.cmisc.ncomp = 2;
    rs.cmisc.nconc = 3;
    rs.comp.conc_opt(2) = 0;
    rs.comp.astar_opt(2) = 3;
    rs.comp.astar_wave0(2) = 440.0;
    rs.comp.astar_file[2] = data("astarchl_norm_ps81.txt");
    rs.files.purewater = data("pureh2o_abs_scat.txt");
  }
};

TEST_F(Case1, MatchesHandComputedValuesAtTwoChlorophyllsAndThreeWavelengths) {
  // a = a_w + 0.06 A(l) Chl^0.65 + 0.012 Chl^0.65 exp(-0.014 (l - 440)), b = b_w + 0.3 Chl^0.62 550/l
  // with Pope & Fry a_w, Zhang-Hu-He b_w and the P&S shape A = 1, 0.357, 0.595 at 440, 550, 670 nm.
  struct Case {
    double chl, wave, atot, btot;
  };
  const Case cases[] = {{0.1, 440.0, 0.0224687922, 0.0943358345}, {0.1, 550.0, 0.0618712681, 0.0736717776},
                        {0.1, 670.0, 0.447099572, 0.0598257421},  {2.0, 440.0, 0.11933011, 0.580707793},
                        {2.0, 550.0, 0.0941483828, 0.462769344},  {2.0, 670.0, 0.495771659, 0.379234192}};
  for (double chl : {0.1, 2.0}) {
    rs.iopflags = IopFlags{};  // a fresh run for each chlorophyll value
    rs.comp.constconc(2) = chl;
    for (const Case& c : cases) {
      if (c.chl != chl) continue;
      IopValues v = abscat(rs, 5.0, c.wave, 2);
      EXPECT_NEAR(v.atot, c.atot, 1e-7 * c.atot) << chl << " " << c.wave;
      EXPECT_NEAR(v.btot, c.btot, 1e-7 * c.btot) << chl << " " << c.wave;
      EXPECT_DOUBLE_EQ(v.atot, v.a[1] + v.a[2] + v.a[3]);
    }
  }
}

TEST_F(Case1, FirstCallDescribesTheModelAndTabulatesChlorophyll) {
  rs.comp.constconc(2) = 0.5;
  rs.cmisc.iprint = 0;
  rs.sel.pirrad = {1, 3};
  abscat(rs, 0.0, 440.0, 2);
  abscat(rs, 0.0, 550.0, 2);
  const std::string p = printout();
  EXPECT_EQ(p.rfind("\n     The IOP routine \"abcase1\" is being used:\n"
                    "     Absorption and scattering coefficients for case 1 water (Gordon and Morel bio-optical models) "
                    "are used.\n"
                    "        component 1 is pure water\n"
                    "        component 2 is pigmented particles\n"
                    "        component 3 is CDOM that covaries with chlorophyll\n",
                    0),
            0u);
  EXPECT_NE(p.find("     Absorption for component 2 calculated from the Prieur-Sathyenranath-Morel model\n"),
            std::string::npos);
  EXPECT_NE(p.find("     Chlorophyll concentrations at the requested output depths\n\n"
                   "        depth (m)    Chl (mg/m^3)\n"
                   "            0.000          0.5000\n"
                   "           50.000          0.5000\n"),
            std::string::npos);
  EXPECT_EQ(p.find("abcase1", p.find("abcase1") + 1), std::string::npos);  // described once
}

TEST_F(Case1, WrongComponentCountStops) {
  FatalError e = stop_of([&] { abscat(rs, 0.0, 440.0, 3); });
  EXPECT_EQ(e.routine(), "abcase1");
  EXPECT_EQ(e.message(), "# components is not compatible");
  EXPECT_NE(printout().find("Error in sub abcase1:  ncomp = 3 must equal 2 for this version\n"), std::string::npos);
}

TEST_F(Case1, OpticalDepthStops) {
  rs.cmisc.iop = 1;
  FatalError e = stop_of([&] { abscat(rs, 0.0, 440.0, 2); });
  EXPECT_EQ(e.message(), "depth type is not compatible");
  EXPECT_NE(printout().find("Error in sub abcase1:  called with optical depth: iop = 1\n"), std::string::npos);
}

TEST_F(Case1, ZeroNormalisationSwitchesPigmentAbsorptionOff) {
  rs.comp.astar_opt(2) = 6;  // constant astar A = 0
  rs.comp.astar_A(2) = 0.0;
  rs.comp.constconc(2) = 1.0;
  IopValues v = abscat(rs, 0.0, 550.0, 2);
  EXPECT_EQ(v.a[2], 0.0);
  EXPECT_GT(v.a[3], 0.0);
  EXPECT_NE(printout().find("     Astar for component 2 is zero at reference wavelength 440 nm.\n"
                            "     (used to normalize absorption)\n"),
            std::string::npos);
}

// Case 2: water, chlorophyll particles (profile), CDOM (constant), minerals (profile).
class Case2 : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    set_waves({440.0, 550.0, 670.0});
    rs.cmodelopts.opts[1] = 2;
    rs.cmodelopts.opts[5] = 2;
    rs.cmodelopts.opts[6] = 3;
    rs.cmisc.ncomp = rs.cmisc.nconc = 4;
    ComponentOpts& c = rs.comp;
    c.conc_opt(2) = 2;
    c.astar_opt(2) = 0;
    c.astar_file[2] = data("astarchl_abs_ps81.txt");
    c.bstar_opt(2) = 1;
    c.bstar_B(2) = 0.3;
    c.bstar_X(2) = 0.62;
    c.bstar_n(2) = 1.0;
    c.bstar_wave0(2) = 550.0;
    c.conc_opt(3) = 0;
    c.constconc(3) = 0.2;
    c.astar_opt(3) = 4;
    c.astar_A(3) = 1.0;
    c.astar_S(3) = 0.014;
    c.astar_wave0(3) = 440.0;
    c.bstar_opt(3) = -1;
    c.conc_opt(4) = 2;
    c.astar_opt(4) = 0;
    c.astar_file[4] = data("astarmineral.txt");
    c.bstar_opt(4) = 0;
    c.bstar_X(4) = 1.0;
    c.bstar_wave0(4) = 1.0;
    c.bstar_file[4] = data("bstarmineral.txt");
    rs.files.purewater = data("pureh2o_abs_scat.txt");
    rs.files.profile[2] = data("chlzprofile_gaussian.txt");
    rs.files.profile[4] = data("minzprofile_plume.txt");
  }
};

TEST_F(Case2, TotalsAreTheSumsOfTheComponents) {
  for (double z : {0.0, 10.0, 40.0})
    for (double w : {440.0, 550.0, 670.0}) {
      IopValues v = abscat(rs, z, w, 4);
      EXPECT_NEAR(v.atot, v.a[1] + v.a[2] + v.a[3] + v.a[4], 1e-15);
      EXPECT_NEAR(v.btot, v.b[1] + v.b[2] + v.b[3] + v.b[4], 1e-15);
      EXPECT_EQ(v.b[3], 0.0);  // dissolved matter does not scatter
    }
}

TEST_F(Case2, ComponentsFollowTheirPublishedModels) {
  const double z = 10.0, w = 550.0;
  IopValues v = abscat(rs, z, w, 4);
  const double cmin = 0.5 + 4.0 * std::exp(-z / 5.0);  // plume profile, a record of the file
  EXPECT_NEAR(v.a[4], 0.041 * std::exp(-0.011 * (w - 440.0)) * cmin, 1e-5 * v.a[4]);
  EXPECT_NEAR(v.b[4], 0.5 * std::pow(w / 555.0, -0.5) * cmin, 1e-5 * v.b[4]);
  EXPECT_NEAR(v.a[3], 0.2 * std::exp(-0.014 * (w - 440.0)), 1e-12);
  const double chl = 0.2 + 20.0 / (10.0 * std::sqrt(2.0 * M_PI)) * std::exp(-(z - 40.0) * (z - 40.0) / 200.0);
  EXPECT_NEAR(v.a[2], 0.06 * 0.357 * chl, 1e-5 * v.a[2]);  // linear in Chl with the absolute spectrum
  EXPECT_NEAR(v.b[2], 0.3 * std::pow(chl, 0.62), 1e-5 * v.b[2]);
  EXPECT_NEAR(v.a[1], 0.0565, 1e-12);
}

TEST_F(Case2, AttenuationOptionGivesCMinusA) {
  ComponentOpts& c = rs.comp;
  c.bstar_opt(4) = 4;
  c.bstar_B(4) = 0.8;
  c.bstar_n(4) = 0.7;
  c.bstar_wave0(4) = 550.0;
  IopValues v = abscat(rs, 0.0, 440.0, 4);
  EXPECT_NEAR(v.b[4] + v.a[4], 0.8 * std::pow(550.0 / 440.0, 0.7) * 4.5, 1e-9);
}

TEST_F(Case2, FirstCallNamesTheComponents) {
  abscat(rs, 0.0, 440.0, 4);
  const std::string p = printout();
  EXPECT_NE(p.find("        component 4 is mineral particles\n"), std::string::npos);
  EXPECT_NE(p.find("     The mineral particle concentration is obtained from a file of measured values read from a "
                   "file named:\n        " + data("minzprofile_plume.txt") + "\n"),
            std::string::npos);
  EXPECT_NE(p.find("     Specific scattering for component 4 read in from file: " + data("bstarmineral.txt") + "\n"),
            std::string::npos);
}

TEST_F(Case2, ComponentRolesAreChecked) {
  rs.cmodelopts.opts[6] = 0;
  FatalError e = stop_of([&] { abscat(rs, 0.0, 440.0, 4); });
  EXPECT_EQ(e.routine(), "abcase2");
  EXPECT_EQ(stop_of([&] { abcase2(rs, 0.0, 440.0, 3); }).message(), "# components is not compatible");
}
