// Analytic Raman contribution to the remote-sensing reflectance of deep,
// homogeneous water after Sathyendranath and Platt (1998, Appl. Opt. 37,
// 2216-2227): the quasi-single-scattering solution with one Raman event
// (first order) and the two second-order terms that combine one Raman and one
// elastic event. The two Raman-Raman terms are left out; the authors find them
// near 1 % of the first-order term.
#pragma once

#include <vector>

namespace abyss::testing {

// One exciting band l' feeding the emitting band l.
struct RamanExciter {
  double b_r_f = 0.0;  // b_R(l') times the band-averaged redistribution f(l', l) (with l'/l) times the
                       // exciting band width: the Raman coefficient that lands in the emitting band (1/m)
  double ed0 = 0.0;    // Ed(l', 0-), downward plane irradiance just below the surface (W m^-2 nm^-1)
  double a = 0.0, bb = 0.0;  // absorption and backscattering at l' (1/m)
  // The bands l'' that feed l' by Raman scattering (their b_r_f into l'); empty
  // leaves out the two-Raman terms.
  std::vector<RamanExciter> feeders;
};

// What the model needs of the emitting band and of the geometry.
struct RamanEmitter {
  double a = 0.0, bb = 0.0;  // absorption and backscattering at l (1/m)
  double mu_d = 1.0;         // mean cosine of the downwelling light just below the surface (refracted sun)
  double mu_u = 0.5;         // mean cosine of diffuse upwelling light (and of the downward Raman light)
};

struct RamanTerms {
  double first = 0.0;     // Lu_R(0-) of one Raman event from the downwelling light
  double elastic_raman = 0.0;  // elastic backscattering at l', then Raman into the upward nadir
  double raman_elastic = 0.0;  // Raman into the downward hemisphere, then elastic backscattering at l
  double raman_raman = 0.0;    // Raman light at l' (from l''), Raman again into the upward nadir at l
  double total() const { return first + elastic_raman + raman_elastic + raman_raman; }
};

// Nadir-viewing upwelling Raman radiance just below the surface, Lu_R(0-, l)
// (W m^-2 sr^-1 nm^-1), term by term.
RamanTerms raman_nadir_radiance(const std::vector<RamanExciter>& ex, const RamanEmitter& em, double phase_a,
                                double phase_b);

// Lu(0-) to Rrs: Rrs = t / n^2 Lu(0-) / Ed(0+), t the Fresnel transmittance of
// the surface for the nadir-viewing ray leaving the water, n the refractive index of water.
double rrs_from_nadir_radiance(double lu0, double ed0_air, double n_water);

}  // namespace abyss::testing
