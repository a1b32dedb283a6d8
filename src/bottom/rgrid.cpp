#include "bottom/rgrid.hpp"

#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"

namespace abyss {

void load_rgrid(RunState&) {
  herr("rbottom", "tabulated bottom reflectances (bottom type >= 2) are not available in this build");
}

int band_index(const RunState& rs, double wavenm) {
  int best = 1;
  for (int j = 2; j <= rs.cmisc.nwave; ++j)
    if (std::fabs(rs.cwave.wave(j) - wavenm) < std::fabs(rs.cwave.wave(best) - wavenm)) best = j;
  return best;
}

}  // namespace abyss
