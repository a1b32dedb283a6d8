// The exact band solve (closed-form slabs and adding) against the Adams
// integration held to tight tolerances, and the properties the exact solve
// promises: no dependence on the requested depths or on the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <tuple>

#include "bottom/bottom.hpp"
#include "grid/depth_conversion.hpp"
#include "iop/abscat.hpp"
#include "solver/band_problem.hpp"
#include "solver/riccati.hpp"
#include "solver/slab_ops.hpp"
#include "solver_fixture.hpp"
#include "sources/sources.hpp"
#include "support/case2_water.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

struct Light {
  double ed, eu, eo, lu;
};

std::vector<Light> light_profile(RunState& rs) {
  std::vector<Light> out;
  for (int k = 1; k <= rs.cmisc.nz; ++k) {
    const double* d = rs.sol.cramp_down.col(k + 2);
    const double* u = rs.sol.cramp_up.col(k);
    out.push_back({plane_irradiance(rs, d), plane_irradiance(rs, u),
                   scalar_irradiance(rs, d) + scalar_irradiance(rs, u), u[rs.cmisc.nmu - 1]});
  }
  return out;
}

using Prepare = std::function<void(RunState&)>;

std::vector<Light> solve_with(const SolverSetup& s, const std::string& solver, const Prepare& prep = {}) {
  SolverRun run(s);
  RunState& rs = *run;
  rs.opts.solver = solver;
  rs.opts.threads = 2;
  set_sun(rs, 4, 1, 1.0);
  if (prep) prep(rs);
  solve(rs);
  return light_profile(rs);
}

void expect_close(const std::vector<Light>& a, const std::vector<Light>& b, double tol, const std::string& what) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_NEAR(a[k].ed, b[k].ed, tol * std::abs(b[k].ed)) << what << " Ed at depth " << k + 1;
    EXPECT_NEAR(a[k].eu, b[k].eu, tol * std::abs(b[k].eu)) << what << " Eu at depth " << k + 1;
    EXPECT_NEAR(a[k].eo, b[k].eo, tol * std::abs(b[k].eo)) << what << " Eo at depth " << k + 1;
    EXPECT_NEAR(a[k].lu, b[k].lu, tol * std::abs(b[k].lu)) << what << " Lu at depth " << k + 1;
  }
}

std::vector<double> range(double from, double to, double step) {
  std::vector<double> z;
  for (double d = from; d <= to + 1e-12; d += step) z.push_back(d);
  return z;
}

SolverSetup hg_setup() {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.a = 0.2;
  s.b = 0.8;
  s.g = 0.9;
  s.zeta = range(0.0, 12.0, 1.0);
  return s;
}

}  // namespace

TEST(ExactSolver, MatchesTheAdamsReferenceInDeepHenyeyGreensteinWater) {
  const SolverSetup s = hg_setup();
  expect_close(solve_with(s, "exact"), solve_with(s, "adams"), 1e-5, "HG deep");
}

TEST(ExactSolver, MatchesTheAdamsReferenceAboveAReflectingBottom) {
  SolverSetup s = hg_setup();
  s.ibotm = 1;
  s.rbottom = 0.3;
  s.zeta = {0.0, 0.5, 1.0, 2.0, 4.0};
  expect_close(solve_with(s, "exact"), solve_with(s, "adams"), 1e-5, "bottom");
}

namespace {

// An internal source that falls off exponentially with depth and has both
// halves of the higher modes, so every source vector of every pass is used.
void exponential_source(RunState& rs) {
  rs.cmisc.nsource = 1;
  rs.src.flags[1] = 1;
  rs.sol.source_fn[1] = [](const RunState& r, int l, double depth, SourceAmps& a) {
    const double q = 0.05 * std::exp(-0.6 * depth) / (1.0 + l);
    for (int u = 1; u <= r.cmisc.nmu; ++u) {
      if (l > 0 && u == r.cmisc.nmu) continue;
      const double f = q / r.cgrid.fmu(u);
      a.up_cos[u - 1] = f * (1.0 + 0.1 * u);
      a.down_cos[u - 1] = 2.0 * f;
      if (l > 0 && l < r.cmisc.lmax) {
        a.up_sin[u - 1] = 0.3 * f;
        a.down_sin[u - 1] = -0.2 * f;
      }
    }
  };
}

// A source profile over the grid depths, as the inelastic processes make
// them (reference decaying but not exactly exponentially, shape changing with
// depth, modes 0 to 2), bound as the run's source: with its exponential terms
// (`closed`) or as point values only.
void profile_source(RunState& rs, bool closed) {
  SourceProfile p;
  p.nmu = rs.cmisc.nmu;
  p.nmodes = 3;
  for (int k = 1; k <= rs.cmisc.nz; ++k) p.z.push_back(rs.cgrid.zeta(k));
  p.amp.assign(p.z.size() * p.stride(), 0.0);
  for (std::size_t k = 0; k < p.z.size(); ++k) {
    p.ref.push_back(0.05 * std::exp(-0.7 * p.z[k]) * (1.0 + 0.3 * std::sin(p.z[k])));
    for (std::size_t l = 0; l < 3; ++l)
      for (std::size_t c = 0; c < 4; ++c)
        for (std::size_t u = 0; u < static_cast<std::size_t>(p.nmu); ++u) {
          const bool cap = static_cast<int>(u) == p.nmu - 1;
          if ((l > 0 && cap) || (c >= 2 && l == 0)) continue;  // no sine half in mode 0
          p.amp[k * p.stride() + (l * 4 + c) * mxmu + u] =
              p.ref[k] / (1.0 + l) * (1.0 + 0.1 * u + 0.2 * c + 0.05 * p.z[k]) / rs.cgrid.fmu(static_cast<int>(u) + 1);
        }
  }
  auto shared = std::make_shared<const SourceProfile>(std::move(p));
  rs.cmisc.nsource = 1;
  rs.src.flags[4] = 1;
  rs.sol.source_fn[4] = [shared](const RunState&, int l, double depth, SourceAmps& a) { eval_profile(*shared, l, depth, a); };
  rs.sol.source_exp[4] = nullptr;
  if (closed)
    rs.sol.source_exp[4] = [shared](int l, double za, double zb, ExpSources& out) {
      return profile_exp_terms(*shared, l, za, zb, out);
    };
}

}  // namespace

// The emission of internal sources in closed form (exponential terms of the
// source profile between grid depths) against the quadrature of the same
// profile's point values, through the whole solve.
TEST(ExactSolver, InternalSourceProfileInClosedFormMatchesItsQuadrature) {
  SolverSetup s = hg_setup();
  s.zeta = {0.0, 0.7, 0.71, 2.0, 3.5, 6.0};
  const auto closed = solve_with(s, "exact", [](RunState& rs) { profile_source(rs, true); });
  const auto quadrature = solve_with(s, "exact", [](RunState& rs) { profile_source(rs, false); });
  expect_close(closed, quadrature, 1e-8, "closed form");
}

namespace {

}  // namespace

TEST(ExactSolver, MatchesTheAdamsReferenceWithAnInternalSource) {
  SolverSetup s = hg_setup();
  s.zeta = {0.0, 0.7, 2.0, 3.5, 6.0};
  const Prepare prep = exponential_source;
  expect_close(solve_with(s, "exact", prep), solve_with(s, "adams", prep), 1e-5, "source");
}

namespace {

// Case 2 water with a mineral profile (depth, concentration records, linearly
// interpolated); water scatters isotropically, the minerals forward (g = 0.9).
// The grid depths are geometric depths.
Prepare mineral_water(const std::string& name, const std::string& records) {
  return [name, records](RunState& rs) {
    // One file per profile: ctest runs the tests that use them at the same time.
    const std::string path = std::string(ABYSS_BINARY_DIR) + "/test_exact_" + name + "_profile.txt";
    std::ofstream prof(path);
    for (int i = 1; i <= 10; ++i) prof << "mineral test profile, header " << i << "\n";
    prof << records << "-1 0\n";
    prof.close();
    abyss::testing::case2_mineral_profile_water(rs, path);
    rs.cwave.wave(1) = rs.cmisc.wavenm = 500.0;
    fill_phase(rs, 0.0, 1);
    for (int k = 2; k <= 3; ++k) rs.pf.pt[k] = rs.pf.pt[1], rs.pf.pr[k] = rs.pf.pr[1];
    fill_phase(rs, 0.9, 4);
    rs.cmisc.iop = 0;
    ztozeta(rs);
  };
}

// Minerals that step from 1 to 3 at 2.5 m (a 0.1 mm ramp), inside the layer
// between grid depths 2 and 3 m, or (smooth) grow linearly from 1 at the
// surface to 3 at 6 m.
Prepare two_layer_water(bool smooth = false) {
  return smooth ? mineral_water("smooth", "0 1\n6 3\n60 3\n") : mineral_water("step", "0 1\n2.5 1\n2.5001 3\n60 3\n");
}

// Minerals whose linearly interpolated profile bends at 0.7, 2.5 and 4 m, all
// inside layers of the grid.
Prepare kinked_water() { return mineral_water("kinked", "0 0.5\n0.7 1\n2.5 3\n4 1.5\n60 1.5\n"); }

}  // namespace

TEST(ExactSolver, MatchesTheAdamsReferenceAcrossAStepInTheIops) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 1.0, 2.0, 3.0, 6.0};
  expect_close(solve_with(s, "exact", two_layer_water()), solve_with(s, "adams", two_layer_water()), 1e-5, "step");
}

TEST(ExactSolver, MatchesTheAdamsReferenceInAContinuousProfile) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 1.0, 2.0, 3.0, 6.0};
  expect_close(solve_with(s, "exact", two_layer_water(true)), solve_with(s, "adams", two_layer_water(true)), 1e-5,
               "smooth");
}

// The source's emission from slabs whose IOPs change with depth.
TEST(ExactSolver, MatchesTheAdamsReferenceWithAnInternalSourceInAContinuousProfile) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 1.0, 2.0, 3.0, 6.0};
  const Prepare prep = [](RunState& rs) {
    two_layer_water(true)(rs);
    exponential_source(rs);
  };
  expect_close(solve_with(s, "exact", prep), solve_with(s, "adams", prep), 1e-5, "source, smooth");
}

// Every quad's radiance, where the Fourier modes above 0 show (the tests above
// see mode 0 alone), against the Adams integration, relative to the largest
// radiance of the hemisphere at the depth. The higher modes need the
// fourth-order scheme as much as mode 0: with each varying slab's mid-depth
// IOPs from mode 3, 4 or 5 on this comes out 1.67e-4, 1.07e-4 and 8.5e-5.
TEST(ExactSolver, EveryQuadsRadianceMatchesTheAdamsReferenceInAContinuousProfile) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 12;  // modes 0 to 6
  s.zeta = {0.0, 1.0, 2.0, 3.0, 6.0};
  std::vector<std::vector<double>> field;
  for (const std::string solver : {"exact", "adams"}) {
    SolverRun run(s);
    RunState& rs = *run;
    rs.opts.solver = solver;
    set_sun(rs, 3, 2, 1.0);  // off the azimuth origin: the sine halves carry light too
    two_layer_water(true)(rs);
    solve(rs);
    std::vector<double> f;
    for (int k = 1; k <= rs.cmisc.nz; ++k)
      for (const double* amp : {rs.sol.cramp_down.col(k + 2), rs.sol.cramp_up.col(k)})
        for (int u = 1; u <= rs.cmisc.nmu; ++u)
          for (int p = 1; p <= rs.cmisc.nphi; ++p) f.push_back(radiance(rs, amp, u, p));
    field.push_back(std::move(f));
  }
  const std::size_t per = static_cast<std::size_t>(s.nmu * s.nphi);
  double worst = 0.0;
  for (std::size_t h = 0; h < field[1].size() / per; ++h) {
    double big = 0.0;
    for (std::size_t q = h * per; q < (h + 1) * per; ++q) big = std::max(big, std::abs(field[1][q]));
    for (std::size_t q = h * per; q < (h + 1) * per; ++q) worst = std::max(worst, std::abs(field[0][q] - field[1][q]) / big);
  }
  EXPECT_LT(worst, 1e-4);  // 5.5e-5 (7.1e-5 with slabs of blended IOPs)
}

TEST(ExactSolver, MatchesTheAdamsReferenceInAProfileWithKinks) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 2.0, 6.0};
  expect_close(solve_with(s, "exact", kinked_water()), solve_with(s, "adams", kinked_water()), 1e-5, "kinks");
}

// Every slab of changing IOPs that the partition keeps passes the halving
// check, and mode 0 takes its halves: its operators are theirs stacked, and
// each half's its own.
TEST(ExactSolver, EveryKeptSlabPassesTheHalvingCheck) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 2.0, 6.0};
  for (const auto& [name, water] : {std::pair{"kinks", kinked_water()}, std::pair{"smooth", two_layer_water(true)}}) {
    SolverRun run(s);
    RunState& rs = *run;
    water(rs);
    const BandProblem bp = band_problem(rs);
    int checked = 0;
    for (std::size_t k = 0; k < bp.layers.size(); ++k)
      for (const SubSlab& sl : bp.layers[k]) {
        if (!sl.varying || !sl.rt0) continue;
        ++checked;
        const double top = bp.zeta[k], bottom = bp.zeta[k + 1];
        EXPECT_LE(slab_check_difference(rs, sl.top, sl.h, top, bottom), gradient_check_tolerance(kSlabRtTolerance, true))
            << name << ": slab at " << sl.top << ", thickness " << sl.h;
        ASSERT_TRUE(sl.halves) << name;
        const std::vector<SubSlab>& hv = *sl.halves;
        ASSERT_EQ(hv.size(), 2u);
        EXPECT_DOUBLE_EQ(hv[0].top, sl.top);
        EXPECT_NEAR(hv[1].top + hv[1].h, sl.top + sl.h, 1e-14 * (1.0 + sl.top + sl.h));
        const SlabRT both = stack_rt(*hv[0].rt0, *hv[1].rt0);
        EXPECT_EQ(both.r.a, sl.rt0->r.a) << name;
        EXPECT_EQ(both.t.a, sl.rt0->t.a) << name;
      }
    EXPECT_GE(checked, 4) << name;
  }
}

// The nodes of a tabulated profile, where its IOPs change slope, are slab
// boundaries, and the smooth stretches between them need only a few slabs.
TEST(ExactSolver, ProfileNodesFallOnSlabBoundaries) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 2.0, 6.0};
  SolverRun run(s);
  RunState& rs = *run;
  kinked_water()(rs);
  const BandProblem bp = band_problem(rs);
  std::vector<double> edges;
  std::size_t nslab = 0;
  for (const auto& layer : bp.layers) {
    nslab += layer.size();
    for (const SubSlab& sl : layer) edges.push_back(sl.top);
  }
  for (double z : {0.7, 2.5, 4.0}) {
    // Optical depth of the node: where the conversion table reaches z.
    double lo = 0.0, hi = bp.zeta.back();
    for (int i = 0; i < 100; ++i) (z_of_zeta(rs, 0.5 * (lo + hi)) < z ? lo : hi) = 0.5 * (lo + hi);
    double nearest = 1e9;
    for (double e : edges) nearest = std::min(nearest, std::abs(e - lo));
    EXPECT_LT(nearest, 1e-9) << "node at " << z << " m";
  }
  EXPECT_LE(nslab, 60u);
}

// A grid depth and its neighbour 0.01 m below (the printout's pairs for the
// K-functions) bound a layer far thinner than the grazing streams' attenuation
// length: in a smooth profile it is one slab of its mid-depth IOPs, while the
// thick layers keep the two-medium scheme, and the answer still matches the
// Adams reference.
TEST(ExactSolver, ThinLayerOfASmoothProfileTakesItsMidDepthIops) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  s.zeta = {0.0, 1.0, 1.01, 3.0, 3.01, 6.0};
  {
    SolverRun run(s);
    RunState& rs = *run;
    two_layer_water(true)(rs);
    const BandProblem bp = band_problem(rs);
    for (std::size_t k : {1u, 3u}) {
      ASSERT_EQ(bp.layers[k].size(), 1u) << "thin layer " << k + 1;
      EXPECT_FALSE(bp.layers[k][0].varying) << "thin layer " << k + 1;
    }
    for (std::size_t k : {0u, 2u, 4u}) {
      bool varying = false;
      for (const SubSlab& sl : bp.layers[k]) varying = varying || sl.varying;
      EXPECT_TRUE(varying) << "thick layer " << k + 1;
    }
  }
  expect_close(solve_with(s, "exact", two_layer_water(true)), solve_with(s, "adams", two_layer_water(true)), 1e-5,
               "thin layers");
}

TEST(ExactSolver, StepInTheIopsFallsOnASlabBoundary) {
  SolverSetup s;
  s.nmu = 6;
  s.nphi = 8;
  SolverRun run(s);
  RunState& rs = *run;
  two_layer_water()(rs);
  const std::function<IopMix(double)> iop_at = [&rs](double zeta) {
    const IopValues v = abscat(rs, zeta, 500.0, 4);
    IopMix m;
    m.w0 = v.btot / (v.atot + v.btot);
    for (int k = 1; k <= 4; ++k) m.wk[k] = v.b[k] / v.btot;
    return m;
  };
  const std::vector<SubSlab> slabs = partition_layer(iop_at, 2.0, 4.0, kSlabTolerance);
  ASSERT_GE(slabs.size(), 2u);
  // Away from the ramp the layer is uniform: the slabs there are wide.
  EXPECT_GE(slabs.front().h, 0.25);
  EXPECT_GE(slabs.back().h, 0.25);
  double thinnest = 1.0, edge = 0.0;
  for (const SubSlab& sl : slabs)
    if (sl.h < thinnest) thinnest = sl.h, edge = sl.top;
  EXPECT_LT(thinnest, 1e-3);
  EXPECT_NEAR(edge, 2.5, 1e-3);
  EXPECT_NEAR(slabs.back().top + slabs.back().h, 4.0, 1e-14);
}

TEST(ExactSolver, AnswerDoesNotDependOnTheRequestedDepths) {
  for (const std::string solver : {"exact", "adams"}) {
    SolverSetup fine = hg_setup(), coarse = hg_setup();
    fine.zeta = range(0.0, 20.0, 1.0);
    coarse.zeta = {0.0, 5.0, 20.0};
    const auto a = solve_with(fine, solver), b = solve_with(coarse, solver);
    expect_close({a[0], a[5], a[20]}, b, 1e-6, solver);
  }
}

TEST(ExactSolver, ResultsAreBitIdenticalWhateverTheThreadCount) {
  SolverSetup s = hg_setup();
  std::vector<std::vector<double>> ops;
  for (int threads : {1, 2, 5}) {
    SolverRun run(s);
    RunState& rs = *run;
    rs.opts.threads = threads;
    set_sun(rs, 4, 1, 1.0);
    solve(rs);
    std::vector<double> all;
    for (const ModeOps& m : rs.sol.modes)
      for (const auto* v : {&m.rzw, &m.twz, &m.rzm, &m.rzm2}) all.insert(all.end(), v->begin(), v->end());
    ops.push_back(all);
  }
  for (std::size_t i = 1; i < ops.size(); ++i) {
    ASSERT_EQ(ops[i].size(), ops[0].size());
    EXPECT_EQ(std::memcmp(ops[i].data(), ops[0].data(), ops[0].size() * sizeof(double)), 0) << i;
  }
}

// A later band of a run reuses the operator storage of the band before: the
// same band solved again gives the same bits, and the polar cap of the modes
// l > 0 stays clear.
TEST(ExactSolver, ReusedStorageGivesTheSameOperators) {
  SolverRun run(hg_setup());
  RunState& rs = *run;
  set_sun(rs, 4, 1, 1.0);
  auto operators = [&rs]() {
    std::vector<double> all;
    for (const ModeOps& m : rs.sol.modes)
      for (const auto* v : {&m.rzw, &m.twz, &m.rzm, &m.rzm2}) all.insert(all.end(), v->begin(), v->end());
    return all;
  };
  solve(rs);
  const std::vector<double> first = operators();
  // Spoil the cap of a higher mode, as a band that wrote there would leave it.
  ModeOps& m2 = rs.sol.modes[2];
  const int nmu = rs.cmisc.nmu;
  m2.Rzw(3)(nmu, 1) = m2.Rzm(3)(1, nmu) = m2.Twz(3)(2, nmu) = 9.0;
  solve(rs);
  const std::vector<double> second = operators();
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0);
}

namespace {

dense::Sq block(const Mat& m, int n) {
  dense::Sq s(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) s(i, j) = m(i + 1, j + 1);
  return s;
}

// The coefficient matrices rhohat, tauhat of mode l at the surface, reduced
// to the mode's n active bands.
struct ModeMatrices {
  dense::Sq rho, tau;
};
ModeMatrices mode_matrices(RunState& rs, int l) {
  rhotau_reset(rs);
  rhotau(rs, l, 0.0, 0.0);
  const int n = l == 0 ? rs.cmisc.nmu : rs.cmisc.nmu - 1;
  return {block(rs.sol.crhotau.rhohat, n), block(rs.sol.crhotau.tauhat, n)};
}

}  // namespace

// Closed form and doubling agree; very thick slabs stay finite and reach the
// semi-infinite reflectance of the bottom operator.
TEST(SlabOps, ClosedFormIsStableAtGreatOpticalDepth) {
  SolverSetup s = hg_setup();
  s.zeta = {0.0, 60.0};
  SolverRun run(s);
  RunState& rs = *run;
  const BandProblem bp = band_problem(rs);  // infinitely deep: the bottom operators are the semi-infinite reflectances
  for (int l : {0, 3}) {
    const ModeMatrices mm = mode_matrices(rs, l);
    const int n = mm.rho.n;
    const SlabMedium m = slab_medium(mm.rho, mm.tau);
    ASSERT_TRUE(m.eigen);
    SlabMedium dbl = m;
    dbl.eigen = false;
    for (double h : {0.01, 1.0, 7.3}) {
      const SlabRT a = slab_rt(m, h), b = slab_rt(dbl, h);
      for (std::size_t e = 0; e < a.r.a.size(); ++e) {
        EXPECT_NEAR(a.r.a[e], b.r.a[e], 1e-10) << "r, l=" << l << " h=" << h;
        EXPECT_NEAR(a.t.a[e], b.t.a[e], 1e-10) << "t, l=" << l << " h=" << h;
      }
    }
    for (double h : {60.0, 1.0e3, 1.0e8}) {
      const SlabRT a = slab_rt(m, h);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          ASSERT_TRUE(std::isfinite(a.r(i, j)) && std::isfinite(a.t(i, j)));
          EXPECT_NEAR(a.r(i, j), bp.bottom[static_cast<std::size_t>(l)](i + 1, j + 1), 1e-9);
          if (h > 100.0) {
            EXPECT_LT(std::abs(a.t(i, j)), 1e-100);
          }
        }
    }
  }
}

// The eigen-solution goes through a symmetric problem when the coefficients
// are reciprocal to within the angular integration's accuracy, corrected to
// the matrices as they are, and through the general one otherwise: both
// agree with doubling from a thin layer, defect or not.
TEST(SlabOps, ClosedFormHoldsWhateverTheReciprocityDefect) {
  SolverSetup s = hg_setup();
  SolverRun run(s);
  RunState& rs = *run;
  for (int l : {0, 2}) {
    const ModeMatrices mm = mode_matrices(rs, l);
    // 3.6e-6: the library phase functions; 5e-5: corrected in more than one step.
    for (double defect : {0.0, 3e-7, 3.6e-6, 5e-5, 1e-3}) {
      dense::Sq rho = mm.rho, tau = mm.tau;
      tau(1, 2) *= 1.0 + defect;  // one coupling no longer reciprocal
      rho(3, 0) *= 1.0 - defect;
      const SlabMedium m = slab_medium(rho, tau);
      ASSERT_TRUE(m.eigen);
      SlabMedium dbl = m;
      dbl.eigen = false;
      for (double h : {0.05, 2.0}) {
        const SlabRT a = slab_rt(m, h), b = slab_rt(dbl, h);
        for (std::size_t e = 0; e < a.r.a.size(); ++e) {
          EXPECT_NEAR(a.r.a[e], b.r.a[e], 1e-11) << "r, l=" << l << " defect=" << defect << " h=" << h;
          EXPECT_NEAR(a.t.a[e], b.t.a[e], 1e-11) << "t, l=" << l << " defect=" << defect << " h=" << h;
        }
      }
    }
  }
}

namespace {

// Reflectance and transmittance of a slab whose scattering grows linearly with
// depth (coefficients A0 + x D, x from 0 at the top to 1 at the bottom of the
// slab stack), by n slabs of the varying-slab scheme.
SlabRT graded_stack(const dense::Sq& rho0, const dense::Sq& tau0, const dense::Sq& drho, const dense::Sq& dtau,
                    double depth, int n) {
  auto medium_at = [&](double x1, double x2, double w1, double w2) {
    dense::Sq r = rho0, t = tau0;
    for (std::size_t e = 0; e < r.a.size(); ++e) {
      r.a[e] += (w1 * x1 + w2 * x2) * drho.a[e];
      t.a[e] += (w1 * x1 + w2 * x2) * dtau.a[e];
    }
    return slab_medium(r, t);
  };
  SlabRT all;
  for (int i = 0; i < n; ++i) {
    const double x1 = (i + kGaussUpper) / n, x2 = (i + kGaussLower) / n;
    const SlabMedium up = medium_at(x1, x2, kMagnusNear, kMagnusFar), lo = medium_at(x1, x2, kMagnusFar, kMagnusNear);
    const SlabRT s = varying_slab_rt({&up, &lo, depth / n});
    all = (i == 0) ? s : stack_rt(all, s);
  }
  return all;
}

double max_diff(const dense::Sq& a, const dense::Sq& b) {
  double d = 0.0;
  for (std::size_t e = 0; e < a.a.size(); ++e) d = std::max(d, std::abs(a.a[e] - b.a[e]));
  return d;
}

}  // namespace

// Two halves of a homogeneous slab stacked give the whole slab, which looks the
// same from both sides.
TEST(SlabOps, StackedHalvesOfAHomogeneousSlabAreTheWholeSlab) {
  SolverSetup s = hg_setup();
  SolverRun run(s);
  RunState& rs = *run;
  const ModeMatrices mm = mode_matrices(rs, 1);
  const SlabMedium m = slab_medium(mm.rho, mm.tau);
  const SlabRT whole = slab_rt(m, 1.7), half = slab_rt(m, 0.85), both = stack_rt(half, half);
  EXPECT_LT(max_diff(both.r, whole.r), 1e-13);
  EXPECT_LT(max_diff(both.t, whole.t), 1e-13);
  EXPECT_LT(max_diff(both.r_below(), whole.r), 1e-13);
  EXPECT_LT(max_diff(both.t_up(), whole.t), 1e-13);
}

// A slab whose scattering changes with depth: the varying-slab scheme converges
// at fourth order (halving the slabs divides the error by about 16), and the
// slab reflects differently from above and from below.
TEST(SlabOps, VaryingSlabSchemeIsOfFourthOrder) {
  SolverSetup s = hg_setup();
  SolverRun run(s);
  RunState& rs = *run;
  const ModeMatrices mm = mode_matrices(rs, 0);
  const int n = mm.rho.n;
  const dense::Sq &rho0 = mm.rho, &tau0 = mm.tau;
  // D: a fifth of the scattering part of the coefficients, so the albedo grows by 20 % down the slab.
  dense::Sq drho = rho0, dtau = tau0;
  for (int i = 0; i < n; ++i) dtau(i, i) += 1.0 / rs.cgrid.fmu(i + 1);
  const double depth = 0.25;
  for (std::size_t e = 0; e < drho.a.size(); ++e) drho.a[e] *= 0.2, dtau.a[e] *= 0.2;
  const SlabRT ref = graded_stack(rho0, tau0, drho, dtau, depth, 64);
  auto error = [&](int n) {
    const SlabRT x = graded_stack(rho0, tau0, drho, dtau, depth, n);
    return std::max({max_diff(x.r, ref.r), max_diff(x.t, ref.t), max_diff(x.r_below(), ref.r_below()),
                     max_diff(x.t_up(), ref.t_up())});
  };
  const double e4 = error(4), e8 = error(8);
  EXPECT_GT(e8, 0.0);
  EXPECT_GT(e4 / e8, 12.0) << e4 << " " << e8;
  EXPECT_GT(max_diff(ref.r, ref.r_below()), 1e-4);
}

// Infinitely deep water, modes l > 0: the reflectance of a slab of the deepest
// water as its thickness goes to infinity is the stationary reflectance the
// bottom routine finds from the general eigen-solution (forward-peaked
// scattering, so every mode carries light; and a conservative medium, where
// mode 0 has no decaying mode but modes l > 0 do).
TEST(ExactSolver, DeepWaterReflectanceOfTheModesIsTheBottomRoutines) {
  for (const auto& [a, b, g] : {std::tuple{0.1, 0.4, 0.9}, std::tuple{0.0, 1.0, 0.5}}) {
    SolverSetup s;
    s.a = a;
    s.b = b;
    s.g = g;
    s.zeta = {0.0, 1.0, 3.0};
    SolverRun run(s);
    RunState& rs = *run;
    const BandProblem bp = band_problem(rs);
    double worst = 0.0, big = 0.0;
    for (int l = 1; l <= rs.cmisc.lmax; ++l) {
      botmbc(rs, l);
      for (int j = 1; j <= rs.cmisc.nmu; ++j)
        for (int i = 1; i <= rs.cmisc.nmu; ++i) {
          worst = std::max(worst, std::abs(bp.bottom[static_cast<std::size_t>(l)](i, j) - rs.bot.cbotbc(i, j)));
          big = std::max(big, std::abs(rs.bot.cbotbc(i, j)));
        }
    }
    EXPECT_GT(big, 1e-3) << "b = " << b;
    EXPECT_LT(worst, 1e-9 * big) << "b = " << b << ", g = " << g;
    EXPECT_GT(worst, 0.0) << "the band problem took the bottom routine's own reflectance";
  }
}
