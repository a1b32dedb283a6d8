// Energy closure of each inelastic process through the whole band solve: the
// power the solved emitting bands receive from the sources (Gershun's law on
// their source-driven part, integrated over depth) equals the power the
// exciting bands lose to the process, b Eo times the photon-energy ratio
// lambda'/lambda (times the quantum efficiency for fluorescence), computed
// here by brute-force integration of the published kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "inelastic_run.hpp"
#include "sources/redistribution.hpp"

using namespace abyss;
using namespace abyss::testing;
using namespace abyss::inelastic;

namespace {

// The grid holds the requested depths (uniform here) and a close companion
// of each; Simpson's rule runs over the requested ones.
std::vector<std::size_t> requested(const std::vector<double>& z) {
  std::vector<std::size_t> idx;
  for (std::size_t k = 0; k < z.size(); ++k)
    if (std::fabs(z[k] - std::round(z[k])) < 1e-9) idx.push_back(k);
  return idx;
}

double simpson(const std::vector<double>& z, const std::vector<double>& f) {
  const std::vector<std::size_t> id = requested(z);
  const std::size_t n = id.size();
  const double h = z[id[1]] - z[id[0]];
  double s = f[id[0]] + f[id[n - 1]];
  for (std::size_t i = 1; i + 1 < n; ++i) s += (i % 2 ? 4.0 : 2.0) * f[id[i]];
  return s * h / 3.0;
}

template <class F>
double midpoint(double a, double b, int n, F f) {
  double s = 0.0, h = (b - a) / n;
  for (int i = 0; i < n; ++i) s += f(a + (i + 0.5) * h);
  return s * h;
}

// Power (W m^-2) the sources put into the run's bands over the grid: per band,
// Int 4 pi S dz = Enet(bottom) - Enet(top) + Int a Eo dz of the sources' part.
double received(InProcessRun& run) {
  double sum = 0.0;
  RunState& rs = run.rs();
  for (int j = 1; j <= rs.cmisc.nwave; ++j) {
    const BandIrradiances& b = run.bands[static_cast<std::size_t>(j)];
    std::vector<double> aeo;
    for (std::size_t k = 0; k < b.z.size(); ++k) aeo.push_back(b.a[k] * b.eo_in[k]);
    const std::vector<std::size_t> id = requested(b.z);
    const std::size_t n = id.back(), t = id.front();
    const double x = (b.ed_in[n] - b.eu_in[n]) - (b.ed_in[t] - b.eu_in[t]) + simpson(b.z, aeo);
    sum += x * (rs.cwave.waveb(j + 1) - rs.cwave.waveb(j));
  }
  return sum;
}

// Power the exciting bands give to the process: Sum_j' width Int b Eo dz * yield(j').
double emitted(InProcessRun& run, const std::function<double(const Excitation&, std::size_t)>& b,
               const std::function<double(int)>& yield) {
  RunState& rs = run.rs();
  double sum = 0.0;
  for (int j = 1; j < rs.cmisc.nwave; ++j) {
    const Excitation& e = rs.src.excite[static_cast<std::size_t>(j)];
    std::vector<double> beo;
    for (std::size_t k = 0; k < static_cast<std::size_t>(e.nz); ++k) beo.push_back(b(e, k) * e.eo[k]);
    sum += (rs.cwave.waveb(j + 1) - rs.cwave.waveb(j)) * simpson(run.bands[1].z, beo) * yield(j);
  }
  return sum;
}

std::string bands(double from, double to, double step, std::string more = "") {
  std::string s;
  for (double w = from; w <= to + 1e-9; w += step) s += std::to_string(static_cast<int>(w)) + " ";
  return s + more;
}

std::string depths(int n, double step) {
  std::string s = "0 " + std::to_string(n);
  for (int i = 0; i < n; ++i) s += " " + std::to_string(i * step);
  return s;
}

}  // namespace

TEST(EnergyClosure, ChlorophyllFluorescence) {
  const double qe = 0.02;
  InProcessRun run(case1_input(1.0, bands(400, 600, 40) + bands(630, 730, 10), depths(21, 1.0), "0 1 0 0 2", qe), true);
  RunState& rs = run.rs();
  ASSERT_TRUE(rs.src.chlfl());
  const double got = received(run);
  const double want = emitted(
      run, [](const Excitation& e, std::size_t k) { return e.a_chl[k]; },
      [&](int j) {
        const double x0 = rs.cwave.waveb(j), x1 = rs.cwave.waveb(j + 1);
        const double lo = std::max(x0, 370.0), hi = std::min(x1, 690.0);
        if (hi <= lo) return 0.0;
        const double lbar = 0.5 * (hi * hi - lo * lo) / (x1 - x0);
        return qe * lbar * midpoint(x1, rs.cwave.waveb(rs.cmisc.nwave + 1), 20000, [](double l) { return chl_emission(l) / l; });
      });
  std::printf("  chlorophyll fluorescence: received %.6e, emitted %.6e W/m^2\n", got, want);
  ASSERT_GT(want, 0.0);
  EXPECT_NEAR(got / want, 1.0, 1e-3);
}

TEST(EnergyClosure, RamanScattering) {
  InProcessRun run(case1_input(0.1, bands(400, 600, 20), depths(21, 1.0), "0 0 0 1 2"), true);
  RunState& rs = run.rs();
  const double got = received(run);
  double sum = 0.0;
  const double wend = rs.cwave.waveb(rs.cmisc.nwave + 1);
  for (int j = 1; j < rs.cmisc.nwave; ++j) {
    const double x0 = rs.cwave.waveb(j), x1 = rs.cwave.waveb(j + 1);
    const double y = midpoint(x0, x1, 50, [&](double lx) {
                       return midpoint(x1, wend, 4000, [lx](double l) {
                         return raman_shape(1e7 / lx - 1e7 / l) * 1e7 / (l * l) * lx / l;
                       });
                     }) / (x1 - x0);
    const Excitation& e = rs.src.excite[static_cast<std::size_t>(j)];
    sum += (x1 - x0) * rs.src.b_raman(j) * simpson(run.bands[1].z, e.eo) * y;
  }
  std::printf("  Raman scattering: received %.6e, emitted %.6e W/m^2\n", got, sum);
  ASSERT_GT(sum, 0.0);
  EXPECT_NEAR(got / sum, 1.0, 1e-3);
}
