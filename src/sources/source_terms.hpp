// The per-depth internal-source amplitudes asked for by the Riccati integration.
#pragma once

namespace abyss {
struct RunState;
struct SourceAmps;
// Source `which` (1 bioluminescence, 2 chlorophyll fluorescence, 3 CDOM
// fluorescence, 4 Raman scattering) of the current band for Fourier mode l at a
// depth, written into `out` (zeroed first).
void source_term(const RunState& rs, int which, int l, double depth, SourceAmps& out);
}  // namespace abyss
