#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "phase/dpf.hpp"
#include "phase/dpf_file.hpp"
#include "phase/quad_average.hpp"

using namespace abyss;
namespace fs = std::filesystem;

namespace {

constexpr int kNmu = 3, kNphi = 4, kType = 1;
constexpr int kM = kNmu * (kNphi / 2 + 1);

// A member whose every element encodes its bb/b, row and column, so that
// interpolation weights can be read off the result.
double element(double bb, int r, int I, bool refl) { return 1000.0 * bb + r + 0.01 * I + (refl ? 0.5 : 0.0); }

class SelpfbbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("abyss_selpfbb_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    rs_.cdirnames.phasefun = dir_.string() + "/";
    rs_.surf.quadid = {kNmu, kNphi, kType};
    rs_.cmisc.nmu = kNmu;
    rs_.cmisc.nphi = kNphi;
    rs_.cmisc.zcur = 12.5;
    rs_.cmisc.wavenm = 550.0;
    rs_.printout.open(dir_ / "printout.txt");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void member(const std::string& name, double bb, int nmu = kNmu, int nphi = kNphi, int type = kType) {
    phase::DpfArrays d{kNmu, kNphi, Mat(kNmu, kM), Mat(kNmu, kM)};
    for (int I = 1; I <= kM; ++I)
      for (int r = 1; r <= kNmu; ++r) d.pt(r, I) = element(bb, r, I, false), d.pr(r, I) = element(bb, r, I, true);
    phase::DpfHeader h;
    h.title = "test member " + name;
    h.nmu = nmu, h.nphi = nphi, h.type = type, h.bbtob = bb;
    std::ofstream os(dir_ / name);
    phase::write_dpf(os, h, d);
  }
  void list(const std::vector<std::string>& names) {
    std::ofstream os(dir_ / "pfbblist.txt");
    for (const auto& n : names) os << n << '\n';
  }
  std::string printout() {
    rs_.printout.flush();
    std::ifstream in(dir_ / "printout.txt");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Checks that component k holds (1 - t) member(lo) + t member(hi).
  void expect_mix(int k, double lo, double hi, double t) {
    for (int I = 1; I <= kM; ++I)
      for (int r = 1; r <= kNmu; ++r) {
        EXPECT_NEAR(rs_.pf.pt[k](r, I), (1 - t) * element(lo, r, I, false) + t * element(hi, r, I, false), 1e-9);
        EXPECT_NEAR(rs_.pf.pr[k](r, I), (1 - t) * element(lo, r, I, true) + t * element(hi, r, I, true), 1e-9);
      }
  }
  void three_members() {
    member("a.dpf", 0.001);
    member("b.dpf", 0.01);
    member("c.dpf", 0.1);
  }
  std::string fatal_message(double bb) {
    try {
      selpfbb(rs_, bb, 1);
    } catch (const FatalError& e) {
      EXPECT_EQ(e.routine(), "SELPFBB");
      return e.message();
    }
    return "";
  }

  fs::path dir_;
  RunState rs_;
};

const std::string kMuGroup =
    "     Error in SELPFBB: surfwind and DPF files must have the\n"
    "     same spatial quads!\n"
    "     The MU quads read from phase function bad.dpf\n"
    "      do not match the surfwind file\n";
const std::string kIgnore =
    " Quads of DPF file do not match surfwind.\n"
    " Ignoring bad.dpf\n"
    " Will attempt to read and use other FF files\n";

TEST_F(SelpfbbTest, ListedValueGivesThatMemberUnchanged) {
  three_members();
  list({"a.dpf", "b.dpf", "c.dpf"});
  selpfbb(rs_, 0.01, 2);
  expect_mix(2, 0.01, 0.01, 0.0);
  EXPECT_EQ(printout(), "");  // printout level 0: no selection line, in range: no warning
}

TEST_F(SelpfbbTest, InterpolatesLinearlyInBbtobAndListOrderDoesNotMatter) {
  three_members();
  list({"c.dpf", "a.dpf", "b.dpf"});
  // The returned choice names the blend the arrays hold (sorted member indices).
  const PhaseChoice c1 = selpfbb(rs_, 0.0055, 1);
  expect_mix(1, 0.001, 0.01, 0.5);
  EXPECT_EQ(c1.lo, 0);
  EXPECT_DOUBLE_EQ(c1.t, 0.5);
  EXPECT_EQ(c1.bbtob, 0.0055);
  const PhaseChoice c2 = selpfbb(rs_, 0.07, 1);
  expect_mix(1, 0.01, 0.1, 2.0 / 3.0);
  EXPECT_EQ(c2.lo, 1);
  EXPECT_DOUBLE_EQ(c2.t, 2.0 / 3.0);
  EXPECT_EQ(rs_.dpflib.bb, (std::vector<double>{0.001, 0.01, 0.1}));
  EXPECT_EQ(rs_.dpflib.perm, (std::vector<int>{1, 2, 0}));
}

TEST_F(SelpfbbTest, BracketPersistsBetweenCallsAndComponents) {
  three_members();
  list({"a.dpf", "b.dpf", "c.dpf"});
  selpfbb(rs_, 0.05, 1);
  EXPECT_EQ(rs_.dpflib.ilo, 1);
  EXPECT_EQ(rs_.dpflib.ihi, 2);
  selpfbb(rs_, 0.01, 2);  // inside the remembered bracket [0.01, 0.1]: kept, t = 0
  EXPECT_EQ(rs_.dpflib.ilo, 1);
  expect_mix(2, 0.01, 0.1, 0.0);
  selpfbb(rs_, 0.002, 2);
  EXPECT_EQ(rs_.dpflib.ilo, 0);
  EXPECT_EQ(rs_.dpflib.ihi, 1);
}

TEST_F(SelpfbbTest, ClampsWithWarningBelowAndAboveTheLibrary) {
  three_members();
  list({"a.dpf", "b.dpf", "c.dpf"});
  // The choice states the bb/b the blend stands for: the library's end value.
  EXPECT_EQ(selpfbb(rs_, 0.0002, 3), (PhaseChoice{0, 0.0, 0.001}));
  expect_mix(3, 0.001, 0.01, 0.0);
  EXPECT_EQ(selpfbb(rs_, 0.25, 3), (PhaseChoice{1, 1.0, 0.1}));
  expect_mix(3, 0.01, 0.1, 1.0);
  EXPECT_EQ(printout(),
            "\n     *** warning ***  Requested bb/b value of 0.000 for component #    3 at depth   12.5 m \n"
            "        is outside of the range of available values.\n"
            "        The phase function with a bb/b value of 0.001 will be used instead.\n"
            "\n     *** warning ***  Requested bb/b value of 0.250 for component #    3 at depth   12.5 m \n"
            "        is outside of the range of available values.\n"
            "        The phase function with a bb/b value of 0.100 will be used instead.\n");
}

TEST_F(SelpfbbTest, PrintsTheRequestWhenThePrintoutLevelAsks) {
  three_members();
  list({"a.dpf", "b.dpf", "c.dpf"});
  rs_.cmisc.iprint = 1;
  selpfbb(rs_, 0.02, 2);
  EXPECT_EQ(printout(),
            "\n     The phase function for component  2 will be chosen to have a bb/b ratio of   0.0200\n"
            "        at a depth of   12.500 and wavelength    550.0 nm\n");
}

TEST_F(SelpfbbTest, SkipsMemberWithOtherQuadsAndUsesTypeOnlyMismatch) {
  three_members();
  member("bad.dpf", 0.05, kNmu + 1);
  member("typ.dpf", 0.03, kNmu, kNphi, kType + 1);
  list({"a.dpf", "bad.dpf", "b.dpf", "typ.dpf", "c.dpf", "missing.dpf"});
  selpfbb(rs_, 0.03, 1);
  expect_mix(1, 0.03, 0.03, 0.0);
  EXPECT_EQ(rs_.dpflib.bb, (std::vector<double>{0.001, 0.01, 0.03, 0.1}));
  EXPECT_EQ(printout(), kMuGroup + kIgnore +
                            "     Error in SELPFBB: surfwind and DPF files must have the\n"
                            "     same spatial quads!\n"
                            "     The TYPE quads read from phase function typ.dpf\n"
                            "      do not match the surfwind file\n"
                            " WARNING: phase-function library member missing.dpf listed in pfbblist.txt cannot be "
                            "opened; skipped\n");
}

// A member named for one backscatter fraction but carrying another would be
// blended at the wrong place of the library.
TEST_F(SelpfbbTest, MemberNamedForAnotherBbtobIsFatal) {
  three_members();
  member("FF_bb0.02000.dpf", 0.05);
  list({"a.dpf", "FF_bb0.02000.dpf", "c.dpf"});
  EXPECT_EQ(fatal_message(0.03), "DPF file FF_bb0.02000.dpf is named for bb/b = 0.02 but its header gives bb/b = 0.05");
  member("FF_bb0.05000.dpf", 0.05);
  list({"a.dpf", "FF_bb0.05000.dpf", "c.dpf"});
  rs_.dpflib = DpfLibrary{};
  selpfbb(rs_, 0.05, 1);
  expect_mix(1, 0.05, 0.05, 0.0);
}

TEST_F(SelpfbbTest, PhiMismatchIsReportedAndSkipped) {
  three_members();
  member("bad.dpf", 0.05, kNmu, kNphi + 2);
  list({"bad.dpf", "a.dpf", "c.dpf"});
  selpfbb(rs_, 0.05, 1);
  EXPECT_EQ(rs_.dpflib.names, (std::vector<std::string>{"a.dpf", "c.dpf"}));
  const std::string out = printout();
  EXPECT_NE(out.find("     The PHI quads read from phase function bad.dpf\n"), std::string::npos);
  EXPECT_NE(out.find(kIgnore), std::string::npos);
}

TEST_F(SelpfbbTest, NoValidMemberIsFatal) {
  member("bad.dpf", 0.05, kNmu + 1);
  list({"bad.dpf", "bad.dpf"});
  EXPECT_EQ(fatal_message(0.01), "no valid FF DPF files");
  EXPECT_EQ(printout(), kMuGroup + kIgnore + kMuGroup + kIgnore);
}

TEST_F(SelpfbbTest, OneValidMemberIsFatal) {
  three_members();
  list({"b.dpf", "", "a.dpf"});  // the list ends at the blank record
  EXPECT_EQ(fatal_message(0.01), "only 1 valid DPF file (cannot interp)");
}

TEST_F(SelpfbbTest, EmptyOrMissingListIsFatal) {
  EXPECT_EQ(fatal_message(0.01), "required data file " + rs_.cdirnames.phasefun + "pfbblist.txt not found");
  list({});
  EXPECT_EQ(fatal_message(0.01), "no valid filenames in pfbblist.txt");
  EXPECT_EQ(printout(), " " + rs_.cdirnames.phasefun + "pfbblist.txt\n");
}

TEST_F(SelpfbbTest, PntdpfLinesForEveryOption) {
  member("named.dpf", 0.5);
  rs_.files.dpf[1] = (dir_ / "named.dpf").string();
  rs_.files.ac9 = "ac9.txt   ";
  rs_.files.bbmeter = "hs6.txt";
  rs_.comp.pf_opt(1) = 0;
  rs_.comp.pf_opt(2) = 1;
  rs_.comp.bbtob(2) = 0.0183;
  rs_.comp.pf_opt(3) = 2;
  rs_.comp.pf_opt(4) = 3;
  rs_.comp.bb_coef(4) = 0.012, rs_.comp.bb_wave0(4) = 550.0, rs_.comp.bb_expo(4) = 0.5;
  rs_.comp.pf_opt(5) = 7;
  for (int k = 1; k <= 5; ++k) pntdpf(rs_, k);
  EXPECT_EQ(printout(),
            "\n     The phase function for component  1 comes from a file titled\n"
            "     test member named.dpf\n"
            "\n     The phase function for component  2 will be chosen to have a bb/b ratio of   0.0183\n"
            "\n     The phase function for component  3 will be chosen to have a bb/b ratio \n"
            "        as specified by ac-9 and HYDROSCAT data files: \n"
            "          ac9.txt  and\n"
            "          hs6.txt\n"
            "\n     The phase function for component 4 will be chosen to have a\n"
            "        bb/b ratio calculated by a Power Law model:\n"
            "          bb/b = 0.0120 * (550./wavenm)^(0.5000)\n");
}

TEST_F(SelpfbbTest, PntdpfMissingNamedFileIsFatal) {
  rs_.comp.pf_opt(1) = 0;
  rs_.files.dpf[1] = (dir_ / "nothere.dpf").string();
  try {
    pntdpf(rs_, 1);
    FAIL() << "no error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "PNTDPF");
  }
}

TEST_F(SelpfbbTest, BadRecordNamesFileAndRecord) {
  three_members();
  std::ofstream(dir_ / "b.dpf") << "title\n  0.00  3  4  1           9\n bb/b ratio =   banana\n";
  list({"a.dpf", "b.dpf", "c.dpf"});
  EXPECT_EQ(fatal_message(0.01), "cannot read the bb/b value (record 3) of DPF file b.dpf");
}

}  // namespace

namespace {

// The generated default library (the `data` target), read and interpolated
// as a run does: the mixture of two members is still normalised.
TEST(DefaultLibrary, InterpolatedMemberIsNormalised) {
  const fs::path dir = fs::path(ABYSS_SOURCE_DIR) / "data/phasefun/Abyssolver";
  if (!fs::exists(dir / "pfbblist.txt")) GTEST_SKIP() << "library not generated (build the data target)";
  RunState rs;
  rs.cdirnames.phasefun = dir.string() + "/";
  rs.surf.quadid = {10, 24, 1};
  rs.cmisc.nmu = 10;
  rs.cmisc.nphi = 24;
  selpfbb(rs, 0.0183, 2);
  EXPECT_LT(rs.dpflib.bb.front(), 0.00011);
  EXPECT_GT(rs.dpflib.bb.back(), 0.1);
  phase::DpfArrays d{10, 24, rs.pf.pt[2], rs.pf.pr[2]};
  const std::vector<double> s = phase::column_sums(d);
  for (int u = 1; u <= 10; ++u) EXPECT_NEAR(s[static_cast<std::size_t>(u)], 1.0, 2e-6) << u;
  EXPECT_NEAR(phase::cap_backscatter(d) / 0.0183, 1.0, 0.01);
}

}  // namespace
