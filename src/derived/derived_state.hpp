// Records of the derived quantities.
#pragma once

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record ceospl: the depth-by-band store, one column per band. The
// logarithmic arrays hold -1000.0 where the irradiance was not positive.
struct BandStore {
  int nz = 0;
  VecD z{1, mxz};
  Mat lneo_sum{mxz, mxwave};  // ln(Eou + Eod) at (depth k, band j)
  Mat lneo{mxz, mxwave};      // ln(Eo) of the irradiance record
  Mat ed{mxz, mxwave};        // Ed (linear)
};

struct DerivedState {
  BandStore ceospl;
};

}  // namespace abyss
