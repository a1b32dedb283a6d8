// Inelastic scattering (Raman, chlorophyll and CDOM fluorescence) and
// bioluminescence are not part of this version. A run that asks for them stops
// with a message saying so, rather than silently leaving the sources out.
#include "control/errors.hpp"
#include "sources/sources.hpp"

namespace abyss {

void s0biosub(RunState&) {
  herr("s0biosub", "bioluminescence is not available in this version: set the first flag of record 16 to 0");
}

void wrfdisc(RunState&) {
  herr("wrfdisc",
       "Raman scattering and fluorescence are not available in this version: set the source flags of record 16 to 0");
}

}  // namespace abyss
