// Clear-sky spectral irradiance just above the sea surface.
#pragma once

namespace abyss {
struct RunState;

// Band-averaged diffuse and direct downward plane irradiance (W m^-2 nm^-1)
// just above the sea surface for the band [wl1, wl2] nm, with the sun and
// atmosphere of the run (record 18 and the sky record).
void radtranx(RunState& rs, double wl1, double wl2, double& ed_diffuse, double& ed_direct);

}  // namespace abyss
