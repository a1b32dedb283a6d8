// Light from an internal source carried through a multiply scattering water
// column, against the exact half-space solution. An isotropic source
// j0 exp(-tau/mu0) per unit optical depth in a homogeneous half-space with
// isotropic scattering of albedo omega and no reflection at its top gives the
// emergent radiance (Chandrasekhar 1960, the source function of the diffuse
// reflection problem)
//   L(0, mu) = j0 mu0 / (mu + mu0) H(mu) H(mu0),
// H the H-function of omega; H = 1 leaves single scattering. The engine runs a
// bioluminescence source with that depth profile in pure water whose
// scattering is made isotropic and strong, the sea surface's reflection of the
// in-water light switched off.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "inelastic_run.hpp"
#include "iop/components.hpp"
#include "util/gauss_legendre.hpp"

using namespace abyss;
using namespace abyss::testing;

namespace {

// H(mu) for isotropic scattering from 1/H(mu) = sqrt(1 - omega) +
// (omega/2) Int_0^1 mu' H(mu') / (mu + mu') dmu', iterated on Gauss nodes.
class HFunction {
 public:
  explicit HFunction(double omega) : omega_(omega) {
    for (const auto& q : util::gauss_legendre(32)) {
      mu_.push_back(0.5 * (q.x + 1.0));
      w_.push_back(0.5 * q.w);
    }
    h_.assign(mu_.size(), 1.0);
    for (int it = 0; it < 500; ++it) {
      std::vector<double> next;
      for (double m : mu_) next.push_back((*this)(m));
      h_ = next;
    }
  }
  double operator()(double mu) const {
    double s = 0.0;
    for (std::size_t i = 0; i < mu_.size(); ++i) s += w_[i] * mu_[i] * h_[i] / (mu + mu_[i]);
    return 1.0 / (std::sqrt(1.0 - omega_) + 0.5 * omega_ * s);
  }

 private:
  double omega_;
  std::vector<double> mu_, w_, h_;
};

struct HalfSpace {
  double engine = 0.0, exact = 0.0, single = 0.0, omega = 0.0;
};

// Source S0 exp(-k z) (W m^-3 nm^-1) with k = c / mu0, water scattering scaled by `bscale`.
HalfSpace half_space(double mu0, double bscale) {
  std::string input = case1_input(1e-6, "470 480 ", "0 3 0.0 5.0 20.0", "1 0 0 0 2", 0.02, 2.6e-4, 1);
  input.replace(input.find("pure_water.dpf"), 14, "isotropic.dpf");
  double c = 0.0;
  const double s0 = 1.0e-6;
  InProcessRun run(input, false, [&](RunState& rs) {
    const PureWater w = pureh2o(rs, rs.cwave.wave(1));
    rs.iopflags.bw(1) *= bscale;
    rs.iopflags.pw_wave = -1.0;  // no value kept from before
    c = w.a + rs.iopflags.bw(1);
    // One index of refraction: the surface operators are loaded once.
    EXPECT_GT(rs.cmisc.refr, 0.0);
    rs.surf.slot[2].zero();
    rs.surf.slot[3].zero();
    BioTable t;
    t.wave = {400.0, 600.0};
    for (double z = 0.0; z <= 3000.0; z += 0.25) {
      t.z.push_back(z);
      const double s = s0 * std::exp(-c / mu0 * z);
      t.s.push_back(s);
      t.s.push_back(s);
    }
    rs.src.biotab = t;
  });
  const BandIrradiances& b = run.bands[1];
  HalfSpace r;
  const double bw = 2.0 * b.bb[0];  // isotropic: half scattered backwards
  r.omega = bw / (b.a[0] + bw);
  EXPECT_NEAR(b.a[0] + bw, c, 1e-3 * c);
  // The nadir value is the average over the polar cap, uniform in mu.
  const RunState& rs = run.rs();
  const double m0 = rs.cgrid.bndmu(rs.cmisc.nmu - 1);
  const HFunction h(r.omega);
  const double j0 = s0 / (4.0 * std::acos(-1.0)) / c;
  const int n = 50;
  for (int i = 0; i < n; ++i) {
    const double mu = m0 + (i + 0.5) * (1.0 - m0) / n;
    r.exact += j0 * mu0 / (mu + mu0) * h(mu) * h(mu0) / n;
    r.single += j0 * mu0 / (mu + mu0) / n;
  }
  r.engine = b.lu0_in;
  return r;
}

}  // namespace

// The zeroth moment of H is exact: Int_0^1 H dmu = (2/omega)(1 - sqrt(1 - omega)).
TEST(InternalSourceHalfSpace, HFunctionMomentIsExact) {
  for (double omega : {0.3, 0.85, 0.95}) {
    const HFunction h(omega);
    double m = 0.0;
    for (const auto& q : util::gauss_legendre(64)) m += 0.5 * q.w * h(0.5 * (q.x + 1.0));
    EXPECT_NEAR(m, 2.0 / omega * (1.0 - std::sqrt(1.0 - omega)), 1e-6) << omega;
  }
  EXPECT_NEAR(HFunction(0.0)(0.5), 1.0, 1e-12);
}

TEST(InternalSourceHalfSpace, MultipleScatteringMatchesTheHFunctionSolution) {
  for (double mu0 : {0.5, 2.0}) {
    const HalfSpace r = half_space(mu0, 20.0);
    std::printf("  mu0 %.1f, albedo %.3f: engine Lu(0-) %.5e, exact %.5e (single scattering %.5e), ratio %.4f\n",
                mu0, r.omega, r.engine, r.exact, r.single, r.engine / r.exact);
    EXPECT_GT(r.omega, 0.7);
    EXPECT_GT(r.exact, 1.3 * r.single);
    EXPECT_NEAR(r.engine / r.exact, 1.0, 0.003) << mu0;
  }
}
