#include "phase/phase_functions.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace abyss::phase {

namespace {
constexpr double kPi = PhaseFunction::kPi;
constexpr double kWaterCoef = 0.835;  // 1 + 0.835 cos^2 psi (Morel's pure-water depolarisation)

// Fournier-Forand cumulative and phase function in terms of
// delta = delta180 sin^2(psi/2), delta180 = 4 / (3 (n - 1)^2), nu = (3 - slope)/2
// (Fournier and Forand 1994; cumulative form of Fournier and Jonasz 1999).
double ff_cum_at(double psi, double nu, double d180) {
  const double s2 = std::pow(std::sin(0.5 * psi), 2);
  const double d = d180 * s2, dnu = std::pow(d, nu);
  const double cum = (1.0 - d * dnu - (1.0 - dnu) * s2) / ((1.0 - d) * dnu);
  const double d180nu = std::pow(d180, nu);
  const double back = 0.125 * (1.0 - d180nu) / ((d180 - 1.0) * d180nu) * std::cos(psi) * std::pow(std::sin(psi), 2);
  return cum + back;
}

double ff_beta_at(double psi, double nu, double d180) {
  const double s2 = std::pow(std::sin(0.5 * psi), 2);
  const double d = d180 * s2, dnu = std::pow(d, nu);
  const double main = (nu * (1.0 - d) - (1.0 - dnu) + (d * (1.0 - dnu) - nu * (1.0 - d)) / s2) /
                      (4.0 * kPi * (1.0 - d) * (1.0 - d) * dnu);
  const double d180nu = std::pow(d180, nu);
  const double c = std::cos(psi);
  return main + (1.0 - d180nu) / (16.0 * kPi * (d180 - 1.0) * d180nu) * (3.0 * c * c - 1.0);
}

// Both forms are 0/0 where delta = 1 (a removable singularity); there they
// are taken as the mean of the values just either side.
template <class F>
double away_from_unit_delta(double psi, double d180, F f) {
  const double d = d180 * std::pow(std::sin(0.5 * psi), 2);
  if (std::abs(1.0 - d) > 1.0e-6) return f(psi);
  const double dpsi = 2.0e-6 / (d180 * std::sin(psi) + 1e-300);
  return 0.5 * (f(psi - dpsi) + f(psi + dpsi));
}
}  // namespace

PhaseFunction PhaseFunction::isotropic() {
  PhaseFunction p;
  p.kind_ = PfKind::Isotropic;
  p.label_ = "isotropic";
  return p;
}

PhaseFunction PhaseFunction::pure_water() {
  PhaseFunction p;
  p.kind_ = PfKind::PureWater;
  p.label_ = "pure water, 1 + 0.835 cos^2";
  return p;
}

PhaseFunction PhaseFunction::henyey_greenstein(double g) {
  if (!(std::abs(g) < 1.0)) throw std::invalid_argument("Henyey-Greenstein g must lie in (-1, 1)");
  if (g == 0.0) return isotropic();
  PhaseFunction p;
  p.kind_ = PfKind::HenyeyGreenstein;
  p.g_ = g;
  std::ostringstream os;
  os << "Henyey-Greenstein, g = " << g;
  p.label_ = os.str();
  return p;
}

PhaseFunction PhaseFunction::fournier_forand_index(double slope, double n) {
  if (!(n > 1.0) || !(slope > 3.0) || !(slope < 5.0))
    throw std::invalid_argument("Fournier-Forand needs n > 1 and 3 < slope < 5");
  PhaseFunction p;
  p.kind_ = PfKind::FournierForand;
  p.nu_ = 0.5 * (3.0 - slope);
  p.n_ = n;
  p.d180_ = 4.0 / (3.0 * (n - 1.0) * (n - 1.0));
  if (std::abs(p.d180_ - 1.0) < 1e-9) throw std::invalid_argument("Fournier-Forand degenerate at delta180 = 1");
  std::ostringstream os;
  os.precision(6);
  os << "Fournier-Forand, slope " << slope << ", n = " << n;
  p.label_ = os.str();
  return p;
}

PhaseFunction PhaseFunction::fournier_forand(double bbtob) {
  return fournier_forand_index(3.5, ff_index_for_bbtob(bbtob, 3.5));
}

double ff_bbtob(double slope, double n) {
  return 1.0 - PhaseFunction::fournier_forand_index(slope, n).cumulative(0.5 * kPi);
}

double ff_index_for_bbtob(double bbtob, double slope) {
  // bb/b grows monotonically with n - 1 while delta180 > 1, i.e. n - 1 < 2/sqrt(3);
  // bisection in ln(n - 1).
  double lo = std::log(1.0e-6), hi = std::log(2.0 / std::sqrt(3.0) - 1.0e-6);
  auto bb = [&](double x) { return ff_bbtob(slope, 1.0 + std::exp(x)); };
  if (!(bbtob > bb(lo)) || !(bbtob < bb(hi)))
    throw std::invalid_argument("requested bb/b outside the Fournier-Forand range");
  for (int it = 0; it < 200 && hi - lo > 1e-15; ++it) {
    const double mid = 0.5 * (lo + hi);
    (bb(mid) < bbtob ? lo : hi) = mid;
  }
  return 1.0 + std::exp(0.5 * (lo + hi));
}

// The table is interpolated by a monotone cubic (Fritsch-Carlson) in ln psi,
// so C stays non-decreasing (beta~ >= 0) and beta~ continuous. Below the first
// tabulated angle C is continued as the power law C(psi) = C0 (psi/psi0)^p0
// fitted to the first two points (for Petzold's table p0 = 0.65, that is
// beta~ ~ psi^-1.35, the small-angle slope of his measured VSFs). At 180
// degrees dC/dln psi = 2 pi beta~ psi sin psi vanishes.
PhaseFunction PhaseFunction::tabulated(std::vector<double> deg, std::vector<double> cum, std::string label) {
  const std::size_t n = deg.size();
  if (n < 3 || cum.size() != n) throw std::invalid_argument("cumulative table needs at least 3 rows");
  if (std::abs(deg.back() - 180.0) > 1e-6 || std::abs(cum.back() - 1.0) > 1e-6 || !(deg.front() > 0.0))
    throw std::invalid_argument("cumulative table must run from above 0 to 180 degrees, ending at C = 1");
  PhaseFunction p;
  p.kind_ = PfKind::Tabulated;
  p.label_ = std::move(label);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (!(deg[i] > deg[i - 1]) || cum[i] < cum[i - 1]))
      throw std::invalid_argument("cumulative table must be ascending");
    p.lnpsi_.push_back(std::log(deg[i] * kPi / 180.0));
  }
  p.cum_ = std::move(cum);
  p.cum_.back() = 1.0;
  std::vector<double> sec(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) sec[i] = (p.cum_[i + 1] - p.cum_[i]) / (p.lnpsi_[i + 1] - p.lnpsi_[i]);
  if (!(p.cum_[0] > 0.0)) throw std::invalid_argument("cumulative table must start above C = 0");
  p.p0_ = std::log(p.cum_[1] / p.cum_[0]) / (p.lnpsi_[1] - p.lnpsi_[0]);
  p.slope_.assign(n, 0.0);
  p.slope_[0] = p.p0_ * p.cum_[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (sec[i - 1] * sec[i] <= 0.0) continue;
    const double h0 = p.lnpsi_[i] - p.lnpsi_[i - 1], h1 = p.lnpsi_[i + 1] - p.lnpsi_[i];
    const double w1 = 2.0 * h1 + h0, w2 = h1 + 2.0 * h0;
    p.slope_[i] = (w1 + w2) / (w1 / sec[i - 1] + w2 / sec[i]);
  }
  // Keep the first interval monotone with the power-law slope at its left end.
  p.slope_[0] = std::min(p.slope_[0], 3.0 * sec[0]);
  return p;
}

double PhaseFunction::table_cumulative(double psi, double* dc) const {
  const double x = std::log(psi);
  if (x <= lnpsi_.front()) {
    const double c = cum_.front() * std::exp(p0_ * (x - lnpsi_.front()));
    if (dc) *dc = p0_ * c;
    return c;
  }
  const std::size_t n = lnpsi_.size();
  std::size_t i = static_cast<std::size_t>(std::upper_bound(lnpsi_.begin(), lnpsi_.end(), x) - lnpsi_.begin());
  i = std::min(std::max<std::size_t>(i, 1), n - 1) - 1;
  const double h = lnpsi_[i + 1] - lnpsi_[i], t = (x - lnpsi_[i]) / h;
  const double h00 = (1 + 2 * t) * (1 - t) * (1 - t), h10 = t * (1 - t) * (1 - t);
  const double h01 = t * t * (3 - 2 * t), h11 = t * t * (t - 1);
  if (dc) {
    const double d00 = 6 * t * t - 6 * t, d10 = 3 * t * t - 4 * t + 1, d01 = -d00, d11 = 3 * t * t - 2 * t;
    *dc = (d00 * cum_[i] + d01 * cum_[i + 1]) / h + d10 * slope_[i] + d11 * slope_[i + 1];
  }
  return h00 * cum_[i] + h10 * h * slope_[i] + h01 * cum_[i + 1] + h11 * h * slope_[i + 1];
}

double PhaseFunction::ff_cumulative(double psi) const {
  return away_from_unit_delta(psi, d180_, [&](double x) { return ff_cum_at(x, nu_, d180_); });
}

double PhaseFunction::cumulative(double psi) const {
  if (psi <= 0.0) return 0.0;
  if (psi >= kPi) return 1.0;
  const double c = std::cos(psi);
  switch (kind_) {
    case PfKind::Isotropic:
      return 0.5 * (1.0 - c);
    case PfKind::PureWater:
      return ((1.0 - c) + kWaterCoef * (1.0 - c * c * c) / 3.0) / (2.0 + 2.0 * kWaterCoef / 3.0);
    case PfKind::HenyeyGreenstein:
      return (1.0 - g_ * g_) / (2.0 * g_) * (1.0 / (1.0 - g_) - 1.0 / std::sqrt(1.0 + g_ * g_ - 2.0 * g_ * c));
    case PfKind::FournierForand:
      return ff_cumulative(psi);
    case PfKind::Tabulated:
      return table_cumulative(psi, nullptr);
  }
  return 0.0;
}

double PhaseFunction::beta(double psi) const {
  const double c = std::cos(psi);
  switch (kind_) {
    case PfKind::Isotropic:
      return 0.25 / kPi;
    case PfKind::PureWater:
      return (1.0 + kWaterCoef * c * c) / (4.0 * kPi * (1.0 + kWaterCoef / 3.0));
    case PfKind::HenyeyGreenstein:
      return (1.0 - g_ * g_) / (4.0 * kPi * std::pow(1.0 + g_ * g_ - 2.0 * g_ * c, 1.5));
    case PfKind::FournierForand:
      return away_from_unit_delta(psi, d180_, [&](double x) { return ff_beta_at(x, nu_, d180_); });
    case PfKind::Tabulated: {
      double dc = 0.0;
      table_cumulative(psi, &dc);
      return dc / (2.0 * kPi * psi * std::sin(psi));
    }
  }
  return 0.0;
}

PhaseFunction read_cumulative_table(const std::string& path, const std::string& label) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open cumulative phase-function table " + path);
  std::vector<double> deg, cum;
  std::string line;
  bool header_seen = false;
  for (int lineno = 1; std::getline(in, line); ++lineno) {
    if (line.empty() || line[0] == '#') continue;
    if (!header_seen) {
      header_seen = true;
      continue;
    }
    std::istringstream ls(line);
    double a = 0, r = 0, c = 0;
    if (!(ls >> a >> r >> c))
      throw std::runtime_error(path + ", line " + std::to_string(lineno) + ": expected angle_deg angle_rad cumulative");
    deg.push_back(a);
    cum.push_back(c);
  }
  try {
    return PhaseFunction::tabulated(std::move(deg), std::move(cum), label);
  } catch (const std::invalid_argument& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

}  // namespace abyss::phase
