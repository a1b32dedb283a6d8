// Records of the bottom boundary.
#pragma once

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct BottomState {
  Mat cbotbc{mxmu, mxmu};  // bottom reflectance operator of the current mode (row = incident band)
};

}  // namespace abyss
