// Records of the sky: the sky specification and the quad-averaged sky.
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

// radsky(r, s): quad-averaged incident radiance travelling downward; cerik.
struct SkyRadiance {
  Mat radsky{mxmu, mxphi};
  VecD ed_diffuse{1, mxwave}, ed_direct{1, mxwave};  // cerik
};

}  // namespace abyss
