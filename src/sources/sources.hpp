// Inelastic scattering and internal sources.
#pragma once

#include "sources/sources_state.hpp"

namespace abyss {
struct RunState;
struct SourceAmps;
struct ExpSources;

void s0biosub(RunState& rs);  // bioluminescence set-up (initialization)
void wrfdisc(RunState& rs);   // band-to-band redistribution matrices of the inelastic processes

// Before the band loop: remembers the full depth grid and makes room for the
// per-band excitation store.
void sources_start(RunState& rs);
// Before band j is solved: the source profiles of band j from the bands
// already solved, bound as the solver's source routines.
void bind_sources(RunState& rs, int j);
// After band j is analysed: what later bands need of its light field.
void store_excitation(RunState& rs, int j);

// Bioluminescence S(z, lambda) (W m^-3 nm^-1) from the table, zero outside it.
double bio_source(const BioTable& t, double z, double wavenm);
// Amplitudes of a profile at a depth for mode l (zero for modes it does not feed).
void eval_profile(const SourceProfile& p, int l, double depth, SourceAmps& out);
// The profile between depths za < zb as exponential terms in the depth below
// za (see SolverState::source_exp), added to `out`; false where it has no
// such form there.
bool profile_exp_terms(const SourceProfile& p, int l, double za, double zb, ExpSources& out);
}  // namespace abyss

namespace abyss {
// After the solve of a band with sources: the elastic-only water-leaving
// radiance and Eu just below the surface (the amplitudes without the source
// vectors), the inelastic share, and its printout lines.
void inelastic_share(RunState& rs);
}  // namespace abyss
