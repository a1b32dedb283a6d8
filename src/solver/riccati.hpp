// Invariant-imbedding Riccati equations of one Fourier mode and their depth
// integration (record crts = rs.sol.modes[l]).
#pragma once

#include <array>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {
struct RunState;

// Per-component Fourier sums of the phase functions of one mode (index 1..ncomp).
using ComponentSums = std::array<Mat, mxcomp + 1>;
// The sums of mode l of one phase function (pt, pr in the library layout).
void phase_sums(const RunState& rs, int l, const Mat& pt, const Mat& pr, Mat& st, Mat& sr);
// The sums of mode l for every component of the band (st, sr allocated mxmu x mxmu).
void mode_component_sums(const RunState& rs, int l, ComponentSums& stk, ComponentSums& srk);
// rhohat and tauhat of mode l for albedo w0 and component shares wk[1..ncomp] of the scattering.
void coefficient_matrices(const RunState& rs, int l, const ComponentSums& stk, const ComponentSums& srk, double w0,
                          const double* wk, Mat& rhohat, Mat& tauhat);
// True when the phase functions are chosen per depth (their sums change with depth).
bool phase_varies_with_depth(const RunState& rs);

// Coefficient matrices rhohat and tauhat of mode l at one depth (into rs.sol.crhotau).
void rhotau(RunState& rs, int l, double zeta, double z);
// Forgets the remembered coefficient matrices (new band or mode: the phase functions may have changed).
void rhotau_reset(RunState& rs);

// Right-hand side of pass `pass` (1 downward; 2, 3 upward cosine and sine halves)
// of mode l at optical depth zeta.
void drtdzs(RunState& rs, int l, int pass, double zeta, const double* y, double* dy);

// Runs the downward and the two upward passes of mode l and stores their
// results at every grid depth in rs.sol.modes[l].
void riccati(RunState& rs, int l);

// Number of solver calls of the downward pass across a layer of optical
// thickness delta: INT(delta/dzetamax) + 1 when delta >= dzetamax, else 1.
int nsubsteps(double delta, double dzetamax);

}  // namespace abyss
