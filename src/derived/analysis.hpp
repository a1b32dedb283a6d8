// Per-band analysis and the whole-spectrum quantities after the band loop.
#pragma once

#include <vector>

#include "derived/spectral.hpp"

namespace abyss {
struct RunState;
void radanal(RunState& rs);  // radiances, irradiances, band store, K-functions, outputs of one band
void par(RunState& rs);
void ciexyy(RunState& rs);
void secchi(RunState& rs);
void wrtxcelm(RunState& rs);  // multi-wavelength spreadsheet file

// CIE 1931 chromaticity and (il)luminance of Ed, Eu, the nadir-viewing Lu
// or Lw at level i (0 = in air) over the given bands.
enum class ColourOf { Ed = 0, Eu, Lu, Lw };
Chromaticity colour_at(const RunState& rs, const std::vector<int>& bands, int level, ColourOf q);

// The band's column of the depth-by-band store (ln Eo with -1000.0 for a
// non-positive irradiance, and Ed).
void store_band(RunState& rs);
// ln(e), or -1000.0 when e is not positive.
double log_or_floor(double e);
}  // namespace abyss
