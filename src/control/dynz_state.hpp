// Record of the dynamic infinitely-deep-bottom depth: where each band applies
// its deep-bottom boundary condition.
#pragma once

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct DynDepth {
  VecD zbottom{1, mxwave};  // 20 attenuation lengths below the deepest output depth (m)
  VecI ibottom{1, mxwave};  // grid index of the depth at which the band's condition is applied
};

}  // namespace abyss
