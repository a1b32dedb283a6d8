#include "grid/surface_optics.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "grid/fresnel.hpp"

namespace abyss {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}

QuadSpace::QuadSpace(const QuadPartition& part) : nmu_(part.nmu), nphi_(part.nphi) {
  build_partition(part, g_, gp_);
}

int QuadSpace::band_at(double mu) const {
  for (int u = 1; u < nmu_; ++u)
    if (mu < g_.bndmu(u)) return u;
  return nmu_;
}

int QuadSpace::azimuth_at(double phi) const {
  const double dphi = kTwoPi / nphi_;
  // Band s is centred on (s-1)*dphi: shift by half a band and wrap.
  double x = std::fmod(phi + 0.5 * dphi, kTwoPi);
  if (x < 0.0) x += kTwoPi;
  int s = static_cast<int>(x / dphi) + 1;
  return std::min(s, nphi_);
}

int QuadSpace::quad_at(double mu, double phi) const {
  const int u = band_at(mu);
  return u == nmu_ ? cap() : index(u, azimuth_at(phi));
}

double QuadSpace::dphi_of_band(int u) const { return u == nmu_ ? kTwoPi : kTwoPi / nphi_; }

double QuadSpace::power(int q) const {
  const int u = band_of(q);
  return g_.fmu(u) * g_.omega(u);
}

void QuadOperators::resize(int nq) {
  t_aw = Mat(nq, nq);
  r_wa = Mat(nq, nq);
  t_wa = Mat(nq, nq);
  r_aw = Mat(nq, nq);
}

namespace {

// Gauss-Legendre nodes and weights on [-1, 1] (Newton iteration on P_n).
struct GaussRule {
  std::vector<double> x, w;
};

GaussRule gauss_legendre(int n) {
  GaussRule r;
  r.x.resize(n);
  r.w.resize(n);
  for (int i = 0; i < n; ++i) {
    double z = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5));
    double dp = 0.0;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1.0, p1 = z;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1.0);
      const double dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-15) break;
    }
    r.x[i] = z;
    r.w[i] = 2.0 / ((1.0 - z * z) * dp * dp);
  }
  return r;
}

// Power split of one mu band of a level surface: refl = integral of mu*R over
// the band (the image stays in the same band), trans[u'] = integral of
// mu*(1 - R) over the part of the band whose refracted image lies in band u'.
struct BandSplit {
  double refl = 0.0;
  std::vector<double> trans;  // 1..nmu
};

// Incidence cosine whose refracted ray has cosine c (eta = n_i/n_t), or -1
// when no incident direction refracts into c.
double preimage_cos(double c, double eta) {
  const double s2 = (1.0 - c * c) / (eta * eta);
  return s2 > 1.0 ? -1.0 : std::sqrt(1.0 - s2);
}

// The band is cut where the refracted image crosses a target-band boundary
// and at the critical angle, so that on each piece the image stays in one
// band and the integrand is smooth: Gauss-Legendre is then exact to
// round-off for practical purposes.
std::vector<double> band_breakpoints(const QuadSpace& qs, int u, double eta) {
  const Grid& g = qs.grid();
  const double lo = g.bndmu(u - 1), hi = g.bndmu(u);
  std::vector<double> b{lo, hi};
  for (int k = 1; k < qs.nmu(); ++k) {
    const double m = preimage_cos(g.bndmu(k), eta);
    if (m > lo && m < hi) b.push_back(m);
  }
  if (eta > 1.0) {
    const double mc = critical_cos(eta);
    if (mc > lo && mc < hi) b.push_back(mc);
  }
  std::sort(b.begin(), b.end());
  return b;
}

BandSplit split_band(const QuadSpace& qs, int u, double eta, const GaussRule& rule) {
  BandSplit out;
  out.trans.assign(static_cast<std::size_t>(qs.nmu()) + 1, 0.0);
  const std::vector<double> b = band_breakpoints(qs, u, eta);
  for (std::size_t k = 0; k + 1 < b.size(); ++k) {
    const double a = b[k], c = b[k + 1];
    if (c - a <= 0.0) continue;
    const double half = 0.5 * (c - a), mid = 0.5 * (a + c);
    const double img = snell_cos(mid, eta);
    double refl = 0.0, trans = 0.0;
    for (std::size_t i = 0; i < rule.x.size(); ++i) {
      const double mu = mid + half * rule.x[i];
      const double r = fresnel_reflectance(mu, eta);
      refl += rule.w[i] * half * mu * r;
      trans += rule.w[i] * half * mu * (1.0 - r);
    }
    out.refl += refl;
    // Beyond the critical angle R = 1, so such a piece transmits nothing.
    if (img >= 0.0) out.trans[static_cast<std::size_t>(qs.band_at(img))] += trans;
  }
  return out;
}

// Spreads the power `p` that band u sends into band ut over the target quads:
// the azimuth of travel is kept, so an ordinary quad feeds the quad of the
// same azimuth band, a cap feeds every quad of band ut alike, and anything
// arriving in the cap is collected there.
void deposit_band(const QuadSpace& qs, int u, int s, int ut, double p, Mat& m) {
  if (p == 0.0) return;
  const int q = qs.index(u, s);
  auto add = [&](int qt, double power) { m(q, qt) += power / qs.power(qt); };
  if (ut == qs.nmu()) {
    add(qs.cap(), p);
  } else if (u == qs.nmu()) {
    for (int st = 1; st <= qs.nphi(); ++st) add(qs.index(ut, st), p / qs.nphi());
  } else {
    add(qs.index(ut, s), p);
  }
}

// Fills the reflection and transmission matrices for light arriving from one
// side (eta = n_incident / n_transmitted).
void level_side(const QuadSpace& qs, double eta, Mat& refl, Mat& trans) {
  const GaussRule rule = gauss_legendre(24);
  for (int u = 1; u <= qs.nmu(); ++u) {
    const BandSplit split = split_band(qs, u, eta, rule);
    const double dphi = qs.dphi_of_band(u);
    const int ns = (u == qs.nmu()) ? 1 : qs.nphi();
    for (int s = 1; s <= ns; ++s) {
      deposit_band(qs, u, s, u, dphi * split.refl, refl);
      for (int ut = 1; ut <= qs.nmu(); ++ut)
        deposit_band(qs, u, s, ut, dphi * split.trans[static_cast<std::size_t>(ut)], trans);
    }
  }
}

}  // namespace

QuadOperators level_surface_operators(const QuadSpace& qs, double n) {
  QuadOperators ops;
  ops.resize(qs.size());
  level_side(qs, 1.0 / n, ops.r_aw, ops.t_aw);
  level_side(qs, n, ops.r_wa, ops.t_wa);
  return ops;
}

QuadOperators surface_operators(const QuadSpace& qs, double n, double wind, const RaySampling& rays) {
  if (wind <= 0.0) return level_surface_operators(qs, n);
  return rough_surface_operators(qs, n, cox_munk_variances(wind), rays);
}

}  // namespace abyss
