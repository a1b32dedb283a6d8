#include "solver/step_budget.hpp"

#include <cmath>

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/input_ranges.hpp"
#include "control/run_state.hpp"

namespace abyss {

std::string step_budget_message(int band, double wavenm, int l, int pass, double zeta, double zeta_target) {
  return fmt::format(
      "the depth integration of band {} ({:.1f} nm), mode l = {}, pass {} used its budget of {} steps at optical depth "
      "{:.6g} on the way to {:.6g}; the water column is too thick optically or its IOPs are not sensible",
      band, wavenm, l, pass, StepBudget::kStepsPerPass, zeta, zeta_target);
}

void check_grid_optical_depths(RunState& rs) {
  const Misc& m = rs.cmisc;
  const double top = rs.cgrid.zeta(1), deep = rs.cgrid.zeta(m.nz);
  if (!std::isfinite(top) || !std::isfinite(deep))
    herr("riccati", fmt::format("band {} ({:.1f} nm): the optical depths of the grid are not finite; the IOPs are not "
                                "sensible",
                                m.jwave, m.wavenm));
  if (deep > kMaxOpticalDepth) {
    const std::string line = fmt::format(
        " WARNING: band {} ({:.1f} nm): the deepest output depth lies at optical depth {:.6g}; below about {:g} no "
        "light is left that double precision can represent",
        m.jwave, m.wavenm, deep, kMaxOpticalDepth);
    rs.con() << line << "\n";
    rs.pr() << line << "\n";
  }
}

void check_integration_span(RunState& rs) {
  const Misc& m = rs.cmisc;
  const double top = rs.cgrid.zeta(1), deep = rs.cgrid.zeta(m.nz);
  // Each integration stretch of the downward pass covers at most dzetamax
  // and takes at least one step.
  const double most = static_cast<double>(StepBudget::kStepsPerPass) * m.dzetamax;
  if (deep - top > most)
    herr("riccati", fmt::format("band {} ({:.1f} nm): the deepest output depth lies at optical depth {:.6g}, beyond "
                                "the {:.6g} the depth integration can cover; nothing reaches such depths",
                                m.jwave, m.wavenm, deep, most));
}

}  // namespace abyss
