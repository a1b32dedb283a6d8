#include "grid/fresnel.hpp"

#include <cmath>

namespace abyss {

double snell_cos(double cos_i, double eta) {
  const double sin2_t = eta * eta * (1.0 - cos_i * cos_i);
  if (sin2_t > 1.0) return -1.0;
  return std::sqrt(1.0 - sin2_t);
}

double fresnel_reflectance(double cos_i, double eta) {
  const double cos_t = snell_cos(cos_i, eta);
  if (cos_t < 0.0) return 1.0;
  // Amplitude ratios with the indices scaled so that n_transmitted = 1.
  const double rs = (eta * cos_i - cos_t) / (eta * cos_i + cos_t);
  const double rp = (cos_i - eta * cos_t) / (cos_i + eta * cos_t);
  return 0.5 * (rs * rs + rp * rp);
}

double critical_cos(double n) {
  if (n <= 1.0) return 0.0;
  return std::sqrt(1.0 - 1.0 / (n * n));
}

}  // namespace abyss
