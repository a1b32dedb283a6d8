// A band whose radiances or irradiances are not finite has no answer to give:
// the run stops naming the band and the depth instead of writing NaN or
// infinity into the tables and files.
#pragma once

#include <optional>
#include <string>

namespace abyss {

struct RunState;
struct Radiances;
struct Irradiances;

// The first non-finite quantity of a band: depth level (0 = in air) and what it is.
struct BandFault {
  int level = 0;
  std::string what;
};

std::optional<BandFault> first_nonfinite(const Radiances& rad, const Irradiances& e, int nz, int nmu, int nphi);

// Stops the run (routine "radanal") when the current band has a non-finite
// radiance or irradiance.
void require_finite_band(const RunState& rs);

}  // namespace abyss
