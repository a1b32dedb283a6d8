// Placeholder until the solver lands.
#include "solver/radamps.hpp"

namespace abyss {
void radamps(RunState&) {}
}  // namespace abyss
