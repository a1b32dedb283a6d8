#include "sky/ozone_model.hpp"

#include <cmath>

namespace abyss {
namespace {

struct Hemisphere {
  double A, B, C, D, F, G, H, I;
};

double sind(double deg) { return std::sin(deg * 3.14159265358979323846 / 180.0); }

}  // namespace

double vanheuklon_ozone(double rlat, double rlon, double day) {
  constexpr double J = 235.0;  // equatorial annual mean (DU)
  // The northern longitude phase differs east and west of Greenwich.
  const Hemisphere h = rlat >= 0.0 ? Hemisphere{150.0, 1.28, 40.0, 0.9865, -30.0, 20.0, 3.0, rlon > 0.0 ? 20.0 : 0.0}
                                   : Hemisphere{100.0, 1.5, 30.0, 0.9865, 152.625, 20.0, 2.0, -75.0};
  const double seasonal = h.C * sind(h.D * (day + h.F));
  const double zonal = h.G * sind(h.H * (rlon + h.I));
  const double s = sind(h.B * rlat);
  return J + (h.A + seasonal + zonal) * s * s;
}

}  // namespace abyss
