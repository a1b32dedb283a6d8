// Inelastic scattering and internal sources.
#pragma once

namespace abyss {
struct RunState;
void s0biosub(RunState& rs);  // bioluminescence set-up (initialization)
void wrfdisc(RunState& rs);   // band-to-band redistribution matrices of the inelastic processes
}  // namespace abyss
