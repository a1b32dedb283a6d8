// The radiative-transfer solve of the current band.
#pragma once

namespace abyss {
struct RunState;
void radamps(RunState& rs);
// Bottom operator and Riccati integration of every Fourier mode l = 0..lmax
// (after inishamp and amp0a; before the amplitude routines).
void solve_modes(RunState& rs);
}  // namespace abyss
