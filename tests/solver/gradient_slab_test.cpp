// A slab whose albedo changes linearly across it, by its mean medium and the
// first-order response to the change, against a fine stack of thin slabs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "solver/emission_compare.hpp"
#include "solver/gradient_slab.hpp"
#include "util/gauss_legendre.hpp"

namespace abyss {
namespace {

using dense::Sq;
using testing::max_rel_diff;

// Henyey-Greenstein scattering (g = 0.9, mode l) between n Gauss directions
// per hemisphere: the coefficients of albedo w are tau = -1/mu + w F/mu and
// rho = w B/mu, F and B the forward and backward quad weights of the phase
// function's Fourier term, normalized so that mode 0 conserves.
struct HgWater {
  int n;
  std::vector<double> mu;
  Sq fw, bw;
  HgWater(int n_, int l) : n(n_), mu(n_), fw(n_), bw(n_) {
    const auto gl = util::gauss_legendre(n);
    std::vector<double> w(n), norm(n, 0.0);
    for (int i = 0; i < n; ++i) {
      mu[i] = 0.5 * (gl[i].x + 1.0);
      w[i] = 0.5 * gl[i].w;
    }
    const double g = 0.9;
    auto hg = [g](double c) { return 0.5 * (1 - g * g) / std::pow(1 + g * g - 2 * g * c, 1.5); };
    const int nphi = 720;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        double f = 0, b = 0, f0 = 0, b0 = 0;
        for (int k = 0; k < nphi; ++k) {
          const double phi = M_PI * (k + 0.5) / nphi, s = std::sqrt((1 - mu[i] * mu[i]) * (1 - mu[j] * mu[j]));
          const double pf = hg(mu[i] * mu[j] + s * std::cos(phi)), pb = hg(-mu[i] * mu[j] + s * std::cos(phi));
          f += pf * std::cos(l * phi) / nphi;
          b += pb * std::cos(l * phi) / nphi;
          f0 += pf / nphi;
          b0 += pb / nphi;
        }
        fw(i, j) = w[i] * f;
        bw(i, j) = w[i] * b;
        norm[j] += w[i] * (f0 + b0);
      }
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) fw(i, j) /= norm[j], bw(i, j) /= norm[j];
  }
  // Coefficients of albedo w; `attenuation` false leaves out the -1/mu (a change).
  void coefficients(double w, Sq& tau, Sq& rho, bool attenuation = true) const {
    tau = Sq(n);
    rho = Sq(n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        tau(i, j) = w * fw(i, j) / mu[j] - (attenuation && i == j ? 1.0 / mu[j] : 0.0);
        rho(i, j) = w * bw(i, j) / mu[j];
      }
  }
  SlabMedium medium(double w) const {
    Sq tau, rho;
    coefficients(w, tau, rho);
    return slab_medium(rho, tau);
  }
  // The slab [0, h] with albedo w0 at the top and w1 at the bottom, by its
  // mean and gradient.
  SlabRT gradient(double w0, double w1, double h) const {
    Sq tau1, rho1;
    coefficients((w1 - w0) / h, tau1, rho1, false);
    return gradient_slab_rt(medium(0.5 * (w0 + w1)), tau1, rho1, h);
  }
  // The same by `parts` slabs of blended IOPs (fourth order in each part's
  // thickness: the reference when the parts are thin).
  SlabRT blended(double w0, double w1, double h, int parts) const {
    const double dh = h / parts;
    auto part = [&](int k) {
      auto w = [&](double x) { return w0 + (w1 - w0) * x / h; };
      const double g1 = w((k + kGaussUpper) * dh), g2 = w((k + kGaussLower) * dh);
      return stack_rt(slab_rt(medium(kMagnusNear * g1 + kMagnusFar * g2), 0.5 * dh),
                      slab_rt(medium(kMagnusFar * g1 + kMagnusNear * g2), 0.5 * dh));
    };
    SlabRT s = part(0);
    for (int k = 1; k < parts; ++k) s = stack_rt(s, part(k));
    return s;
  }
};

// Largest difference relative to the reference's largest element.
double off(const Sq& a, const Sq& ref) {
  double d = 0.0, s = 0.0;
  for (std::size_t e = 0; e < a.a.size(); ++e) {
    d = std::max(d, std::abs(a.a[e] - ref.a[e]));
    s = std::max(s, std::abs(ref.a[e]));
  }
  return d / s;
}
double off(const SlabRT& a, const SlabRT& ref) {
  return std::max({off(a.r, ref.r), off(a.t, ref.t), off(a.r_below(), ref.r_below()), off(a.t_up(), ref.t_up())});
}

TEST(GradientSlab, CentredMomentsMatchTheirQuadrature) {
  // Both branches (the series near p = q and the closed forms), thin and thick
  // slabs, and the symmetry of swapping the two rates (mirroring the slab):
  // the first moment changes sign, the second does not.
  for (double h : {0.01, 0.7, 12.0})
    for (double p : {0.0, 0.3, 1.0, 1.05, 1.2, 25.0})
      for (double q : {0.0, 1.0, 1.0 + 1e-9, 7.0}) {
        const int steps = 20000;
        double m1 = 0.0, m2 = 0.0;  // Simpson's rule, fine enough for these rates and thicknesses
        for (int i = 0; i <= steps; ++i) {
          const double s = h * i / steps, c = s - 0.5 * h, f = std::exp(-p * s - q * (h - s));
          const double w = (i == 0 || i == steps ? 1.0 : (i % 2 ? 4.0 : 2.0));
          m1 += w * c * f;
          m2 += w * c * c * f;
        }
        m1 *= h / (3.0 * steps);
        m2 *= h / (3.0 * steps);
        const double s1 = 0.25 * h * h, s2 = 0.125 * h * h * h;
        EXPECT_NEAR(centred_exp_moment(p, q, h), m1, 1e-9 * s1 + 1e-9 * std::abs(m1)) << h << " " << p << " " << q;
        EXPECT_NEAR(centred_exp_moment2(p, q, h), m2, 1e-9 * s2 + 1e-9 * std::abs(m2)) << h << " " << p << " " << q;
        EXPECT_NEAR(centred_exp_moment(q, p, h), -centred_exp_moment(p, q, h), 1e-13 * s1);
        EXPECT_NEAR(centred_exp_moment2(q, p, h), centred_exp_moment2(p, q, h), 1e-13 * s2);
      }
}

TEST(GradientSlab, ErrsAsTheSquareOfTheChangeAndFarBelowBlendedIops) {
  // Albedo 0.65 at the top, 0.65 + dw at the bottom, in modes 0 and 3; the
  // nearest stream is 1/mu = 76 steep, so its reflectance follows the IOPs at
  // each face. Halving the change quarters the gradient slab's error; a slab of
  // blended IOPs errs to first order in it.
  for (int l : {0, 3}) {
    const HgWater water(10, l);
    for (double h : {0.1, 0.8, 3.2}) {
      double last = 0.0;
      for (double dw : {0.04, 0.02, 0.01}) {
        const SlabRT ref = water.blended(0.65, 0.65 + dw, h, 256);
        const double grad = off(water.gradient(0.65, 0.65 + dw, h), ref);
        const double blend = off(water.blended(0.65, 0.65 + dw, h, 1), ref);
        EXPECT_LT(grad, 0.6 * dw * dw) << "mode " << l << ", h " << h << ", dw " << dw;  // measured up to 0.35 dw^2
        EXPECT_LT(grad, 0.05 * blend) << "mode " << l << ", h " << h << ", dw " << dw;
        if (last > 0.0) {
          EXPECT_NEAR(last / grad, 4.0, 0.4) << "mode " << l << ", h " << h << ", dw " << dw;
        }
        last = grad;
      }
    }
  }
}

// A medium's eigen-solution started from a neighbour's (the slab above) is
// its own to the correction's 1e-12, whether the neighbour is close (the
// correction converges from it) or far (the medium solves its own).
TEST(GradientSlab, EigenSolutionFromANeighbourIsTheMediumsOwn) {
  for (int l : {0, 3}) {
    const HgWater water(10, l);
    for (const auto& [from, to] : {std::pair{0.65, 0.66}, std::pair{0.65, 0.75}, std::pair{0.2, 0.97}}) {
      Sq tau, rho;
      water.coefficients(to, tau, rho);
      const SlabMedium near = water.medium(from), own = slab_medium(rho, tau), started = slab_medium(rho, tau, &near);
      ASSERT_TRUE(started.eigen);
      for (double h : {0.3, 25.0})
        EXPECT_LT(off(slab_rt(started, h), slab_rt(own, h)), 1e-11) << "mode " << l << ", " << from << " -> " << to;
    }
  }
}

TEST(GradientSlab, UniformSlabAndDeepSlabs) {
  const HgWater water(8, 0);
  // No change: the mean slab's operators, from both sides.
  const SlabRT flat = water.gradient(0.7, 0.7, 0.9), plain = slab_rt(water.medium(0.7), 0.9);
  EXPECT_LT(off(flat, plain), 1e-13);
  // Thick slabs stay bounded (every exponential decays) and still agree with
  // the fine stack to second order in the change: 60 optical depths, albedo
  // 0.5 to 0.6 (the diffuse light of a thick slab sees more of the change, so
  // the coefficient of dw^2 grows with the thickness: 0.77 here).
  const SlabRT deep = water.gradient(0.5, 0.6, 60.0), ref = water.blended(0.5, 0.6, 60.0, 2048);
  for (const Sq* m : {&deep.r, &deep.t, &deep.rb, &deep.tu})
    for (double x : m->a) ASSERT_TRUE(std::isfinite(x));
  EXPECT_LT(off(deep, ref), 1.0 * 0.1 * 0.1);
  EXPECT_LT(off(deep, ref), 0.2 * off(water.blended(0.5, 0.6, 60.0, 1), ref));
}

// An exponential source (1 + 0.4 x) e^{-1.3 x} of a fixed angular pattern, and
// the emission of the slab [0, h] by `parts` thin slabs of blended IOPs (the
// reference) or as one gradient slab.
ExpSources decaying_source(int n, double p) {
  ExpSources s;
  SourceAmps a;
  for (int i = 0; i < n; ++i) {
    a.down_cos[i] = 1.0 + 0.3 * i;
    a.up_cos[i] = 0.4 + 0.05 * i;
    a.down_sin[i] = 0.2 * std::sin(i + 1.0);
    a.up_sin[i] = 0.1 * std::cos(i + 1.0);
  }
  s.shapes.push_back(a);
  ExpTerm t;
  t.p = p;
  t.f0 = 1.0;
  t.f1 = 0.4;
  s.terms.push_back(t);
  return s;
}

// The source's terms relative to a part starting at x0.
ExpSources shifted(const ExpSources& s, double x0) {
  ExpSources out = s;
  for (ExpTerm& t : out.terms) {
    const double e = std::exp(-t.p * x0);
    t.f0 = e * (t.f0 + t.f1 * x0);
    t.f1 *= e;
  }
  return out;
}

SlabOps blended_with_emission(const HgWater& w, double w0, double w1, double h, int parts, const ExpSources& src) {
  const double dh = h / parts;
  SlabOps all;
  for (int k = 0; k < parts; ++k) {
    auto alb = [&](double x) { return w0 + (w1 - w0) * x / h; };
    const double g1 = alb((k + kGaussUpper) * dh), g2 = alb((k + kGaussLower) * dh);
    const SlabMedium up = w.medium(kMagnusNear * g1 + kMagnusFar * g2), lo = w.medium(kMagnusFar * g1 + kMagnusNear * g2);
    const SlabRT rup = slab_rt(up, 0.5 * dh), rlo = slab_rt(lo, 0.5 * dh);
    const ExpSources a = shifted(src, k * dh), b = shifted(src, (k + 0.5) * dh);
    SlabOps part;
    part.rt = stack_rt(rup, rlo);
    part.em = stack_emission(*exp_emission(up, rup, 0.5 * dh, a), rup, *exp_emission(lo, rlo, 0.5 * dh, b), rlo);
    if (k == 0) {
      all = part;
    } else {
      all.em = stack_emission(all.em, all.rt, part.em, part.rt);
      all.rt = stack_rt(all.rt, part.rt);
    }
  }
  return all;
}

TEST(GradientSlab, EmissionErrsAsTheSquareOfTheChange) {
  // A source decaying at 1.3 per optical depth (the sun beam's rate for a
  // beam 40 degrees from the vertical) and, in mode 0, one at the rate of an
  // eigenvalue (resonance: the stencil of rates serves the first-order part
  // too).
  for (int l : {0, 2}) {
    const HgWater water(8, l);
    for (bool resonant : {false, true})
      for (double h : {0.2, 1.5}) {
        double last = 0.0;
        for (double dw : {0.04, 0.02, 0.01}) {
          const double p = resonant ? water.medium(0.65 + 0.5 * dw).k[3] : 1.3;
          const ExpSources src = decaying_source(8, p);
          Sq tau1, rho1;
          water.coefficients(dw / h, tau1, rho1, false);
          const auto g = gradient_slab_emission(water.medium(0.65 + 0.5 * dw), tau1, rho1, h, src);
          ASSERT_TRUE(g);
          const SlabOps ref = blended_with_emission(water, 0.65, 0.65 + dw, h, 128, src);
          const SlabOps one = blended_with_emission(water, 0.65, 0.65 + dw, h, 1, src);
          const double err = max_rel_diff(g->em, ref.em);
          EXPECT_LT(off(g->rt, ref.rt), 0.6 * dw * dw);
          EXPECT_LT(err, 0.6 * dw * dw) << "mode " << l << ", p " << p << ", h " << h << ", dw " << dw;
          EXPECT_LT(err, 0.2 * max_rel_diff(one.em, ref.em)) << "mode " << l << ", p " << p << ", h " << h << ", dw " << dw;
          if (last > 0.0) {
            EXPECT_NEAR(last / err, 4.0, 0.6) << "mode " << l << ", p " << p << ", h " << h << ", dw " << dw;
          }
          last = err;
        }
      }
  }
}

}  // namespace
}  // namespace abyss
