// Physics of the air-water surface operators: Fresnel, energy balance,
// total internal reflection, refraction of a uniform sky, the calm limit of
// the wind-blown surface and the growth of the sun glint with wind.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "grid/fresnel.hpp"
#include "grid/surface_amplitudes.hpp"
#include "grid/surface_optics.hpp"
#include "surface_test_util.hpp"

namespace abyss {
namespace {

using testing_surface::partition;

constexpr double kN = 1.34;

double row_power(const QuadSpace& qs, const Mat& m, int q) {
  double p = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt) p += m(q, qt) * qs.power(qt);
  return p;
}

// Fraction of the power of source quad q that process m sends anywhere.
double fraction(const QuadSpace& qs, const Mat& m, int q) { return row_power(qs, m, q) / qs.power(q); }

TEST(SurfaceFresnel, NormalIncidenceAndCriticalAngle) {
  const double r0 = std::pow((kN - 1.0) / (kN + 1.0), 2);
  EXPECT_NEAR(fresnel_reflectance(1.0, 1.0 / kN), r0, 1e-15);
  EXPECT_NEAR(fresnel_reflectance(1.0, kN), r0, 1e-15);
  EXPECT_DOUBLE_EQ(fresnel_reflectance(0.5 * critical_cos(kN), kN), 1.0);
  EXPECT_LT(snell_cos(0.5 * critical_cos(kN), kN), 0.0);
  EXPECT_NEAR(fresnel_reflectance(1e-9, 1.0 / kN), 1.0, 1e-6);  // grazing incidence
  // Snell: n sin(theta_t) = sin(theta_i).
  const double ci = std::cos(0.7), ct = snell_cos(ci, 1.0 / kN);
  EXPECT_NEAR(kN * std::sqrt(1 - ct * ct), std::sin(0.7), 1e-14);
  // Reciprocity of unpolarised Fresnel reflectance across the interface.
  EXPECT_NEAR(fresnel_reflectance(ci, 1.0 / kN), fresnel_reflectance(ct, kN), 1e-14);
}

// Reference band integral of mu*T by a fine midpoint rule.
double band_transmittance(double lo, double hi, double eta) {
  const int n = 20000;
  double num = 0.0, den = 0.0;
  for (int i = 0; i < n; ++i) {
    const double mu = lo + (hi - lo) * (i + 0.5) / n;
    num += mu * (1.0 - fresnel_reflectance(mu, eta));
    den += mu;
  }
  return num / den;
}

TEST(SurfaceLevel, FractionsFollowFresnel) {
  const QuadSpace qs(partition(10, 24));
  const QuadOperators ops = level_surface_operators(qs, kN);
  const Grid& g = qs.grid();
  for (int u = 1; u <= qs.nmu(); ++u) {
    const int q = qs.index(u, 3);
    const double ta = band_transmittance(g.bndmu(u - 1), g.bndmu(u), 1.0 / kN);
    const double tw = band_transmittance(g.bndmu(u - 1), g.bndmu(u), kN);
    EXPECT_NEAR(fraction(qs, ops.t_aw, q), ta, 2e-6) << "band " << u;
    EXPECT_NEAR(fraction(qs, ops.r_aw, q), 1.0 - ta, 2e-6) << "band " << u;
    EXPECT_NEAR(fraction(qs, ops.t_wa, q), tw, 2e-5) << "band " << u;
    EXPECT_NEAR(fraction(qs, ops.r_wa, q) + fraction(qs, ops.t_wa, q), 1.0, 1e-12);
  }
}

TEST(SurfaceLevel, TotalInternalReflectionBeyondCriticalAngle) {
  const QuadSpace qs(partition(10, 24));
  const QuadOperators ops = level_surface_operators(qs, kN);
  const double mc = critical_cos(kN);
  int beyond = 0;
  for (int u = 1; qs.grid().bndmu(u) < mc; ++u, ++beyond) {
    for (int s = 1; s <= qs.nphi(); ++s) {
      const int q = qs.index(u, s);
      EXPECT_EQ(row_power(qs, ops.t_wa, q), 0.0);
      EXPECT_NEAR(fraction(qs, ops.r_wa, q), 1.0, 1e-13);
      // Specular: all of it stays in the mirror quad.
      EXPECT_NEAR(ops.r_wa(q, q) * qs.power(q) / qs.power(q), 1.0, 1e-13);
    }
  }
  EXPECT_EQ(beyond, 4);  // bands 1-4 (polar angles above 48.3 degrees) for n = 1.34
}

TEST(SurfaceLevel, AmplitudeOperatorsAreBlockDiagonalInMode) {
  const QuadSpace qs(partition(10, 24));
  const auto slots = amplitude_slots(qs, level_surface_operators(qs, kN));
  const AmplitudeLayout lay(qs);
  const auto [diag, off] = testing_surface::mode_coupling(slots, lay);
  EXPECT_GT(diag, 0.5);
  EXPECT_LT(off, 1e-12);
}

TEST(SurfaceLevel, UniformSkyGivesTransmittedNSquaredInsideRefractedCone) {
  const QuadSpace qs(partition(10, 24));
  const auto slots = amplitude_slots(qs, level_surface_operators(qs, kN));
  const int nmu = qs.nmu();
  const Grid& g = qs.grid();
  const double mc = critical_cos(kN);  // edge of the refracted cone (cosine)
  int inside = 0, outside = 0;
  for (int ut = 1; ut <= nmu; ++ut) {
    double below = 0.0;  // mode-0 amplitude just below for a unit uniform sky
    for (int u = 1; u <= nmu; ++u) below += slots[0](u, ut);
    if (g.bndmu(ut - 1) > mc) {
      const double mu_air = snell_cos(g.fmu(ut), kN);
      const double t = 1.0 - fresnel_reflectance(mu_air, 1.0 / kN);
      EXPECT_NEAR(below, t * kN * kN, 0.01 * kN * kN) << "band " << ut;
      ++inside;
    } else if (g.bndmu(ut) < mc) {
      EXPECT_EQ(below, 0.0) << "band " << ut;
      ++outside;
    }
  }
  EXPECT_EQ(inside, 5);
  EXPECT_EQ(outside, 4);
}

TEST(SurfaceLevel, IndexOneIsTransparent) {
  const QuadSpace qs(partition(6, 8));
  for (const QuadOperators& ops : {level_surface_operators(qs, 1.0), surface_operators(qs, 1.0, 10.0, {8})}) {
    for (int q = 1; q <= qs.size(); ++q)
      for (int qt = 1; qt <= qs.size(); ++qt) {
        EXPECT_NEAR(ops.t_aw(q, qt), q == qt ? 1.0 : 0.0, 1e-12);
        EXPECT_NEAR(ops.t_wa(q, qt), q == qt ? 1.0 : 0.0, 1e-12);
        EXPECT_NEAR(ops.r_aw(q, qt), 0.0, 1e-14);
        EXPECT_NEAR(ops.r_wa(q, qt), 0.0, 1e-14);
      }
  }
}

TEST(SurfaceAmplitudes, AnalysisInvertsSynthesis) {
  const QuadSpace qs(partition(5, 12));
  const Mat syn = synthesis_matrix(qs), ana = analysis_matrix(qs);
  for (int q = 1; q <= qs.size(); ++q)
    for (int qt = 1; qt <= qs.size(); ++qt) {
      double v = 0.0;
      for (int i = 1; i <= syn.ld(); ++i) v += ana(q, i) * syn(i, qt);
      EXPECT_NEAR(v, q == qt ? 1.0 : 0.0, 1e-13);
    }
}

TEST(SurfaceWind, EveryRayEndsSomewhere) {
  const QuadSpace qs(partition(6, 8));
  const QuadOperators ops = rough_surface_operators(qs, kN, cox_munk_variances(15.0), {12});
  for (int q = 1; q <= qs.size(); ++q) {
    EXPECT_NEAR(fraction(qs, ops.t_aw, q) + fraction(qs, ops.r_aw, q), 1.0, 1e-12);
    EXPECT_NEAR(fraction(qs, ops.t_wa, q) + fraction(qs, ops.r_wa, q), 1.0, 1e-12);
  }
}

TEST(SurfaceWind, MirrorSymmetricAboutWindAndCrosswind) {
  const QuadSpace qs(partition(6, 8));
  const QuadOperators ops = surface_operators(qs, kN, 8.0, {6});
  auto mirrored = [&](int q, bool cross) {
    const double mu = qs.grid().fmu(qs.band_of(q)), phi = qs.gridphi().phi(qs.azimuth_of(q));
    return qs.quad_at(mu, cross ? std::numbers::pi - phi : -phi);
  };
  for (bool cross : {false, true})
    for (int q = 1; q <= qs.size(); ++q)
      for (int qt = 1; qt <= qs.size(); ++qt) {
        EXPECT_NEAR(ops.r_aw(q, qt), ops.r_aw(mirrored(q, cross), mirrored(qt, cross)), 1e-15);
        EXPECT_NEAR(ops.t_wa(q, qt), ops.t_wa(mirrored(q, cross), mirrored(qt, cross)), 1e-15);
      }
}

TEST(SurfaceWind, CoxMunkVariances) {
  const SlopeVariances v = cox_munk_variances(10.0);
  EXPECT_DOUBLE_EQ(v.upwind + v.crosswind, 0.003 + 0.0512);  // mean square slope 0.003 + 0.00512 U
  EXPECT_TRUE(v.isotropic());
  EXPECT_EQ(cox_munk_variances(0.0).crosswind, 0.0);
  EXPECT_LT(cox_munk_variances(0.01).crosswind, 1e-4);
}

// Largest difference of the power fractions of two operator sets.
double max_difference(const QuadSpace& qs, const QuadOperators& a, const QuadOperators& b) {
  double d = 0.0;
  const std::array<std::pair<const Mat*, const Mat*>, 4> pairs{
      {{&a.t_aw, &b.t_aw}, {&a.r_aw, &b.r_aw}, {&a.t_wa, &b.t_wa}, {&a.r_wa, &b.r_wa}}};
  for (auto [x, y] : pairs)
    for (int q = 1; q <= qs.size(); ++q)
      for (int qt = 1; qt <= qs.size(); ++qt)
        d = std::max(d, std::fabs((*x)(q, qt) - (*y)(q, qt)) * qs.power(qt) / qs.power(q));
  return d;
}

TEST(SurfaceWind, CalmLimitIsTheLevelSurface) {
  const QuadSpace qs(partition(6, 8));
  const QuadOperators level = level_surface_operators(qs, kN);
  const double calm = max_difference(qs, level, surface_operators(qs, kN, 1e-4, {32}));
  const double breeze = max_difference(qs, level, surface_operators(qs, kN, 3.0, {32}));
  EXPECT_LT(calm, 0.03);
  EXPECT_GT(breeze, 5.0 * calm);
}

// Power-weighted rms angle (rad) between the reflected light and the specular
// direction of a sun at 30 degrees, azimuth 0.
double glint_width(double wind) {
  const QuadSpace qs(partition(10, 24));
  const QuadOperators ops = surface_operators(qs, kN, wind, {16});
  const int q = qs.quad_at(std::cos(std::numbers::pi / 6.0), 0.0);
  const Grid& g = qs.grid();
  const GridPhi& gp = qs.gridphi();
  double sum = 0.0, sum2 = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt) {
    const double mu = g.fmu(qs.band_of(qt)), phi = gp.phi(qs.azimuth_of(qt));
    const double st = std::sqrt(1.0 - mu * mu);
    const double c = st * std::cos(phi) * 0.5 + mu * std::cos(std::numbers::pi / 6.0);
    const double ang = std::acos(std::min(1.0, c));
    const double p = ops.r_aw(q, qt) * qs.power(qt);
    sum += p;
    sum2 += p * ang * ang;
  }
  return std::sqrt(sum2 / sum);
}

TEST(SurfaceWind, GlintWidensWithWind) {
  const double w2 = glint_width(2.0), w6 = glint_width(6.0), w12 = glint_width(12.0);
  EXPECT_LT(w2, w6);
  EXPECT_LT(w6, w12);
  EXPECT_GT(w12, 1.3 * w2);
}

}  // namespace
}  // namespace abyss
