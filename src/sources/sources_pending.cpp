// Placeholder until the internal sources land.
#include "sources/sources.hpp"

namespace abyss {
void s0biosub(RunState&) {}
void wrfdisc(RunState&) {}
}  // namespace abyss
