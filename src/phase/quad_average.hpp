// Quad-averaging of continuous phase functions over the quad partition: the
// discretized phase functions (DPFs) the solver's coupling coefficients are
// built from.
//
// With beta~ normalised to 1 over the sphere, quad (u, s) = mu band u and
// azimuth band s, and Omega(u) the solid angle of one quad of band u,
//
//   PT(r, I(u,s)) = 1/Omega(u) Int_quad(u,s) dOmega Int_quad(r,1) dOmega' beta~(xi.xi'),
//
// both quads in the same hemisphere; PR the same with quad (r,1) in the
// opposite hemisphere; I(u,s) = (s-1) nmu + u, s = 1..nphi/2+1. The polar cap
// (band nmu) is one quad: its column holds the cap's coupling to quad (r,1) in
// every s, and its row the coupling into the whole cap.
//
// Method. Writing the inner integral in polar coordinates (psi, chi) about
// the incident direction xi, the great-circle ray leaving xi at azimuth chi
// crosses quad (r,1) in at most a few psi intervals [a, b], each of which
// receives exactly the fraction (C(b) - C(a)) / (2 pi) of the scattering per
// unit chi (C the cumulative phase function). The forward peak is thereby
// integrated analytically, however narrow. The rest is numerical:
//  - chi: split at the directions where the crossing changes form (towards
//    the quad's corners and the poles, and where the ray grazes a mu
//    boundary), Gauss-Legendre on each piece after the substitution
//    t -> t^2 (3 - 2t), which removes the square-root behaviour at grazing;
//  - the incident quad: composite Gauss-Legendre in mu and phi, graded
//    geometrically towards every edge that touches quad (r,1), where the
//    integrand has a layer as thin as the forward peak (C(d) ~ d^0.5 for
//    Fournier-Forand at small bb/b).
// Nothing is renormalised. The accuracy is measured by the column sums
// (which should be 1), by reciprocity and by isotropic scattering, whose
// result is known in closed form; dpfgen --check reports all three. On the
// default partition (10 x 24) the column sums are within 5e-7 of 1 for the
// Fournier-Forand, water and Henyey-Greenstein members and reciprocity holds
// to about 2e-5 (2.4e-4 with the library's 10-degree forward cone, whose edge
// puts a kink into C that the quadrature does not grade towards).
//
// Geometry does not depend on the phase function: each pair of quads is
// reduced once to weights on a fixed psi grid, W_i, such that the pair's
// integral is Sum_i W_i C(psi_i) (endpoint values of C interpolated linearly
// between grid nodes, a grid that is logarithmic from 1e-14 rad to 0.2 rad
// and 0.001 rad apart above). All phase functions of a library are then done
// together.
#pragma once

#include <vector>

#include "phase/phase_functions.hpp"
#include "util/arrays.hpp"

namespace abyss {
struct Grid;
struct GridPhi;
}  // namespace abyss

namespace abyss::phase {

// Transmission- and reflection-type arrays of one phase function, each nmu x M,
// M = nmu (nphi/2 + 1).
struct DpfArrays {
  int nmu = 0, nphi = 0;
  Mat pt, pr;
  int ncol() const { return nmu * (nphi / 2 + 1); }
};

struct QuadRule {
  int chi_points_touch = 12;  // Gauss points per ray-azimuth segment, quads that touch
  int chi_points_far = 12;    // the same otherwise
  int grade_levels = 6;       // geometric grading levels towards each touching edge
  double grade_ratio = 0.25;  // ratio of successive graded pieces: the smallest is 0.5 ratio^levels
  int grade_points = 6;       // Gauss points per graded piece
  int far_points = 8;         // Gauss points per half-interval away from touching edges
  int threads = 2;
  // Scattering by less than this angle (radians) about the incident direction
  // stays in the incident quad (see quad_average); 0: none is singled out.
  double cone = 0.0;
};

// Quad-averages every phase function over the partition (nmu, nphi) of `g`
// and `gp` (from build_partition or a surface file).
//
// Forward cone. The average assumes radiance uniform over the incident quad;
// light that has been scattered forward a few times is instead concentrated
// near the directions it came from, and the average spreads its next
// near-forward scattering over the neighbouring quads, which the light would
// not reach. With rule.cone > 0 the scattering within that angle of the
// incident direction is left in the incident quad (a diagonal element of
// every azimuth mode, as if unscattered), and only the rest, C(psi) - C(cone),
// is averaged over the quads. Column sums, reciprocity and bb/b are unchanged.
std::vector<DpfArrays> quad_average(const Grid& g, const GridPhi& gp, int nmu, int nphi,
                                    const std::vector<const PhaseFunction*>& funs, const QuadRule& rule = {});

// The isotropic DPF in closed form: PT = PR = Omega(r) / (4 pi).
DpfArrays isotropic_dpf(const Grid& g, int nmu, int nphi);

// Backscatter fraction seen by light in the polar cap: the fraction of it
// scattered into the opposite hemisphere.
double cap_backscatter(const DpfArrays& d);

// Column sums of PT + PR with the folding of the Riccati coefficients (rows
// r < nmu over all nphi azimuth differences, the cap row once; for the cap
// column the non-cap rows nphi times). Element u = column u.
std::vector<double> column_sums(const DpfArrays& d);

// Largest violation of reciprocity, Omega(u) P(r, I(u,s)) = Omega(r) P(u, I(r,s))
// for PT and PR, relative to the larger side; pairs whose larger side is below
// `floor` (a fraction of its own column's scattering) are left out.
double max_reciprocity_error(const DpfArrays& d, const Grid& g, double floor = 1e-9);

// One receiving quad: mu in [mu_lo, mu_hi] in hemisphere `hemi` (+1 that of
// the incident direction, -1 the other), azimuths phi_c -/+ half (the cap, cap
// = true: every azimuth above mu_lo).
struct QuadBounds {
  double mu_lo = 0.0, mu_hi = 1.0;
  bool cap = false;
  double phi_c = 0.0, half = 0.0;
  int hemi = 1;
};

// Int_quad beta~(xi . xi') dOmega' for one incident direction xi (cosine mu > 0
// from the axis of its hemisphere, azimuth phi): the scattering of a
// collimated beam into the quad, exact in the scattering angle (C at the ends
// of each ray's crossing) and Gauss-Legendre in the ray azimuth about xi
// between the points where the crossing changes form. Scattering by less than
// `cone` (radians) about xi is left out.
double direction_into_quad(const PhaseFunction& f, double mu, double phi, const QuadBounds& q, int chi_points = 24,
                           double cone = 0.0);

// The same integral in two steps: the geometry, which does not depend on the
// phase function (the psi intervals [lo, hi] in which the rays cross the quad,
// with their weights w), then any phase function from it, summed in the same
// order: scattering_into(f, direction_crossings(mu, phi, q, n), cone) equals
// direction_into_quad(f, mu, phi, q, n, cone).
struct Crossings {
  std::vector<double> lo, hi, w;
};
Crossings direction_crossings(double mu, double phi, const QuadBounds& q, int chi_points = 24);
double scattering_into(const PhaseFunction& f, const Crossings& c, double cone = 0.0);

}  // namespace abyss::phase
