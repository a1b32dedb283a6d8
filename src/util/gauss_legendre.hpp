// Gauss-Legendre nodes and weights on [-1, 1], from GSL's fixed-order tables.
#pragma once

#include <vector>

namespace abyss::util {

struct QuadNode {
  double x, w;
};

// n-point rule, nodes in increasing order.
std::vector<QuadNode> gauss_legendre(int n);

}  // namespace abyss::util
