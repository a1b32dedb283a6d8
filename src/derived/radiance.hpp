// Radiances, irradiances and K-functions of the current band.
#pragma once

#include <string>

#include "util/arrays.hpp"

namespace abyss {
struct RunState;

// Band driver of the synthesis: turns the total amplitudes into diffuse ones
// (in place), synthesizes the diffuse and direct radiances of every level and
// removes negative radiances (radcheck).
void synhl(RunState& rs);
// Synthesizes one amplitude vector (cosine block then sine block) into the
// quad-averaged radiance slice L(r, s).
void synrad(RunState& rs, const double* amp, Mat& slice);
// Zeroes negative radiances of the band and warns in the printout.
void radcheck(RunState& rs);

// Irradiances, mean cosines and reflectance at every level, with the printout table.
void irrad(RunState& rs);
// Irradiance and nadir-radiance K-functions of the selected depth pairs.
void kfcn(RunState& rs);
// Radiance K-functions and path functions of the selected quads and depth pairs.
void kradpath(RunState& rs);

// Total downward / upward radiance of quad (r, s) at level k (0 = in air).
double total_down(const RunState& rs, int k, int r, int s);
double total_up(const RunState& rs, int k, int r, int s);
// Zenith angle (degrees) of the centre of mu band u as printed: the mean of
// the zenith angles of its two boundaries; the polar cap has 0.
double band_theta_deg(const RunState& rs, int u);

}  // namespace abyss
