// Whole-spectrum helpers shared by PAR, the Secchi depth and colour.
#pragma once

#include <array>
#include <vector>

namespace abyss {
struct RunState;

// Micromol photons per second in one W at 1 nm: 1e-9/(h c) / N_A * 1e6 with
// h = 6.626e-34 J s, c = 2.998e8 m/s, N_A = 6.023e23 1/mol.
inline constexpr double kQuantaPerWattNm = 0.008358032908325087;
inline constexpr double kLumensPerWatt = 683.0;  // photopic luminous efficacy

// Fills the bands the loop skipped (nwskip > 1) in the spectral store by
// linear interpolation in wavelength between the nearest solved bands, and
// returns every band that has values, in order.
std::vector<int> complete_spectrum(RunState& rs);
// Width (nm) of band j.
double band_width(const RunState& rs, int j);

// Linear interpolation in a table with equal steps starting at x0; zero outside.
double interp_uniform(const double* y, int n, double x0, double step, double x);

// CIE photopic luminosity V(lambda), 380..770 nm, four decimals.
double photopic(double wavenm);
// CIE 1931 2-degree colour-matching functions (xbar, ybar, zbar) at wavenm,
// interpolated in the 10-nm table 360..780 nm; zero outside.
std::array<double, 3> cie_cmf(double wavenm);

struct Chromaticity {
  double x, y, Y;  // Y = 683 * tristimulus Y (lm/m^2 or lm/(m^2 sr))
};
// Chromaticity of tristimulus values; x and y are undefined when X + Y + Z <= 0.
Chromaticity chromaticity(double X, double Y, double Z);

}  // namespace abyss
