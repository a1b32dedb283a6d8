// Tabulated bottom reflectance on the band grid.
#pragma once

namespace abyss {
struct RunState;
// Reads the bottom-reflectance file onto the band grid (rs.bot.rgrid).
void load_rgrid(RunState& rs);
// Index of the run band whose wavelength is nearest to wavenm.
int band_index(RunState& rs, double wavenm);
}  // namespace abyss
