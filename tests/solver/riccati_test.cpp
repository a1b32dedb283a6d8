#include <gtest/gtest.h>

#include <cmath>

#include "bottom/bottom.hpp"
#include "control/errors.hpp"
#include "solver/riccati.hpp"
#include "solver_fixture.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

void integrate_all_modes(RunState& rs) {
  for (int l = 0; l <= rs.cmisc.lmax; ++l) {
    botmbc(rs, l);
    riccati(rs, l);
  }
}

}  // namespace

TEST(Riccati, PureAbsorberKeepsRZeroAndTransmitsExponentially) {
  SolverSetup s;
  s.a = 1.0;
  s.b = 0.0;
  s.zeta = {0.0, 0.3, 1.0, 2.5};
  SolverRun run(s);
  integrate_all_modes(*run);
  RunState& rs = *run;
  const int nmu = rs.cmisc.nmu;
  for (int l : {0, 3, rs.cmisc.lmax}) {
    ModeOps& m = rs.sol.modes[static_cast<std::size_t>(l)];
    for (int k = 1; k <= rs.cmisc.nz; ++k) {
      const int nact = (l == 0) ? nmu : nmu - 1;
      for (int i = 1; i <= nmu; ++i)
        for (int j = 1; j <= nmu; ++j) {
          EXPECT_EQ(m.Rzw(k)(i, j), 0.0);
          EXPECT_EQ(m.Rzm(k)(i, j), 0.0);
          double expect = 0.0;
          if (i == j) expect = (i <= nact) ? std::exp(-rs.cgrid.zeta(k) / rs.cgrid.fmu(i)) : 1.0;
          EXPECT_NEAR(m.Twz(k)(i, j), expect, 1e-7 * std::max(expect, 1e-3)) << l << " " << k << " " << i;
        }
    }
  }
}

TEST(Riccati, PolarCapRowAndColumnKeepStartValuesForHigherModes) {
  SolverSetup s;
  s.g = 0.5;
  SolverRun run(s);
  integrate_all_modes(*run);
  RunState& rs = *run;
  const int nmu = rs.cmisc.nmu;
  for (int l = 1; l <= rs.cmisc.lmax; ++l) {
    ModeOps& m = rs.sol.modes[static_cast<std::size_t>(l)];
    for (int k = 1; k <= rs.cmisc.nz; ++k)
      for (int j = 1; j < nmu; ++j) {
        EXPECT_EQ(m.Rzw(k)(nmu, j), 0.0);
        EXPECT_EQ(m.Rzw(k)(j, nmu), 0.0);
        EXPECT_EQ(m.Rzm(k)(nmu, j), 0.0);
        EXPECT_EQ(m.Rzm2(k)(j, nmu), 0.0);
        EXPECT_EQ(m.Twz(k)(nmu, j), 0.0);
        EXPECT_EQ(m.Twz(k)(j, nmu), 0.0);
      }
    EXPECT_EQ(m.Twz(rs.cmisc.nz)(nmu, nmu), 1.0);
  }
  // Mode 0 does couple the cap.
  EXPECT_GT(rs.sol.modes[0].Rzw(2)(nmu, 1), 0.0);
}

TEST(Riccati, SingleDepthHoldsTheStartValuesOfEveryPass) {
  SolverSetup s;
  s.zeta = {0.0};
  s.ibotm = 1;
  s.rbottom = 0.5;
  SolverRun run(s);
  RunState& rs = *run;
  rs.cmisc.wavenm = 550.0;
  botmbc(rs, 0);
  const long long before = rs.sol.counters.nderiv;
  riccati(rs, 0);
  EXPECT_EQ(rs.sol.counters.nderiv, before);
  ModeOps& m = rs.sol.modes[0];
  for (int i = 1; i <= rs.cmisc.nmu; ++i)
    for (int j = 1; j <= rs.cmisc.nmu; ++j) {
      EXPECT_EQ(m.Twz(1)(i, j), i == j ? 1.0 : 0.0);
      EXPECT_EQ(m.Rzw(1)(i, j), 0.0);
      EXPECT_EQ(m.Rzm(1)(i, j), rs.bot.cbotbc(i, j));
      EXPECT_EQ(m.Rzm2(1)(i, j), 0.0);  // sine amplitudes of a reflecting bottom start from zero
    }
}

TEST(Riccati, SubStepCountFollowsTheLargestStep) {
  EXPECT_EQ(nsubsteps(0.5, 5.0), 1);
  EXPECT_EQ(nsubsteps(5.0, 5.0), 2);
  EXPECT_EQ(nsubsteps(10.0, 5.0), 3);
  EXPECT_EQ(nsubsteps(12.0, 5.0), 3);
  SolverSetup s;
  s.zeta = {0.0, 10.0};
  s.nmu = 4;
  s.nphi = 4;
  SolverRun run(s);
  RunState& rs = *run;
  rs.cmisc.dzetamax = 5.0;
  botmbc(rs, 0);
  rs.sol.counters.nsolver_calls = 0;
  riccati(rs, 0);
  // 3 sub-steps down, one layer up; mode 0 has no sine amplitudes, so no third pass.
  EXPECT_EQ(rs.sol.counters.nsolver_calls, 3 + 1);
}

TEST(Riccati, DownwardAndUpwardPassesAgreeOnTheStationaryReflectance) {
  // Deep in a homogeneous column R(zeta,w) (light from below) and R(zeta,m)
  // (semi-infinite water below) both reach the reflectance of semi-infinite water.
  SolverSetup s;
  s.g = 0.7;
  s.zeta = {0.0, 20.0, 40.0};
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  botmbc(rs, 0);
  riccati(rs, 0);
  ModeOps& m = rs.sol.modes[0];
  for (int i = 1; i <= rs.cmisc.nmu; ++i)
    for (int j = 1; j <= rs.cmisc.nmu; ++j) {
      EXPECT_NEAR(m.Rzw(3)(i, j), rs.bot.cbotbc(i, j), 1e-6);
      EXPECT_NEAR(m.Rzm(2)(i, j), rs.bot.cbotbc(i, j), 1e-6);
    }
}

TEST(Riccati, IntegratorFailureStopsWithAClearMessage) {
  SolverSetup s;
  s.relerr = 0.0;
  s.abserr = 0.0;  // no error tolerance at all: the integrator cannot take a step
  SolverRun run(s);
  RunState& rs = *run;
  botmbc(rs, 0);
  try {
    riccati(rs, 0);
    FAIL() << "expected a fatal error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "riccati");
    EXPECT_NE(e.message().find("integration of the Riccati equations failed"), std::string::npos) << e.message();
  }
}
