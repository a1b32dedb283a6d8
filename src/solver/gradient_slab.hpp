// Reflectance and transmittance of a slab whose IOPs change across it, from the
// eigen-solution of its mean medium and the exact first-order response to the
// change.
//
// With the coefficients tau(x) = tau0 + (x - h/2) tau1 and rho likewise, the
// radiance rows y = [d, u] obey y' = y (M0 + (x - h/2) M1). The first-order
// change dy of the field of the mean medium, y0, obeys dy' = dy M0 + (x - h/2)
// y0 M1 with no light entering at either face: a source inside a homogeneous
// slab. In the eigen-basis of the mean medium both y0 and that source are sums
// of exponentials decaying from the top or from the bottom, so the response is a
// set of closed-form integrals of products of two such exponentials and
// (x - h/2): every factor stays bounded, whatever the thickness.
//
// Why this rather than more slabs of blended IOPs: near-horizon light turns
// within a few hundredths of an optical depth of a slab face, so its
// reflectance follows the IOPs right at the face. A slab of constant (or
// blended) IOPs misses that to first order in the IOP change across it, however
// high the order of the blend; the first-order response gets it exactly, and
// what remains is of second order in the change (its square, times about 0.3
// of the reflectance), so a slab can span a whole layer of a smooth profile.
#pragma once

#include <optional>

#include "solver/dense.hpp"
#include "solver/slab_ops.hpp"

namespace abyss {

// The slab of thickness h whose coefficients are those of `mean` (which must
// have its eigen-solution) at its middle and change by tau1, rho1 per unit
// optical depth. Light from below sees the change reversed, so its operators
// are the mean slab's less the first-order terms.
SlabRT gradient_slab_rt(const SlabMedium& mean, const dense::Sq& tau1, const dense::Sq& rho1, double h);

// The same slab with its emission for the exponential sources `src` (x below
// the slab's top), to first order in the change: the mean medium's emission in
// closed form plus the first-order response of the mean medium to the change
// acting on the field the sources make in it. Nothing where the closed form of
// the emission fails (see exp_emission).
struct GradientSlab {
  SlabRT rt;
  SlabEmission em;
};
std::optional<GradientSlab> gradient_slab_emission(const SlabMedium& mean, const dense::Sq& tau1, const dense::Sq& rho1,
                                                   double h, const ExpSources& src);

// The integrals over [0, h] of (s - h/2) and of (s - h/2)^2 times
// exp(-p s - q (h - s)), p, q >= 0: the moments the first-order response takes.
double centred_exp_moment(double p, double q, double h);
double centred_exp_moment2(double p, double q, double h);

}  // namespace abyss
