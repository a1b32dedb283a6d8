// The ac-9 IOP model (IOP model 3): bilinear interpolation of measured a and c
// tables, the backscattering-meter choice of the phase function, its run
// options and its treatment of bad tables.
#include <gtest/gtest.h>

#include <string>

#include "control/errors.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "phase/dpf.hpp"
#include "iop_fixture.hpp"

using namespace abyss;
using abyss::testing::stop_of;

namespace {
// a (three values) then c (three values) per depth, at 440, 550 and 650 nm.
const char* kAc = "3\n440 550 650\n0 0.30 0.20 0.10 1.30 1.10 0.90\n10 0.50 0.30 0.20 2.50 2.20 1.80\n"
                  "20 0.40 0.25 0.15 1.40 1.20 1.00\n-1\n";
const char* kBb = "3\n440 550 650\n0 0.020 0.018 0.015\n10 0.040 0.036 0.030\n20 0.022 0.020 0.017\n-1\n";
}  // namespace

class Ac9Model : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    set_waves({440.0, 500.0, 700.0});
    rs.cmodelopts.opts[1] = 3;
    rs.cmisc.ncomp = rs.cmisc.nconc = 2;
    rs.files.purewater = data("pureh2o_abs_scat.txt");
    rs.files.ac9 = data_file("ac9.txt", kAc);
    rs.files.bbmeter = data_file("bb.txt", kBb);
    rs.comp.pf_opt(2) = 2;
    // The phase-function library of the data tree, on its own quad partition.
    rs.cdirnames.phasefun = std::string(ABYSS_SOURCE_DIR) + "/data/phasefun/Abyssolver/";
    rs.surf.quadid = {10, 24, 1};
    rs.cmisc.nmu = 10;
    rs.cmisc.nphi = 24;
  }
};

TEST_F(Ac9Model, EveryComponentMatchesHandComputedValuesAtThreeDepthsAndWavelengths) {
  // Bilinear in depth (0, 10, 20 m) and wavelength (440, 550, 650 nm), nearest table value beyond:
  // at 500 nm the weight of 550 nm is 60/110; 25 m takes the 20 m row, 700 nm the 650 nm column.
  struct Case {
    double z, wave, a, b, bb;
  };
  const Case cases[] = {{5, 440, 0.4, 1.5, 0.03},
                        {5, 500, 0.318181818182, 1.44545454545, 0.0283636363636},
                        {5, 700, 0.15, 1.2, 0.0225},
                        {10, 440, 0.5, 2, 0.04},
                        {10, 500, 0.390909090909, 1.94545454545, 0.0378181818182},
                        {10, 700, 0.2, 1.6, 0.03},
                        {25, 440, 0.4, 1, 0.022},
                        {25, 500, 0.318181818182, 0.972727272727, 0.0209090909091},
                        {25, 700, 0.15, 0.85, 0.017}};
  const double aw[] = {0.00635, 0.0204, 0.624}, bw[] = {0.0043796, 0.00254734, 0.000625497};
  auto near = [](double got, double want) { EXPECT_NEAR(got, want, 1e-6 * want); };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.z << " m, " << c.wave << " nm");
    const int j = c.wave == 440 ? 0 : c.wave == 500 ? 1 : 2;
    rs.cmisc.wavenm = c.wave;
    const IopValues v = abscat(rs, c.z, c.wave, 2);
    near(v.a[1], aw[j]);
    near(v.b[1], bw[j]);
    near(v.a[2], c.a);
    near(v.b[2], c.b);
    near(rs.comp.bbtob(2), c.bb / c.b);  // bb/b = bb / (c - a) chooses the phase function
    near(v.b[2] * rs.comp.bbtob(2), c.bb);
    EXPECT_DOUBLE_EQ(v.atot, v.a[1] + v.a[2]);
    EXPECT_DOUBLE_EQ(v.btot, v.b[1] + v.b[2]);
  }
}

TEST_F(Ac9Model, FirstCallStatesTheTablesAndTheirInterpolation) {
  abscat(rs, 0.0, 440.0, 2);
  const std::string p = printout();
  for (const char* line :
       {"     The IOP routine \"abacbb\" is being used:\n", "        component 2 is everything else: ac-9 a, b = c - a\n",
        "     The tables are referenced to pure water (they hold everything but water) and are used as they are\n",
        "     (Linear interpolation in depth and wavelength between tabulated values; outside the tabulated\n",
        "      depths and wavelengths the nearest tabulated value is used: constant extrapolation)\n",
        "          3 depths at   3 wavelengths read\n", "as specified by ac-9 and HYDROSCAT data files: \n"})
    EXPECT_NE(p.find(line), std::string::npos) << line;
  // Both tables end at 650 nm, short of the run's 700 nm: the data-range warnings list them.
  ASSERT_EQ(rs.crangew.entries.size(), 2u);
  EXPECT_EQ(rs.crangew.entries[0].name, rs.files.ac9);
  EXPECT_EQ(rs.crangew.entries[0].zmax, 20.0);
  EXPECT_EQ(rs.crangew.entries[0].wmax, 650.0);
  EXPECT_EQ(rs.crangew.entries[1].name, rs.files.bbmeter);
}

TEST_F(Ac9Model, TotalTablesHavePureWaterSubtractedAtTheTableWavelengths) {
  rs.comp.conc_opt(1) = 1;
  rs.comp.pf_opt(2) = 1;
  rs.cmisc.wavenm = 500.0;
  const IopValues v = abscat(rs, 10.0, 500.0, 2);
  // a_w(440, 550) = 0.00635, 0.0565; b_w = 0.0043796, 0.00170679; weight of 550 nm 60/110.
  const double t = 60.0 / 110.0;
  const double a = (1 - t) * (0.50 - 0.00635) + t * (0.30 - 0.0565);
  const double c = (1 - t) * (2.50 - 0.00635 - 0.0043796) + t * (2.20 - 0.0565 - 0.00170679);
  EXPECT_NEAR(v.a[2], a, 1e-12);
  EXPECT_NEAR(v.b[2], c - a, 1e-12);
  EXPECT_NE(printout().find("pure-water a and c are subtracted at the table wavelengths"), std::string::npos);
}

TEST_F(Ac9Model, CdomModeSplitsParticlesFromTheFilteredWaterTable) {
  rs.comp.abac9n = 1;
  rs.cmodelopts.opts[6] = 3;
  rs.cmisc.ncomp = 3;
  rs.comp.pf_opt(2) = 1;
  rs.files.ac9_cdom = data_file("ag.txt", "3\n440 550 650\n0 0.1 0.05 0.02 0.1 0.05 0.02\n20 0.2 0.1 0.04 0.2 0.1 0.04\n");
  const IopValues v = abscat(rs, 10.0, 440.0, 3);
  EXPECT_NEAR(v.a[3], 0.15, 1e-12);
  EXPECT_NEAR(v.a[2], 0.50 - 0.15, 1e-12);
  EXPECT_NEAR(v.b[2], 2.0, 1e-12);
  EXPECT_EQ(v.b[3], 0.0);
  EXPECT_DOUBLE_EQ(acdomsub(rs, 10.0, 440.0), v.a[3]);
}

TEST_F(Ac9Model, WithoutBackscatterFileTheConstantBbtobIsUsedAndSaidSo) {
  rs.files.bbmeter = data("no_such_backscatter_file.txt");
  rs.comp.bbtob(2) = 0.012;
  const IopValues v = abscat(rs, 10.0, 440.0, 2);
  EXPECT_NEAR(rs.comp.bbtob(2), 0.012, 1e-15);
  EXPECT_NEAR(v.b[2], 2.0, 1e-12);
  const std::string warn = "WARNING (abacbb): no backscattering-meter file " + rs.files.bbmeter +
                           "; the phase function of component 2 is chosen for the constant bb/b = 0.0120 of record 12 "
                           "at all depths";
  EXPECT_NE(console.str().find(warn), std::string::npos);
  EXPECT_NE(printout().find("     " + warn + "\n"), std::string::npos);
}

TEST_F(Ac9Model, AttenuationBelowAbsorptionIsRaisedAndReported) {
  rs.comp.pf_opt(2) = 1;
  rs.files.ac9 = data_file("bad.txt", "3\n440 550 650\n0 0.30 0.20 0.10 0.25 1.10 0.90\n10 0.5 0.3 0.2 2.5 2.2 1.8\n");
  const IopValues v = abscat(rs, 0.0, 440.0, 2);
  EXPECT_EQ(v.b[2], 0.0);
  EXPECT_NEAR(v.a[2], 0.30, 1e-15);
  const std::string warn = "WARNING (abacbb): c < a at 1 entries of " + rs.files.ac9 +
                           " (first at depth 0 m and 440 nm: a = 0.30000, c = 0.25000 1/m); c is set to a there "
                           "(no scattering)";
  EXPECT_NE(console.str().find(warn), std::string::npos);
  EXPECT_NE(printout().find(warn), std::string::npos);
}

TEST_F(Ac9Model, NegativeValuesAreReportedByCheckDatAndSetToZero) {
  rs.comp.pf_opt(2) = 1;
  rs.files.ac9 = data_file("neg.txt", "3\n440 550 650\n0 0.30 -0.02 0.10 1.3 1.1 0.9\n10 0.5 0.3 0.2 2.5 2.2 1.8\n");
  rs.cmisc.wavenm = 550.0;
  const IopValues v = abscat(rs, 0.0, 550.0, 2);
  EXPECT_EQ(v.a[2], 0.0);  // the zeroed datum, exactly at its node
  const std::string p = printout();
  EXPECT_NE(p.find("\nCheckDat: Error in data read from file\nnegative, non-physical data at depth: 0\n"),
            std::string::npos);
  EXPECT_NE(p.find("and wavelength: 550\nDatum set to zero.\n"), std::string::npos);
  EXPECT_NE(console.str().find("WARNING: 1 negative values in " + rs.files.ac9 + " were set to zero"),
            std::string::npos);
}

TEST_F(Ac9Model, BadTablesStopWithAClearMessage) {
  struct Bad {
    const char* text;
    const char* message;
    const char* detail;
  };
  const Bad bad[] = {
      {"3\n440 550 650\n0 1 1 1 2 2 2\n10 1 1 1 2 2 2\n10 1 1 1 2 2 2\n", "ac-9 table depths not monotonically increasing",
       "depth 10 m follows depth 10 m"},
      {"3\n440 550 540\n0 1 1 1 2 2 2\n", "ac-9 table wavelengths not monotonically increasing",
       "wavelength 3 (540 nm) does not increase from the one before"},
      {"3\n440 550 650\n0 1 1 1 2 2\n", "ac-9 table: short data record", "the record at depth 0 m has 6 values"},
      {"3\n440 550 650\n-1\n", "ac-9 table: no data", "no data records"},
      {"3\n440 550 650\n0 1 x 1 2 2 2\n", "ac-9 table unreadable", "data record 1 holds something"},
      {"0\n\n0 1\n", "ac-9 table: bad number of wavelengths", "0 wavelengths (1 to 100 allowed)"}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    rs.iopflags = IopFlags{};
    console.str("");
    rs.files.ac9 = data_file("bad.txt", b.text);
    const FatalError e = stop_of([&] { abscat(rs, 0.0, 440.0, 2); });
    EXPECT_EQ(e.routine(), "abacbb");
    EXPECT_EQ(e.message(), b.message);
    EXPECT_NE(console.str().find(b.detail), std::string::npos) << console.str();
  }
}

TEST_F(Ac9Model, BackscatterWavelengthsThatDoNotMatchStop) {
  rs.files.bbmeter = data_file("bb6.txt", "3\n442 550 650\n0 0.02 0.02 0.02\n-1\n");
  const FatalError e = stop_of([&] { abscat(rs, 0.0, 440.0, 2); });
  EXPECT_EQ(e.message(), "backscattering-meter and ac-9 wavelengths do not match");
  EXPECT_NE(console.str().find("  ac-9 (" + rs.files.ac9 + "): 440 550 650"), std::string::npos);
  EXPECT_NE(console.str().find("  backscattering meter (" + rs.files.bbmeter + "): 442 550 650"), std::string::npos);
}

TEST_F(Ac9Model, OptionsThatDoNotFitStop) {
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 3); }).message(), "# components is not compatible");
  rs.iopflags = IopFlags{};
  rs.comp.conc_opt(1) = 2;
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 2); }).message(), "pure-water option must be 0 or 1");
  rs.iopflags = IopFlags{};
  rs.comp.conc_opt(1) = 0;
  rs.comp.abac9n = 1;
  rs.cmisc.ncomp = 3;
  rs.cmodelopts.opts[6] = 2;
  EXPECT_EQ(stop_of([&] { abscat(rs, 0.0, 440.0, 3); }).message(), "component indices are not compatible");
}

TEST_F(Ac9Model, PhaseFunctionOption2IsOnlyForComponent2OfTheAc9Model) {
  check_pf_options(rs);  // model 3, component 2: accepted
  rs.comp.pf_opt(1) = 2;
  FatalError e = stop_of([&] { check_pf_options(rs); });
  EXPECT_EQ(e.message(), "phase-function option 2 needs the ac-9 IOP model (3)");
  rs.comp.pf_opt(1) = 0;
  for (int model : {0, 1, 2, 4}) {
    rs.cmodelopts.opts[1] = model;
    console.str("");
    e = stop_of([&] { check_pf_options(rs); });
    EXPECT_EQ(e.routine(), "initial");
    EXPECT_EQ(console.str(), " Phase-function option 2 (record 12) is given for component 2, but it needs the ac-9 IOP "
                             "model (model 3 in record 1); the run asks for IOP model " + std::to_string(model) + ".\n");
  }
}
