// The sky models behind the quad-averaging: relative sky radiance shapes and
// the diffuse and direct plane irradiance onto the sea surface.
#pragma once

#include <string>

namespace abyss {
struct RunState;

// Relative sky radiance seen looking towards (view zenith, view azimuth) for
// the sun at (sun zenith, sun azimuth); radians. The Harrison and Coombes sky
// may lower a sun at the horizon, hence the reference.
double skyrad(RunState& rs, double& sunzen, double sunaz, double viewzen, double viewaz);
double cosrad(RunState& rs, double sunzen, double sunaz, double viewzen, double viewaz);
double hcnrad(RunState& rs, double& sunzen, double sunaz, double viewzen, double viewaz);
double user_skyrad(RunState& rs, double sunzen, double sunaz, double viewzen, double viewaz);

// Diffuse and direct plane irradiance (W m^-2 nm^-1) onto the sea surface for
// the current band.
void skyirrad(RunState& rs, double sunzen, double sunaz, double& ed_diffuse, double& ed_direct);
void cosirrad(RunState& rs, double sunzen, double sunaz, double& ed_diffuse, double& ed_direct);
void user_skyirrad(RunState& rs, double sunzen, double sunaz, double& ed_diffuse, double& ed_direct);

// Measured total irradiance of a data file averaged over the current band.
double irradat(RunState& rs, const std::string& filename);

// The sky data file named in the run input (record 24).
const std::string& sky_data_file(const RunState& rs);

}  // namespace abyss
