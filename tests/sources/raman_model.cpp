// Sathyendranath and Platt (1998) extend the quasi-single-scattering model of
// ocean colour (Gordon 1973; Sathyendranath and Platt 1997) to Raman
// scattering. In that approximation light scattered forwards is counted as not
// scattered at all, so a stream keeps its direction and loses a + bb per unit
// path; backscattered light is a loss to the stream and a source of the
// opposite one. Here the steps are taken for the nadir-viewing radiance, the
// quantity of Rrs, in deep homogeneous water lit by the sun alone:
//
// Downwelling exciting light (l'). The refracted solar stream has cosine mu_d;
//   Ed(l', z) = Ed(l', 0-) exp(-K' z),  K' = (a' + bb') / mu_d  (K_d of the model),
//   and scalar irradiance Ed / mu_d.
// First order. One Raman event turns this stream into the upward nadir
//   direction. The scattering angle psi has cos psi = -mu_d, so the phase
//   function is A (1 + B mu_d^2) (depolarisation ratio 0.17 in A and B). Per unit
//   volume the nadir source is b_R f dl' A (1 + B mu_d^2) Ed / mu_d, where f is
//   the redistribution from l' into the emitting band and carries the energy
//   factor l'/l. The Raman light travels straight up and loses kappa_L = a + bb
//   per metre (cosine 1). Integrating over depth:
//     Lu_1 = Sum_l' b_R f dl' A (1 + B mu_d^2) Ed(l', 0-) / (mu_d (K' + kappa_L)).
//   With the phase function's backward half (1/2) and kappa = (a + bb)/mu_u in
//   place of the nadir radiance terms this is the paper's irradiance form,
//   R_R = b_R Ed(l') / (2 mu_d (K' + kappa) Ed(l)).
// Elastic, then Raman. The upwelling exciting light of the elastic model is
//   Eu(l', z) = R' Ed(l', z),  R' = bb' / (mu_d (K' + kappa')),  kappa' = (a' + bb') / mu_u,
//   diffuse, with scalar irradiance Eu / mu_u. Over diffuse light the Raman
//   phase function averages to exactly 1/(4 pi):
//     Lu_ER = Sum_l' b_R f dl' R' Ed(l', 0-) / (4 pi mu_u (K' + kappa_L)).
// Raman, then elastic. Half of the Raman light goes into the downward
//   hemisphere (the cos^2 term integrates alike over both hemispheres). Its
//   plane irradiance obeys dE/dz = S exp(-K' z) - kappa_d E with
//   S = b_R f dl' Ed(l', 0-) / (2 mu_d) and kappa_d = (a + bb) / mu_u, so
//   E(z) = S (exp(-K' z) - exp(-kappa_d z)) / (kappa_d - K'). Backscattering
//   sends bb / (2 pi) per steradian of its scalar irradiance E / mu_u into the
//   upward nadir direction:
//     Lu_RE = Sum_l' bb S / (2 pi mu_u (K' + kappa_L) (kappa_d + kappa_L)).
// Raman, then Raman. Light of l'' excites l' (source S'' exp(-K'' z) per
//   unit volume, S'' = b_R'' f'' dl'' Ed(l'', 0-) / mu_d); half goes up, half down,
//   each diffuse stream losing kappa' = (a' + bb') / mu_u:
//     Eu'(z) = (S''/2) exp(-K'' z) / (K'' + kappa'),
//     Ed'(z) = (S''/2) (exp(-K'' z) - exp(-kappa' z)) / (kappa' - K'').
//   Their scalar irradiance (Eu' + Ed') / mu_u is Raman scattered again into the
//   upward nadir with the phase function's mean 1/(4 pi):
//     Lu_RR = Sum b_R f dl' / (4 pi mu_u) (S''/2) / (K'' + kappa_L)
//             x [1 / (K'' + kappa') + 1 / (kappa' + kappa_L)].
// Assumptions: forward scattering is no scattering (K' and kappa from a + bb);
// diffuse streams have mean cosine mu_u = 0.5 (isotropic radiance); the
// downwelling light just below the surface is the refracted direct sun (no sky);
// the sea surface does not reflect the in-water light: the upward streams leave
// and no downward diffuse stream starts at the surface. A real surface sends
// back about half of a diffuse upward stream (total internal reflection beyond
// 48.6 degrees), which the model therefore misses, at both wavelengths.
//
// Inputs shared with the engine and checked against the literature on their
// own (redistribution tests): b_R(l') with the photon-normalised exponent 5.3,
// the band-averaged Walrafen shape (its 1e7/l^2 Jacobian compresses a band of
// exciting wavelengths into a narrower emitting band, (l'/l)^2 per nm) and the
// energy factor l'/l. Rrs of both the model and the engine is taken with the
// engine's own Ed(0+) and its total Rrs, so the share compares Raman radiances.
#include "raman_model.hpp"

#include <cmath>

namespace abyss::testing {

RamanTerms raman_nadir_radiance(const std::vector<RamanExciter>& ex, const RamanEmitter& em, double phase_a,
                                double phase_b) {
  const double pi = std::acos(-1.0);
  const double mu_d = em.mu_d, mu_u = em.mu_u;
  const double kappa_l = em.a + em.bb;             // nadir radiance going straight up
  const double kappa_d = (em.a + em.bb) / mu_u;    // diffuse downward Raman light
  const double beta_down = phase_a * (1.0 + phase_b * mu_d * mu_d);
  RamanTerms t;
  for (const RamanExciter& x : ex) {
    const double k_x = (x.a + x.bb) / mu_d;
    const double kappa_x = (x.a + x.bb) / mu_u;
    const double r_x = x.bb / (mu_d * (k_x + kappa_x));
    t.first += x.b_r_f * beta_down * x.ed0 / (mu_d * (k_x + kappa_l));
    t.elastic_raman += x.b_r_f * r_x * x.ed0 / (4.0 * pi * mu_u * (k_x + kappa_l));
    const double s = x.b_r_f * x.ed0 / (2.0 * mu_d);
    t.raman_elastic += em.bb * s / (2.0 * pi * mu_u * (k_x + kappa_l) * (kappa_d + kappa_l));
    for (const RamanExciter& y : x.feeders) {
      const double k_y = (y.a + y.bb) / mu_d;
      const double half = 0.5 * y.b_r_f * y.ed0 / mu_d;
      t.raman_raman += x.b_r_f / (4.0 * pi * mu_u) * half / (k_y + kappa_l) *
                       (1.0 / (k_y + kappa_x) + 1.0 / (kappa_x + kappa_l));
    }
  }
  return t;
}

double rrs_from_nadir_radiance(double lu0, double ed0_air, double n_water) {
  const double r = (n_water - 1.0) / (n_water + 1.0);
  return (1.0 - r * r) / (n_water * n_water) * lu0 / ed0_air;
}

}  // namespace abyss::testing
