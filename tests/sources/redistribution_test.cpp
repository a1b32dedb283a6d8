// Spectral kernels of the inelastic processes and their band averages.
#include <gtest/gtest.h>

#include <cmath>

#include "solver/slab_ops.hpp"
#include "solver/solver_state.hpp"
#include "sources/redistribution.hpp"
#include "sources/sources.hpp"

using namespace abyss;
using namespace abyss::inelastic;

namespace {
const double kPi = std::acos(-1.0);

// Plain midpoint sum, a method independent of the analytic band integrals.
template <class F>
double midpoint(double a, double b, int n, F f) {
  double s = 0.0, h = (b - a) / n;
  for (int i = 0; i < n; ++i) s += f(a + (i + 0.5) * h);
  return s * h;
}
}  // namespace

TEST(InelasticKernels, RamanBandShapeAndPhaseFunctionAreNormalised) {
  EXPECT_NEAR(midpoint(2000.0, 5000.0, 30000, raman_shape), 1.0, 1e-9);
  // The band peaks near the 3400 cm^-1 O-H stretch.
  EXPECT_GT(raman_shape(3400.0), raman_shape(3000.0));
  const double a = raman_phase_a(), b = raman_phase_b();
  EXPECT_NEAR(a * 4.0 * kPi * (1.0 + b / 3.0), 1.0, 1e-14);
  EXPECT_NEAR(b, 0.83 / 1.51, 1e-12);  // depolarisation 0.17
  EXPECT_NEAR(a, 0.067, 0.0005);       // 0.067 (1 + 0.55 cos^2 psi)
}

TEST(InelasticKernels, RamanCoefficientFollowsBartlett) {
  EXPECT_DOUBLE_EQ(raman_b(2.6e-4, 488.0, 488.0), 2.6e-4);
  EXPECT_NEAR(raman_b(2.6e-4, 488.0, 400.0) / 2.6e-4, std::pow(488.0 / 400.0, 5.3), 1e-12);
}

// Bartlett et al. (1998) fit the energy-normalised Raman coefficient (emitted
// power over exciting power) with (l0/l')^5.5 and the photon-normalised one
// with (l0/l')^5.3. The engine's emitted power per unit exciting power, b_R
// times the band pairs summed over all emitting bands (which holds l'/l),
// must follow the energy law; applying the energy exponent to b_R as well
// would steepen it to about 5.66.
TEST(InelasticKernels, RamanEmittedPowerFollowsTheEnergyLaw) {
  auto emitted = [](double x0) {
    double sum = 0.0;
    for (double m = x0 + 20.0; m < x0 + 200.0; m += 5.0) sum += raman_band_pair(x0, x0 + 5.0, m, m + 5.0) * 5.0;
    return raman_b(2.6e-4, 488.0, x0 + 2.5) * sum;
  };
  const double slope = std::log(emitted(347.5) / emitted(485.5)) / std::log(488.0 / 350.0);
  EXPECT_NEAR(slope, 5.5, 0.1);
}

// Summed over emission bands that take the whole Raman band, the band average
// of one exciting band is the photon-energy ratio lambda'/lambda: compare with
// a brute-force double integral in wavelength.
TEST(InelasticKernels, RamanBandPairsConserveEnergyTimesLambdaRatio) {
  const double x0 = 440.0, x1 = 450.0;
  double sum = 0.0;
  for (double m = 480.0; m < 560.0; m += 5.0) sum += raman_band_pair(x0, x1, m, m + 5.0) * 5.0;
  const double brute = midpoint(x0, x1, 200, [](double lx) {
                         return midpoint(480.0, 560.0, 4000, [lx](double l) {
                           return raman_shape(1e7 / lx - 1e7 / l) * 1e7 / (l * l) * lx / l;
                         });
                       }) / (x1 - x0);
  EXPECT_NEAR(sum, brute, 1e-6 * brute);
  EXPECT_GT(brute, 0.84);
  EXPECT_LT(brute, 0.86);  // 445 nm excites around 524 nm
  EXPECT_EQ(raman_band_pair(500.0, 510.0, 400.0, 410.0), 0.0);  // never towards the blue
}

TEST(InelasticKernels, ChlorophyllPairsAreQuantumEfficiencyTimesLambdaRatio) {
  const double qe = 0.02;
  double sum = 0.0;
  for (double m = 600.0; m < 780.0; m += 10.0) sum += chl_band_pair(450.0, 460.0, m, m + 10.0, qe) * 10.0;
  const double expect = qe * 455.0 * midpoint(600.0, 780.0, 20000, [](double l) { return chl_emission(l) / l; });
  EXPECT_NEAR(sum, expect, 1e-9 * expect);
  EXPECT_NEAR(expect / qe, 455.0 / 685.0, 0.002);
  EXPECT_EQ(chl_band_pair(700.0, 710.0, 720.0, 730.0, qe), 0.0);  // outside the excitation window
  EXPECT_NEAR(chl_band_pair(685.0, 695.0, 700.0, 710.0, qe) / chl_band_pair(680.0, 690.0, 700.0, 710.0, qe),
              0.5 * (690 * 690 - 685 * 685) / (0.5 * (690 * 690 - 680 * 680)), 1e-12);
}

// Hawes' function gives a CDOM fluorescence quantum yield of about 1 %.
TEST(InelasticKernels, HawesQuantumYieldIsAboutOnePercent) {
  const double y = midpoint(350.0, 800.0, 4500, [](double lm) { return hawes_eta(350.0, lm); });
  EXPECT_GT(y, 0.008);
  EXPECT_LT(y, 0.02);
  EXPECT_EQ(hawes_eta(500.0, 600.0), 0.0);  // beyond the tabulated excitation
  double sum = 0.0;
  for (double m = 360.0; m < 800.0; m += 10.0) sum += cdom_band_pair(345.0, 355.0, m, m + 10.0) * 10.0;
  const double expect = midpoint(345.0, 355.0, 50, [](double lx) {
                          return midpoint(360.0, 800.0, 2000, [lx](double lm) { return hawes_eta(lx, lm) * lx / lm; });
                        }) / 10.0;
  EXPECT_NEAR(sum, expect, 2e-4 * expect);
}

namespace {

// An empty profile of three bands at depths 0, 2 and 5 for `nmodes` modes.
SourceProfile three_depth_profile(int nmodes) {
  SourceProfile p;
  p.nmu = 3;
  p.nmodes = nmodes;
  p.z = {0.0, 2.0, 5.0};
  p.amp.assign(3 * p.stride(), 0.0);
  return p;
}

}  // namespace

// Between grid depths a profile follows an exponential exactly and feeds only its modes.
TEST(SourceProfiles, InterpolationIsExactForExponentialsAndClampsTheShape) {
  SourceProfile p = three_depth_profile(1);
  for (std::size_t k = 0; k < 3; ++k) {
    p.ref.push_back(std::exp(-0.3 * p.z[k]));
    for (int u = 0; u < 3; ++u) {
      p.amp[k * p.stride() + u] = p.ref[k] * (u + 1);           // up, cos
      p.amp[k * p.stride() + mxmu + u] = 2.0 * p.ref[k] * (u + 1);  // down, cos
    }
  }
  SourceAmps a;
  eval_profile(p, 0, 3.3, a);
  EXPECT_NEAR(a.up_cos[2], 3.0 * std::exp(-0.99), 1e-14);
  EXPECT_NEAR(a.down_cos[0], 2.0 * std::exp(-0.99), 1e-14);
  eval_profile(p, 0, 7.0, a);  // below the grid: the exponential goes on
  EXPECT_NEAR(a.up_cos[0], std::exp(-2.1), 1e-14);
  SourceAmps b;
  eval_profile(p, 1, 3.3, b);
  EXPECT_EQ(b.up_cos[0], 0.0);
}

// The profile's exponential terms between two depths are the interpolation
// itself: summed at any depth of the part they give what eval_profile gives,
// inside an interval (reference and shape both changing) and below the last
// depth; a part across a profile depth, above the first one or where the
// reference is not positive has no such form.
TEST(SourceProfiles, ExponentialTermsReproduceTheInterpolation) {
  SourceProfile p = three_depth_profile(2);
  for (std::size_t k = 0; k < 3; ++k) {
    p.ref.push_back(std::exp(-0.3 * p.z[k]) * (1.0 + 0.4 * k));
    for (std::size_t l = 0; l < 2; ++l)
      for (std::size_t c = 0; c < 4; ++c)
        for (std::size_t u = 0; u < 3; ++u)
          p.amp[k * p.stride() + (l * 4 + c) * mxmu + u] = p.ref[k] * (1.0 + u + 0.5 * c * k + 0.3 * l * (2.0 - k));
  }
  const auto sum_at = [](const ExpSources& e, double x) {
    SourceAmps s;
    for (const ExpTerm& t : e.terms) {
      const double f0 = t.f0 * std::exp(-t.p * x), f1 = t.f1 * x * std::exp(-t.p * x);
      const SourceAmps &v = e.shapes[static_cast<std::size_t>(t.shape)], &v1 = e.shapes[static_cast<std::size_t>(t.x_shape())];
      for (std::size_t i = 0; i < mxmu; ++i) {
        s.up_cos[i] += f0 * v.up_cos[i] + f1 * v1.up_cos[i];
        s.down_cos[i] += f0 * v.down_cos[i] + f1 * v1.down_cos[i];
        s.up_sin[i] += f0 * v.up_sin[i] + f1 * v1.up_sin[i];
        s.down_sin[i] += f0 * v.down_sin[i] + f1 * v1.down_sin[i];
      }
    }
    return s;
  };
  for (int l = 0; l < 2; ++l)
    for (const auto& [za, zb] : {std::pair{2.3, 4.1}, std::pair{0.0, 2.0}, std::pair{5.0, 9.0}}) {
      ExpSources e;
      ASSERT_TRUE(profile_exp_terms(p, l, za, zb, e)) << za;
      for (double x : {0.0, 0.37 * (zb - za), zb - za}) {
        SourceAmps want;
        eval_profile(p, l, za + x, want);
        const SourceAmps got = sum_at(e, x);
        for (int u = 0; u < 3; ++u) {
          EXPECT_NEAR(got.up_cos[u], want.up_cos[u], 1e-13) << l << " " << za << " " << x;
          EXPECT_NEAR(got.down_sin[u], want.down_sin[u], 1e-13) << l << " " << za << " " << x;
        }
      }
    }
  ExpSources e;
  EXPECT_TRUE(profile_exp_terms(p, 2, 1.0, 3.0, e));  // a mode the profile does not feed: no terms
  EXPECT_TRUE(e.terms.empty());
  EXPECT_FALSE(profile_exp_terms(p, 0, 1.0, 3.0, e));
  EXPECT_FALSE(profile_exp_terms(p, 0, -1.0, 1.0, e));
  p.ref[1] = 0.0;
  EXPECT_FALSE(profile_exp_terms(p, 0, 0.5, 1.5, e));
}

TEST(Bioluminescence, TableIsBilinearAndZeroOutside) {
  BioTable t;
  t.z = {0.0, 10.0};
  t.wave = {400.0, 500.0};
  t.s = {1.0, 3.0, 5.0, 7.0};
  EXPECT_DOUBLE_EQ(bio_source(t, 5.0, 450.0), 4.0);
  EXPECT_DOUBLE_EQ(bio_source(t, 10.0, 500.0), 7.0);
  EXPECT_EQ(bio_source(t, 10.5, 450.0), 0.0);
  EXPECT_EQ(bio_source(t, 5.0, 399.0), 0.0);
}
