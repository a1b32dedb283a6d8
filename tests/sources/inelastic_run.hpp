// Runs a whole run-input file in the test process, band by band in the
// driver's order, keeping per band the irradiances at every grid depth and,
// when asked, their part due to the internal sources (the light field minus
// the elastic-only field of the same operators).
#pragma once

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/run_state.hpp"
#include "support/run_input.hpp"

namespace abyss::testing {

struct BandIrradiances {
  std::vector<double> z, ed, eu, eo;           // total, grid depths k = 1..nz (index k-1)
  std::vector<double> ed_in, eu_in, eo_in;     // the sources' part
  double lu0 = 0.0, lu0_in = 0.0;              // nadir Lu just below the surface, total and sources' part
  double ed0 = 0.0;                            // Ed just below the surface
  double lw = 0.0, lw_in = 0.0;                // nadir Lw in air, total and sources' part
  double ed_air = 0.0;                         // Ed just above the surface (the sky's)
  std::vector<double> a, bb;                   // total absorption and backscattering at the grid depths
};

class InProcessRun {
 public:
  // tighten: solver tolerances for the energy budgets (1e-9 relative, 1e-12 absolute).
  // adjust: called once after the run's initialisation, before the first band
  // (e.g. to change the loaded pure-water coefficients).
  InProcessRun(const std::string& input, bool tighten, const std::function<void(RunState&)>& adjust = {});
  RunState& rs() { return *rs_; }
  std::vector<BandIrradiances> bands;  // index j = 1..nwave
  std::string console() const { return con_.str(); }

 private:
  ScratchRun scratch_;
  std::unique_ptr<RunState> rs_ = std::make_unique<RunState>();
  std::istringstream in_;
  std::ostringstream con_;
};

// The example run-input of clear Case 1 water with its bands, depths, sources
// and Raman cross-section replaced.
std::string case1_input(double chl, const std::string& bands, const std::string& depths, const std::string& sources,
                        double qe = 0.02, double xsec = 2.6e-4, int dynz = 0);

}  // namespace abyss::testing
