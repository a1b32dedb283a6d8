#include <gtest/gtest.h>

#include <cmath>

#include "band_fixture.hpp"
#include "derived/analysis.hpp"
#include "derived/spectral.hpp"

using namespace abyss;
using abyss::testing::BandRun;

namespace {

// Fills the spectral store of every band and level from f(j, level) for Ed
// and Eo (and c = cval); Eu and Lu a tenth of Ed.
void fill_spectrum(BandRun& b, const std::function<double(int, int)>& f, double cval = 0.0) {
  SpectralStore& sp = b.rs->der.spectrum;
  sp.nout = static_cast<int>(b.rs->sel.pirrad.size());
  for (int j = 1; j <= b.rs->cmisc.nwave; ++j) {
    for (int i = 0; i <= sp.nout; ++i) {
      sp.at(sp.ed, i, j) = sp.at(sp.eo, i, j) = f(j, i);
      sp.at(sp.eu, i, j) = sp.at(sp.lu, i, j) = 0.1 * f(j, i);
      sp.at(sp.c, i, j) = i == 0 ? 0.0 : cval;
    }
    sp.lw(j) = 0.01;
    sp.solved[static_cast<std::size_t>(j)] = true;
  }
}

}  // namespace

TEST(DerivedPar, FlatEoOverVisibleGivesPublishedPar) {
  BandRun b("par0", 6, 12, 6, {0.0, 10.0}, 30, 400.0);
  b.rs->cmisc.r1 = 400.0;
  b.rs->cmisc.r2 = 700.0;
  fill_spectrum(b, [](int, int) { return 1.0; });
  par(*b.rs);
  const ParRecord& p = b.rs->der.cpar;
  ASSERT_TRUE(p.computed);
  EXPECT_NEAR(p.par_eo(0), 1379.08, 0.005);
  EXPECT_NEAR(p.par_eo(2), 1379.08, 0.005);
  EXPECT_NEAR(p.par_ed(1), 1379.08, 0.005);
  EXPECT_NEAR(p.kpar[0], 0.0, 1e-12);
  const std::string out = b.printout();
  EXPECT_NE(out.find(" PAR as a function of depth (mumol phot/m^2/s) \n"
                     " The wavelengths used for this PAR calculation are  400.0 to  700.0 nm\n\n"
                     "      depth(m)     PAR(from Eo)      PAR(from Ed)\n"
                     "        in air       1.3791E+03        1.3791E+03\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Energy Eo as a function of depth and wavelength"), std::string::npos);
  EXPECT_NE(out.find("  Quantum Eo as a function of depth and wavelength"), std::string::npos);
  EXPECT_NE(out.find(" K-function for PAR (units of 1/meter)"), std::string::npos);
}

TEST(DerivedPar, LayerAveragedKparMatchesUniformDecayAndWeightsBands) {
  BandRun b("par1", 6, 12, 6, {0.0, 10.0}, 30, 400.0);
  b.rs->cmisc.r1 = 400.0;
  b.rs->cmisc.r2 = 700.0;
  auto depth = [&](int i) { return i == 0 ? 0.0 : b.rs->cgrid.z(b.rs->sel.pirrad[static_cast<std::size_t>(i - 1)]); };
  fill_spectrum(b, [&](int, int i) { return std::exp(-0.2 * depth(i)); });
  par(*b.rs);
  EXPECT_NEAR(b.rs->der.cpar.kpar[0], 0.2, 1e-12);
  EXPECT_NEAR(b.rs->der.cpar.kpar_layer[0], 0.2, 1e-12);
  // Blue bands clear (K = 0.05), red bands murky (K = 0.8): the spectrum
  // narrows in the layer, so the two-point K_PAR lies below the layer average,
  // and both lie between the band extremes.
  fill_spectrum(b, [&](int j, int i) { return std::exp(-(j <= 15 ? 0.05 : 0.8) * depth(i)); });
  par(*b.rs);
  const double k2 = b.rs->der.cpar.kpar[0], kl = b.rs->der.cpar.kpar_layer[0];
  EXPECT_GT(k2, 0.05);
  EXPECT_LT(kl, 0.8);
  EXPECT_LT(k2, kl);
  EXPECT_NE(b.printout().find("K_PAR (from Eo, layer-averaged)"), std::string::npos);
}

TEST(DerivedPar, NotCalculatedWhenBandsMissTheParRange) {
  BandRun b("par2", 6, 12, 6, {0.0}, 5, 400.0);
  b.rs->cmisc.r1 = 400.0;
  b.rs->cmisc.r2 = 700.0;
  fill_spectrum(b, [](int, int) { return 1.0; });
  par(*b.rs);
  EXPECT_FALSE(b.rs->der.cpar.computed);
  EXPECT_NE(b.printout().find(" PAR was not calculated for this run\n"
                              " (PAR is meaningful only for runs covering the near-UV and visible spectrum)\n"
                              " PAR range currently set to  400.0 to  700.0 nm\n"),
            std::string::npos);
}

TEST(DerivedSecchi, UniformWaterGivesCouplingOverAlphaPlusK) {
  const double c = 0.3, K = 0.1;
  std::vector<double> z;
  for (int i = 0; i <= 30; ++i) z.push_back(i);
  BandRun b("sec0", 6, 12, 6, z, 40, 380.0);
  auto depth = [&](int i) { return i == 0 ? 0.0 : b.rs->cgrid.z(b.rs->sel.pirrad[static_cast<std::size_t>(i - 1)]); };
  fill_spectrum(
      b, [&](int, int i) { return std::exp(-K * depth(i)); }, c);
  secchi(*b.rs);
  EXPECT_NEAR(b.rs->der.cpar.secchi_depth, 8.0 / (c + K), 0.003);
  const std::string p = b.printout();
  EXPECT_NE(p.find(" The near-surface photopic alpha and K are alpha =  0.3000 1/m and K =  0.1000 1/m\n"
                   " The Secchi depth estimated from the surface alpha and K is z_SD =   20.00 m\n"),
            std::string::npos)
      << p;
  EXPECT_NE(p.find(" The final estimate for the Secchi depth is z_SD =   20.00 m\n"), std::string::npos);
  EXPECT_EQ(p.find("WARNING"), std::string::npos);
}

TEST(DerivedSecchi, NotReachedWarnsAndStaysInLastInterval) {
  BandRun b("sec1", 6, 12, 6, {0.0, 2.0, 5.0}, 40, 380.0);
  auto depth = [&](int i) { return i == 0 ? 0.0 : b.rs->cgrid.z(b.rs->sel.pirrad[static_cast<std::size_t>(i - 1)]); };
  fill_spectrum(
      b, [&](int, int i) { return std::exp(-0.05 * depth(i)); }, 0.1);
  secchi(*b.rs);
  const double zsd = b.rs->der.cpar.secchi_depth;
  EXPECT_GE(zsd, 2.0);
  EXPECT_LE(zsd, 5.0);
  const std::string p = b.printout();
  EXPECT_NE(p.find(" WARNING: the current estimate for z_SD is greater than the maximum output depth for the run: "
                   "z_SD cannot be further revised\n"
                   "    max output depth =    5.00 m\n"
                   " For a better estimate, rerun Abyssolver to a deeper depth\n"),
            std::string::npos)
      << p;
}

TEST(DerivedColour, EqualTristimulusGivesEqualEnergyWhitePoint) {
  const Chromaticity c = chromaticity(2.0, 2.0, 2.0);
  EXPECT_NEAR(c.x, 1.0 / 3.0, 1e-15);
  EXPECT_NEAR(c.y, 1.0 / 3.0, 1e-15);
  EXPECT_NEAR(c.Y, 683.0 * 2.0, 1e-12);
  EXPECT_TRUE(std::isnan(chromaticity(0.0, 0.0, 0.0).x));
}

TEST(DerivedColour, Cie1931TablesMatchPublishedValues) {
  // CIE 1931 2-degree observer (CIE 015:2004).
  const struct {
    double w, x, y, z;
  } ref[] = {{360, 0.0001299, 0.000003917, 0.0006061}, {450, 0.3362, 0.038, 1.77211}, {500, 0.0049, 0.323, 0.272},
             {555, 0.5120501, 1.0, 0.00575},           {600, 1.0622, 0.631, 0.0008},  {700, 0.01135916, 0.004102, 0.0}};
  for (const auto& r : ref) {
    std::array<double, 3> v = cie_cmf(r.w);
    if (r.w == 555) {  // between table nodes: the mean of 550 and 560
      EXPECT_NEAR(v[0], 0.5 * (0.4334499 + 0.5945), 1e-12);
      EXPECT_NEAR(v[1], 0.5 * (0.9949501 + 0.995), 1e-12);
      continue;
    }
    EXPECT_DOUBLE_EQ(v[0], r.x) << r.w;
    EXPECT_DOUBLE_EQ(v[1], r.y) << r.w;
    EXPECT_DOUBLE_EQ(v[2], r.z) << r.w;
  }
  EXPECT_EQ(cie_cmf(355.0)[0], 0.0);
  EXPECT_EQ(cie_cmf(790.0)[1], 0.0);
  EXPECT_DOUBLE_EQ(photopic(550.0), 0.995);
  EXPECT_DOUBLE_EQ(photopic(505.0), 0.5 * (0.323 + 0.503));
}

TEST(DerivedColour, PrintoutRowsForAirAndDepths) {
  BandRun b("col0", 6, 12, 6, {0.0, 3.0}, 40, 380.0);
  fill_spectrum(b, [](int, int) { return 1.0; });
  ciexyy(*b.rs);
  const std::string p = b.printout();
  EXPECT_NE(
      p.find(" CIE 1931 chromaticity coordinates (x,y) and (il)luminance Y for selected quantities.  Output is "
             "(x,y,Y).\n Y is illuminance in lm/m^2 for Ed and Eu; Y is luminance in lm/(m^2 sr) for Lu and Lw\n"),
      std::string::npos);
  // A flat spectrum is close to the equal-energy white point.
  const std::size_t row = p.find("   3.00");
  ASSERT_NE(row, std::string::npos) << p;
  std::istringstream in(p.substr(row));
  double z, x, y;
  in >> z >> x >> y;
  EXPECT_NEAR(x, 1.0 / 3.0, 0.01);
  EXPECT_NEAR(y, 1.0 / 3.0, 0.01);
}
