// Per-band initialization of the IOPs and phase functions, and the internal-source vectors.
#pragma once

namespace abyss {
struct RunState;

// Prepares the current band: surface operators, dynamic bottom depth, sky,
// phase functions of every component, the IOP table on the grid depths and
// its printout, and the IOPs at the deepest depth.
void inishamp(RunState& rs);

// Internal-source vectors sigma1..sigma4 of mode l at one depth (rs.src.sigma).
void sumshat(RunState& rs, int l, double z, double zeta);

}  // namespace abyss

namespace abyss {
// Building blocks of inishamp, used on their own by the tests.
// Reads component k's named DPF file (option 0) into its phase-function arrays
// and bb/b slot; returns false, after the messages, when its mu or phi quads
// differ from the surface file's.
bool read_named_dpf(RunState& rs, int k);
// Phase functions of every component by its option; stops when a named DPF
// file's quads differ from the surface file's.
void load_phase_functions(RunState& rs);
// The IOP table ciop on the grid depths (total and per component).
void fill_iop_table(RunState& rs);
// The depth conversion of the band and the IOP table (refuses optical depths
// in multi-band runs).
void band_iop_table(RunState& rs);
// The four IOP printout tables at the depths selected for printing.
void print_iop_tables(RunState& rs);
}  // namespace abyss
