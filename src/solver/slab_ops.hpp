// Reflectance, transmittance and source emission of a slab of constant IOPs for
// one Fourier mode, in closed form.
//
// In a slab where the albedo and the phase-function mixture do not change, the
// row vectors of downward and upward radiance amplitudes obey
//   d' = d tauhat + u rhohat,   u' = -(u tauhat + d rhohat)      (' = d/dzeta),
// the linear system behind the Riccati equations. With s = d + u and q = d - u,
// s'' = s A, A = (tauhat + rhohat)(tauhat - rhohat). The left eigenvectors of A
// (rows of E, E A = K^2 E) give the general solution
//   d = alpha e^{K zeta} P + beta e^{-K zeta} Q,   u = alpha e^{K zeta} Q + beta e^{-K zeta} P,
// P, Q = (E +- K^-1 E (tauhat + rhohat)) / 2. Writing the growing solutions
// relative to the slab's bottom leaves only the decaying factors D = e^{-K h}:
//   r = M^-1 (P - D X D Q),  t = M^-1 D (Q - X P),  M = Q - D X D P,  X = P Q^-1,
// which stay bounded for any thickness (r -> Q^-1 P, the semi-infinite
// reflectance, and t -> 0). A homogeneous slab reflects and transmits alike from
// both sides. When A has a vanishing or non-real eigenvalue (conservative
// scattering in mode 0) the slab is built by doubling from a thin layer instead.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "solver/dense.hpp"
#include "solver/solver_state.hpp"

namespace abyss {

// The eigen-solution of one slab medium (one mode, one set of IOPs).
struct SlabMedium {
  int n = 0;
  bool eigen = false;          // closed form available; else doubling
  dense::Sq rho, tau;          // coefficient matrices (n x n)
  dense::Sq P, Q, X, XP;       // see above
  dense::Row k;                // eigenvalues K (> 0)
  dense::Sq A;                 // (tau + rho)(tau - rho), whose left eigen-solution E = P + Q, K^2 is
};

// Reflectance and transmittance of a slab. r and t act on light incident from
// above (reflected back up, transmitted down); rb and tu on light incident from
// below. A homogeneous slab reflects and transmits alike from both sides and
// leaves rb and tu empty; a slab whose IOPs change with depth does not.
struct SlabRT {
  dense::Sq r, t;
  dense::Sq rb, tu;
  const dense::Sq& r_below() const { return rb.n ? rb : r; }
  const dense::Sq& t_up() const { return tu.n ? tu : t; }
};

// Source emission of a slab with black surroundings, per half (0 cosine, 1 sine):
// up[h] leaves the top upward, dn[h] leaves the bottom downward.
struct SlabEmission {
  dense::Row up[2], dn[2];
};

// The slab operators that the adding of the passes uses.
struct SlabOps {
  SlabRT rt;
  bool with_sources = false;
  SlabEmission em;
};

// `near`: the eigen-solution of a nearby medium of the same mode, to start
// from; `before`: the one solved before it, to extrapolate the start along.
SlabMedium slab_medium(const dense::Sq& rho, const dense::Sq& tau, const SlabMedium* near = nullptr,
                       const SlabMedium* before = nullptr);
SlabRT slab_rt(const SlabMedium& m, double h);
// The linear system behind slab_rt (a medium with its eigen-solution): with
// D = e^{-Kh}, M = Q - D X D P, and the slab's r and t are M^-1 top and M^-1 low
// for top = P - D X D Q and low = D (Q - X P).
struct SlabSystem {
  dense::Row d;
  dense::Sq M, top, low;
};
SlabSystem slab_system(const SlabMedium& m, double h);
// The slab `top` above the slab `bottom`, as one slab.
SlabRT stack_rt(const SlabRT& top, const SlabRT& bottom);
// The same with the interaction matrices of the stack, which stacking the two
// slabs' emissions uses again: ydn = (I - r_bottom rb_top)^-1 t_bottom (light
// entering the lower slab from above) and yup = (I - rb_top r_bottom)^-1 tu_top
// (entering the upper slab from below).
struct StackedRT {
  SlabRT rt;
  dense::Sq ydn, yup;
};
StackedRT stack_parts(const SlabRT& top, const SlabRT& bottom);
// The emission of the slab `top` (operators rtop) above the slab `bottom`.
SlabEmission stack_emission(const SlabEmission& top, const SlabRT& rtop, const SlabEmission& bottom, const SlabRT& rbottom);

// A slab whose IOPs change smoothly with depth, as two halves of constant IOPs.
// With A1 and A2 the Riccati coefficients at the Gauss-Legendre points
// 1/2 -+ sqrt(3)/6 of the slab, the upper half takes the coefficients
// (1/2 + sqrt(3)/3) A1 + (1/2 - sqrt(3)/3) A2 and the lower half the mirror
// combination: the commutator-free fourth-order Magnus scheme, whose error per
// slab is of fifth order in the thickness (against third order when the whole
// slab takes the IOPs of its middle), so a profile needs far fewer slabs. The
// combinations are affine in the coefficients, so each half is again a medium
// with the block structure of the closed form.
struct VaryingSlab {
  const SlabMedium* upper = nullptr;
  const SlabMedium* lower = nullptr;
  double h = 0.0;
};
// The Gauss points (fractions of the thickness) and the weights of their
// coefficients in the upper half (near: the upper point; the lower half swaps them).
constexpr double kGaussUpper = 0.21132486540518713, kGaussLower = 0.78867513459481287;
constexpr double kMagnusNear = 1.0773502691896257, kMagnusFar = -0.07735026918962573;
SlabRT varying_slab_rt(const VaryingSlab& v);

// The source amplitudes at optical depth x below the slab's top.
using SlabSource = std::function<void(double x, SourceAmps&)>;
// Emission of the slab of thickness h for the source `src`, by Gauss-Legendre
// quadrature of the exact point-source response, refined by halving until two
// successive estimates agree to `tol` relative to the emission's size.
SlabEmission slab_emission(const SlabMedium& m, double h, const SlabSource& src, double tol);
// The same for a slab whose IOPs change with depth, by its two halves.
SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, double tol);

// A source that falls off exponentially with optical depth, as the unscattered
// sun beam's first scattering does along each of its refracted directions: a
// sum of terms (f0 + f1 x) e^{-p x} V at optical depth x below the top of a part
// of a slab (p = 1/mu of a beam direction; f1 carries the change of the
// medium's scattering shares across the part), each with one of a few angular
// shapes V (the beam: per quad its directions fall in, the components' mix at
// the part's top), which the closed form transforms once per slab. The x term
// may take a shape of its own (`shape1`, the beam: the change of the mix per
// unit optical depth): (f0 V + f1 x V1) e^{-p x}.
struct ExpTerm {
  double p = 1.0, f0 = 0.0, f1 = 0.0;
  int shape = 0;
  int shape1 = -1;  // the x term's shape; -1: `shape`
  int x_shape() const { return shape1 < 0 ? shape : shape1; }
};
struct ExpSources {
  std::vector<SourceAmps> shapes;
  std::vector<ExpTerm> terms;
};
// The exponential terms of a source on the part [x0, x1] of a slab (x below the
// slab's top), written relative to the part's top x0; added to `out`.
using ExpSourceFn = std::function<void(double x0, double x1, ExpSources& out)>;
// Emission of a slab of constant IOPs (operators rt, thickness h) for a sum of
// exponential sources, in closed form: the particular solution (A + B x) e^{-p x}
// of the slab's equations is a linear solve, and the slab's own reflectance and
// transmittance of what that solution brings to its faces turn it into the
// emission with black surroundings. Where a decay rate p comes within 1e-3 of
// an eigenvalue K of the slab (resonance: the particular solution grows without
// bound and the difference loses its digits) the emission, smooth in p, is
// interpolated from rates outside. Nothing when the slab has no
// eigen-solution: the quadrature serves there.
std::optional<SlabEmission> exp_emission(const SlabMedium& m, const SlabRT& rt, double h, const ExpSources& src);
// The particular solution's light at the faces, per half: b0 leaving the top
// upward, a0 entering it downward, ah leaving the bottom downward, bh entering
// it upward (the emission is b0 - a0 r - bh t_up up, ah - a0 t - bh r_below
// down). Nothing as for exp_emission.
struct ExpFaces {
  dense::Row b0[2], a0[2], ah[2], bh[2];
};
// The particular solution of exponential sources, term by term at the rates of
// their stencils: for each rate p (with its interpolation weight) the rows y0,
// y1 of both halves, with s = d + u = (y0 + y1 x) E e^{-px} (E = P + Q) and
// q = d - u = (q0 + q1 x) e^{-px}, q1 = -(f1 sigma_1 + (y1 K)(P - Q)) / p,
// q0 = -(f0 sigma_0 - q1 + (y0 K)(P - Q)) / p (sigma the sum of the term's
// shape's downward and upward amplitudes).
struct ParticularTerm {
  double p, weight;
  const ExpTerm* term;
  const double* y0[2];
  const double* y1[2];
};
using ParticularVisit = std::function<void(const ParticularTerm&)>;
// `visit`, when given, sees every term's particular solution as the face sums
// take it in (a term at a time; not at all when there are no terms).
std::optional<ExpFaces> exp_faces(const SlabMedium& m, double h, const ExpSources& src,
                                  const ParticularVisit& visit = nullptr);
// The emission those faces make with the slab's operators.
SlabEmission emission_of(const ExpFaces& f, const SlabRT& rt);
// The rates (and interpolation weights) at which a term of rate p is
// evaluated: p itself, or, within the window of an eigenvalue, four rates
// outside it (k (1 -+ 2w), k (1 -+ 4w)) for cubic interpolation: the emission
// is smooth in p through the resonance (an integral of e^{-px} over the slab),
// only the particular solution is singular there. Where another eigenvalue
// lies near (the eigenvalues of a fine partition's middle bands lie a few
// tenths of a percent apart) and a rate of that stencil falls in its window,
// the stencil widens (f = 2, 4, 8, 16: rates k (1 -+ 2fw), k (1 -+ 4fw),
// k (1 -+ 6fw), quintic) until every rate is clear. (A narrower stencil would
// lose the emission of a thin slab: the particular solution's double pole at
// the x term's rate grows as 1 / (p - k)^2 while the emission is of order h.)
// Empty when no stencil is clear.
std::vector<std::pair<double, double>> rate_stencil(const SlabMedium& m, double p);

// Emission of a slab for a source that `exp` describes as exponentials (closed
// form), by the quadrature of `src` where the closed form does not apply or
// `exp` is empty.
SlabEmission slab_emission(const SlabMedium& m, const SlabRT& rt, double h, const SlabSource& src,
                           const ExpSourceFn& exp, double tol);
SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, const ExpSourceFn& exp, double tol);
// The same with the operators of the two halves (thickness h / 2 each) and of
// their stack given. Without `exp` (here and above) each half's emission is
// integrated by quadrature.
SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabRT& rup, const SlabRT& rlo, const StackedRT& both,
                                   const SlabSource& src, const ExpSourceFn& exp, double tol);

}  // namespace abyss
