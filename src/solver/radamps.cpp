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

namespace {

// Phase functions chosen per depth change the Riccati coefficients inside a
// slab in a way the slab partition does not see; such runs are integrated.
bool exact_applies(RunState& rs) {
  if (rs.opts.solver != "exact") return false;
  if (!phase_varies_with_depth(rs)) return true;
  if (!rs.sol.exact_fallback_told) {
    const char* text = "\n  WARNING: phase functions chosen per depth: the Riccati equations are integrated by the"
                       " Adams method (run option solver = adams) instead of the exact solver\n";
    rs.con() << text;
    rs.pr() << text;
    rs.sol.exact_fallback_told = true;
  }
  return false;
}

}  // namespace

void solve_modes(RunState& rs) {
  check_grid_optical_depths(rs);
  if (exact_applies(rs)) {
    solve_band_exact(band_problem(rs), rs.sol.modes);
    return;
  }
  const int lmax = rs.cmisc.lmax;
  rs.sol.modes.resize(static_cast<std::size_t>(lmax) + 1);
  for (int l = 0; l <= lmax; ++l) {
    rs.cmisc.lmode = l;
    botmbc(rs, l);
    riccati(rs, l);
  }
}

void radamps(RunState& rs) {
  inishamp(rs);
  prepare_sun_beam(rs, exact_applies(rs));
  amp0a(rs);
  solve_modes(rs);
  ampw(rs);
  ampzeta(rs);
  add_beam_to_amplitudes(rs);
  ampma(rs);
}

}  // namespace abyss
