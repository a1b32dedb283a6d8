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
  bool isotropic() const { return upwind == crosswind; }
};
// Cox and Munk's isotropic fit: both slope components have the variance
// (0.003 + 0.00512 U)/2.
SlopeVariances cox_munk_variances(double wind);
// Mean area of the facets met by a ray of cosine mu (to the mean surface)
// and horizontal direction (kx, ky), projected onto the ray, per unit of
// mean-surface area: E[max(0, mu + kx zx + ky zy)] for Gaussian slopes.
// Above mu because facets turned away from the ray are hidden.
double mean_projected_area(double mu, double kx, double ky, const SlopeVariances& v);

// Ray sampling of the wind-blown surface.
struct RaySampling {
  int strata = 128;             // strata per side of each source quad (strata^2 rays)
  unsigned long long seed = 20260417ULL;
  int max_hits = 8;             // surface hits followed per ray before the balance is closed
  int slope_strata = 8;         // strata per slope component for a ray's first facet (slope_strata^2 facets)
  // Follow light that meets the surface again. Off, such light is dropped:
  // the operators then hold the single interactions only (for checks).
  bool multiple = true;
};

// Level surface: exact Fresnel reflectance and Snell refraction, integrated
// over each source quad.
QuadOperators level_surface_operators(const QuadSpace& qs, double n);
// Wind-blown surface with the given slope statistics (all-zero variances give
// the level surface sampled by rays).
QuadOperators rough_surface_operators(const QuadSpace& qs, double n, const SlopeVariances& v,
                                      const RaySampling& rays = {});
// One row of the wind-blown operators, for source quad q from the air
// (elements of r_aw and t_aw) or from the water (r_wa and t_wa), computed
// as rough_surface_operators computes it but tracing only that quad (and,
// with anisotropic slopes, its mirror images). Vectors indexed 1..nq.
struct SurfaceRow {
  std::vector<double> refl, trans;
};
SurfaceRow rough_surface_row(const QuadSpace& qs, double n, const SlopeVariances& v, const RaySampling& rays, int q,
                             bool from_air);
// The operators of one file: level for wind 0, rough otherwise.
QuadOperators surface_operators(const QuadSpace& qs, double n, double wind, const RaySampling& rays = {});

}  // namespace abyss
