// Placeholder until the sun position and ozone climatology land.
#include "control/errors.hpp"
#include "sky/sun.hpp"

namespace abyss {
void sunang(int, double, double, double, double, double&, double&, std::ostream&) {
  herr("sunang", "sun position is not available in this build");
}
double get_o3_climat(RunState&, int, double, double) { herr("get_o3_climat", "ozone climatology is not available"); }
}  // namespace abyss
