// Records of the angular and depth discretization.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record cgrid: quad partition (mu bands 1..nmu, band nmu the polar cap) and
// the depth grids.
struct Grid {
  VecD fmu{1, mxmu};    // quad-centre mu
  VecD bndmu{0, mxmu};  // upper boundary mu of band u; bndmu(0) = 0
  VecD omega{1, mxmu};  // solid angle of one quad of band u (sr)
  VecD dmu{1, mxmu};    // mu width of band u
  VecD z{1, mxz};       // geometric depths of the solver grid (m)
  VecD zeta{1, mxz};    // optical depths of the solver grid
  VecD zgeo2{1, mxz};   // copy of the depth list read by the K-function routines
  int nz_requested = 0;  // output depths as given in the run input (before doubling)
  std::vector<double> zreq;  // the requested depths themselves
};

// Record cgridphi: azimuths in radians, 1-based; bndphi(0) = bndphi(nphi) - 2 pi.
struct GridPhi {
  VecD phi{1, mxphi};
  VecD bndphi{0, mxphi};
};

// Records crthat / crthat_ma: the eight surface operators, each mxhat x mxhat.
struct SurfaceOps {
  std::array<Mat, 8> slot;  // slot[0] = that1(a,w) ... slot[7] = reflection (a,w) sine
  std::array<int, 3> quadid{};  // quad identification (nmu, nphi, partition type)
  std::string title;
};

// Surface loader state kept between bands.
struct SurfaceLoader {
  bool first = true;
  double nlast = 0.0;
  int nA = 0, nB = 0;
  int iw1 = 0, iw2 = 0;
  double wn = 0.0, wU = 0.0;
  bool single_n = true, single_w = true;
  std::vector<int> nlist;  // from nlist.txt (thousandths)
  bool nlist_loaded = false;
};

// Record cztozeta: the fine geometric <-> optical depth table.
// Within a cell where c is smooth, zeta(z) - zeta(cell top) is held as the
// integral of the polynomial through c at five Gauss-Legendre points: with
// t = (z - zc) / hw in [-1, 1], zeta - zeta0 = hw * sum_k q[k] t^k.
struct CellFit {
  bool smooth = false;  // false: a kink or step of c inside, inverted by quadrature
  double zc = 0.0, hw = 0.0;
  std::array<double, 6> q{};
};

struct ZetaTable {
  static constexpr int kCapacity = 2800;
  int n = 0;
  std::vector<double> zeta, z;
  std::vector<CellFit> fit;  // one per cell (n - 1), built with the table
  bool qag_warned_zetatoz = false, qag_warned_ztozeta = false;
};

}  // namespace abyss
