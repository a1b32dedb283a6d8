// Records of the discretized phase functions and the per-band IOP table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record ciop: IOPs on the solver grid; column 0 = total, 1..ncomp = components.
struct IopTable {
  Mat a{mxz, mxcomp + 1}, b{mxz, mxcomp + 1}, bb{mxz, mxcomp + 1};  // (iz, k+1)
  VecD c{1, mxz}, albedo{1, mxz};
  double a_deep = 0.0, c_deep = 0.0;  // total a and c at the deepest grid depth
  double& A(int iz, int k) { return a(iz, k + 1); }
  double& B(int iz, int k) { return b(iz, k + 1); }
  double& BB(int iz, int k) { return bb(iz, k + 1); }
};

// Per-component discretized phase functions: PT(r, I, k) and PR(r, I, k),
// r = outgoing mu band 1..nmu, I = (s-1)*nmu + u (incident band u, azimuth
// difference band s), k = component.
// Where a component's arrays came from: the titles of the one or two DPF
// files and the weight of the second (the arrays are (1 - t) lo + t hi);
// empty titles when the component has no arrays of its own.
struct PhaseOrigin {
  std::string lo, hi;
  double t = 0.0;
};

struct PhaseArrays {
  std::array<Mat, mxcomp + 1> pt, pr;  // index 1..mxcomp; each mxmu x mxhat
  std::array<PhaseOrigin, mxcomp + 1> origin;
  PhaseArrays() {
    for (int k = 1; k <= mxcomp; ++k) {
      pt[k] = Mat(mxmu, mxhat);
      pr[k] = Mat(mxmu, mxhat);
    }
  }
};

}  // namespace abyss
