#include "output/open_output.hpp"

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "output/writers.hpp"
#include "util/names.hpp"

namespace abyss {

void open_output(std::ofstream& os, const std::string& name, const std::string& routine) {
  os.open(util::native_path(util::rtrim(name)), std::ios::out | std::ios::trunc);
  if (!os) herr(routine, "cannot create output file " + util::rtrim(name));
}

void flush_output(std::ofstream& os, const std::string& name, const std::string& routine) {
  os.flush();
  if (!os) herr(routine, "cannot write output file " + util::rtrim(name));
}

void close_outputs(RunState& rs) {
  OutputState& o = rs.out;
  for (std::ofstream* f : {&o.radfile, &o.digital, &o.single})
    if (f->is_open()) f->close();
  o.netcdf.close();
}

}  // namespace abyss
