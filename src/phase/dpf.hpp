// Discretized phase functions: choice by backscatter fraction and the printout
// of each component's choice.
#pragma once

namespace abyss {
struct RunState;

// The library phase function chosen for a backscatter fraction: members lo and
// lo + 1 of the library (sorted by bb/b) blended with weight t on lo + 1, and
// the bb/b the blend stands for (the request within the library's range).
// lo = -1 means no choice was made at this depth: the
// component keeps the phase function it has for the whole band.
struct PhaseChoice {
  int lo = -1;
  double t = 0.0;
  double bbtob = 0.0;
  bool operator==(const PhaseChoice&) const = default;
};

// Fills pf.pt[icomp] and pf.pr[icomp] with the library phase function of
// backscatter fraction bbtob; returns which members were blended and how.
PhaseChoice selpfbb(RunState& rs, double bbtob, int icomp);
// Stops the run when a component asks for a phase-function option that its
// IOP model cannot serve: option 2 (bb/b from ac-9 and backscattering-meter
// tables) exists only in the ac-9 model (IOP model 3), for its component 2.
void check_pf_options(RunState& rs);
// Tells the printout how component icomp's phase function is chosen.
void pntdpf(RunState& rs, int icomp);
}  // namespace abyss
