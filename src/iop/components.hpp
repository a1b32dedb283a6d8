// Building blocks shared by the IOP models: concentrations, specific
// absorption and scattering, chlorophyll and CDOM absorption, pure water, and
// the user hooks. Every table is loaded on first use and kept in
// RunState::iopflags for the rest of the run.
#pragma once

#include <array>
#include <string>

#include "control/limits.hpp"

namespace abyss {
struct RunState;

// Concentrations of components 1..mxcomp (index 0 unused; component 1, pure
// water, has none).
using Concentrations = std::array<double, mxcomp + 1>;

// Concentrations of components 2..ncomp at a geometric depth (m).
Concentrations abmodel(RunState& rs, double depth);

// Specific absorption and scattering of component icomp at a run wavelength
// (or at the component's reference wavelength).
double astar(RunState& rs, int icomp, double wavenm);
double bstar(RunState& rs, int icomp, double wavenm);

// Chlorophyll concentration (mg/m^3) of component ichl at a geometric depth:
// its constant (option 0) or its profile (option 2).
double chl_concentration(RunState& rs, int ichl, double depth);

// Absorption (1/m) by the chlorophyll and CDOM components; 0 without them.
double achlz(RunState& rs, double depth, double wavenm);
double acdomsub(RunState& rs, double depth, double wavenm);

// Profile values at a geometric depth, read from component icomp's
// concentration-profile file (record 30).
double chlzdata(RunState& rs, int icomp, double depth);
double cdomdata(RunState& rs, int icomp, double depth);
double minzdata(RunState& rs, int icomp, double depth);

// Pure-water absorption, scattering and attenuation (1/m) at the run
// wavelength nearest to wavenm, from the pure-water file (record 22).
struct PureWater {
  double a = 0.0, b = 0.0, c = 0.0;
};
PureWater pureh2o(RunState& rs, double wavenm);

// User hooks: each stops the run until replaced by a user's own routine.
void user_abmodel(RunState& rs, double depth, Concentrations& conc);
double user_achlz(RunState& rs, double depth, double wavenm);
double user_acdomsub(RunState& rs, double depth, double wavenm);

// astar(icomp, 440 nm), the normalisation of a normalised pigment spectrum.
// A value below 1.0e-7 in magnitude is reported and returned as 0: the
// callers then set the pigment absorption to zero everywhere.
double astar_at_440(RunState& rs, int icomp);

// Pure water at wavenm for the Case models, looked up again only when the
// wavelength changes.
PureWater current_pure_water(RunState& rs, double wavenm);

// First-call checks of the Case models: the caller's component count, and
// geometric depths (the models' concentrations are functions of depth in m).
void require_ncomp(RunState& rs, const std::string& routine, int ncomp, int want);
void require_geometric_depth(RunState& rs, const std::string& routine);
}  // namespace abyss
