// Emission of a slab for a source exponential in optical depth: the closed form
// against the quadrature of the point-source response, on slabs of constant and
// of varying IOPs, for steep and shallow beams and beams close to resonance
// with the slab's own eigenvalues.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "solver/emission_compare.hpp"
#include "solver/slab_ops.hpp"
#include "util/gauss_legendre.hpp"

namespace abyss {
namespace {

using dense::Sq;
using testing::max_rel_diff;

// Isotropic scattering of albedo w between n Gauss directions per hemisphere:
// d' = d tau + u rho, tau = -1/mu + w/2 weights/mu, rho = w/2 weights/mu.
SlabMedium isotropic_medium(int n, double w) {
  const auto gl = util::gauss_legendre(n);
  Sq rho(n), tau(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double mu = 0.5 * (gl[static_cast<std::size_t>(j)].x + 1.0);
      const double wi = 0.5 * gl[static_cast<std::size_t>(i)].w;
      rho(i, j) = 0.5 * w * wi / mu;
      tau(i, j) = rho(i, j) - (i == j ? 1.0 / mu : 0.0);
    }
  return slab_medium(rho, tau);
}

// A fixed pattern of source amplitudes (both halves, both directions).
SourceAmps pattern(int n, double scale) {
  SourceAmps a;
  for (int i = 0; i < n; ++i) {
    a.down_cos[static_cast<std::size_t>(i)] = scale * (1.0 + 0.3 * i);
    a.up_cos[static_cast<std::size_t>(i)] = scale * (0.4 - 0.05 * i);
    a.down_sin[static_cast<std::size_t>(i)] = scale * 0.2 * std::sin(i + 1.0);
    a.up_sin[static_cast<std::size_t>(i)] = scale * 0.1 * std::cos(i + 1.0);
  }
  return a;
}

SourceAmps scaled(const SourceAmps& a, double f) {
  SourceAmps o;
  for (std::size_t i = 0; i < a.up_cos.size(); ++i) {
    o.up_cos[i] = f * a.up_cos[i];
    o.down_cos[i] = f * a.down_cos[i];
    o.up_sin[i] = f * a.up_sin[i];
    o.down_sin[i] = f * a.down_sin[i];
  }
  return o;
}

// s(x) = (g0 + g1 x) e^{-p x} V: as a point source and as exponential terms.
struct TestSource {
  double p, g0, g1;
  SourceAmps v;
  SlabSource point() const {
    return [this](double x, SourceAmps& a) { a = scaled(v, (g0 + g1 * x) * std::exp(-p * x)); };
  }
  ExpSourceFn terms() const {
    return [this](double x0, double, ExpSources& out) {
      out.terms.push_back({p, (g0 + g1 * x0) * std::exp(-p * x0), g1 * std::exp(-p * x0), static_cast<int>(out.shapes.size())});
      out.shapes.push_back(v);
    };
  }
};

constexpr int kN = 6;

TEST(ExpEmission, ClosedFormMatchesQuadratureInAConstantSlab) {
  const SlabMedium m = isotropic_medium(kN, 0.8);
  ASSERT_TRUE(m.eigen);
  for (double h : {0.05, 0.7, 4.0})
    for (double mu0 : {1.0, 0.8, 0.5, 0.25, 0.06})
      for (double g1 : {0.0, -0.3}) {
        const TestSource s{1.0 / mu0, 1.0, g1, pattern(kN, 1.0)};
        const SlabRT rt = slab_rt(m, h);
        ExpSources terms;
        s.terms()(0.0, h, terms);
        const auto closed = exp_emission(m, rt, h, terms);
        ASSERT_TRUE(closed) << mu0;
        const SlabEmission quad = slab_emission(m, h, s.point(), 1e-12);
        EXPECT_LT(max_rel_diff(*closed, quad), 1e-9) << "h " << h << " mu0 " << mu0 << " g1 " << g1;
      }
}

TEST(ExpEmission, HoldsNearAndAtResonanceWithTheSlabsEigenvalues) {
  // A beam whose decay rate equals an eigenvalue K: the particular solution is
  // singular there, the emission is not.
  const SlabMedium m = isotropic_medium(kN, 0.6);
  ASSERT_TRUE(m.eigen);
  const double h = 1.5;
  const SlabRT rt = slab_rt(m, h);
  int tried = 0;
  for (double k : m.k) {
    if (k < 1.0) continue;  // a beam decays at least as fast as 1 per optical depth
    for (double off : {2e-3, 5e-5, 1e-5, 1e-7, 0.0, -3e-6}) {
      const TestSource s{k * (1.0 + off), 1.0, 0.4, pattern(kN, 1.0)};
      ExpSources terms;
      s.terms()(0.0, h, terms);
      const auto closed = exp_emission(m, rt, h, terms);
      ASSERT_TRUE(closed) << k;
      EXPECT_LT(max_rel_diff(*closed, slab_emission(m, h, s.point(), 1e-12)), 1e-8) << "k " << k << " off " << off;
      ++tried;
    }
  }
  EXPECT_GT(tried, 12);
}

// Weak isotropic scattering of albedo w between directions mu with weights
// 1/n: the eigenvalues stay close to 1/mu.
SlabMedium weakly_scattering_medium(const std::vector<double>& mu, double w) {
  const int n = static_cast<int>(mu.size());
  Sq rho(n), tau(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double muj = mu[static_cast<std::size_t>(j)];
      rho(i, j) = 0.5 * w / n / muj;
      tau(i, j) = rho(i, j) - (i == j ? 1.0 / muj : 0.0);
    }
  return slab_medium(rho, tau);
}

TEST(ExpEmission, HoldsAtResonanceWithTwoCloseEigenvalues) {
  // Two directions 0.35 % (0.12 %) apart in 1/mu and two eigenvalues 0.36 %
  // (0.14 %) apart, as the middle polar bands of a fine partition give, and
  // beams at and about each of them: the plain stencil around one reaches the
  // other. The thin slab: near resonance the particular solution is large
  // against the emission, so a stencil whose rates come closer to the
  // eigenvalues than the window loses it.
  for (double ratio : {1.0035, 1.0012}) {
    const SlabMedium m = weakly_scattering_medium({0.9, 0.5, 0.5 / ratio, 0.3, 0.15}, 0.004);
    ASSERT_TRUE(m.eigen);
    std::vector<double> k = m.k;
    std::sort(k.begin(), k.end());
    std::vector<double> pair;
    for (std::size_t i = 0; i + 1 < k.size(); ++i)
      if (k[i + 1] / k[i] < 1.004) pair = {k[i], k[i + 1]};
    ASSERT_EQ(pair.size(), 2u) << "no close pair of eigenvalues";
    for (double kr : pair)
      for (double h : {0.002, 0.4, 3.0})
        for (double off : {0.0, 5e-4, -7e-4, 2e-6}) {
          const TestSource s{kr * (1.0 + off), 1.0, 0.3, pattern(5, 1.0)};
          ExpSources terms;
          s.terms()(0.0, h, terms);
          const auto closed = exp_emission(m, slab_rt(m, h), h, terms);
          ASSERT_TRUE(closed) << "k " << kr << " h " << h << " off " << off;
          EXPECT_LT(max_rel_diff(*closed, slab_emission(m, h, s.point(), 1e-12)), 1e-8)
              << "ratio " << ratio << " k " << kr << " h " << h << " off " << off;
        }
  }
}

TEST(ExpEmission, ClosedFormMatchesQuadratureInAVaryingSlab) {
  const SlabMedium upper = isotropic_medium(kN, 0.5), lower = isotropic_medium(kN, 0.9);
  ASSERT_TRUE(upper.eigen && lower.eigen);
  for (double h : {0.3, 2.0})
    for (double mu0 : {0.95, 0.45, 0.12}) {
      const VaryingSlab v{&upper, &lower, h};
      const TestSource s{1.0 / mu0, 2.0, 0.7, pattern(kN, 0.5)};
      const SlabEmission closed = varying_slab_emission(v, s.point(), s.terms(), 1e-12);
      const SlabEmission quad = varying_slab_emission(v, s.point(), 1e-12);
      EXPECT_LT(max_rel_diff(closed, quad), 1e-9) << "h " << h << " mu0 " << mu0;
    }
}

TEST(ExpEmission, ManyBeamsWithSharedShapesMatchQuadrature) {
  // A wind-blown surface: several directions of nearly equal rate share the
  // angular shape of their quad; another shape for a second component.
  const SlabMedium m = isotropic_medium(kN, 0.85);
  const double h = 0.8;
  const SlabRT rt = slab_rt(m, h);
  const SourceAmps v0 = pattern(kN, 1.0), v1 = pattern(kN, -0.4);
  const double rates[] = {1.05, 1.07, 1.1, 1.3};
  ExpSources src;
  src.shapes = {v0, v1};
  for (double p : rates) {
    src.terms.push_back({p, 1.0 / p, 0.2, 0});
    src.terms.push_back({p, 0.3, -0.1, 1});
  }
  const SlabSource point = [&](double x, SourceAmps& a) {
    a = SourceAmps{};
    for (const ExpTerm& t : src.terms) {
      const SourceAmps one = scaled(src.shapes[static_cast<std::size_t>(t.shape)], (t.f0 + t.f1 * x) * std::exp(-t.p * x));
      for (std::size_t i = 0; i < a.up_cos.size(); ++i) {
        a.up_cos[i] += one.up_cos[i];
        a.down_cos[i] += one.down_cos[i];
        a.up_sin[i] += one.up_sin[i];
        a.down_sin[i] += one.down_sin[i];
      }
    }
  };
  const auto closed = exp_emission(m, rt, h, src);
  ASSERT_TRUE(closed);
  EXPECT_LT(max_rel_diff(*closed, slab_emission(m, h, point, 1e-12)), 1e-9);
}

TEST(ExpEmission, TheXTermMayTakeAShapeOfItsOwn) {
  // (f0 V0 + f1 x V1) e^{-p x}, as the beam gives it in a slab whose mix of
  // components changes with depth: one term against the quadrature of the
  // point source, and against the same source split into two terms.
  const SlabMedium m = isotropic_medium(kN, 0.9);
  const double h = 0.6;
  const SlabRT rt = slab_rt(m, h);
  const SourceAmps v0 = pattern(kN, 1.0), v1 = pattern(kN, -0.7);
  ExpSources one, two;
  one.shapes = two.shapes = {v0, v1};
  for (double p : {1.2, 2.5}) {
    one.terms.push_back({p, 0.8, 0.3, 0, 1});
    two.terms.push_back({p, 0.8, 0.0, 0});
    two.terms.push_back({p, 0.0, 0.3, 1});
  }
  const SlabSource point = [&](double x, SourceAmps& a) {
    a = SourceAmps{};
    for (double p : {1.2, 2.5}) {
      const SourceAmps c0 = scaled(v0, 0.8 * std::exp(-p * x)), c1 = scaled(v1, 0.3 * x * std::exp(-p * x));
      for (std::size_t i = 0; i < a.up_cos.size(); ++i) {
        a.up_cos[i] += c0.up_cos[i] + c1.up_cos[i];
        a.down_cos[i] += c0.down_cos[i] + c1.down_cos[i];
        a.up_sin[i] += c0.up_sin[i] + c1.up_sin[i];
        a.down_sin[i] += c0.down_sin[i] + c1.down_sin[i];
      }
    }
  };
  const auto e1 = exp_emission(m, rt, h, one), e2 = exp_emission(m, rt, h, two);
  ASSERT_TRUE(e1 && e2);
  EXPECT_LT(max_rel_diff(*e1, slab_emission(m, h, point, 1e-12)), 1e-9);
  EXPECT_LT(max_rel_diff(*e1, *e2), 1e-13);
}

TEST(ExpEmission, NonScatteringSlabEmitsTheAnalyticIntegral) {
  // Without scattering each direction mu_j only attenuates: the light leaving the
  // bottom is Int_0^h s e^{-p x} e^{-(h - x)/mu_j} dx, leaving the top Int_0^h s e^{-p x} e^{-x/mu_j} dx.
  const SlabMedium m = isotropic_medium(kN, 0.0);
  ASSERT_TRUE(m.eigen);
  const auto gl = util::gauss_legendre(kN);
  const double h = 1.3, p = 1.0 / 0.7;
  const SlabRT rt = slab_rt(m, h);
  const TestSource s{p, 1.0, 0.0, pattern(kN, 1.0)};
  ExpSources terms;
  s.terms()(0.0, h, terms);
  const auto e = exp_emission(m, rt, h, terms);
  ASSERT_TRUE(e);
  for (int j = 0; j < kN; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    const double q = 1.0 / (0.5 * (gl[u].x + 1.0));
    const double dn = (std::exp(-p * h) - std::exp(-q * h)) / (q - p);  // Int e^{-px} e^{-q(h-x)}
    const double up = (1.0 - std::exp(-(p + q) * h)) / (p + q);
    EXPECT_NEAR(e->dn[0][u], s.v.down_cos[u] * dn, 1e-13) << j;
    EXPECT_NEAR(e->up[0][u], s.v.up_cos[u] * up, 1e-13) << j;
    EXPECT_NEAR(e->dn[1][u], s.v.down_sin[u] * dn, 1e-13) << j;
    EXPECT_NEAR(e->up[1][u], s.v.up_sin[u] * up, 1e-13) << j;
  }
}

}  // namespace
}  // namespace abyss
