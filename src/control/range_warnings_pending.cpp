// Placeholder until the range warnings land.
#include "control/range_warnings.hpp"

namespace abyss {
void rangecheck(RunState&, int, double, double, double, double, const std::string&) {}
void rangewarn(RunState&, std::ostream&) {}
}  // namespace abyss
