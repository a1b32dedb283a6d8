// Placeholder until the IOP models land.
#include "iop/abscat.hpp"

namespace abyss {
IopValues abscat(RunState&, double, double, int) { return {}; }
}  // namespace abyss
