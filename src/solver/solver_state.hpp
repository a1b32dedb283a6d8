// Records of the radiative-transfer solver.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "control/limits.hpp"
#include "solver/sun_beam_state.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct RunState;
struct ExpSources;

// Internal-source amplitudes of one Fourier mode at one depth: element [u-1] of
// each array belongs to mu band u = 1..nmu; "up" and "down" are the upward- and
// downward-directed bands, "cos" and "sin" the two halves of the mode.
struct SourceAmps {
  std::array<double, mxmu> up_cos{}, down_cos{}, up_sin{}, down_sin{};
};

// A square block in column order with leading dimension ld: element (i, j) =
// p[(i-1) + (j-1)*ld].
struct Blk {
  double* p = nullptr;
  int ld = 0;
  double& operator()(int i, int j) const { return p[(i - 1) + (j - 1) * ld]; }
};
struct CBlk {
  const double* p = nullptr;
  int ld = 0;
  double operator()(int i, int j) const { return p[(i - 1) + (j - 1) * ld]; }
};
constexpr std::size_t kBlk = static_cast<std::size_t>(mxmu) * mxmu;

// Results of the three Riccati passes of one Fourier mode at every grid depth
// k = 1..nz (the record crts): R(zeta,w) and T(w,zeta) from the downward pass,
// R(zeta,m) from the two upward passes, and the source vectors.
struct ModeOps {
  int nz = 0;
  bool with_sources = false;
  // R(zeta,m) of the sine half equals that of the cosine half at every depth
  // (both upward passes start from the same bottom operator): Rzm2 then reads
  // the cosine half's storage, and the amplitudes at depth share one inverse
  // per depth.
  bool sine_shares_rzm = false;
  // The blocks are nmu x nmu (leading dimension nmu), stored compactly: sized
  // for the limits they were 8 KB a depth each, 17 MB a band at 10 x 24 quads,
  // which a first band spent most of its time zero-filling.
  int nmu = 0;
  std::vector<double> rzw, twz, rzm, rzm2;  // nz blocks of nmu x nmu
  std::vector<double> s1d, s2d, s1u, s2u;   // nz vectors of nmu (empty without sources)
  void resize(int nz_, int nmu_, bool sources);
  std::size_t block() const { return static_cast<std::size_t>(nmu) * static_cast<std::size_t>(nmu); }
  Blk Rzw(int k) { return {rzw.data() + (k - 1) * block(), nmu}; }
  Blk Twz(int k) { return {twz.data() + (k - 1) * block(), nmu}; }
  Blk Rzm(int k) { return {rzm.data() + (k - 1) * block(), nmu}; }
  Blk Rzm2(int k) { return {(sine_shares_rzm ? rzm : rzm2).data() + (k - 1) * block(), nmu}; }
  double* S1d(int k) { return s1d.data() + (k - 1) * nmu; }  // element u at [u-1]
  double* S2d(int k) { return s2d.data() + (k - 1) * nmu; }
  double* S1u(int k) { return s1u.data() + (k - 1) * nmu; }
  double* S2u(int k) { return s2u.data() + (k - 1) * nmu; }
};

// Record crhotau (the coefficient matrices at the current depth and mode) and
// the work space of the derivative routine, allocated once.
struct RhoTau {
  Mat rhohat{mxmu, mxmu}, tauhat{mxmu, mxmu};
  Mat w{mxmu, mxmu};              // W = tauhat + rhohat*R, formed per evaluation
  // Per-component Fourier sums of the phase functions for mode sums_l (unit
  // albedo, divided by the outgoing mu); the coefficient matrices are their
  // combination with the components' shares of the scattering.
  std::array<Mat, mxcomp + 1> stk, srk;
  int sums_l = -1;
  RhoTau() {
    for (int k = 1; k <= mxcomp; ++k) stk[static_cast<std::size_t>(k)] = srk[static_cast<std::size_t>(k)] = Mat(mxmu, mxmu);
  }
  VecD cosl{1, mxphi};            // cos(l*phi(s)) of the current mode
  // Bands integrated for the current mode: nmu for l = 0; nmu - 1 for l > 0,
  // whose polar-cap row and column are identically zero.
  int nact = 0;
  // The coefficient matrices depend on the depth only through the albedo and
  // the component weights b_k/b; they are recomputed only when those change.
  bool valid = false;
  int l_cached = -1;
  double w0_cached = -1.0;
  double wk_cached[mxcomp + 1] = {};
};

// Counters of the depth integration (for the benchmark and the printout).
struct SolverCounters {
  long long nderiv = 0;   // derivative evaluations since the counter was reset
  long long nderiv_pass[4] = {};  // the same by Riccati pass (1..3)
  long long nrhotau = 0;  // evaluations that rebuilt the coefficient matrices
  long long nsolver_calls = 0;  // calls of the ODE integrator (one per layer or sub-step)
};

// Radiance amplitudes of the current band. An amplitude vector (one column)
// holds element l*nmu + u (u = 1..nmu, l = 0..lmax) = cosine amplitude of mu
// band u in Fourier mode l, and element N + l*nmu + u the sine amplitude,
// N = nmu*(lmax+1). Vectors multiply operators from the left (v * M).
struct SolverState {
  // cramp0, direct (unscattered) amplitudes: column 1 the incident sky in air,
  // column k+1 the direct downward amplitudes at grid depth k (column 2 is just
  // below the surface), column kAirUp the surface-reflected sky (upward, in air).
  static constexpr int kAirUp = mxz + 2;
  Mat cramp0{mxamp, mxz + 2};
  // cramp, total amplitudes. Downward set: column 1 downward in air (the sky),
  // column 2 upward in air (surface-reflected sky + water-leaving), column k+2
  // downward at grid depth k. Upward set: column k upward at grid depth k.
  Mat cramp_down{mxamp, mxz + 2};
  Mat cramp_up{mxamp, mxz};
  // The two parts of the upward amplitudes in air, kept for the printouts and
  // the water-leaving radiance: column 1 surface-reflected sky, column 2 water-leaving.
  Mat air_parts{mxamp, 2};

  // Per-mode operators of the current band, in mode order l = 0..lmax (kept in
  // memory instead of scratch files).
  std::vector<ModeOps> modes;
  RhoTau crhotau;
  SolverCounters counters;
  bool first_band_done = false;  // inishamp has prepared a band

  // The internal-source routines of one band (1 bioluminescence, 2 chlorophyll
  // fluorescence, 3 CDOM fluorescence, 4 Raman): each gives, for a Fourier mode
  // at a depth (optical depth in optical-depth runs, otherwise metres), the
  // source amplitudes of the upward- and downward-directed mu bands. They read
  // the run state only, so the solver may call them from several threads.
  // Bound by the sources subsystem; an unbound source stops the run.
  using SourceFn = std::function<void(const RunState&, int l, double depth, SourceAmps&)>;
  std::array<SourceFn, 5> source_fn;
  // The same source between depths za < zb as exponential terms in the depth
  // x below za, (f0 V + f1 x V1) e^{-p x} (rates and x per unit of that
  // depth), added to the sources; false where it has no such form there (the
  // solver then integrates source_fn numerically).
  using SourceExpFn = std::function<bool(int l, double za, double zb, ExpSources&)>;
  std::array<SourceExpFn, 5> source_exp;

  // The sun's direct beam of the band, and the sky amplitudes that enter the
  // water (the incident sky without the beam when the beam is carried apart).
  SunBeam beam;
  std::vector<double> sky_in;
};

}  // namespace abyss
