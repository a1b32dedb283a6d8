// Records of the radiative-transfer solver.
#pragma once

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct SolverState {
  Mat cramp0{mxamp, mxz + 2};     // direct amplitudes (column 1 air, k+1 depth k)
  Mat cramp_down{mxamp, mxz + 2};  // total downward amplitudes (column k+2 depth k)
  Mat cramp_up{mxamp, mxz};        // total upward amplitudes (column k depth k)
};

}  // namespace abyss
