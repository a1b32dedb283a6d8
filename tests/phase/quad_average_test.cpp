#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "grid/grid_state.hpp"
#include "grid/quad_partition.hpp"
#include "phase/dpf_file.hpp"
#include "phase/phase_functions.hpp"
#include "phase/quad_average.hpp"

using namespace abyss;
using namespace abyss::phase;

namespace {

constexpr double kPi = PhaseFunction::kPi;
const char* const kPetzold = ABYSS_SOURCE_DIR "/data/phasefun/sources/petzold_avg_harbor_cumulative_spf.txt";

TEST(PhaseFunctions, CumulativeIsTheIntegralOfBeta) {
  const PhaseFunction fs[] = {PhaseFunction::fournier_forand(0.0001), PhaseFunction::fournier_forand(0.02),
                              PhaseFunction::fournier_forand(0.1), PhaseFunction::pure_water(),
                              PhaseFunction::henyey_greenstein(0.9),
                              read_cumulative_table(kPetzold,
                                                    "Petzold")};
  for (const PhaseFunction& f : fs)
    for (double deg : {0.05, 0.3, 2.0, 17.0, 60.0, 100.0, 150.0}) {
      const double psi = deg * kPi / 180.0, h = 1e-5 * psi;
      const double dc = (f.cumulative(psi + h) - f.cumulative(psi - h)) / (2 * h);
      EXPECT_NEAR(dc / (2 * kPi * std::sin(psi)), f.beta(psi), 1e-5 * f.beta(psi)) << f.label() << " at " << deg;
    }
}

TEST(PhaseFunctions, BackscatterFractions) {
  for (double bb : {0.0001, 0.0183, 0.1}) EXPECT_NEAR(PhaseFunction::fournier_forand(bb).bbtob(), bb, 1e-12 + 1e-9 * bb);
  EXPECT_NEAR(PhaseFunction::pure_water().bbtob(), 0.5, 1e-15);
  const double g = 0.8;
  EXPECT_NEAR(PhaseFunction::henyey_greenstein(g).bbtob(), (1 - g) / (2 * g) * ((1 + g) / std::sqrt(1 + g * g) - 1), 1e-14);
  EXPECT_NEAR(read_cumulative_table(kPetzold, "P")
                  .bbtob(),
              1.0 - 0.981907707, 1e-12);
  EXPECT_NEAR(PhaseFunction::fournier_forand(0.0001).index(), 1.003, 2e-4);  // close to the particles' refractive index of water
  EXPECT_THROW(PhaseFunction::fournier_forand(0.4), std::invalid_argument);
}

// One coarse partition (22.5-degree cap, 90-degree azimuth bands), averaged
// once for the whole suite; dpfgen --check measures the default partition.
class QuadAverageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QuadPartition q;
    q.nmu = 3;
    q.nphi = 4;
    build_partition(q, grid(), gridphi());
    static const PhaseFunction iso = PhaseFunction::isotropic(), water = PhaseFunction::pure_water(),
                               ff = PhaseFunction::fournier_forand(0.0001), ff2 = PhaseFunction::fournier_forand(0.05);
    arrays() = quad_average(grid(), gridphi(), q.nmu, q.nphi, {&iso, &water, &ff, &ff2});
  }
  static Grid& grid() {
    static Grid g;
    return g;
  }
  static GridPhi& gridphi() {
    static GridPhi gp;
    return gp;
  }
  static std::vector<DpfArrays>& arrays() {
    static std::vector<DpfArrays> d;
    return d;
  }
  static void expect_normalised(const DpfArrays& d, double tol) {
    const std::vector<double> s = column_sums(d);
    for (int u = 1; u <= d.nmu; ++u) EXPECT_NEAR(s[static_cast<std::size_t>(u)], 1.0, tol) << "column " << u;
  }
};

TEST_F(QuadAverageTest, IsotropicInClosedFormAndByQuadrature) {
  const Grid& g = grid();
  const DpfArrays exact = isotropic_dpf(g, 3, 4);
  expect_normalised(exact, 1e-14);
  EXPECT_LT(max_reciprocity_error(exact, g), 1e-14);
  EXPECT_DOUBLE_EQ(cap_backscatter(exact), 0.5);
  const DpfArrays& num = arrays()[0];
  for (int I = 1; I <= exact.ncol(); ++I)
    for (int r = 1; r <= 3; ++r) {
      EXPECT_DOUBLE_EQ(exact.pt(r, I), g.omega(r) / (4 * kPi));
      EXPECT_NEAR(num.pt(r, I), exact.pt(r, I), 1e-6) << r << ' ' << I;
      EXPECT_NEAR(num.pr(r, I), exact.pr(r, I), 1e-6) << r << ' ' << I;
    }
}

TEST_F(QuadAverageTest, WaterAndFournierForandAreNormalisedAndReciprocal) {
  for (std::size_t k = 1; k < arrays().size(); ++k) {
    expect_normalised(arrays()[k], 1e-6);
    EXPECT_LT(max_reciprocity_error(arrays()[k], grid(), 1e-6), 1e-4);
  }
  // Water scatters symmetrically fore and aft: any incident direction sends half to each hemisphere.
  EXPECT_NEAR(cap_backscatter(arrays()[1]), 0.5, 1e-6);
  // The 22.5-degree cap tilts its directions enough to raise the backscatter
  // they see by a few per cent; the 5-degree cap of the default partition
  // stays within 0.3 % (next test).
  EXPECT_NEAR(cap_backscatter(arrays()[3]) / 0.05, 1.0, 0.05);
}

// Light in the polar cap is scattered into the opposite hemisphere in the
// proportion bb/b, up to the tilt of the cap's directions: with the 5-degree
// cap of the default partition the arrays give bb/b within 1 %. A three-band
// partition with that cap keeps the test fast.
TEST(QuadAverage, BackscatterFromArraysWithinOnePercentOnAFiveDegreeCap) {
  const int nmu = 3, nphi = 4;
  Grid g;
  GridPhi gp;
  const QuadPartition q{nmu, nphi, 1};
  build_partition(q, g, gp);
  const double bnd[] = {0.0, std::cos(60.0 * kPi / 180.0), std::cos(5.0 * kPi / 180.0), 1.0};
  for (int u = 1; u <= nmu; ++u) {
    g.bndmu(u) = bnd[u];
    g.dmu(u) = bnd[u] - bnd[u - 1];
    g.fmu(u) = 0.5 * (bnd[u] + bnd[u - 1]);
    g.omega(u) = (u == nmu ? 2 * kPi : 2 * kPi / nphi) * g.dmu(u);
  }
  const PhaseFunction ff = PhaseFunction::fournier_forand(0.0001), ff2 = PhaseFunction::fournier_forand(0.02),
                      water = PhaseFunction::pure_water();
  const std::vector<DpfArrays> d = quad_average(g, gp, nmu, nphi, {&ff, &ff2, &water});
  EXPECT_NEAR(cap_backscatter(d[0]) / 0.0001, 1.0, 0.01);
  EXPECT_NEAR(cap_backscatter(d[1]) / 0.02, 1.0, 0.01);
  EXPECT_NEAR(cap_backscatter(d[2]) / 0.5, 1.0, 1e-5);
}

// Light leaving quad (u, 1): everything it scatters except into itself.
double leaving(const DpfArrays& d, int u) { return column_sums(d)[static_cast<std::size_t>(u)] - d.pt(u, u); }

// Scattering through less than the forward cone stays in the incident quad.
// A cone as wide as the sphere leaves no scattering to redistribute (the
// arrays become the identity); a narrower one keeps the arrays normalised,
// reciprocal and with the same backscatter, and only lowers the light that
// leaves each quad, by at most the cone's share of the scattering.
TEST_F(QuadAverageTest, ForwardConeStaysInItsQuad) {
  const PhaseFunction ff = PhaseFunction::fournier_forand(0.0183);
  QuadRule light;  // a lighter quadrature than the library's: the identities hold at any accuracy
  light.grade_levels = 3;
  light.chi_points_touch = light.chi_points_far = 8;
  QuadRule all = light, cone20 = light;
  all.cone = kPi;
  cone20.cone = 20.0 * kPi / 180.0;
  const DpfArrays plain = quad_average(grid(), gridphi(), 3, 4, {&ff}, light)[0];
  const DpfArrays none = quad_average(grid(), gridphi(), 3, 4, {&ff}, all)[0];
  const DpfArrays kept = quad_average(grid(), gridphi(), 3, 4, {&ff}, cone20)[0];
  for (int I = 1; I <= none.ncol(); ++I)
    for (int r = 1; r <= 3; ++r) {
      const bool own = (I == r);  // quad (r, 1) into itself (the cap's column repeats for every s)
      const bool cap = (r == 3 && I % 3 == 0);
      EXPECT_NEAR(none.pt(r, I), own || cap ? 1.0 : 0.0, 1e-5) << r << ' ' << I;
      EXPECT_NEAR(none.pr(r, I), 0.0, 1e-9) << r << ' ' << I;
    }
  expect_normalised(kept, 1e-5);
  EXPECT_LT(max_reciprocity_error(kept, grid(), 1e-6), 1e-3);
  EXPECT_NEAR(cap_backscatter(kept), cap_backscatter(plain), 1e-9);
  for (int u = 1; u <= 3; ++u) {
    const double drop = leaving(plain, u) - leaving(kept, u);
    EXPECT_GT(drop, 0.0) << u;
    EXPECT_LE(drop, ff.cumulative(cone20.cone) + 1e-5) << u;
  }
}

TEST_F(QuadAverageTest, FileLayoutRoundTrips) {
  const DpfArrays& d = arrays()[2];
  DpfHeader h;
  h.title = "FF test";
  h.real_value = 3.5;
  h.nmu = 3, h.nphi = 4, h.type = 1, h.int_value = d.ncol(), h.bbtob = 0.0183;
  std::stringstream ss;
  write_dpf(ss, h, d);
  std::string line;
  std::getline(ss, line);
  EXPECT_EQ(line, "FF test");
  std::getline(ss, line);
  EXPECT_EQ(line, "  3.50  3  4  1           9");
  std::getline(ss, line);
  EXPECT_EQ(line, " bb/b ratio =   0.01830");
  std::getline(ss, line);
  EXPECT_EQ(line.size(), 3u * 13u);  // a block of nmu = 3 values per record
  ss.seekg(0);
  const DpfHeader back = read_dpf_header(ss, "mem", "TEST");
  EXPECT_EQ(back.nmu, 3);
  EXPECT_EQ(back.type, 1);
  EXPECT_DOUBLE_EQ(back.bbtob, 0.0183);
  Mat pt(3, 9), pr(3, 9);
  read_dpf_arrays(ss, 3, 9, pt, pr, "mem", "TEST");
  for (int I = 1; I <= 9; ++I)
    for (int r = 1; r <= 3; ++r) {
      EXPECT_NEAR(pt(r, I), d.pt(r, I), 5e-6 * d.pt(r, I));  // six significant digits
      EXPECT_NEAR(pr(r, I), d.pr(r, I), 5e-6 * d.pr(r, I));
    }
}

}  // namespace
