// The two-particle Case 1 model (IOP model 4): every component against values
// computed by hand from the published formulas and the Bricaud et al. (1998)
// coefficients, its first-call printout and its checks.
#include <gtest/gtest.h>

#include <cmath>

#include "control/errors.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "iop/newcase1.hpp"
#include "iop_fixture.hpp"

using namespace abyss;
using abyss::testing::stop_of;

class TwoParticle : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    set_waves({440.0, 550.0, 670.0});
    rs.cmodelopts.opts[1] = 4;
    rs.cmodelopts.opts[5] = 2;  // chlorophyll drives component 2
    rs.cmodelopts.opts[6] = 4;  // CDOM is component 4
    rs.cmisc.ncomp = rs.cmisc.nconc = 4;
    rs.comp.conc_opt(2) = 2;  // the Gaussian deep-maximum profile
    rs.files.profile[2] = data("chlzprofile_gaussian.txt");
    rs.files.purewater = data("pureh2o_abs_scat.txt");
  }
};

TEST_F(TwoParticle, EveryComponentMatchesHandComputedValuesAtThreeDepthsAndWavelengths) {
  // Chl from the profile: 0.200268 (0 m), 0.203616 (7 m, halfway between 6 and 8 m), 0.989985 (41 m).
  // a_w, b_w from the pure-water file; a_p = A_p Chl^E_p with A_p, E_p of Bricaud et al. at the wavelength;
  // a_g = 0.2 A_p(440) Chl^E_p(440) exp(-0.014 (l - 440)); b_p = 0.416 Chl^0.766 (l/550)^nu,
  // nu = 0.5 (log10 Chl - 0.3); f = 0.5 - 0.25 log10 Chl; bb = 0.012 f b_p + 0.002 (1 - f) b_p.
  struct Case {
    double z, wave, aw, ap, ag, bw, bs, bl, bbp;
  };
  const Case cases[] = {
      {0, 440, 0.00635, 0.01873741966, 0.003747483933, 0.0043796, 0.0915269901, 0.04414953262, 0.001186622946},
      {0, 550, 0.0565, 0.003070245551, 0.0008033897331, 0.00170679, 0.08187894955, 0.03949564331, 0.001061538681},
      {0, 670, 0.439, 0.005339901228, 0.0001497309389, 0.000750006, 0.07419681635, 0.03579004139, 0.0009619418789},
      {7, 440, 0.00635, 0.01893571674, 0.003787143347, 0.0043796, 0.09237518797, 0.04492504463, 0.001198352345},
      {7, 550, 0.0565, 0.003113227793, 0.000811891962, 0.00170679, 0.08270415131, 0.04022170639, 0.001072893229},
      {7, 670, 0.439, 0.005412790835, 0.0001513155331, 0.000750006, 0.07499786428, 0.03647388951, 0.0009729221504},
      {41, 440, 0.00635, 0.05168759466, 0.01033751893, 0.0043796, 0.2139988155, 0.2130653843, 0.002994116555},
      {41, 550, 0.0565, 0.01172561307, 0.002216168695, 0.00170679, 0.206853585, 0.2059513202, 0.00289414566},
      {41, 670, 0.439, 0.01972695789, 0.0004130361712, 0.000750006, 0.2007330552, 0.1998574873, 0.002808511637}};
  auto near = [](double got, double want) { EXPECT_NEAR(got, want, 1e-6 * want); };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.z << " m, " << c.wave << " nm");
    const IopValues v = abscat(rs, c.z, c.wave, 4);
    near(v.a[1], c.aw);
    near(v.a[2], c.ap);
    EXPECT_EQ(v.a[3], 0.0);  // large particles carry no absorption of their own
    near(v.a[4], c.ag);
    near(v.b[1], c.bw);
    near(v.b[2], c.bs);
    near(v.b[3], c.bl);
    EXPECT_EQ(v.b[4], 0.0);
    near(v.b[2] * rs.comp.bbtob(2) + v.b[3] * rs.comp.bbtob(3), c.bbp);
    EXPECT_DOUBLE_EQ(v.atot, v.a[1] + v.a[2] + v.a[3] + v.a[4]);
    EXPECT_DOUBLE_EQ(v.btot, v.b[1] + v.b[2] + v.b[3] + v.b[4]);
  }
  EXPECT_DOUBLE_EQ(rs.comp.bbtob(1), 0.0183);  // pure water keeps its own choice
}

TEST_F(TwoParticle, ChlorophyllAndCdomAbsorptionComeFromTheModelForTheSources) {
  abscat(rs, 0.0, 440.0, 4);
  const IopValues v = abscat(rs, 41.0, 550.0, 4);
  EXPECT_DOUBLE_EQ(achlz(rs, 41.0, 550.0), v.a[2]);
  EXPECT_DOUBLE_EQ(acdomsub(rs, 41.0, 550.0), v.a[4]);
  EXPECT_EQ(rs.comp.cbbcalc, 1);
}

TEST_F(TwoParticle, BackscatterFractionFollowsTheCase1RelationOverThreeDecades) {
  // Morel and Maritorena 2001: bb_p/b_p = 0.002 + 0.01 (0.5 - 0.25 log10 Chl): 1.08 %, 0.83 %, 0.58 %,
  // inside the 0.5-2 % measured in Case 1 waters (Ulloa et al. 1994; Twardowski et al. 2001).
  const double chl[] = {0.03, 0.3, 3.0}, want[] = {0.0108067, 0.0083067, 0.0058067};
  for (int i = 0; i < 3; ++i) {
    const TwoParticleIops p = two_particle_iops(chl[i], 550.0, 0.05, 0.65, 0.05, 0.65);
    const double bbb = (kBbtobSmall * p.b_small + kBbtobLarge * p.b_large) / p.b_p;
    EXPECT_NEAR(bbb, want[i], 1e-6) << chl[i];
    EXPECT_GT(bbb, 0.005);
    EXPECT_LT(bbb, 0.02);
  }
  EXPECT_NEAR(scattering_exponent(2.0), 0.0, 1e-3);  // continuous where the relation ends
  EXPECT_DOUBLE_EQ(scattering_exponent(5.0), 0.0);
  EXPECT_DOUBLE_EQ(scattering_exponent(0.001), scattering_exponent(0.02));
  EXPECT_DOUBLE_EQ(small_particle_share(1e-4), 1.0);
  EXPECT_DOUBLE_EQ(small_particle_share(1e3), 0.0);
  const TwoParticleIops none = two_particle_iops(0.0, 550.0, 0.05, 0.65, 0.05, 0.65);
  EXPECT_EQ(none.a_p + none.a_cdom + none.b_p, 0.0);
}

TEST_F(TwoParticle, FirstCallDescribesTheModelAndTabulatesChlorophyll) {
  rs.cmisc.iprint = 0;
  rs.sel.pirrad = {1, 3};
  set_depths({0.0, 20.0, 40.0});
  abscat(rs, 0.0, 440.0, 4);
  abscat(rs, 0.0, 550.0, 4);
  const std::string p = printout();
  EXPECT_EQ(p.find("     The IOP routine \"abnewcase1\" is being used:\n"), p.rfind("The IOP routine") - 5);
  for (const char* line :
       {"        component 2 is small particles (they carry all particulate absorption)\n",
        "        component 3 is large particles\n", "        component 4 is CDOM that covaries with chlorophyll\n",
        "     bb/b of small particles 0.0120, of large particles 0.0020: bb_p/b_p = 0.002 + 0.01 f (Morel and "
        "Maritorena 2001)\n",
        "     The data file header records from " ,
        "        depth (m)    Chl (mg/m^3)    small share f    bb_p/b_p\n",
        "            0.000          0.2003           0.6746     0.00875\n",
        "           40.000          0.9979           0.5002     0.00700\n"})
    EXPECT_NE(p.find(line), std::string::npos) << line;
  EXPECT_NE(p.find("ApDat are:"), std::string::npos);
  EXPECT_NE(p.find("EpDat are:"), std::string::npos);
}

TEST_F(TwoParticle, ChlorophyllOutsideTheShareRangeIsReportedOnce) {
  rs.comp.conc_opt(2) = 0;
  rs.comp.constconc(2) = 200.0;
  abscat(rs, 0.0, 440.0, 4);
  abscat(rs, 5.0, 550.0, 4);
  const std::string warn = "WARNING (abnewcase1): Chl = 2.000E+02 mg/m^3 at depth    0.00 m is outside 0.01-100 "
                           "mg/m^3; the small-particle share is held at 0 (all large) there";
  EXPECT_EQ(console.str(), " " + warn + "\n");
  EXPECT_NE(printout().find("     " + warn + "\n"), std::string::npos);
}

TEST_F(TwoParticle, WrongComponentCountRolesOrDepthTypeStop) {
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 3); }).message(), "# components is not compatible");
  rs.iopflags = IopFlags{};
  rs.cmodelopts.opts[6] = 3;
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 4); }).message(), "component indices are not compatible");
  rs.iopflags = IopFlags{};
  rs.cmodelopts.opts[6] = 4;
  rs.cmisc.iop = 1;
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 4); }).message(), "depth type is not compatible");
}
