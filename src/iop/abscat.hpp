// IOP dispatch: absorption and scattering of every component at a depth and wavelength.
#pragma once

#include <array>

#include "control/limits.hpp"

namespace abyss {
struct RunState;

struct IopValues {
  std::array<double, mxcomp + 1> a{}, b{};  // components 1..ncomp (1/m)
  double atot = 0.0, btot = 0.0;            // totals (1/m)
};

// depth: m, or optical depth when the run's depth type is optical.
IopValues abscat(RunState& rs, double depth, double wavenm, int ncomp);
}  // namespace abyss
