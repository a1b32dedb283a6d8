// Air-water surface operators in quad space.
//
// A radiance that is uniform over quad q (value 1, directions of photon
// travel) carries the power fmu(q)*omega(q) per unit area across the mean
// surface. The surface splits that power among the quads q' of the reflected
// and transmitted hemispheres; P(q -> q') is the part arriving in q'. The quad
// operator is M(q, q') = P(q -> q') / (fmu(q')*omega(q')), so that for any
// quad-averaged radiance L_out(q') = sum_q L_in(q) M(q, q') and the plane
// irradiances sum_q L fmu omega balance exactly at the interface.
#pragma once

#include <vector>

#include "grid/grid_state.hpp"
#include "grid/quad_partition.hpp"
#include "util/arrays.hpp"

namespace abyss {

// The quads of one hemisphere, numbered q = (u-1)*nphi + s for the ordinary
// bands u < nmu and q = (nmu-1)*nphi + 1 for the polar cap.
class QuadSpace {
 public:
  explicit QuadSpace(const QuadPartition& part);
  int nmu() const { return nmu_; }
  int nphi() const { return nphi_; }
  int size() const { return (nmu_ - 1) * nphi_ + 1; }
  int cap() const { return size(); }
  int index(int u, int s) const { return u == nmu_ ? cap() : (u - 1) * nphi_ + s; }
  int band_of(int q) const { return q == cap() ? nmu_ : (q - 1) / nphi_ + 1; }
  int azimuth_of(int q) const { return q == cap() ? 1 : (q - 1) % nphi_ + 1; }
  // Mu band containing mu (0 <= mu <= 1) and azimuth band containing phi (radians, any value).
  int band_at(double mu) const;
  int azimuth_at(double phi) const;
  int quad_at(double mu, double phi) const;
  // Azimuthal width of the quads of band u (2 pi for the cap).
  double dphi_of_band(int u) const;
  // Power of a unit radiance uniform over quad q: fmu(q)*omega(q).
  double power(int q) const;
  const Grid& grid() const { return g_; }
  const GridPhi& gridphi() const { return gp_; }

 private:
  int nmu_, nphi_;
  Grid g_;
  GridPhi gp_;
};

// The four processes, each a quad-space matrix (row = source quad, column =
// target quad) with M(q, q') as defined above.
struct QuadOperators {
  Mat t_aw;  // downward sky radiance above -> downward radiance below
  Mat r_wa;  // upward radiance below -> downward radiance below
  Mat t_wa;  // upward radiance below -> upward radiance above
  Mat r_aw;  // downward sky radiance -> upward radiance above
  void resize(int nq);
};

// Slope statistics of the wind-roughened surface (x axis downwind).
struct SlopeVariances {
  double upwind = 0.0;     // variance of the slope along the wind
  double crosswind = 0.0;  // variance of the slope across the wind
};
SlopeVariances cox_munk_variances(double wind);

// Ray sampling of the wind-blown surface.
struct RaySampling {
  int strata = 48;              // strata per side of each source quad (strata^2 rays)
  unsigned long long seed = 20260417ULL;
  int max_hits = 8;             // surface hits followed per ray before the balance is closed
};

// Level surface: exact Fresnel reflectance and Snell refraction, integrated
// over each source quad.
QuadOperators level_surface_operators(const QuadSpace& qs, double n);
// Wind-blown surface with the given slope statistics (all-zero variances give
// the level surface sampled by rays).
QuadOperators rough_surface_operators(const QuadSpace& qs, double n, const SlopeVariances& v,
                                      const RaySampling& rays = {});
// The operators of one file: level for wind 0, rough otherwise.
QuadOperators surface_operators(const QuadSpace& qs, double n, double wind, const RaySampling& rays = {});

}  // namespace abyss
