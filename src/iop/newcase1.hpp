// The two-particle Case 1 model: the inherent optical properties of small
// particles, large particles and CDOM as functions of the chlorophyll
// concentration alone (used by abnewcase1 and by its tests).
#pragma once

namespace abyss {

// Backscatter fractions of the two particle populations. With the
// small-particle share f of b_p they give bb_p/b_p = 0.002 + 0.01 f, the
// Case 1 relation of Morel and Maritorena (2001, JGR 106:7163, eq. 14) at
// 550 nm: large particles (phytoplankton-sized) backscatter 0.2 % of what they
// scatter, small (submicron) particles 1.2 %.
constexpr double kBbtobSmall = 0.012;
constexpr double kBbtobLarge = 0.002;

// Chlorophyll range over which the small-particle share stays within 0..1.
constexpr double kChlShareMin = 0.01, kChlShareMax = 100.0;

struct TwoParticleIops {
  double a_p = 0.0;      // particulate absorption (1/m), carried by the small particles
  double a_cdom = 0.0;   // CDOM absorption (1/m)
  double b_p = 0.0;      // particulate scattering (1/m)
  double b_small = 0.0, b_large = 0.0;
  double nu = 0.0;       // spectral exponent of b_p
  double f_small = 0.0;  // small-particle share of b_p
};

// Spectral exponent of particle scattering (Morel et al. 2002, Appl. Opt.
// 41:6289): nu = 0.5 (log10 Chl - 0.3) for 0.02 <= Chl <= 2, 0 above 2,
// held at its 0.02 value below.
double scattering_exponent(double chl);

// Small-particle share of b_p, f = 0.5 - 0.25 log10 Chl (Morel 1988, JGR
// 93:10749; Morel and Maritorena 2001), kept within 0..1.
double small_particle_share(double chl);

// All components at one chlorophyll concentration (mg/m^3) and wavelength
// (nm), given the Bricaud et al. (1998) coefficients A_p, E_p at the
// wavelength and at 440 nm.
TwoParticleIops two_particle_iops(double chl, double wavenm, double ap, double ep, double ap440, double ep440);

}  // namespace abyss
