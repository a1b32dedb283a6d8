// Registry of data files that do not cover the run's depths and wavelengths.
#pragma once

#include <ostream>
#include <string>

namespace abyss {
struct RunState;
void rangecheck(RunState& rs, int kind, double zmin, double zmax, double wmin, double wmax,
                const std::string& filename);
void rangewarn(RunState& rs, std::ostream& os);
}  // namespace abyss
