// Tab-separated tables of the spreadsheet files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace abyss {
struct RunState;

// A number as written in the spreadsheet and digital files: 7 significant
// digits in E notation, or the undefined-value marker.
std::string sheet_number(double v);
// A plain fixed-point number with the given decimals (depths, angles, wavelengths).
std::string fixed_number(double v, int decimals);
// The per-band tables (Ed, Eu, Eo, Lu, Lw, Rrs, R, K-functions, sky ratio) of the given bands.
void write_band_tables(std::ostream& os, const RunState& rs, const std::vector<int>& bands);
// The PAR and K_PAR tables, or the not-calculated lines.
void write_par_tables(std::ostream& os, const RunState& rs);

}  // namespace abyss
