// Sea-surface operators and quad partition for a band.
#pragma once

namespace abyss {
struct RunState;
// Loads (or keeps) the surface operators for wind speed U (m/s) at wavelength lambda (nm).
void loadsurface(RunState& rs, double U, double lambda);
}  // namespace abyss
