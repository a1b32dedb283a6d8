// Placeholder until the phase-function library lands.
#include "control/errors.hpp"
#include "phase/dpf.hpp"

namespace abyss {
void selpfbb(RunState&, double, int) { herr("SELPFBB", "the phase-function library is not available in this build"); }
void pntdpf(RunState&, int) {}
}  // namespace abyss
