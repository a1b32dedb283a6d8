// Placeholder until the dynamic bottom depth lands.
#include "control/dynz.hpp"

namespace abyss {
void getdynz(RunState&, int) {}
}  // namespace abyss
