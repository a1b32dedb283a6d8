// IOP dispatch: absorption and scattering of every component at a depth and wavelength.
#pragma once

#include <array>
#include <vector>

#include "control/limits.hpp"
#include "phase/dpf.hpp"

namespace abyss {
struct RunState;

struct IopValues {
  std::array<double, mxcomp + 1> a{}, b{};  // components 1..ncomp (1/m)
  double atot = 0.0, btot = 0.0;            // totals (1/m)
  // Phase function chosen at this depth, for components whose IOP model
  // chooses it per depth (lo = -1 for all others).
  std::array<PhaseChoice, mxcomp + 1> pf{};
};

// depth: m, or optical depth when the run's depth type is optical.
IopValues abscat(RunState& rs, double depth, double wavenm, int ncomp);

// Depths (as abscat takes them) of the nodes of the tabulated profiles the IOP
// model has read (concentration profiles, instrument tables): between nodes
// they are interpolated linearly, so the IOPs are smooth there and may change
// slope at a node. Ascending, without repeats; empty before the first abscat.
std::vector<double> profile_node_depths(const RunState& rs);

// Backscatter fraction of component icomp from its power law; selects the
// component's phase function for it.
void bfcalc(RunState& rs, int icomp, double wavenm, double& bbtob);

// The IOP model routines behind the dispatch.
IopValues abconst(RunState& rs, double depth, double wavenm, int ncomp);
IopValues abcase1(RunState& rs, double depth, double wavenm, int ncomp);
IopValues abcase2(RunState& rs, double depth, double wavenm, int ncomp);
IopValues abacbb(RunState& rs, double depth, double wavenm, int ncomp);
IopValues abnewcase1(RunState& rs, double depth, double wavenm, int ncomp);
IopValues user_abscat(RunState& rs, double depth, double wavenm, int ncomp);
}  // namespace abyss
