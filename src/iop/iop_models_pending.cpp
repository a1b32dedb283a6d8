// Placeholders until the Case 1, Case 2, ac-9 and two-particle models land.
#include "control/errors.hpp"
#include "iop/abscat.hpp"

namespace abyss {
IopValues abcase1(RunState&, double, double, int) { herr("abcase1", "IOP model not available in this build"); }
IopValues abcase2(RunState&, double, double, int) { herr("abcase2", "IOP model not available in this build"); }
IopValues abacbb(RunState&, double, double, int) { herr("abacbb", "IOP model not available in this build"); }
IopValues abnewcase1(RunState&, double, double, int) { herr("abnewcase1", "IOP model not available in this build"); }
void bfcalc(RunState&, int, double, double&) { herr("bfcalc", "backscatter power law not available in this build"); }
}  // namespace abyss
