// Per-band analysis and the whole-spectrum quantities after the band loop.
#pragma once

namespace abyss {
struct RunState;
void radanal(RunState& rs);  // radiances, irradiances, band store, K-functions, outputs of one band
void par(RunState& rs);
void ciexyy(RunState& rs);
void secchi(RunState& rs);
void wrtxcelm(RunState& rs);  // multi-wavelength spreadsheet file

// The band's column of the depth-by-band store (ln Eo with -1000.0 for a
// non-positive irradiance, and Ed).
void store_band(RunState& rs);
// ln(e), or -1000.0 when e is not positive.
double log_or_floor(double e);
}  // namespace abyss
