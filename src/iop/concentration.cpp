// Concentrations of the IOP components at a geometric depth: constants from
// the run input, measured profiles from standard data files, or a user
// routine.
#include <fstream>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/components.hpp"
#include "iop/data_files.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

// What a profile reader says about itself, and how it stops when asked for
// an optical depth (a profile is tabulated in metres).
struct ProfileSpec {
  std::string intro;     // printed before the file name
  std::string closing;   // printed after it (may be empty)
  std::string routine;   // name in the optical-depth error line
  std::string callname;  // name given to herr
  std::string message;   // herr message
};

void load_profile(RunState& rs, ProfileData& prof, const std::string& file, const ProfileSpec& spec) {
  std::ostream& p = rs.pr();
  p << "\n" << spec.intro << "\n" << ff::X(8) << util::rtrim(file) << "\n";
  if (!spec.closing.empty()) p << spec.closing << "\n";
  if (rs.cmisc.iop != 0) {
    p << "\nError in sub " << spec.routine << ":  called with optical depth: iop  = " << ff::I(rs.cmisc.iop, 2) << "\n";
    herr(spec.callname, spec.message);
  }
  std::ifstream unit;
  const int ndata = getndat(rs, unit, -1, 10, 2, file);
  DataTable t = loaddat(rs, unit, 10, ndata, kProfile, file);
  prof.n = t.n;
  prof.z = std::move(t.x);
  prof.c = std::move(t.y1);
  prof.hint = 1;
  prof.loaded = true;
}

double profile_value(RunState& rs, ProfileData& prof, int icomp, double depth, const ProfileSpec& spec) {
  if (!prof.loaded) load_profile(rs, prof, rs.files.profile[static_cast<std::size_t>(icomp)], spec);
  if (prof.n < 1) return 0.0;  // an empty file: no measured concentration
  return yinterp(prof.hint, prof.n, depth, prof.z, prof.c);
}

const ProfileSpec kChl{"     The Chlorophyll concentration is obtained from measured values read from the file:",
                       "     (Linear interpolation is used to define Chl(z) at all depths)", "chlzdata", "chlzdata",
                       "depth type is not compatible"};
const ProfileSpec kCdom{"     The CDOM absorption at a reference wavelength is obtained  from measured \n"
                        "     values read from the file:",
                        "", "cdomdata", "cdomdata", "depth type is not compatible"};
const ProfileSpec kMineral{"     The mineral particle concentration is obtained from a file of measured values read from a "
                           "file named:",
                           "     (Linear interpolation is used to define conc(z) at all depths)", "minzdata",
                           "Minzdata", "cannot use optical depth"};

[[noreturn]] void component_error(RunState& rs, int k, const std::string& msg) {
  rs.pr() << "\n abmodel: component" << ff::ld(static_cast<long long>(k)) << "\n";
  herr("abmodel", msg);
}

double profile_of(RunState& rs, int k, double depth) {
  if (k == rs.cmodelopts.ichl()) return chlzdata(rs, k, depth);
  if (k == rs.cmodelopts.icdom()) return cdomdata(rs, k, depth);
  if (k == 4) return minzdata(rs, k, depth);
  component_error(rs, k, "concentration routine not specified");
}

}  // namespace

double chlzdata(RunState& rs, int icomp, double depth) { return profile_value(rs, rs.iopflags.chl, icomp, depth, kChl); }
double cdomdata(RunState& rs, int icomp, double depth) { return profile_value(rs, rs.iopflags.cdom, icomp, depth, kCdom); }
double minzdata(RunState& rs, int icomp, double depth) {
  return profile_value(rs, rs.iopflags.minz[static_cast<std::size_t>(icomp)], icomp, depth, kMineral);
}

Concentrations abmodel(RunState& rs, double depth) {
  Concentrations conc{};
  if (rs.cmodelopts.conc_flag() == 1) {
    user_abmodel(rs, depth, conc);
    return conc;
  }
  const ComponentOpts& c = rs.comp;
  for (int k = 2; k <= rs.cmisc.ncomp; ++k) {
    double& v = conc[static_cast<std::size_t>(k)];
    if (k == rs.cmodelopts.icdom() && c.astar_opt(k) == -2) {
      v = acdomsub(rs, depth, rs.cmisc.wavenm);  // CDOM that covaries with chlorophyll
    } else if (c.conc_opt(k) == 0) {
      v = c.constconc(k);
    } else if (c.conc_opt(k) == 2) {
      v = profile_of(rs, k, depth);
    } else {
      component_error(rs, k, "OPTION not supported");
    }
  }
  return conc;
}

void user_abmodel(RunState&, double, Concentrations&) { herr("user_abmodel", "no concentrations specified"); }

}  // namespace abyss
