// Wavelength redistribution of the inelastic processes: published spectral
// kernels and their averages over pairs of wavelength bands.
#pragma once

#include <array>

namespace abyss::inelastic {

// Water Raman scattering: Bartlett et al. (1998) wavelength dependence of the
// scattering coefficient, Walrafen's (1967) four Gaussians of the O-H stretch
// band (as used by Haltrin and Kattawar 1993), depolarisation ratio 0.17.
// b_R(l') = b_R(l0) (l0/l')^5.3 with l' the exciting wavelength. b_R is the
// fraction of the exciting photons (and so of the exciting power) scattered
// per metre; the emitted power is that times l'/l, which the redistribution
// carries. Bartlett et al. give 5.3 for this photon-normalised coefficient and
// 5.5 for the energy-normalised one, b_R l'/l: the 0.2 between them is the
// slope of l'/l itself, so 5.5 together with the factor l'/l would count the
// photon-energy loss twice (about 5 % too much Raman light excited near 380 nm).
inline constexpr double kRamanExponent = 5.3;
inline constexpr std::array<double, 4> kRamanShift{3250.0, 3425.0, 3530.0, 3625.0};  // cm^-1
inline constexpr std::array<double, 4> kRamanFwhm{210.0, 175.0, 140.0, 140.0};       // cm^-1
inline constexpr std::array<double, 4> kRamanWeight{0.41, 0.39, 0.10, 0.10};
inline constexpr double kRamanDepol = 0.17;

// Chlorophyll a fluorescence (Gordon 1979): Gaussian at 685 nm, sigma 10.6 nm,
// excited between 370 and 690 nm.
inline constexpr double kChlCentre = 685.0, kChlSigma = 10.6;
inline constexpr double kChlExciteMin = 370.0, kChlExciteMax = 690.0;

// b_R at the exciting wavelength l' (nm) from its value b0 at l0.
double raman_b(double b0, double l0, double lexc);
// The Raman phase function A (1 + B cos^2 psi), normalised to 1 over the sphere.
double raman_phase_a();
double raman_phase_b();
// Band shape in wavenumber shift (cm^-1), unit integral.
double raman_shape(double dk);

// Emission spectrum of chlorophyll fluorescence (1/nm, unit integral).
double chl_emission(double lem);
// Hawes (1992) CDOM fluorescence quantum-efficiency function eta(lx, lm) (1/nm).
double hawes_eta(double lx, double lm);

// Averages over exciting band [x0, x1] and emitting band [m0, m1] (nm) of the
// redistribution function f(l', l) including l'/l (1/nm); qe for chlorophyll.
double raman_band_pair(double x0, double x1, double m0, double m1);
double chl_band_pair(double x0, double x1, double m0, double m1, double qe);
double cdom_band_pair(double x0, double x1, double m0, double m1);

}  // namespace abyss::inelastic
