// Writers of the printout tables and of the output files of a run.
#pragma once

namespace abyss {
struct RunState;

void writerad(RunState& rs);  // radiance file "L" + root
void pradsel(RunState& rs);   // selected radiances and irradiances in the printout
void savedata(RunState& rs);  // digital output file "D" + root
void storxcel(RunState& rs);  // keeps the band's values for the whole-spectrum steps and spreadsheets
void wrtxcels(RunState& rs);  // single-wavelength spreadsheet file "S" + root
// Closes the radiance, digital and spreadsheet files (called by closeall).
void close_outputs(RunState& rs);

}  // namespace abyss
