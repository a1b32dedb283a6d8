// Output files kept open across bands.
#pragma once

#include <fstream>
#include <string>

namespace abyss {

struct OutputState {
  std::string root;           // output root name
  std::string printout_name;  // "P" + root + ".txt" with its directory
  std::string digital_name;   // "D" + root
  std::string radiance_name;  // "L" + root (cradfile)
  std::string single_name;    // "S" + root
  std::string multi_name;     // "M" + root
};

}  // namespace abyss
