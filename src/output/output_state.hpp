// Output files kept open across bands.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "output/netcdf_run.hpp"

namespace abyss {

struct OutputState {
  std::string root;           // output root name
  std::string printout_name;  // "P" + root + ".txt" with its directory
  std::string digital_name;   // "D" + root
  std::string radiance_name;  // "L" + root (cradfile)
  std::string single_name;    // "S" + root
  std::string multi_name;     // "M" + root
  std::string netcdf_name;    // root + ".nc" (run option netcdf = yes)
  // The run-input file as read, echoed by the self-describing outputs.
  std::string run_input_text;

  // Open streams; each is opened by its writer's first call and flushed after
  // every band, so an interrupted run keeps the bands it finished.
  std::ofstream radfile, digital, single;
  NetcdfRunFile netcdf;
  std::vector<double> theta_deg;  // radiance file: zenith angle of each mu band (computed once)
};

}  // namespace abyss
