// A run state set up directly for solver tests: quad partition, a transparent
// n = 1 surface, constant IOPs in optical depth (c = a + b), phase functions
// filled from an analytic phase function, a collimated sun in one quad.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "control/run_state.hpp"

namespace abyss::testing {

struct SolverSetup {
  int nmu = 10, nphi = 24;
  double a = 0.2, b = 0.8;           // 1/m; with iop = 1 the depths are optical depths
  double g = 0.0;                    // Henyey-Greenstein asymmetry (0: isotropic)
  std::vector<double> zeta{0.0, 1.0, 2.0};
  int ibotm = 0;
  double rbottom = 0.0;
  double relerr = 1.0e-9, abserr = 1.0e-11;
};

// Owns the run state and its printout file.
struct SolverRun {
  std::unique_ptr<RunState> rs = std::make_unique<RunState>();
  std::string printout_path;
  explicit SolverRun(const SolverSetup& s);
  ~SolverRun();
  RunState& operator*() { return *rs; }
  RunState* operator->() { return rs.get(); }
  std::string printout_text();
};

// Fills the sky with a collimated sun of plane irradiance ed in quad (u, s) and nothing else.
void set_sun(RunState& rs, int u, int s, double ed);
// Quad-averaged phase function of Henyey-Greenstein asymmetry g (g = 0: isotropic) into component k.
void fill_phase(RunState& rs, double g, int k = 1);
// Solves the band without inishamp (the run state already holds its inputs).
void solve(RunState& rs);

// Irradiances from the amplitudes of column `col` of a (cosine-half) amplitude set:
// plane irradiance sum over quads of L mu omega, scalar irradiance sum of L omega.
double plane_irradiance(const RunState& rs, const double* amp);
double scalar_irradiance(const RunState& rs, const double* amp);
// Radiance in quad (u, s) synthesized from an amplitude vector.
double radiance(const RunState& rs, const double* amp, int u, int s);

}  // namespace abyss::testing
