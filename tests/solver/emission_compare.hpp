// Comparison of slab emissions in the slab tests.
#pragma once

#include <algorithm>
#include <cmath>

#include "solver/slab_ops.hpp"

namespace abyss::testing {

// The largest difference of `a` from `ref` over both halves, both faces and
// every stream, relative to the largest value of `ref`.
inline double max_rel_diff(const SlabEmission& a, const SlabEmission& ref) {
  double d = 0.0, scale = 0.0;
  for (int h = 0; h < 2; ++h)
    for (std::size_t i = 0; i < a.up[h].size(); ++i) {
      d = std::max({d, std::abs(a.up[h][i] - ref.up[h][i]), std::abs(a.dn[h][i] - ref.dn[h][i])});
      scale = std::max({scale, std::abs(ref.up[h][i]), std::abs(ref.dn[h][i])});
    }
  return d / scale;
}

}  // namespace abyss::testing
