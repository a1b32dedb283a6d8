#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "../solver/solver_fixture.hpp"
#include "control/errors.hpp"
#include "phase/inishamp.hpp"
#include "util/fortran_format.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

// Two components, four grid depths of which 1 and 3 are printed.
void fill_table(RunState& rs) {
  rs.cmisc.ncomp = 2;
  rs.cmisc.nz = 4;
  rs.sel.pirrad = {1, 3};
  for (int iz = 1; iz <= 4; ++iz) {
    rs.cgrid.zeta(iz) = 0.5 * iz;
    rs.cgrid.z(iz) = 1.25 * iz;
    for (int k = 1; k <= 2; ++k) {
      rs.ciop.A(iz, k) = 0.01 * k + 0.001 * iz;
      rs.ciop.B(iz, k) = 0.1 * k + 0.01 * iz;
      rs.ciop.BB(iz, k) = 0.002 * k;
    }
    rs.ciop.A(iz, 0) = rs.ciop.A(iz, 1) + rs.ciop.A(iz, 2);
    rs.ciop.B(iz, 0) = rs.ciop.B(iz, 1) + rs.ciop.B(iz, 2);
    rs.ciop.BB(iz, 0) = rs.ciop.BB(iz, 1) + rs.ciop.BB(iz, 2);
    rs.ciop.c(iz) = rs.ciop.A(iz, 0) + rs.ciop.B(iz, 0);
    rs.ciop.albedo(iz) = rs.ciop.B(iz, 0) / rs.ciop.c(iz);
  }
}

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// A DPF file for a 4 x 4 partition with recognisable entries, named for the
// test and the process (the suite runs tests in parallel, each in its own
// process, and each removes its file when done).
std::string write_dpf(const std::string& dir, int nmu, int nphi, int type) {
  const std::string path = dir + "/test_dpf_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                           "_" + std::to_string(::getpid()) + ".txt";
  std::ofstream out(path);
  out << "Test phase function, bb/b = 0.0183\n"
      << ff::F(0.0, 6, 2) << ff::I(nmu, 3) << ff::I(nphi, 3) << ff::I(type, 3) << ff::I(0, 12) << "\n"
      << ff::X(13) << ff::F(0.0183, 10, 5) << "\n";
  const int m = 4 * (4 / 2 + 1);
  for (int half = 0; half < 2; ++half)
    for (int i = 1; i <= m; ++i) {
      double v[4];
      for (int r = 1; r <= 4; ++r) v[r - 1] = 0.001 * (half + 1) * (10 * i + r);
      ff::write_e_block(out, v, 4);
    }
  return path;
}

struct DpfRun {
  SolverSetup s;
  std::unique_ptr<SolverRun> run;
  DpfRun(int fnmu, int fnphi, int ftype) {
    s.nmu = 4;
    s.nphi = 4;
    run = std::make_unique<SolverRun>(s);
    RunState& rs = **run;
    rs.surf.quadid = {4, 4, 1};
    rs.comp.pf_opt(1) = 0;
    rs.files.dpf[1] = write_dpf(std::filesystem::temp_directory_path().string(), fnmu, fnphi, ftype);
  }
  ~DpfRun() { std::filesystem::remove((*run)->files.dpf[1]); }
};

}  // namespace

TEST(IopTables, ComponentTablesHaveTheirHeadingsAndRows) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  fill_table(rs);
  print_iop_tables(rs);
  const std::string t = run.printout_text();
  EXPECT_TRUE(has(t, "\n\nAbsorption Coefficients of Individual Components at  550.0 nm\n\n"
                     "  iz   Opt Depth  Geo Depth   Comp 1   Comp 2    Total\n"
                     "                        (m)    (1/m)    (1/m)     (1/m)\n"
                     "   1     0.500      1.250     0.0110   0.0210   0.0320\n"
                     "   3     1.500      3.750     0.0130   0.0230   0.0360\n"))
      << t;
  EXPECT_TRUE(has(t, "Scattering Coefficients of Individual Components at  550.0 nm\n"));
  EXPECT_TRUE(has(t, "   3     1.500      3.750     0.1300   0.2300   0.3600\n"));
  EXPECT_TRUE(has(t, "Backscattering Coefficients of Individual Components at  550.0 nm\n"
                     " (computed from the scattering coefficients and the phase functions)\n"));
  EXPECT_TRUE(has(t, "   1     0.500      1.250    0.00200  0.00400  0.00600\n"));
  EXPECT_FALSE(has(t, "\n   2     1.000"));  // depth 2 is not selected for printing
}

TEST(IopTables, SummaryTableLayout) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  fill_table(rs);
  print_iop_tables(rs);
  const std::string t = run.printout_text();
  EXPECT_TRUE(has(t, "\n\nSummary of Inherent Optical Properties at  550.0 nm\n\n"
                     "  iz   Opt Depth  Geo Depth   total a   total b    total c    albedo   total bb  total bb/b\n"
                     "                        (m)     (1/m)    (1/m)      (1/m)                     (1/m)\n"
                     "   1     0.500      1.250      0.0320    0.3200     0.3520    0.9091    0.00600    0.01875\n"))
      << t;
}

TEST(Inishamp, OpticalDepthsAreRefusedInMultiBandRuns) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  rs.cmisc.nwave = 3;
  try {
    band_iop_table(rs);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "inishrad");
    EXPECT_EQ(e.message(), "depth type is not compatible");
  }
  EXPECT_TRUE(has(run.printout_text(), "STOP:  Attempt to run model in multiwavelength mode with OPTICAL depth output.  "
                                       "MUST use GEOMETRIC depths.\n"));
}

TEST(Inishamp, NamedDpfFileIsReadIntoTheComponentArrays) {
  DpfRun d(4, 4, 1);
  RunState& rs = **d.run;
  load_phase_functions(rs);
  EXPECT_DOUBLE_EQ(rs.comp.bbtob(1), 0.0183);
  EXPECT_DOUBLE_EQ(rs.pf.pt[1](3, 5), 0.001 * 53);
  EXPECT_DOUBLE_EQ(rs.pf.pr[1](4, 12), 0.002 * 124);
}

TEST(Inishamp, TypeMismatchIsReportedButTheRunGoesOn) {
  DpfRun d(4, 4, 7);
  RunState& rs = **d.run;
  load_phase_functions(rs);
  const std::string t = d.run->printout_text();
  EXPECT_TRUE(has(t, "Error in INISHAMP: surfwind and DPF files must have the\nsame spatial quads!\n"
                     "The quad TYPE read from phase function Test phase function, bb/b = 0.0183\n"
                     " do not match the surfwind file\n"));
  EXPECT_DOUBLE_EQ(rs.pf.pt[1](1, 1), 0.001 * 11);
}

TEST(Inishamp, QuadCountMismatchStopsTheRun) {
  DpfRun d(5, 4, 1);
  RunState& rs = **d.run;
  try {
    load_phase_functions(rs);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "inishrad");
    EXPECT_EQ(e.message(), "Quads of DPF files do not match surfwind");
  }
  EXPECT_TRUE(has(d.run->printout_text(), "The MU quads read from phase function Test phase function"));
}

TEST(Inishamp, UnknownPhaseOptionZeroesTheArrays) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  rs.comp.pf_opt(1) = 9;
  load_phase_functions(rs);
  for (int c = 1; c <= rs.cmisc.nmu * (rs.cmisc.nphi / 2 + 1); ++c) EXPECT_EQ(rs.pf.pt[1](1, c), 0.0);
}

TEST(Sumshat, SourcesOfEveryProcessAddUpInTheirHalves) {
  SolverSetup s;
  s.nmu = 4;
  s.nphi = 4;
  SolverRun run(s);
  RunState& rs = *run;
  rs.src.flags[2] = rs.src.flags[4] = 1;
  // Process w gives w, 10w, 100w, 1000w in the four halves of mode 0 and nothing in the other modes.
  for (int w : {2, 4})
    rs.sol.source_fn[static_cast<std::size_t>(w)] = [w](const RunState&, int l, double, SourceAmps& a) {
      if (l != 0) return;
      for (std::size_t u = 0; u < 4; ++u) {
        a.up_cos[u] = w * 1.0;
        a.down_cos[u] = w * 10.0;
        a.up_sin[u] = w * 100.0;
        a.down_sin[u] = w * 1000.0;
      }
    };
  sumshat(rs, 0, 1.0, 1.0);
  for (int u = 1; u <= 4; ++u) {
    EXPECT_EQ(rs.src.sigma[1](u), 6.0);
    EXPECT_EQ(rs.src.sigma[3](u), 60.0);
    EXPECT_EQ(rs.src.sigma[2](u), 600.0);
    EXPECT_EQ(rs.src.sigma[4](u), 6000.0);
  }
  sumshat(rs, 1, 1.0, 1.0);
  for (int i = 1; i <= 4; ++i)
    for (int u = 1; u <= 4; ++u) EXPECT_EQ(rs.src.sigma[static_cast<std::size_t>(i)](u), 0.0);
}

TEST(Sumshat, UnboundSourceStopsTheRun) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  rs.src.flags[4] = 1;
  try {
    sumshat(rs, 0, 1.0, 1.0);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "sumshat");
    EXPECT_EQ(e.message(), "the Raman scattering source is not available in this version");
  }
}
