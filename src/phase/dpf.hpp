// Discretized phase functions: choice by backscatter fraction and the printout
// of each component's choice.
#pragma once

namespace abyss {
struct RunState;
// Fills pf.pt[icomp] and pf.pr[icomp] with the library phase function of backscatter fraction bbtob.
void selpfbb(RunState& rs, double bbtob, int icomp);
// Stops the run when a component asks for a phase-function option that its
// IOP model cannot serve: option 2 (bb/b from ac-9 and backscattering-meter
// tables) exists only in the ac-9 model (IOP model 3), for its component 2.
void check_pf_options(RunState& rs);
// Tells the printout how component icomp's phase function is chosen.
void pntdpf(RunState& rs, int icomp);
}  // namespace abyss
