#include <gtest/gtest.h>

#include <cmath>

#include "control/errors.hpp"
#include "grid/surface_amplitudes.hpp"
#include "grid/surface_optics.hpp"
#include "solver/amplitudes.hpp"
#include "solver/linsolve.hpp"
#include "solver_fixture.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {
const double kPi = std::acos(-1.0);
}

TEST(Amplitudes, InfiniteBottomClosureDoesNotDependOnItsDepth) {
  auto run_to = [](std::vector<double> zeta) {
    SolverSetup s;
    s.g = 0.7;
    s.a = 0.25;
    s.b = 0.75;
    s.nmu = 6;
    s.nphi = 12;
    s.zeta = zeta;
    auto run = std::make_unique<SolverRun>(s);
    set_sun(**run, 3, 2, 1.0);
    solve(**run);
    return run;
  };
  auto shallow = run_to({0.0, 2.0, 5.0, 10.0, 20.0});
  auto deep = run_to({0.0, 2.0, 5.0, 10.0, 20.0, 40.0, 60.0});
  const int n2 = 2 * (*shallow)->cmisc.nhat;
  for (int k : {1, 2, 3}) {
    for (int e = 1; e <= n2; ++e) {
      const double a = (*shallow)->sol.cramp_down(e, k + 2), b = (*deep)->sol.cramp_down(e, k + 2);
      EXPECT_NEAR(a, b, 1e-6 * (std::fabs(b) + 1e-6)) << k << " " << e;
      const double u = (*shallow)->sol.cramp_up(e, k), v = (*deep)->sol.cramp_up(e, k);
      EXPECT_NEAR(u, v, 1e-6 * (std::fabs(v) + 1e-6)) << k << " " << e;
    }
  }
}

TEST(Amplitudes, LambertianBottomSendsRoverPiEdUpwardInEveryQuad) {
  SolverSetup s;
  s.g = 0.5;
  s.ibotm = 1;
  s.rbottom = 0.4;
  s.zeta = {0.0, 1.0, 2.0};
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 4, 2, 1.0);
  solve(rs);
  const int nz = rs.cmisc.nz;
  const double ed = plane_irradiance(rs, rs.sol.cramp_down.col(nz + 2));
  for (int u = 1; u <= rs.cmisc.nmu; ++u)
    for (int ss = 1; ss <= rs.cmisc.nphi; ++ss)
      EXPECT_NEAR(radiance(rs, rs.sol.cramp_up.col(nz), u, ss), 0.4 / kPi * ed, 1e-12) << u << " " << ss;
}

TEST(Amplitudes, SineHalvesStayZeroForTheFirstAndLastModes) {
  SolverSetup s;
  s.g = 0.6;
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 3, 3, 1.0);  // off the principal plane: every other sine amplitude is non-zero
  solve(rs);
  const int nmu = rs.cmisc.nmu, nn = rs.cmisc.nhat, lmax = rs.cmisc.lmax;
  for (int u = 1; u <= nmu; ++u)
    for (int l : {0, lmax}) {
      const int e = nn + l * nmu + u;
      EXPECT_EQ(rs.sol.cramp0(e, 1), 0.0);
      EXPECT_EQ(rs.sol.air_parts(e, 2), 0.0);
      for (int k = 1; k <= rs.cmisc.nz; ++k) {
        EXPECT_EQ(rs.sol.cramp_down(e, k + 2), 0.0);
        EXPECT_EQ(rs.sol.cramp_up(e, k), 0.0);
      }
    }
  EXPECT_GT(std::fabs(rs.sol.cramp_down(nn + nmu + 3, 4)), 1e-6);  // l = 1 sine, band 3
}

TEST(Amplitudes, DirectBeamDecaysAlongItsSlantPath) {
  SolverSetup s;
  s.zeta = {0.0, 0.7, 1.9};
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 4, 1, 2.0);
  amp0a(rs);
  const double mu = rs.cgrid.fmu(4);
  EXPECT_NEAR(plane_irradiance(rs, rs.sol.cramp0.col(2)), 2.0, 1e-12);
  EXPECT_NEAR(plane_irradiance(rs, rs.sol.cramp0.col(4)), 2.0 * std::exp(-1.9 / mu), 1e-12);
}

TEST(Amplitudes, AirSideHoldsSkyReflectionAndWaterLeavingParts) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 4, 1, 1.0);
  solve(rs);
  const int n2 = 2 * rs.cmisc.nhat;
  for (int e = 1; e <= n2; ++e) {
    EXPECT_EQ(rs.sol.air_parts(e, 1), 0.0);  // the transparent surface reflects nothing
    EXPECT_NEAR(rs.sol.air_parts(e, 2), rs.sol.cramp_up(e, 1), 1e-15);
    EXPECT_NEAR(rs.sol.cramp_down(e, 2), rs.sol.air_parts(e, 2), 1e-15);
    EXPECT_EQ(rs.sol.cramp_down(e, 1), rs.sol.cramp0(e, 1));
  }
}

TEST(Amplitudes, SingleOutputDepthGivesSurfaceAmplitudesOnly) {
  SolverSetup s;
  s.zeta = {0.0};
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 4, 1, 1.0);
  solve(rs);
  const double ed = plane_irradiance(rs, rs.sol.cramp_down.col(3));
  const double eu = plane_irradiance(rs, rs.sol.cramp_up.col(1));
  EXPECT_NEAR(ed, 1.0, 1e-12);
  EXPECT_GT(eu, 0.05);
  EXPECT_LT(eu, 0.5);
}

TEST(Amplitudes, SingularDepthSystemStopsTheRun) {
  SolverSetup s;
  s.nmu = 4;
  s.nphi = 4;
  s.zeta = {0.0, 1.0};
  SolverRun run(s);
  RunState& rs = *run;
  rs.sol.modes.assign(static_cast<std::size_t>(rs.cmisc.lmax) + 1, ModeOps{});
  for (auto& m : rs.sol.modes) {
    m.resize(2, rs.cmisc.nmu, false);
    for (int i = 1; i <= 4; ++i) m.Rzm(2)(i, i) = m.Rzw(2)(i, i) = 1.0;  // I - Rzm Rzw = 0
  }
  try {
    ampzeta(rs);
    FAIL() << "expected a fatal error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "AMPzeta");
    EXPECT_EQ(e.message(), "SGEFS returned ind = -10");
  }
  EXPECT_NE(run.printout_text().find(" Error on first call to SGEFS from AMPzeta:  ind =  -10"), std::string::npos);
}

TEST(LinearAlgebra, InverseAndProductsAgree) {
  double a[9] = {4, 1, 0, 2, 5, 1, 0, 3, 6};  // column-major 3 x 3
  double keep[9];
  std::copy(a, a + 9, keep);
  double inv[9];
  const int ind = lu_inverse(a, 3, 3, inv, 3);
  EXPECT_GE(ind, 10);
  double prod[9];
  matxmat(keep, inv, 3, 3, 3, 3, 3, prod, 3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(prod[i + 3 * j], i == j ? 1.0 : 0.0, 1e-14);
  double v[3] = {1, 2, 3}, w[3];
  vecxmat(v, keep, 3, 3, 3, w);
  EXPECT_DOUBLE_EQ(w[0], 1 * 4 + 2 * 1 + 3 * 0);
  EXPECT_DOUBLE_EQ(w[2], 1 * 0 + 2 * 3 + 3 * 6);
  double sing[4] = {1, 2, 2, 4};
  EXPECT_EQ(lu_inverse(sing, 2, 2, inv, 2), -10);
}

// The row solve x A = b from small LU factors, with row exchanges (a zero
// leading element forces one), against the explicit inverse.
TEST(LinearAlgebra, RowSolveFromLuFactorsMatchesTheInverse) {
  const int n = 5;
  double a[25], keep[25], inv[25], lu[25];
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) a[i + n * j] = std::sin(1.0 + 3.0 * i + 7.0 * j) + (i == j ? 0.5 : 0.0);
  a[0] = 0.0;
  std::copy(a, a + 25, keep);
  std::copy(a, a + 25, lu);
  ASSERT_GE(lu_inverse(a, n, n, inv, n), 10);
  int piv[5];
  ASSERT_TRUE(small_lu_factor(lu, n, n, piv));
  EXPECT_NE(piv[0], 0);
  const double b[5] = {0.3, -1.0, 2.0, 0.7, -0.2};
  double x[5], want[5], back[5];
  std::copy(b, b + n, x);
  small_lu_solve_row(lu, n, n, piv, x);
  vecxmat(b, inv, n, n, n, want);
  vecxmat(x, keep, n, n, n, back);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(x[i], want[i], 1e-13 * (1.0 + std::fabs(want[i]))) << i;
    EXPECT_NEAR(back[i], b[i], 1e-13) << i;
  }
  double sing[4] = {1, 2, 2, 4};
  EXPECT_FALSE(small_lu_factor(sing, 2, 2, piv));
}

// Just below a wind-blown surface the amplitudes solve (I - Rw rhat) one Fourier
// mode at a time when the surface keeps the modes apart (an azimuthally
// isotropic slope distribution). A surface operator with a coupling between
// modes takes the full solve: with a coupling of 1e-9 of the operator's size
// the two answers may differ by that much and no more.
TEST(Amplitudes, ModeByModeSurfaceSolveAgreesWithTheFullOne) {
  auto run_with = [](double coupling) {
    SolverSetup s;
    s.g = 0.8;
    s.nmu = 6;
    s.nphi = 8;
    s.zeta = {0.0, 1.0, 5.0};
    auto run = std::make_unique<SolverRun>(s);
    RunState& rs = **run;
    const QuadSpace qs(QuadPartition{6, 8, 1});
    const auto slots = amplitude_slots(qs, surface_operators(qs, 1.34, 8.0, {8}));
    const int nn = rs.cmisc.nhat;
    double big = 0.0;
    for (int k = 0; k < 8; ++k) {
      Mat& m = rs.surf.slot[static_cast<std::size_t>(k)];
      for (int j = 1; j <= nn; ++j)
        for (int i = 1; i <= nn; ++i) m(i, j) = slots[static_cast<std::size_t>(k)](i, j);
    }
    for (int j = 1; j <= nn; ++j)
      for (int i = 1; i <= nn; ++i) big = std::max(big, std::fabs(rs.surf.slot[2](i, j)));
    rs.surf.slot[2](2, 6 + 3) += coupling * big;  // mode 0 row, mode 1 column
    set_sun(rs, 4, 2, 1.0);
    solve(rs);
    return run;
  };
  auto apart = run_with(0.0), coupled = run_with(1e-9);
  const int n2 = 2 * (*apart)->cmisc.nhat;
  double largest = 0.0;
  for (int e = 1; e <= n2; ++e) largest = std::max(largest, std::fabs((*apart)->sol.cramp_down(e, 3)));
  ASSERT_GT(largest, 0.0);
  for (int e = 1; e <= n2; ++e) {
    EXPECT_NEAR((*apart)->sol.cramp_down(e, 3), (*coupled)->sol.cramp_down(e, 3), 1e-8 * largest) << e;
    EXPECT_NEAR((*apart)->sol.cramp_up(e, 1), (*coupled)->sol.cramp_up(e, 1), 1e-8 * largest) << e;
  }
}
