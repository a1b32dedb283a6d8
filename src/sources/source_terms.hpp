// The per-depth internal-source amplitudes asked for by the Riccati integration.
#pragma once

namespace abyss {
struct RunState;
// Source `which` (1 bioluminescence, 2 chlorophyll fluorescence, 3 CDOM
// fluorescence, 4 Raman scattering) at a depth of the current band: nmu
// amplitudes for the upward-directed bands in up[0..nmu-1] and for the
// downward-directed bands in down[0..nmu-1].
void source_term(RunState& rs, int which, double depth, double* up, double* down);
}  // namespace abyss
