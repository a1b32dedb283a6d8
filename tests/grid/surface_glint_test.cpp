// The wind-blown surface operators against an independent quadrature of the
// single facet interaction: sun glint element by element, the brightest
// quad, the grazing bands; the reflectance of a uniform sky; the Fourier
// structure of an isotropic surface; and the smoothness in wind speed of
// what the loader interpolates.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <utility>

#include "control/run_state.hpp"
#include "grid/glint_quadrature.hpp"
#include "grid/surface.hpp"
#include "grid/surface_amplitudes.hpp"
#include "surface_test_util.hpp"

namespace abyss {
namespace {

using testing_surface::partition;

constexpr double kN = 1.34;

// The six glint comparisons (suns at 30 and 60 degrees, winds 2, 6 and
// 10 m/s) on the 10 x 24 partition, computed once for the suite.
class SurfaceGlint : public ::testing::Test {
 protected:
  static const GlintCheck& check(double sun, int wind) {
    static std::map<std::pair<int, int>, GlintCheck> done;
    const auto key = std::make_pair(static_cast<int>(sun), wind);
    auto it = done.find(key);
    if (it == done.end()) {
      const QuadSpace qs(partition(10, 24));
      it = done.emplace(key, check_sun_glint(qs, kN, wind, sun, RaySampling{}, 6)).first;
    }
    return it->second;
  }
};

TEST_F(SurfaceGlint, SingleInteractionsMatchTheQuadratureElementByElement) {
  for (double sun : {30.0, 60.0})
    for (int wind : {2, 6, 10}) {
      const GlintCheck& c = check(sun, wind);
      EXPECT_GE(c.elements, 10) << sun << ' ' << wind;
      EXPECT_LT(c.worst_single, 0.02) << "sun " << sun << " U " << wind;
      EXPECT_NEAR(c.reflected_single, 1.0, 0.002) << "sun " << sun << " U " << wind;
    }
}

TEST_F(SurfaceGlint, BrightestQuadIsWhereTheSlopeStatisticsPutIt) {
  const QuadSpace qs(partition(10, 24));
  for (double sun : {30.0, 60.0})
    for (int wind : {2, 6, 10}) {
      const GlintCheck& c = check(sun, wind);
      EXPECT_EQ(c.brightest_full, c.brightest_quadrature) << "sun " << sun << " U " << wind;
      EXPECT_EQ(c.brightest_single, c.brightest_quadrature) << "sun " << sun << " U " << wind;
      EXPECT_EQ(qs.azimuth_of(c.brightest_full), 1);  // in the sun's plane, travelling on
    }
  // At 2 and 6 m/s the specular quad (25-35 degrees) is the brightest for
  // the sun at 30 degrees; at 10 m/s the 35-45 band overtakes it.
  EXPECT_EQ(qs.band_of(check(30.0, 2).brightest_quadrature), 7);
  EXPECT_EQ(qs.band_of(check(30.0, 6).brightest_quadrature), 7);
  EXPECT_EQ(qs.band_of(check(30.0, 10).brightest_quadrature), 6);
}

TEST_F(SurfaceGlint, OperatorAsWrittenMatchesWhereLightMeetsTheSurfaceOnce) {
  for (double sun : {30.0, 60.0})
    for (int wind : {2, 6, 10}) {
      const GlintCheck& c = check(sun, wind);
      if (sun == 30.0 || wind == 2) {
        EXPECT_LT(c.worst_full, 0.02) << "sun " << sun << " U " << wind;
        EXPECT_NEAR(c.reflected_full, 1.0, 0.002) << "sun " << sun << " U " << wind;
      } else {
        // With the sun low and the wind strong, light reflected down by one
        // facet meets another near grazing incidence, where Fresnel's
        // reflectance is high, and goes up: it adds 1.5 % (6 m/s) and 3 %
        // (10 m/s) to the reflected sunlight, most of it in the grazing
        // bands, and takes nothing away.
        EXPECT_GT(c.reflected_full, 1.005) << "sun " << sun << " U " << wind;
        EXPECT_LT(c.reflected_full, 1.04) << "sun " << sun << " U " << wind;
        EXPECT_GT(c.grazing_full, c.grazing_single) << "sun " << sun << " U " << wind;
      }
    }
}

TEST_F(SurfaceGlint, GrazingBandsAtTenMetresPerSecond) {
  for (double sun : {30.0, 60.0}) {
    const GlintCheck& c = check(sun, 10);
    EXPECT_NEAR(c.grazing_single, 1.0, 0.05) << sun;
    EXPECT_NEAR(c.grazing_full, 1.0, 0.05) << sun;
  }
  // Upwelling light just inside the critical angle refracted into the
  // band next to the horizon.
  const QuadSpace qs(partition(10, 24));
  const GrazingTransmission t = check_grazing_transmission(qs, kN, 10.0, 50.0, RaySampling{}, 6);
  EXPECT_GT(t.quadrature, 1e-3);
  EXPECT_NEAR(t.single, 1.0, 0.05);
  EXPECT_NEAR(t.full, 1.0, 0.05);
}

TEST(SurfaceGlintQuadrature, ConvergedAndEnergyBounded) {
  const QuadSpace qs(partition(10, 24));
  const SlopeVariances v = cox_munk_variances(6.0);
  const int q = qs.quad_at(std::cos(std::numbers::pi / 3.0), 0.0);
  const FirstOrderRow a = first_order_row(qs, kN, v, q, true, 4), b = first_order_row(qs, kN, v, q, true, 6);
  double ra = 0.0, ta = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt) {
    const auto k = static_cast<std::size_t>(qt);
    EXPECT_NEAR(a.refl[k], b.refl[k], 1e-3 * b.refl[k] + 1e-12);
    ra += a.refl[k] * qs.power(qt);
    ta += a.trans[k] * qs.power(qt);
  }
  // What meets the surface once and leaves is at most all of it, and at
  // 6 m/s with the sun at 60 degrees nearly all of it.
  EXPECT_LT((ra + ta) / qs.power(q), 1.0);
  EXPECT_GT((ra + ta) / qs.power(q), 0.99);
  // Calm limit: the level surface's Fresnel reflectance of the sun's quad.
  const FirstOrderRow calm = first_order_row(qs, kN, cox_munk_variances(0.3), q, true, 6);
  double rc = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt) rc += calm.refl[static_cast<std::size_t>(qt)] * qs.power(qt);
  const QuadOperators level = level_surface_operators(qs, kN);
  double rl = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt) rl += level.r_aw(q, qt) * qs.power(qt);
  EXPECT_NEAR(rc / rl, 1.0, 0.01);
}

// Reflectance of a uniform sky (unit radiance over every quad of the air).
double uniform_sky_reflectance(double wind) {
  const QuadSpace qs(partition(10, 24));
  RaySampling rays;
  rays.strata = 24;
  rays.slope_strata = 6;
  double in = 0.0, out = 0.0;
  for (int u = 1; u <= qs.nmu(); ++u) {
    const int q = qs.index(u, 1), copies = u == qs.nmu() ? 1 : qs.nphi();
    const SurfaceRow row = rough_surface_row(qs, kN, cox_munk_variances(wind), rays, q, true);
    for (int qt = 1; qt <= qs.size(); ++qt) out += copies * row.refl[static_cast<std::size_t>(qt)] * qs.power(qt);
    in += copies * qs.power(q);
  }
  return out / in;
}

TEST(SurfaceWindSky, UniformSkyReflectance) {
  EXPECT_NEAR(uniform_sky_reflectance(2.0), 0.0632, 0.0632 * 0.005);
  EXPECT_NEAR(uniform_sky_reflectance(10.0), 0.0560, 0.0560 * 0.005);
  EXPECT_NEAR(uniform_sky_reflectance(15.0), 0.0531, 0.0531 * 0.005);
}

TEST(SurfaceWind, IsotropicSurfaceKeepsFourierModesApart) {
  const QuadSpace qs(partition(6, 8));
  const auto slots = amplitude_slots(qs, surface_operators(qs, kN, 8.0, {8}));
  const AmplitudeLayout lay(qs);
  const auto [diag, off] = testing_surface::mode_coupling(slots, lay);
  EXPECT_GT(diag, 0.1);
  EXPECT_LT(off, 1e-12);
}

TEST(SurfaceWind, RowOfOneQuadIsTheRowOfTheWholeOperator) {
  const QuadSpace qs(partition(6, 8));
  const RaySampling rays{6};
  const QuadOperators ops = rough_surface_operators(qs, kN, cox_munk_variances(6.0), rays);
  const int q = qs.index(3, 5);
  const SurfaceRow air = rough_surface_row(qs, kN, cox_munk_variances(6.0), rays, q, true);
  const SurfaceRow water = rough_surface_row(qs, kN, cox_munk_variances(6.0), rays, q, false);
  for (int qt = 1; qt <= qs.size(); ++qt) {
    const auto k = static_cast<std::size_t>(qt);
    EXPECT_DOUBLE_EQ(air.refl[k], ops.r_aw(q, qt));
    EXPECT_DOUBLE_EQ(air.trans[k], ops.t_aw(q, qt));
    EXPECT_DOUBLE_EQ(water.refl[k], ops.r_wa(q, qt));
    EXPECT_DOUBLE_EQ(water.trans[k], ops.t_wa(q, qt));
  }
}

// Upward plane irradiance in air for a sun of 0.7 W m^-2 nm^-1 in the quad
// at 30 degrees and a uniform sky of 0.3, reflected by the operators the
// loader interpolates for wind U (level, black water below).
double reflected_eu(const testing_surface::ScratchDir& d, double U) {
  testing_surface::TestRun run(d, kN);
  loadsurface(*run.rs, U, 500.0);
  const RunState& rs = *run.rs;
  const QuadSpace qs(partition(10, 24));
  const int sun = qs.quad_at(std::cos(std::numbers::pi / 6.0), 0.0);
  const double sky = 0.3 / std::numbers::pi;
  Mat radiance(1, qs.size());
  for (int q = 1; q <= qs.size(); ++q) radiance(1, q) = sky + (q == sun ? 0.7 / qs.power(q) : 0.0);
  const Mat ana = analysis_matrix(qs);
  const AmplitudeLayout lay(qs);
  double eu = 0.0;
  for (int ut = 1; ut <= lay.nmu; ++ut) {
    double a0 = 0.0;  // mode-0 amplitude of the reflected radiance in band ut
    for (int i = 1; i <= lay.nhat(); ++i) {
      double v = 0.0;
      for (int q = 1; q <= qs.size(); ++q) v += radiance(1, q) * ana(q, i);
      a0 += v * rs.surf.slot[6](i, lay.cos_index(0, ut));
    }
    eu += a0 * qs.power(qs.index(ut, 1)) * (ut == lay.nmu ? 1 : lay.nphi);
  }
  return eu;
}

TEST(SurfaceWindInterpolation, ReflectedEuChangesSmoothlyWithWind) {
  testing_surface::ScratchDir d;
  testing_surface::generate(d.path(), partition(10, 24), {1340}, {2, 4, 6, 8}, 24);
  std::vector<double> eu;
  for (double U = 2.0; U <= 8.0 + 1e-9; U += 0.5) eu.push_back(reflected_eu(d, U));
  // Eu falls as the wind rises (the sky's reflectance falls faster than
  // the sun's rises), monotonically across the listed winds and from 4 to
  // 6 m/s in every half-metre step.
  for (std::size_t i = 1; i < eu.size(); ++i) EXPECT_LT(eu[i], eu[i - 1]) << "U = " << 2.0 + 0.5 * i;
  // No kink at the listed winds beyond what the physics gives: the slopes
  // of neighbouring intervals differ by less than half their size.
  const double s24 = eu[4] - eu[0], s46 = eu[8] - eu[4], s68 = eu[12] - eu[8];
  EXPECT_NEAR(s46 / s24, 1.0, 0.5);
  EXPECT_NEAR(s68 / s46, 1.0, 0.5);
}

}  // namespace
}  // namespace abyss
