// Secchi depth from the photopic beam attenuation and the photopic diffuse
// attenuation: the disk vanishes where the optical path alpha*z + K*z,
// integrated down from the surface, reaches the coupling constant 8.
#include <cmath>

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/spectral.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

constexpr double kCoupling = 8.0;
constexpr double kTolerance = 0.002;  // m

struct PhotopicProfile {
  std::vector<double> z, alpha, ev;  // per requested depth (index 0 = first depth)
};

PhotopicProfile photopic_profile(RunState& rs, const std::vector<int>& bands) {
  const SpectralStore& sp = rs.der.spectrum;
  PhotopicProfile p;
  for (int i = 1; i <= sp.nout; ++i) {
    double num = 0.0, den = 0.0;
    for (int j : bands) {
      const double w = band_width(rs, j) * photopic(rs.cwave.wave(j)) * sp.at(sp.ed, i, j);
      num += w * sp.at(sp.c, i, j);
      den += w;
    }
    p.z.push_back(rs.cgrid.z(rs.sel.pirrad[static_cast<std::size_t>(i - 1)]));
    p.alpha.push_back(den > 0.0 ? num / den : 0.0);
    p.ev.push_back(kLumensPerWatt * den);
  }
  return p;
}

// Optical path alpha and K accumulated from the surface to depth z inside
// interval (i-1, i), from linear interpolation of alpha and Ev; A and B of
// the first depth extrapolate the near-surface values up to the surface.
struct Path {
  double a, b;
};

Path path_at(const PhotopicProfile& p, const std::vector<Path>& acc, std::size_t i, double z) {
  const double f = (z - p.z[i - 1]) / (p.z[i] - p.z[i - 1]);
  const double alpha = p.alpha[i - 1] + f * (p.alpha[i] - p.alpha[i - 1]);
  const double ev = p.ev[i - 1] + f * (p.ev[i] - p.ev[i - 1]);
  const double a = acc[i - 1].a + 0.5 * (p.alpha[i - 1] + alpha) * (z - p.z[i - 1]);
  const double b = ev > 0.0 ? acc[0].b - std::log(ev / p.ev[0]) : HUGE_VAL;
  return {a, b};
}

// Halving any interval of finite depths down to the tolerance takes far
// fewer steps than this; more means the interval is not finite.
constexpr int kMaxBisections = 200;

double bisect(const PhotopicProfile& p, const std::vector<Path>& acc, std::size_t i, Path& at) {
  double lo = p.z[i - 1], hi = p.z[i], mid = lo;
  int steps = 0;
  do {
    if (++steps > kMaxBisections)
      herr("secchi", fmt::format("the Secchi-depth bisection did not converge between {:g} and {:g} m", p.z[i - 1], p.z[i]));
    mid = 0.5 * (lo + hi);
    at = path_at(p, acc, i, mid);
    if (at.a + at.b - kCoupling <= 0.0)
      lo = mid;
    else
      hi = mid;
  } while (std::abs(hi - lo) > kTolerance);
  return mid;
}

}  // namespace

void secchi(RunState& rs) {
  std::ostream& o = rs.pr();
  const std::vector<int> bands = complete_spectrum(rs);
  const PhotopicProfile p = photopic_profile(rs, bands);
  o << "\n Secchi depth calculations:\n";
  if (p.z.size() < 2 || !(p.ev[0] > 0.0) || !(p.ev[1] > 0.0) || p.z[1] <= p.z[0]) {
    o << " The Secchi depth was not calculated: it needs two output depths with nonzero illuminance\n";
    return;
  }
  const double alpha0 = p.alpha[0], k0 = -std::log(p.ev[1] / p.ev[0]) / (p.z[1] - p.z[0]);
  o << " The near-surface photopic alpha and K are alpha =" << ff::F(alpha0, 8, 4) << " 1/m and K =" << ff::F(k0, 8, 4)
    << " 1/m\n";
  o << " The Secchi depth estimated from the surface alpha and K is z_SD =" << ff::F(kCoupling / (alpha0 + k0), 8, 2)
    << " m\n";
  std::vector<Path> acc{{alpha0 * p.z[0], k0 * p.z[0]}};
  std::size_t i = 1;
  for (; i < p.z.size(); ++i) {
    acc.push_back(path_at(p, acc, i, p.z[i]));
    if (acc[i].a + acc[i].b >= kCoupling) break;
  }
  if (i == p.z.size()) {
    o << " WARNING: the current estimate for z_SD is greater than the maximum output depth for the run: z_SD cannot be"
         " further revised\n"
      << "    max output depth =" << ff::F(p.z.back(), 8, 2) << " m\n"
      << " For a better estimate, rerun Abyssolver to a deeper depth\n";
    i = p.z.size() - 1;
  }
  Path at{};
  const double zsd = bisect(p, acc, i, at);
  rs.der.cpar.secchi_depth = zsd;
  o << " The final depth-averaged photopic alpha and K are alpha =" << ff::F(at.a / zsd, 8, 4)
    << " 1/m and K =" << ff::F(at.b / zsd, 8, 4) << " 1/m\n";
  o << " The final estimate for the Secchi depth is z_SD =" << ff::F(zsd, 8, 2) << " m\n";
}

}  // namespace abyss
