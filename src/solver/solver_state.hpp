// Records of the radiative-transfer solver.
#pragma once

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Radiance amplitudes of the current band. An amplitude vector (one column)
// holds element l*nmu + u (u = 1..nmu, l = 0..lmax) = cosine amplitude of mu
// band u in Fourier mode l, and element N + l*nmu + u the sine amplitude,
// N = nmu*(lmax+1). Vectors multiply operators from the left (v * M).
struct SolverState {
  // cramp0, direct (unscattered) amplitudes: column 1 the incident sky in air,
  // column k+1 the direct downward amplitudes at grid depth k (column 2 is just
  // below the surface), column kAirUp the surface-reflected sky (upward, in air).
  static constexpr int kAirUp = mxz + 2;
  Mat cramp0{mxamp, mxz + 2};
  // cramp, total amplitudes. Downward set: column 1 downward in air (the sky),
  // column 2 upward in air (surface-reflected sky + water-leaving), column k+2
  // downward at grid depth k. Upward set: column k upward at grid depth k.
  Mat cramp_down{mxamp, mxz + 2};
  Mat cramp_up{mxamp, mxz};
  // The two parts of the upward amplitudes in air, kept for the printouts and
  // the water-leaving radiance: column 1 surface-reflected sky, column 2 water-leaving.
  Mat air_parts{mxamp, 2};
};

}  // namespace abyss
