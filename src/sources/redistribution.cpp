#include "sources/redistribution.hpp"

#include <cmath>
#include <vector>

#include "util/gauss_legendre.hpp"

namespace abyss::inelastic {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFwhmToSigma = 0.42466090014400953;  // 1 / (2 sqrt(2 ln 2))

// Hawes (1992), fulvic acid FA7 (Table 3): A0 at the listed excitation
// wavelengths, linear in between and zero outside.
constexpr double kHawesA1 = 0.470, kHawesA2 = 0.407, kHawesB1 = 8.077e-4, kHawesB2 = -4.57e-4;
constexpr std::array<double, 10> kHawesX{310, 330, 350, 370, 390, 410, 430, 450, 470, 490};
constexpr std::array<double, 10> kHawesA0{5.18e-5, 6.34e-5, 8.00e-5, 9.89e-5, 9.39e-5,
                                          10.48e-5, 12.59e-5, 13.48e-5, 13.61e-5, 9.27e-5};

double hawes_a0(double lx) {
  if (lx < kHawesX.front() || lx > kHawesX.back()) return 0.0;
  for (std::size_t i = 1; i < kHawesX.size(); ++i) {
    if (lx > kHawesX[i]) continue;
    const double t = (lx - kHawesX[i - 1]) / (kHawesX[i] - kHawesX[i - 1]);
    return (1.0 - t) * kHawesA0[i - 1] + t * kHawesA0[i];
  }
  return kHawesA0.back();
}

// Composite 4-point Gauss-Legendre over [a, b] with pieces at most `step` long.
template <class F>
double integrate(double a, double b, double step, F f) {
  static const std::vector<util::QuadNode> gl = util::gauss_legendre(4);
  if (!(b > a)) return 0.0;
  const int n = std::max(1, static_cast<int>(std::ceil((b - a) / step)));
  const double h = (b - a) / n;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double c = a + (i + 0.5) * h;
    for (const auto& q : gl) sum += q.w * f(c + 0.5 * h * q.x);
  }
  return 0.5 * h * sum;
}

double norm_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double norm_pdf(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2.0 * kPi); }

// Int_{u1}^{u2} g(u) (1 - u/k') du for the Raman band shape g: the photons
// shifted into [u1, u2] cm^-1 weighted by the energy ratio k/k' = l'/l.
double raman_shift_integral(double u1, double u2, double kexc) {
  double sum = 0.0, wsum = 0.0;
  for (std::size_t i = 0; i < 4; ++i) {
    const double s = kRamanFwhm[i] * kFwhmToSigma;
    const double x1 = (u1 - kRamanShift[i]) / s, x2 = (u2 - kRamanShift[i]) / s;
    const double p = norm_cdf(x2) - norm_cdf(x1);
    const double first = kRamanShift[i] * p - s * (norm_pdf(x2) - norm_pdf(x1));  // Int u N(u) du
    sum += kRamanWeight[i] * (p - first / kexc);
    wsum += kRamanWeight[i];
  }
  return sum / wsum;
}

}  // namespace

double raman_b(double b0, double l0, double lexc) { return b0 * std::pow(l0 / lexc, kRamanExponent); }

double raman_phase_a() { return 3.0 / (16.0 * kPi) * (1.0 + 3.0 * kRamanDepol) / (1.0 + 2.0 * kRamanDepol); }
double raman_phase_b() { return (1.0 - kRamanDepol) / (1.0 + 3.0 * kRamanDepol); }

double raman_shape(double dk) {
  double sum = 0.0, wsum = 0.0;
  for (std::size_t i = 0; i < 4; ++i) {
    const double s = kRamanFwhm[i] * kFwhmToSigma;
    sum += kRamanWeight[i] * norm_pdf((dk - kRamanShift[i]) / s) / s;
    wsum += kRamanWeight[i];
  }
  return sum / wsum;
}

double chl_emission(double lem) {
  const double x = (lem - kChlCentre) / kChlSigma;
  return std::exp(-0.5 * x * x) / (std::sqrt(2.0 * kPi) * kChlSigma);
}

double hawes_eta(double lx, double lm) {
  const double a0 = hawes_a0(lx);
  if (a0 <= 0.0) return 0.0;
  const double x = (1.0 / lm - kHawesA1 / lx - kHawesB1) / (0.6 * (kHawesA2 / lx + kHawesB2));
  return a0 * std::exp(-x * x);
}

double raman_band_pair(double x0, double x1, double m0, double m1) {
  // In wavenumbers the emitted band is [1e7/m1, 1e7/m0]; the shift u = k' - k.
  // Pairs whose possible shifts miss the O-H band by far get nothing.
  const double umin = 1.0e7 / x1 - 1.0e7 / m0, umax = 1.0e7 / x0 - 1.0e7 / m1;
  if (umax < 2000.0 || umin > 5000.0) return 0.0;
  const double em = integrate(x0, x1, 0.5, [&](double lx) {
    const double kx = 1.0e7 / lx;
    return raman_shift_integral(kx - 1.0e7 / m0, kx - 1.0e7 / m1, kx);
  });
  return em / ((x1 - x0) * (m1 - m0));
}

double chl_band_pair(double x0, double x1, double m0, double m1, double qe) {
  const double lo = std::max(x0, kChlExciteMin), hi = std::min(x1, kChlExciteMax);
  const double exc = hi > lo ? 0.5 * (hi * hi - lo * lo) / (x1 - x0) : 0.0;  // mean of l' g(l') over the band
  if (exc == 0.0) return 0.0;
  const double em = integrate(m0, m1, 1.0, [](double l) { return chl_emission(l) / l; });
  return qe * exc * em / (m1 - m0);
}

double cdom_band_pair(double x0, double x1, double m0, double m1) {
  const double lo = std::max(x0, kHawesX.front()), hi = std::min(x1, kHawesX.back());
  if (!(hi > lo)) return 0.0;
  const double v = integrate(lo, hi, 2.0, [&](double lx) {
    return lx * integrate(m0, m1, 2.0, [&](double lm) { return hawes_eta(lx, lm) / lm; });
  });
  return v / ((x1 - x0) * (m1 - m0));
}

}  // namespace abyss::inelastic
