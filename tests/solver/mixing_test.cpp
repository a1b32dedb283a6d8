// Scattering by several components: the coefficient matrices must use the
// phase functions weighted by each component's share of the scattering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "solver/riccati.hpp"
#include "solver_fixture.hpp"

using namespace abyss;
using abyss::testing::fill_phase;
using abyss::testing::SolverRun;
using abyss::testing::SolverSetup;

namespace {

// Case 1 water at 550 nm with 1 mg/m^3 chlorophyll: pure water and pigmented
// particles scatter with very different shares.
void case1_water(RunState& rs) {
  const std::string data = std::string(ABYSS_SOURCE_DIR) + "/data/";
  rs.cdirnames.data = data;
  rs.cmodelopts.opts[1] = 1;
  rs.cmodelopts.opts[5] = 2;
  rs.cmisc.ncomp = 2;
  rs.cmisc.nconc = 2;
  rs.cmisc.iop = 0;
  rs.cwave.wave(1) = 550.0;
  rs.comp.conc_opt(2) = 0;
  rs.comp.constconc(2) = 1.0;
  rs.comp.astar_opt(2) = 3;
  rs.comp.astar_wave0(2) = 440.0;
  rs.comp.astar_file[2] = data + "astarchl_norm_ps81.txt";
  rs.files.purewater = data + "pureh2o_abs_scat.txt";
  for (int k = 1; k <= 2; ++k) rs.comp.pf_opt(k) = 1, rs.comp.bbtob(k) = 0.02;
}

Mat copy_block(const Mat& m, int n) {
  Mat out(mxmu, mxmu);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) out(i, j) = m(i, j);
  return out;
}

}  // namespace

TEST(PhaseMixing, CoefficientsUseTheScatteringWeightedMixture) {
  SolverRun run(SolverSetup{});
  RunState& rs = *run;
  case1_water(rs);
  fill_phase(rs, 0.0, 1);   // isotropic
  fill_phase(rs, 0.85, 2);  // strongly forward
  const IopValues iop = abscat(rs, 3.0, 550.0, 2);
  ASSERT_GT(iop.b[1], 0.0);
  ASSERT_GT(iop.b[2], 5.0 * iop.b[1]);
  const int nmu = rs.cmisc.nmu;
  for (int l : {0, 3}) {
    rhotau_reset(rs);
    rhotau(rs, l, 1.0, 3.0);
    const Mat rho = copy_block(rs.sol.crhotau.rhohat, nmu), tau = copy_block(rs.sol.crhotau.tauhat, nmu);
    // The same water with both components given the mixed phase function.
    const double w1 = iop.b[1] / iop.btot, w2 = iop.b[2] / iop.btot;
    Mat pt = rs.pf.pt[1], pr = rs.pf.pr[1];
    for (int j = 1; j <= mxhat; ++j)
      for (int i = 1; i <= mxmu; ++i) {
        pt(i, j) = w1 * rs.pf.pt[1](i, j) + w2 * rs.pf.pt[2](i, j);
        pr(i, j) = w1 * rs.pf.pr[1](i, j) + w2 * rs.pf.pr[2](i, j);
      }
    SolverRun mixed_run(SolverSetup{});
    RunState& mixed = *mixed_run;
    case1_water(mixed);
    mixed.pf.pt[1] = mixed.pf.pt[2] = pt;
    mixed.pf.pr[1] = mixed.pf.pr[2] = pr;
    rhotau_reset(mixed);
    rhotau(mixed, l, 1.0, 3.0);
    for (int j = 1; j <= nmu; ++j)
      for (int i = 1; i <= nmu; ++i) {
        EXPECT_NEAR(rho(i, j), mixed.sol.crhotau.rhohat(i, j), 1e-12 * (1.0 + std::fabs(rho(i, j)))) << l;
        EXPECT_NEAR(tau(i, j), mixed.sol.crhotau.tauhat(i, j), 1e-12 * (1.0 + std::fabs(tau(i, j)))) << l;
      }
    // And it is not the pure-water (isotropic) or the particle function alone.
    mixed.pf.pt[2] = rs.pf.pt[1];
    mixed.pf.pr[2] = rs.pf.pr[1];
    mixed.pf.pt[1] = rs.pf.pt[1];
    mixed.pf.pr[1] = rs.pf.pr[1];
    rhotau_reset(mixed);
    rhotau(mixed, l, 1.0, 3.0);
    double diff = 0.0;
    for (int j = 1; j < nmu; ++j)
      for (int i = 1; i < nmu; ++i) diff = std::max(diff, std::fabs(tau(i, j) - mixed.sol.crhotau.tauhat(i, j)));
    EXPECT_GT(diff, 1e-3) << l;
  }
}
