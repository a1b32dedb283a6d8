// How the run's grids map onto the dimensions of the NetCDF run file.
//
// depth:  level 0 is in air just above the surface (depth -1 m, as in the
//         radiance file: the model has no attenuation in the air, so the
//         values hold at any height just above the surface), levels 1..nout
//         the requested output depths.
// theta:  polar angle of the direction of photon travel, increasing: the
//         downward mu bands from the polar cap (theta 0) to the horizon, then
//         the upward bands from the horizon to the nadir-travelling cap (180).
// phi:    the azimuth bands.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

#include "control/run_state.hpp"

namespace abyss::ncl {

// NetCDF's default fill value for doubles: what a reader sees where a value
// does not exist (undefined ratio or logarithm, a quantity defined only in air).
inline constexpr double kFill = 9.9692099683868690e+36;

inline double finite_or_fill(double v) { return std::isfinite(v) ? v : kFill; }

inline int nlevels(const RunState& rs) { return 1 + static_cast<int>(rs.sel.pirrad.size()); }
// Grid index of level i (0 = in air).
inline int grid_index(const RunState& rs, int i) { return i == 0 ? 0 : rs.sel.pirrad[static_cast<std::size_t>(i - 1)]; }
inline double level_depth(const RunState& rs, int i) { return i == 0 ? -1.0 : rs.cgrid.z(grid_index(rs, i)); }

inline int ntheta(const RunState& rs) { return 2 * rs.cmisc.nmu; }
// Mu band of theta index t, and whether it travels downward.
inline int theta_band(const RunState& rs, int t) { return t < rs.cmisc.nmu ? rs.cmisc.nmu - t : t - rs.cmisc.nmu + 1; }
inline bool theta_down(const RunState& rs, int t) { return t < rs.cmisc.nmu; }
// The polar cap is one quad: every azimuth carries its single value (s = 1).
inline int quad_s(const RunState& rs, int u, int s) { return u == rs.cmisc.nmu ? 1 : s; }

// Number of K-function depth pairs of the run.
inline int npairs(const RunState& rs) {
  return rs.sel.pkfcn.empty() ? 0 : static_cast<int>(rs.der.ckxcl.zmid.size());
}

}  // namespace abyss::ncl
