// The continuous phase function behind a discretized one. The quad-averaged
// arrays assume radiance uniform over the incident quad; a collimated beam is
// not, and its scattering is computed from the continuous function in its
// exact direction. The library generator names that function in each file's
// title, from which it is rebuilt here.
#pragma once

#include <optional>
#include <string>

#include "phase/phase_functions.hpp"

namespace abyss::phase {

// The phase function a DPF file with this title was averaged from, or nothing
// when the title does not name one of the generator's functions. `phasefun_dir`
// is the library directory (tabulated functions are read from its "../sources/").
std::optional<PhaseFunction> function_of_title(const std::string& title, const std::string& phasefun_dir);

}  // namespace abyss::phase
