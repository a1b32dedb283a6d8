// A Case 2 water body for tests: pure water, an unused chlorophyll entry, an
// absorbing-only CDOM and a mineral component whose concentration profile is
// read from `profile_path`; every component scatters with an FF bb/b of 0.02.
#pragma once

#include <string>

#include "control/run_state.hpp"

namespace abyss::testing {

inline void case2_mineral_profile_water(RunState& rs, const std::string& profile_path) {
  rs.cmodelopts.opts[1] = 2;
  rs.cmodelopts.opts[5] = 2;
  rs.cmodelopts.opts[6] = 3;
  rs.cmisc.ncomp = rs.cmisc.nconc = 4;
  rs.files.purewater = std::string(ABYSS_SOURCE_DIR) + "/data/pureh2o_abs_scat.txt";
  rs.files.profile[4] = profile_path;
  for (int k = 2; k <= 3; ++k) rs.comp.conc_opt(k) = 0, rs.comp.constconc(k) = 0.0;
  rs.comp.astar_opt(3) = 4, rs.comp.astar_wave0(3) = 440.0, rs.comp.astar_A(3) = 1.0, rs.comp.astar_S(3) = 0.014;
  rs.comp.bstar_opt(3) = -1;
  rs.comp.astar_opt(2) = 6, rs.comp.astar_A(2) = 0.0;
  rs.comp.bstar_opt(2) = 3, rs.comp.bstar_B(2) = 0.0, rs.comp.bstar_X(2) = 1.0;
  rs.comp.conc_opt(4) = 2;
  rs.comp.astar_opt(4) = 6, rs.comp.astar_A(4) = 0.05;
  rs.comp.bstar_opt(4) = 3, rs.comp.bstar_B(4) = 0.5, rs.comp.bstar_X(4) = 1.0;
  for (int k = 1; k <= 4; ++k) rs.comp.pf_opt(k) = 1, rs.comp.bbtob(k) = 0.02;
}

}  // namespace abyss::testing
