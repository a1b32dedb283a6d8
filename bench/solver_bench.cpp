// Timing of the band solve (not a test).
//  (a) one band of homogeneous, infinitely deep water, 10 x 24 quads, 20 output depths;
//  (b) 60 bands of 5 nm from 400 to 700 nm, 20 output depths, infinitely deep.
// Prints wall time per band, derivative evaluations per mode and peak memory.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

// The run-state set-up of the solver tests (partition, transparent surface,
// quad-averaged Henyey-Greenstein phase function, collimated sun).
#include "../tests/solver/solver_fixture.cpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

// Requested depths (optical) and their paired neighbours, as the printout set-up lays out the grid.
std::vector<double> paired_depths(int nreq, double deepest) {
  std::vector<double> z;
  for (int i = 0; i < nreq; ++i) {
    const double d = deepest * std::pow(static_cast<double>(i) / (nreq - 1), 1.5);
    z.push_back(d);
    z.push_back(d + 0.01);
  }
  return z;
}

double cpu_seconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + 1e-6 * ru.ru_utime.tv_usec + ru.ru_stime.tv_sec + 1e-6 * ru.ru_stime.tv_usec;
}

double peak_mb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;
}

double solve_timed(RunState& rs, long long& nderiv) {
  const long long d0 = rs.sol.counters.nderiv;
  const auto t0 = std::chrono::steady_clock::now();
  solve(rs);
  const auto t1 = std::chrono::steady_clock::now();
  nderiv = rs.sol.counters.nderiv - d0;
  return std::chrono::duration<double>(t1 - t0).count();
}

void bench_single_band() {
  SolverSetup s;
  s.a = 0.1;
  s.b = 0.4;
  s.g = 0.9;
  s.zeta = paired_depths(20, 25.0);
  s.relerr = 1.0e-4;  // the run defaults
  s.abserr = 1.0e-3;
  SolverRun run(s);
  set_sun(*run, 4, 1, 1.0);
  long long nd = 0;
  const double t = solve_timed(*run, nd);
  const auto& c = run->sol.counters;
  std::printf("    evaluations by pass: %lld %lld %lld\n", c.nderiv_pass[1], c.nderiv_pass[2], c.nderiv_pass[3]);
  std::printf("(a) one band, %d x %d quads, %d grid depths to zeta = %.1f: %.3f s, %.0f derivative evaluations per mode\n",
              s.nmu, s.nphi, run->cmisc.nz, s.zeta.back(), t, static_cast<double>(nd) / (run->cmisc.lmax + 1));
}

// Pure-water-like absorption rising to the red and particle scattering falling with wavelength.
void case1_like_band(RunState& rs, double wavenm) {
  const double aw = 0.01 + 0.6 * std::pow((wavenm - 400.0) / 300.0, 4.0);
  const double ap = 0.05 * std::exp(-std::pow((wavenm - 440.0) / 60.0, 2.0)) + 0.02;
  rs.cmisc.aconst = aw + ap;
  rs.cmisc.bconst = 0.3 * 550.0 / wavenm;
  rs.cmisc.wavenm = wavenm;
}

void bench_spectrum() {
  SolverSetup s;
  s.g = 0.9;
  s.zeta = paired_depths(20, 25.0);
  s.relerr = 1.0e-4;
  s.abserr = 1.0e-3;
  SolverRun run(s);
  RunState& rs = *run;
  set_sun(rs, 4, 1, 1.0);
  double total = 0.0, worst = 0.0;
  const double cpu0 = cpu_seconds();
  long long nd_total = 0;
  for (int j = 0; j < 60; ++j) {
    case1_like_band(rs, 402.5 + 5.0 * j);
    long long nd = 0;
    const double t = solve_timed(rs, nd);
    total += t;
    worst = std::max(worst, t);
    nd_total += nd;
  }
  const int nmodes = rs.cmisc.lmax + 1;
  const double cpu = cpu_seconds() - cpu0;
  std::printf("(b) 60 bands 400-700 nm: %.3f s wall total (%.3f s CPU), %.4f s per band (worst %.4f), %.0f derivative "
              "evaluations per mode\n",
              total, cpu, total / 60.0, worst, static_cast<double>(nd_total) / (60.0 * nmodes));
}

}  // namespace

int main() {
  bench_single_band();
  bench_spectrum();
  std::printf("peak memory (max RSS): %.1f MB\n", peak_mb());
  return 0;
}
