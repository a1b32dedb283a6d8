// Single-interaction (first-order) surface operators of a wind-blown sea,
// computed by direct quadrature instead of ray tracing: an independent check
// of the ray-traced operators where multiple facet interactions are
// negligible (the sun glint reflected into the air, light refracted straight
// into the water).
//
// For light travelling along k_i towards the surface the facets met have the
// slope density p(z) weighted by their area projected onto the ray,
// max(0, mu_i + k_i,h . z), normalised per ray by
// N(k_i) = E[max(0, mu_i + k_i,h . z)]. Changing variables from the facet
// slope to the direction the facet sends the light, the power per unit
// incident power and unit solid angle is
//   reflection:   R(c) p(z) / (4 N cos^4 beta),
//   transmission: (1 - R(c)) p(z) c nt^2 c_t / (N cos^4 beta (ni c - nt c_t)^2),
// with beta the facet tilt, c and c_t the cosines of incidence and
// refraction on the facet, ni and nt the indices of refraction on the
// incident and far side (the facet normal is parallel to the half vector
// k_o - k_i of reflection, or to ni k_i - nt k_t of refraction). Only light
// that leaves the surface after this one interaction is counted. The element of the quad
// operator is this kernel integrated by Gauss-Legendre rules over the source
// quad (weight mu_i dmu_i dphi_i) and the target quad (dmu_o dphi_o), divided
// by the target quad's power fmu*omega.
#pragma once

#include <vector>

#include "grid/surface_optics.hpp"

namespace abyss {

// Elements M(q, q') of one source quad q, indexed by q' = 1..nq (index 0
// unused): `refl` the light leaving on the source's side, `trans` the light
// crossing the surface.
struct FirstOrderRow {
  std::vector<double> refl, trans;
};

// `order` Gauss-Legendre points per quad dimension (each dimension is cut
// into two pieces, four in azimuth for the cap).
// Light arriving from the air (downward) when from_air is set, otherwise
// from the water (upward).
FirstOrderRow first_order_row(const QuadSpace& qs, double n, const SlopeVariances& v, int q, bool from_air,
                              int order = 8);

}  // namespace abyss

namespace abyss {

// The traced operators against the quadrature for a sun of zenith angle
// sun_zenith (degrees, azimuth 0) spread over its quad. "single" is the
// traced row with single interactions only, "full" the row as written to
// the files. Ratios are traced / quadrature.
struct GlintCheck {
  int sun_quad = 0;
  // Largest |traced/quadrature - 1| of the reflected elements carrying
  // more than 1 % of the reflected power.
  double worst_single = 0.0, worst_full = 0.0;
  int elements = 0;  // how many elements that is
  // The same for the full row outside the bands from 65 to 90 degrees,
  // where light reflected twice is negligible.
  double worst_full_steep = 0.0;
  // Target quads of the brightest reflected radiance.
  int brightest_quadrature = 0, brightest_single = 0, brightest_full = 0;
  // Reflected power in all, and into the bands from 65 to 90 degrees.
  double reflected_single = 0.0, reflected_full = 0.0;
  double grazing_single = 0.0, grazing_full = 0.0;
};
GlintCheck check_sun_glint(const QuadSpace& qs, double n, double wind, double sun_zenith, const RaySampling& rays,
                           int order = 8);

// Power of upward light in the water at zenith angle theta (degrees, its
// quad at azimuth 0) transmitted into the air's band next to the horizon
// (85-90 degrees with 10 bands): traced / quadrature.
struct GrazingTransmission {
  double quadrature = 0.0;  // fraction of the source power
  double single = 0.0, full = 0.0;
};
GrazingTransmission check_grazing_transmission(const QuadSpace& qs, double n, double wind, double theta,
                                               const RaySampling& rays, int order = 8);

}  // namespace abyss
