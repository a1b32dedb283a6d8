// Default directories and values, set before the run-input file is read.
#include "control/initial.hpp"
#include "control/run_state.hpp"

namespace abyss {

void setdflts(RunState& rs) {
  // Directories are relative to the working directory of the run, one level
  // below the repository root (e.g. run/), as the front end starts it.
  const std::string up = "..", sep = "/", product = "Abyssolver";
  const std::string out = rs.roots.output.empty() ? up + sep + "output" + sep + product + sep : rs.roots.output;
  rs.cdirnames.data = rs.roots.data.empty() ? up + sep + "data" + sep : rs.roots.data;
  rs.cdirnames.digital = out + "digital" + sep;
  rs.cdirnames.excel = out + "excel" + sep;
  rs.cdirnames.phasefun = rs.cdirnames.data + "phasefun" + sep + product + sep;
  rs.cdirnames.surfaces = rs.cdirnames.data + "surfaces" + sep + product + sep;
  rs.cdirnames.botmrefl = rs.cdirnames.data + "botmrefl" + sep;
  rs.cdirnames.printout = out + "Printout" + sep;
  rs.gcifname = rs.cdirnames.data + "RADTRANX_dbase.txt";
  rs.cmisc.relerr = 1.0e-4;
  rs.cmisc.abserr = 1.0e-3;
  rs.cmisc.dprint = 0.01;
  rs.cmisc.r1 = 5.0;
  rs.cmisc.dzetamax = 5.0;
  rs.cgcirr1.flag = 0;
}

}  // namespace abyss
