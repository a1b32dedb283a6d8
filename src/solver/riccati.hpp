// Invariant-imbedding Riccati equations of one Fourier mode and their depth
// integration (record crts = rs.sol.modes[l]).
#pragma once

namespace abyss {
struct RunState;

// Coefficient matrices rhohat and tauhat of mode l at one depth (into rs.sol.crhotau);
// also leaves the total a and b of that depth in cmisc.acur / bcur.
void rhotau(RunState& rs, int l, double zeta, double z);
// Forgets the remembered coefficient matrices (new band or mode: the phase functions may have changed).
void rhotau_reset(RunState& rs);

// Right-hand side of the pass recorded in cmisc.ipass at optical depth zeta.
void drtdzs(RunState& rs, double zeta, const double* y, double* dy);

// Runs the downward and the two upward passes of mode l and stores their
// results at every grid depth in rs.sol.modes[l].
void riccati(RunState& rs, int l);

// Number of solver calls of the downward pass across a layer of optical
// thickness delta: INT(delta/dzetamax) + 1 when delta >= dzetamax, else 1.
int nsubsteps(double delta, double dzetamax);

}  // namespace abyss
