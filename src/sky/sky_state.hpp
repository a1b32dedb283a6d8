// Records of the sky: the sky as the run input describes it, and the quad-averaged sky.
#pragma once

#include <array>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record csky.
struct Sky {
  int iskyflag = 0;
  double suntheta = 0.0;  // solar zenith (deg)
  double sunphi = 0.0;    // solar azimuth relative to downwind (deg)
  double C = 0.0, Rsky = 0.0, Edtotl = 0.0;  // cosine sky
  double jday = 0.0, rlat = 0.0, rlon = 0.0, gmt = 0.0;
  double cloud = 0.0;
  std::vector<double> skydata;  // record 17 values as read
};

// Record cgcirr1: the clear-sky model inputs of record 18.
struct ClearSkyInput {
  double jday = 0.0, rlat = 0.0, rlon = 0.0;
  double pressure = 0.0;  // mb
  double am = 0.0;        // air-mass type 1..10
  double rh = 0.0;        // %
  double wv = 0.0;        // precipitable water (cm)
  double vis = 0.0;       // km
  double wsm = 0.0;       // 24-h mean wind (m/s)
  double ro3 = 0.0;       // total ozone (DU); <= 0: climatology
  int flag = 0;
};

// First-call flags and remembered values of the sky models (each prints its
// description once per run).
struct SkyModelState {
  bool qasky_done = false;
  bool cosirrad_done = false, cosrad_done = false, hcnrad_done = false;
  bool irradat_done = false, datafile_done = false;
  double cosrad_L0 = 0.0;  // cosine-sky radiance scale, W/(m^2 sr nm)
  VecD irradat_ed{1, mxwave};  // measured total Ed averaged over each band
};

// radsky(r, s): quad-averaged incident radiance travelling downward; cerik.
struct SkyRadiance {
  Mat radsky{mxmu, mxphi};
  VecD ed_diffuse{1, mxwave}, ed_direct{1, mxwave};  // cerik
  // The quad of radsky (by direction of travel) that holds the sun, and the
  // sun's part of its radiance in the current band.
  int sun_r = 0, sun_s = 0;
  double sun_value = 0.0;
  SkyModelState models;
};

}  // namespace abyss
