// Physics of the whole band solve: conservation laws and published answers.
#include <gtest/gtest.h>

#include <cmath>

#include "solver_fixture.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

const double kPi = std::acos(-1.0);

double ed_at(RunState& rs, int k) { return plane_irradiance(rs, rs.sol.cramp_down.col(k + 2)); }
double eu_at(RunState& rs, int k) { return plane_irradiance(rs, rs.sol.cramp_up.col(k)); }
double eo_at(RunState& rs, int k) {
  return scalar_irradiance(rs, rs.sol.cramp_down.col(k + 2)) + scalar_irradiance(rs, rs.sol.cramp_up.col(k));
}

}  // namespace

// Isotropic scattering, albedo 0.8, semi-infinite, sun at 60 degrees with
// Ed = 1: Chandrasekhar's H-function gives Eu/Ed = 0.36797 and nadir radiance 0.09586.
TEST(SolverPhysics, IsotropicSemiInfiniteMatchesChandrasekhar) {
  SolverSetup s;
  s.a = 0.2;
  s.b = 0.8;
  s.zeta = {0.0, 0.5, 2.0};
  SolverRun run(s);
  RunState& rs = *run;
  ASSERT_NEAR(std::acos(rs.cgrid.fmu(4)) * 180.0 / kPi, 60.0, 0.2);
  set_sun(rs, 4, 1, 1.0);
  solve(rs);
  const double ed = ed_at(rs, 1), eu = eu_at(rs, 1);
  EXPECT_NEAR(ed, 1.0, 1e-9);
  EXPECT_NEAR(eu / ed, 0.36797, 0.01 * 0.36797);
  const double lnadir = rs.sol.cramp_up(rs.cmisc.nmu, 1);
  EXPECT_NEAR(lnadir, 0.09586, 0.01 * 0.09586);
  RecordProperty("EuEd", std::to_string(eu / ed));
  RecordProperty("Lnadir", std::to_string(lnadir));
  std::printf("  isotropic semi-infinite: Eu/Ed = %.5f (0.36797), nadir Lu = %.5f (0.09586)\n", eu / ed, lnadir);
}

// Henyey-Greenstein g = 0.75, albedo 1, slab of optical thickness 1 over a
// black bottom, sun at the zenith with incident flux pi (DISORT test case).
TEST(SolverPhysics, HenyeyGreensteinSlabMatchesPublishedFluxesAndConservesEnergy) {
  SolverSetup s;
  s.a = 0.0;
  s.b = 1.0;
  s.g = 0.75;
  s.zeta = {0.0, 1.0};
  s.ibotm = 1;
  s.rbottom = 0.0;
  SolverRun run(s);
  RunState& rs = *run;
  const int cap = rs.cmisc.nmu;
  set_sun(rs, cap, 1, kPi);
  solve(rs);
  const double direct = plane_irradiance(rs, rs.sol.cramp0.col(3));
  const double diffuse_down = ed_at(rs, 2) - direct;
  const double up_top = eu_at(rs, 1);
  std::printf("  HG slab: direct %.5f (1.15573), diffuse down %.5f (1.73849), up %.6f (0.247374)\n", direct,
              diffuse_down, up_top);
  EXPECT_NEAR(direct, 1.15573, 0.01 * 1.15573);
  EXPECT_NEAR(diffuse_down, 1.73849, 0.01 * 1.73849);
  // The 10-band grid spreads the zenith sun over the 5-degree polar cap and
  // resolves the forward peak coarsely: the reflected flux is 1.2 % high.
  EXPECT_NEAR(up_top, 0.247374, 0.015 * 0.247374);
  // No absorption and a black bottom: what enters leaves at the top or reaches the bottom.
  EXPECT_NEAR(ed_at(rs, 1), up_top + ed_at(rs, 2), 1e-6 * kPi);
  EXPECT_NEAR(eu_at(rs, 2), 0.0, 1e-12);
}

// Gershun's law a Eo = -dEnet/dz between closely spaced depths (c = 1, so z = zeta).
TEST(SolverPhysics, GershunsLawHoldsInScatteringWater) {
  SolverSetup s;
  s.a = 0.3;
  s.b = 0.7;
  s.g = 0.6;
  const double h = 0.01;
  s.zeta = {0.0, 1.5 - h, 1.5, 1.5 + h, 4.0};
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 5, 3, 1.0);
  solve(rs);
  const double dnet = ((ed_at(rs, 4) - eu_at(rs, 4)) - (ed_at(rs, 2) - eu_at(rs, 2))) / (2.0 * h);
  const double aeo = s.a * eo_at(rs, 3);
  EXPECT_NEAR(aeo, -dnet, 1e-3 * aeo);
}

// An isotropic internal source of strength q (radiance per unit optical depth)
// adds 4 pi q to the divergence of the net irradiance: dEnet/dzeta = -(1-w0) Eo + 4 pi q.
TEST(SolverPhysics, InternalSourceEntersGershunsLaw) {
  SolverSetup s;
  s.a = 0.4;
  s.b = 0.6;
  const double h = 0.01;
  s.zeta = {0.0, 1.0 - h, 1.0, 1.0 + h, 3.0};
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  const double q = 0.05;
  rs.cmisc.nsource = 1;
  rs.src.flags[4] = 1;
  // An isotropic source feeds only the azimuthally averaged mode.
  rs.sol.source_fn[4] = [q](const RunState& r, int l, double, SourceAmps& a) {
    if (l != 0) return;
    for (int u = 1; u <= r.cmisc.nmu; ++u) a.up_cos[u - 1] = a.down_cos[u - 1] = q / r.cgrid.fmu(u);
  };
  rs.sky.radsky.zero();
  solve(rs);
  const double dnet = ((ed_at(rs, 4) - eu_at(rs, 4)) - (ed_at(rs, 2) - eu_at(rs, 2))) / (2.0 * h);
  const double expect = -s.a * eo_at(rs, 3) + 4.0 * kPi * q;
  EXPECT_GT(eo_at(rs, 3), 0.0);
  EXPECT_NEAR(dnet, expect, 1e-3 * std::fabs(s.a * eo_at(rs, 3)));
  // Upward radiance at depth is the downward radiance reflected by the water below plus the source term.
  EXPECT_GT(eu_at(rs, 1), 0.0);
}
