// A bound on the work of one integration pass of one Fourier mode.
//
// The Riccati equations are integrated with adaptive steps. Absurd inputs
// (depths of many thousands of optical depths, coefficients near the limit of
// double precision) can make the integrator crawl for hours without
// progress; the pass instead stops with a message naming the band, the mode,
// the pass and the optical depth reached, once it has used its step budget.
#pragma once

#include <string>

namespace abyss {

class StepBudget {
 public:
  // Adaptive steps one pass of one mode may take. Ordinary runs need a few
  // hundred to a few thousand; at the integrator's slowest pace in optically
  // thick water (about 0.02 optical depths a step) the budget still covers
  // several thousand optical depths, far beyond where any light is left.
  static constexpr unsigned long kStepsPerPass = 200000;

  explicit StepBudget(unsigned long steps = kStepsPerPass) : left_(steps) {}
  // The step limit for the next stretch of integration (never 0, which the
  // integrator reads as "unlimited").
  unsigned long next_limit() const { return left_ > 0 ? left_ : 1; }
  void charge(unsigned long steps) { left_ = steps >= left_ ? 0 : left_ - steps; }
  bool exhausted() const { return left_ == 0; }

 private:
  unsigned long left_;
};

struct RunState;

// Before the modes of a band are solved: a grid whose optical depths are not
// finite stops the run; one deeper than light can reach as a representable
// number is a warning (console and printout): the radiances there are printed
// as they come out, zero or nearly so.
void check_grid_optical_depths(RunState& rs);

// Before the Adams integration of a band: a grid so deep that the step budget
// cannot cover it stops the run at once.
void check_integration_span(RunState& rs);

// "the depth integration of band 3 (450.0 nm), mode l = 2, pass 1 used its
// budget of 200000 steps at optical depth 812.3 ..."
std::string step_budget_message(int band, double wavenm, int l, int pass, double zeta, double zeta_target);

}  // namespace abyss
