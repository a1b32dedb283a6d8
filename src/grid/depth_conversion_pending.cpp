// Placeholder until the depth conversion lands.
#include "control/errors.hpp"
#include "grid/depth_conversion.hpp"

namespace abyss {
void ztozeta(RunState&) { herr("ZTOZETA", "depth conversion is not available in this build"); }
void zetatoz(RunState&) { herr("ZETATOZ", "depth conversion is not available in this build"); }
double z_of_zeta(RunState&, double) { herr("ZTOZETA", "depth conversion is not available in this build"); }
}  // namespace abyss
