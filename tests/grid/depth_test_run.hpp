// A run state for tests of the depth, dynamic-depth and sky operations: the
// constant IOP model (one component), a printout file in the build tree and
// the console captured in a string stream.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "control/run_state.hpp"

namespace abyss::testing {

struct TestRun {
  std::unique_ptr<RunState> rs = std::make_unique<RunState>();
  std::ostringstream console;
  std::string printout_path;

  explicit TestRun(const std::string& name, double a = 0.1, double b = 0.2) {
    printout_path = std::string(ABYSS_BINARY_DIR) + "/test_" + name + "_printout.txt";
    rs->printout.open(printout_path);
    rs->console = &console;
    rs->cmodelopts.opts[1] = 0;  // constant IOPs
    rs->cmisc.ncomp = 1;
    rs->cmisc.aconst = a;
    rs->cmisc.bconst = b;
    rs->iopflags.abconst_done = true;  // its description is not what these tests look at
    rs->cmisc.wavenm = 500.0;
  }
  // Everything written to the printout so far.
  std::string printout() {
    rs->printout.flush();
    std::ifstream in(printout_path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void set_depths(std::initializer_list<double> z) {
    int k = 0;
    for (double v : z) rs->cgrid.z(++k) = v;
    rs->cmisc.nz = k;
  }
};

// Occurrences of `needle` in `hay`.
inline int count_of(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (auto p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

}  // namespace abyss::testing
