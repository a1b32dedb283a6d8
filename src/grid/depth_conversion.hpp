// Conversion between geometric depth z (m) and optical depth zeta for the
// current band (cmisc.wavenm). The caller switches the backscatter
// calculation off (comp.cbbcalc = 0) around the conversions and back on after.
// Zero total attenuation stops the run ("trivial case").
#pragma once

namespace abyss {
struct RunState;
void ztozeta(RunState& rs);  // zeta(1..nz) from z(1..nz), and the fine table
void zetatoz(RunState& rs);  // z(1..nz) from zeta(1..nz)
// Geometric depth of an optical depth reached by the integrator (geometric-depth runs).
double z_of_zeta(RunState& rs, double zeta);
// Optical depth of a geometric depth, from the same table (geometric-depth runs).
double zeta_of_depth(RunState& rs, double z);
// Notes in the printout, once per run and conversion, that the adaptive
// quadrature did not reach its tolerance (its estimate is used as it is).
void qag_warning(RunState& rs, bool zetatoz);
}  // namespace abyss
