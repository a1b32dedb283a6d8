// The variables of the NetCDF run file: name, description, CF units and the
// CF standard name where CF defines one, grouped by their dimensions.
#pragma once

#include <array>

namespace abyss {
struct RunState;

struct NcVar {
  const char* name;
  const char* long_name;
  const char* units;
  const char* standard_name;  // "" where CF has none
  // Value at level i (0 = in air) of the current band, for the (depth, wavelength) groups.
  double (*at)(const RunState& rs, int level) = nullptr;
};

// (depth, wavelength): irradiances, mean cosines, reflectances, nadir radiance.
extern const std::array<NcVar, 12> kLevelVars;
// (depth, wavelength): total IOPs.
extern const std::array<NcVar, 4> kIopVars;
// (component, depth, wavelength): IOPs per component.
extern const std::array<NcVar, 4> kComponentIopVars;
// (depth, theta, phi, wavelength): the radiance distribution.
extern const std::array<NcVar, 1> kRadianceVars;
// (theta, phi, wavelength): the radiances in air of every quad by origin.
extern const std::array<NcVar, 3> kAirQuadVars;
// (wavelength): the sky's plane irradiance by part.
extern const std::array<NcVar, 2> kSkyVars;
// (wavelength), only when internal sources are on: Lw and Rrs without the
// sources, and the share of Lw they make.
extern const std::array<NcVar, 3> kSourceShareVars;
// (kdepth, wavelength): K-functions, in the order of the K store.
extern const std::array<NcVar, 7> kKVars;
// (depth): PAR.
extern const std::array<NcVar, 4> kParVars;
// (par_layer): K_PAR.
extern const std::array<NcVar, 2> kKparVars;
// (depth): CIE chromaticity and (il)luminance of Ed, Eu, Lu, Lw.
extern const std::array<NcVar, 12> kColourVars;

}  // namespace abyss
