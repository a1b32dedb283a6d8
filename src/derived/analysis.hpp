// Per-band analysis and the whole-spectrum quantities after the band loop.
#pragma once

namespace abyss {
struct RunState;
void radanal(RunState& rs);  // radiances, irradiances, band store, K-functions, outputs of one band
void par(RunState& rs);
void ciexyy(RunState& rs);
void secchi(RunState& rs);
void wrtxcelm(RunState& rs);  // multi-wavelength spreadsheet file
}  // namespace abyss
