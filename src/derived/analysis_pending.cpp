// Placeholder until the derived quantities and writers land.
#include "derived/analysis.hpp"

namespace abyss {
void radanal(RunState&) {}
void par(RunState&) {}
void ciexyy(RunState&) {}
void secchi(RunState&) {}
void wrtxcelm(RunState&) {}
}  // namespace abyss
