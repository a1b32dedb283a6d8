// The run driver: start-up, the wavelength-band loop, the whole-spectrum
// steps after it, and the common error exit.
#pragma once

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace abyss {
struct RunState;

// The whole run; a fatal error propagates as FatalError.
void abyssolver(RunState& rs);
// The whole run with the error exit: writes the ERROR / STOP lines, closes
// every file and returns the process status (0 success, 1 failure).
int run_abyssolver(RunState& rs);

// Bands solved by the loop, in order: 1, 1+nwskip, ..., and always the last.
std::vector<int> solved_bands(int nwave, int nwskip);
// Fills the first band-store array of skipped bands from their neighbours.
void fillwave(RunState& rs);
// True when the bands cover 400 to 700 nm (colour and Secchi depth are computed).
bool covers_visible(const RunState& rs);

void cpright(std::ostream& os);
// mode 0 run started, 1 run completed, 2 initialization completed, 3 band completed.
void date_stamp(RunState& rs, std::ostream& unit, int mode, int band = 0, int nbands = 0);

// Opens an existing data file read-only; a missing file ends the run through
// nofile with the given routine name.
std::ifstream ioshorten(const std::string& filename, const std::string& callname = "IOSHORTEN");

}  // namespace abyss
