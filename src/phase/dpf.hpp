// Discretized phase functions: choice by backscatter fraction and the printout
// of each component's choice.
#pragma once

namespace abyss {
struct RunState;
// Fills pf.pt[icomp] and pf.pr[icomp] with the library phase function of backscatter fraction bbtob.
void selpfbb(RunState& rs, double bbtob, int icomp);
// Tells the printout how component icomp's phase function is chosen.
void pntdpf(RunState& rs, int icomp);
}  // namespace abyss
