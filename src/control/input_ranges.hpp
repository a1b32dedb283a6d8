// Physical ranges of the run-input fields, checked once the records are read
// and before any work is done. Each finding names the record and the field;
// a fatal one stops the run, the others are warnings written to the console
// and the printout. The choices (which ranges, fatal or warning) are listed
// in the README under "Input checking".
#pragma once

#include <string>
#include <vector>

namespace abyss {

struct RunState;

struct InputFinding {
  int record = 0;
  std::string message;  // names the field and the value
  bool fatal = true;
};

// Largest output depths accepted: deeper than any ocean, or optically so
// thick that no light of the surface or of any source reaches the depth as a
// number distinguishable from zero.
constexpr double kMaxGeometricDepth = 12000.0;  // m
constexpr double kMaxOpticalDepth = 700.0;      // exp(-700) is near the smallest double

std::vector<InputFinding> check_input_ranges(const RunState& rs);

}  // namespace abyss
