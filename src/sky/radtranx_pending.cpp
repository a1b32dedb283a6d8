// Placeholder until the clear-sky irradiance model lands: the branches that
// need it stop the run instead of using a made-up irradiance.
#include "sky/radtranx.hpp"

#include "control/errors.hpp"

namespace abyss {
void radtranx(RunState&, double, double, double&, double&) {
  herr("radtranx", "the clear-sky irradiance model is not available in this build");
}
}  // namespace abyss
