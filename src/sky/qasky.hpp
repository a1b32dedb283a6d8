// Quad-averaged sky radiance of the current band.
#pragma once

namespace abyss {
struct RunState;
// Fills sky.radsky for the current band and stores its Ed(diffuse) and
// Ed(direct); the first call of the run prints the sky description.
void qasky(RunState& rs);

// The same with the irradiance model given (qasky uses skyirrad).
using SkyIrradianceModel = void (*)(RunState& rs, double sunzen, double sunaz, double& ed_diffuse, double& ed_direct);
void qasky(RunState& rs, SkyIrradianceModel irradiance);
}  // namespace abyss
