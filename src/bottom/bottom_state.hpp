// Records of the bottom boundary.
#pragma once

#include <cstddef>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct BottomState {
  Mat cbotbc{mxmu, mxmu};  // bottom reflectance operator of the current mode (row = incident band)

  // Quad-averaged bidirectional reflectance BR(i, j, s): incident band i (azimuth
  // band 1), reflected band j in azimuth band s.
  std::vector<double> br = std::vector<double>(static_cast<std::size_t>(mxmu) * mxmu * mxphi, 0.0);
  double& BR(int i, int j, int s) {
    return br[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * mxmu +
              static_cast<std::size_t>(s - 1) * mxmu * mxmu];
  }
  double br_wave = -1.0;  // band wavelength of the last quad averaging (nm)

  VecD rgrid{1, mxwave};      // reflectance on the band grid (tabulated bottoms)
  bool rbottom_done = false;  // first call of rbottom made
  double rbottom_wave = -1.0; // wavelength of the last reflectance message
  int iwave = 0;              // band index found last (checkiwav)
  bool brdf_done = false;     // first call of brdfbotm made
  double brdf_pi = 0.0;       // pi of the surface-file header
  int brdf_type = 0;          // bottom type remembered by brdfbotm

  // The asymptotic (deep-water) radiance distribution of the last mode-0 closure.
  double kinf = 0.0;                  // asymptotic attenuation per unit optical depth
  VecD lasym_down{1, mxmu}, lasym_up{1, mxmu};  // mode-0 amplitudes, normalized to the nadir-viewing radiance
};

}  // namespace abyss
