// The radiative-transfer solve of one band: band preparation, direct
// amplitudes, the Riccati integration of every Fourier mode (the per-mode
// operators kept in memory in mode order), then the total amplitudes just
// below the surface, at depth and in air.
#include "solver/radamps.hpp"

#include "bottom/bottom.hpp"
#include "control/run_state.hpp"
#include "phase/inishamp.hpp"
#include "solver/amplitudes.hpp"
#include "solver/band_problem.hpp"
#include "solver/riccati.hpp"
#include "solver/step_budget.hpp"
#include "solver/sun_beam.hpp"

namespace abyss {

void solve_modes(RunState& rs) {
  check_grid_optical_depths(rs);
  if (rs.opts.solver == "exact") {
    solve_band_exact(band_problem(rs), rs.sol.modes);
    return;
  }
  const int lmax = rs.cmisc.lmax;
  rs.sol.modes.resize(static_cast<std::size_t>(lmax) + 1);
  for (int l = 0; l <= lmax; ++l) {
    botmbc(rs, l);
    riccati(rs, l);
  }
}

void radamps(RunState& rs) {
  inishamp(rs);
  prepare_sun_beam(rs, rs.opts.solver == "exact");
  amp0a(rs);
  solve_modes(rs);
  ampw(rs);
  ampzeta(rs);
  add_beam_to_amplitudes(rs);
  ampma(rs);
}

}  // namespace abyss
