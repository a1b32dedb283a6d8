// Depth-by-wavelength tables of profiling instruments: the ac-9 (absorption
// and attenuation) and the backscattering meter.
//
// Layout: 10 header records; the number of wavelengths nwav; the nwav
// wavelengths (nm, increasing); then one record per depth (m, increasing):
// the depth and nfields x nwav values (ac-9: a(1..nwav) then c(1..nwav);
// backscattering meter: bb(1..nwav)), all 1/m. A negative depth or the end
// of the file ends the data.
#pragma once

#include <string>

#include "iop/iop_state.hpp"

namespace abyss {
struct RunState;

// Reads a table: negative values are reported (CheckDat lines) and set to
// zero, with a console warning; depths or wavelengths that do not increase,
// unreadable or short records and an empty table stop the run. The table's
// depth and wavelength range goes to the data-range warnings.
DepthWaveTable read_depth_wave_table(RunState& rs, const std::string& file, int nfields);

// Values of column set `v` interpolated to wavelength wavenm at every
// tabulated depth (linear, nearest end value outside the wavelengths).
VecD at_wavelength(const DepthWaveTable& t, const std::vector<VecD>& v, double wavenm);

// Stops the run unless the two tables have the same wavelengths (within 0.5 nm).
void require_same_wavelengths(RunState& rs, const DepthWaveTable& ac, const DepthWaveTable& bb);

// Makes c >= a everywhere (b = c - a cannot be negative): each c below its a
// is raised to a, and the number of such entries and the first of them are
// reported on the console and in the printout. Returns the count.
int enforce_c_not_below_a(RunState& rs, DepthWaveTable& t);

// Removes pure water from a table of total a and c (aw, bw at the table
// wavelengths): a - aw, c - aw - bw; values that become negative are set to
// zero and counted in a warning. Returns the count of such values.
int subtract_pure_water(RunState& rs, DepthWaveTable& t, const VecD& aw, const VecD& bw);

}  // namespace abyss
