// The sun's direct beam carried exactly: scattering from one direction into
// the quads, refraction at level and wind-blown surfaces, and whole runs in
// which the sun's place inside its quad must not matter and energy must balance.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/driver.hpp"
#include "control/run_state.hpp"
#include "grid/fresnel.hpp"
#include "phase/quad_average.hpp"
#include "solver/sun_beam.hpp"
#include "support/run_input.hpp"

namespace abyss {
namespace {

using phase::PhaseFunction;
using phase::QuadBounds;
constexpr double kPi = 3.14159265358979323846;

// The default partition: 10 bands (85-90, 75-85, ..., 5-15 degrees, cap 0-5) and 24 azimuths.
double band_edge(int r) {
  static const double deg[] = {90, 85, 75, 65, 55, 45, 35, 25, 15, 5, 0};
  return std::cos(deg[r] * kPi / 180.0);
}

// Scattering from direction (mu, phi) into every quad of both hemispheres.
double sum_over_quads(const PhaseFunction& f, double mu, double phi, double* forward = nullptr, double cone = 0.0) {
  double total = 0.0, fw = 0.0;
  for (int h : {1, -1})
    for (int r = 1; r <= 10; ++r)
      for (int s = 1; s <= (r == 10 ? 1 : 24); ++s) {
        QuadBounds q{band_edge(r - 1), band_edge(r), r == 10, (s - 1) * kPi / 12, kPi / 24, h};
        const double v = phase::direction_into_quad(f, mu, phi, q, 24, cone);
        total += v;
        if (h == 1) fw += v;
      }
  if (forward) *forward = fw;
  return total;
}

TEST(SunBeam, ScatteringFromOneDirectionFillsTheSphereOnce) {
  const PhaseFunction ff = PhaseFunction::fournier_forand(0.0183), hg = PhaseFunction::henyey_greenstein(0.9);
  // The pole (the sun at zenith), a band boundary, an azimuth boundary, an oblique direction.
  for (double mu : {1.0, band_edge(8), 0.878, 0.5})
    for (double phi : {kPi, kPi + kPi / 24, 0.3}) {
      EXPECT_NEAR(sum_over_quads(ff, mu, phi), 1.0, 2e-6) << mu << " " << phi;
      EXPECT_NEAR(sum_over_quads(hg, mu, phi), 1.0, 2e-6) << mu << " " << phi;
    }
  // The forward hemisphere from the pole receives 1 - bb/b.
  double fw = 0.0;
  sum_over_quads(ff, 1.0, 0.0, &fw);
  EXPECT_NEAR(fw, 1.0 - 0.0183, 1e-5);
}

TEST(SunBeam, TheForwardConeIsLeftOutOfTheQuads) {
  // What the beam keeps (scattering within the cone) and what the quads get add to all of it.
  const PhaseFunction ff = PhaseFunction::fournier_forand(0.0183);
  const double cone = 5.0 * kPi / 180.0;
  ASSERT_GT(ff.cumulative(cone), 0.3);  // the forward peak is much of the scattering
  for (double mu : {1.0, band_edge(8), std::cos(24.9 * kPi / 180.0), 0.5})
    EXPECT_NEAR(sum_over_quads(ff, mu, kPi, nullptr, cone), 1.0 - ff.cumulative(cone), 5e-5) << mu;
  // From the pole the forward hemisphere gets what is neither backscattered nor kept.
  double fw = 0.0;
  sum_over_quads(ff, 1.0, 0.0, &fw, cone);
  EXPECT_NEAR(fw, 1.0 - 0.0183 - ff.cumulative(cone), 1e-5);
}

TEST(SunBeam, CrossingsGiveTheIntegralsOfTheFullSweep) {
  // The geometry kept apart from the phase function, and the ray pieces that
  // miss a quad skipped: the same sums, term by term, as the sweep of every ray.
  const PhaseFunction ff = PhaseFunction::fournier_forand(0.0183), hg = PhaseFunction::henyey_greenstein(0.9);
  const double cone = 5.0 * kPi / 180.0;
  // On and near band edges, azimuth edges, corners and the pole.
  const double e8 = band_edge(8), eps = 1e-5;
  const double dirs[][2] = {{1.0, 0.0},          {e8, kPi},          {e8 + eps, kPi},          {e8 - eps, kPi + kPi / 24 + eps},
                            {0.878, kPi + kPi / 24}, {0.5, 0.3},     {0.9602, 2.9664},         {1.0 - 1e-7, 1.0},
                            {band_edge(1) + eps, 0.5 * kPi / 12}};
  for (const auto& d : dirs)
    for (int h : {1, -1})
      for (int r = 1; r <= 10; ++r)
        for (int s = 1; s <= (r == 10 ? 1 : 24); ++s)
          for (int points : {6, 24}) {
            const QuadBounds q{band_edge(r - 1), band_edge(r), r == 10, (s - 1) * kPi / 12, kPi / 24, h};
            const phase::Crossings c = phase::direction_crossings(d[0], d[1], q, points);
            for (const auto& [f, cut] : {std::pair{&ff, cone}, std::pair{&hg, 0.0}})
              ASSERT_DOUBLE_EQ(phase::scattering_into(*f, c, cut), phase::direction_into_quad(*f, d[0], d[1], q, points, cut))
                  << d[0] << " " << d[1] << " quad " << h << " " << r << " " << s << " points " << points;
          }
}

TEST(SunBeam, IsotropicScatteringGivesEachQuadItsSolidAngle) {
  const PhaseFunction iso = PhaseFunction::isotropic();
  for (int r : {1, 5, 10}) {
    QuadBounds q{band_edge(r - 1), band_edge(r), r == 10, 0.0, kPi / 24, -1};
    const double omega = (band_edge(r) - band_edge(r - 1)) * (r == 10 ? 2 * kPi : kPi / 12);
    EXPECT_NEAR(phase::direction_into_quad(iso, 0.7, 1.0, q), omega / (4 * kPi), 1e-9) << r;
  }
}

TEST(SunBeam, LevelSurfaceRefractsOneBeamWithFresnelTransmittance) {
  const double zen = 60.0 * kPi / 180.0, n = 1.34;
  const auto d = refracted_beam(zen, kPi, n, SlopeVariances{}, 1.0);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NEAR(d[0].mu, std::sqrt(1.0 - std::pow(std::sin(zen) / n, 2)), 1e-12);
  EXPECT_NEAR(d[0].phi, kPi, 1e-12);
  EXPECT_NEAR(d[0].ed, 1.0 - fresnel_reflectance(std::cos(zen), 1.0 / n), 1e-12);
}

TEST(SunBeam, WindBlownSamplingHasConverged) {
  const double zen = 40.0 * kPi / 180.0, n = 1.34;
  const SlopeVariances v = cox_munk_variances(10.0);
  auto moments = [&](const BeamSampling& s, double& ed, double& mu) {
    ed = mu = 0.0;
    for (const BeamDirection& d : refracted_beam(zen, kPi, n, v, 1.0, s)) ed += d.ed, mu += d.ed * d.mu;
    mu /= ed;
  };
  double ed0, mu0, ed1, mu1;
  moments(BeamSampling{}, ed0, mu0);
  moments(BeamSampling{16, 48}, ed1, mu1);
  EXPECT_NEAR(ed0, ed1, 2e-3 * ed1);
  EXPECT_NEAR(mu0, mu1, 1e-3 * mu1);
  // A rough surface transmits about as much as a level one at this angle.
  EXPECT_NEAR(ed1, 1.0 - fresnel_reflectance(std::cos(zen), 1.0 / n), 0.01);
}

// ---------------------------------------------------------------------------
// Whole runs

std::string reference_input(double sun_deg, const std::string& depths) {
  std::string t = testing::read_file(std::string(ABYSS_SOURCE_DIR) + "/tests/reference/montecarlo/A_sun0.txt");
  const std::string sky = "1 5 0.0 0.0 0.0 0.0 1.0", dep = "0 6 0.0 1.0 2.0 5.0 10.0 20.0";
  std::ostringstream s;
  s << "1 5 " << sun_deg << " 0.0 0.0 0.0 1.0";
  t.replace(t.find(sky), sky.size(), s.str());
  t.replace(t.find(dep), dep.size(), depths);
  t.erase(t.find("sun_beam = exact"));  // the default
  return t;
}

// Values of quantity `name` at the output depths, from the single-wavelength spreadsheet.
std::vector<double> sheet_row(const testing::ScratchRun& run, const std::string& name) {
  const auto lines = testing::read_lines(run.root() / "output" / "Abyssolver" / "excel" / "Smc_A_sun0.txt");
  for (std::size_t i = 0; i + 2 < lines.size(); ++i)
    if (lines[i].rfind(name + "\t", 0) == 0) {
      std::istringstream in(lines[i + 2]);
      std::vector<double> v;
      double x;
      while (in >> x) v.push_back(x);
      return std::vector<double>(v.begin() + 2, v.end());  // wavelength and the value in air dropped
    }
  return {};
}

TEST(SunBeam, SunPositionInsideItsQuadDoesNotMatter) {
  // The sun crosses the sky from 23 to 37 degrees in 1-degree steps: on the
  // default partition three edges of its 4.7-degree bands (26.1, 30.8 and
  // 35.5 degrees), on 10 x 24 the whole 25-35 degree band and both its edges;
  // in the water the refracted beam crosses band edges as well (on 10 x 24 the
  // 25-degree edge between 34 and 35 degrees). The forward peak of the
  // particles' scattering (a tenth of it within a few tenths of a degree) stays
  // with the beam: given to the quads it travelled at the centre cosine of the
  // bands on either side of an edge, Ed at 10 m stepped by 5 % there (with the
  // beam averaged over its sky quad, 18 %). Smooth now, the curve bends by
  // under 0.15 % of its value per step.
  for (const std::string partition : {"", "partition = 10x24\n"}) {
    std::vector<double> ed, eo;
    for (int deg = 23; deg <= 37; ++deg) {
      testing::ScratchRun run;
      std::string console;
      ASSERT_EQ(run.run_exe(reference_input(deg, "0 2 0.0 10.0") + partition, console), 0) << console;
      ed.push_back(sheet_row(run, "Ed").at(1));
      eo.push_back(sheet_row(run, "Eo").at(1));
    }
    // Smooth in the sun angle: each step changes Ed and Eo at 10 m by nearly the
    // same amount as its neighbours (a quad boundary would show as a jump).
    for (const auto* v : {&ed, &eo})
      for (std::size_t i = 1; i + 1 < v->size(); ++i) {
        const double d1 = (*v)[i] - (*v)[i - 1], d2 = (*v)[i + 1] - (*v)[i];
        EXPECT_LT(std::abs(d2 - d1), 2e-3 * (*v)[i]) << partition << "step " << i << ": " << d1 << " then " << d2;
      }
  }
}

TEST(SunBeam, TheDefaultRunCarriesTheBeamExactly) {
  // Reference A's water with the sun at 40 degrees, without and with the run option.
  const std::string plain = reference_input(40.0, "0 2 0.0 10.0");
  std::vector<double> ed;
  for (const char* option : {"", "sun_beam = exact\n", "sun_beam = quad\n"}) {
    testing::ScratchRun run;
    std::string console;
    ASSERT_EQ(run.run_exe(plain + option, console), 0) << console;
    const bool note = console.find("NOTE: the direct sun beam is averaged over its quad") != std::string::npos;
    EXPECT_EQ(note, option == std::string("sun_beam = quad\n")) << option << console;
    ed.push_back(sheet_row(run, "Ed").at(1));
  }
  EXPECT_EQ(ed[0], ed[1]);
  EXPECT_GT(std::abs(ed[2] / ed[0] - 1.0), 1e-3);  // the quad beam travels at its quad's centre cosine
}

// The spectral store of a whole run in this process, with a run state of its own.
SpectralStore run_here(const std::string& text) {
  auto rs = std::make_unique<RunState>();
  std::istringstream in(text);
  std::ostringstream console;
  rs->input = &in;
  rs->console = &console;
  EXPECT_EQ(run_abyssolver(*rs), 0) << console.str();
  return rs->der.spectrum;
}

TEST(SunBeam, KeptIntegralsChangeNoBandAndNoLaterRun) {
  // The default example (wind-blown surface, several beam directions): its last
  // band, solved after five others that filled the run's kept quad integrals,
  // against the same band solved alone in a later run of this process (its run
  // state starts empty), and that run repeated.
  std::string text = testing::read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/case1_default.txt");
  const std::string bands = "6\n400 450 500 550 600 650 700";
  ASSERT_NE(text.find(bands), std::string::npos);
  testing::ScratchRun scratch;
  const SpectralStore all = run_here(text);
  text.replace(text.find(bands), bands.size(), "1\n650 700");
  const SpectralStore alone = run_here(text), again = run_here(text);
  ASSERT_EQ(all.nout, alone.nout);
  for (int level = 0; level <= all.nout; ++level) {
    for (const auto m : {&SpectralStore::ed, &SpectralStore::eu, &SpectralStore::eo, &SpectralStore::lu}) {
      EXPECT_EQ(all.at(all.*m, level, 6), alone.at(alone.*m, level, 1)) << level;
      EXPECT_EQ(alone.at(alone.*m, level, 1), again.at(again.*m, level, 1)) << level;
    }
  }
  EXPECT_GT(all.at(all.ed, 1, 6), 0.0);
}

TEST(SunBeam, GershunsLawHoldsWithTheBeam) {
  // -dEnet/dz = a Eo over a thin layer (a = 0.2 /m), for the sun at 0 and 60 degrees.
  for (double sun : {0.0, 60.0}) {
    testing::ScratchRun run;
    std::string console;
    ASSERT_EQ(run.run_exe(reference_input(sun, "0 4 0.0 3.0 3.02 8.0"), console), 0) << console;
    const auto ed = sheet_row(run, "Ed"), eu = sheet_row(run, "Eu"), eo = sheet_row(run, "Eo");
    const double drop = (ed[1] - eu[1]) - (ed[2] - eu[2]);
    const double absorbed = 0.2 * 0.02 * 0.5 * (eo[1] + eo[2]);
    EXPECT_NEAR(drop, absorbed, 2e-3 * absorbed) << sun;
  }
}

}  // namespace
}  // namespace abyss
