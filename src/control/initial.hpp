// Reading the run-input file and initializing every subsystem.
#pragma once

#include <string>

namespace abyss {
struct RunState;

void setdflts(RunState& rs);
// Reads the whole run-input file from rs.input, opens the printout and runs
// the initialization chain with its echo sections.
void initial(RunState& rs);
// Doubles the depth grid and builds the printout selections.
void initprintout(RunState& rs);
// Prints the angular and depth grid of the run.
void pntgrid(RunState& rs);

// Echo-section framing lines.
void begin_section(RunState& rs, const std::string& name);
void end_section(RunState& rs, const std::string& name);

}  // namespace abyss
