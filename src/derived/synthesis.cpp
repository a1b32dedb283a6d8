// Radiance synthesis: quad-averaged radiances from the Fourier amplitudes.
#include <cmath>

#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// cos(l phi(s)) and sin(l phi(s)) at the quad-centre azimuths, once per run.
void build_trig_table(RunState& rs) {
  Radiances& rad = rs.der.rad;
  for (int s = 1; s <= rs.cmisc.nphi; ++s) {
    for (int l = 0; l <= mxphi / 2; ++l) {
      rad.cosl(l + 1, s) = std::cos(l * rs.cgridphi.phi(s));
      rad.sinl(l + 1, s) = std::sin(l * rs.cgridphi.phi(s));
    }
  }
  rad.trig_ready = true;
}

// dst -= src over the 2N cosine and sine amplitudes of a slice.
void subtract_slice(double* dst, const double* src, int n2) {
  for (int i = 0; i < n2; ++i) dst[i] -= src[i];
}

// Zeroes the negative values of one slice; returns true if there were any.
bool clip_negative(Mat& m, int nmu, int nphi) {
  bool neg = false;
  for (int s = 1; s <= nphi; ++s)
    for (int r = 1; r <= nmu; ++r)
      if (m(r, s) < 0.0) {
        m(r, s) = 0.0;
        neg = true;
      }
  return neg;
}

}  // namespace

void synrad(RunState& rs, const double* amp, Mat& slice) {
  if (!rs.der.rad.trig_ready) build_trig_table(rs);
  const Radiances& rad = rs.der.rad;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi, lmax = rs.cmisc.lmax;
  const int n = rs.cmisc.nhat;
  // amp[l*nmu + r - 1] is a(r, l), amp[n + l*nmu + r - 1] is b(r, l).
  for (int s = 1; s <= nphi; ++s) {
    for (int r = 1; r < nmu; ++r) {
      double sum = 0.0;
      for (int l = 0; l <= lmax; ++l)
        sum += amp[l * nmu + r - 1] * rad.cosl(l + 1, s) + amp[n + l * nmu + r - 1] * rad.sinl(l + 1, s);
      // A negative sum is a truncation artefact of the Fourier series.
      slice(r, s) = sum < 0.0 ? 0.0 : sum;
    }
    // The polar cap has no azimuthal structure: only its l = 0 amplitude.
    slice(nmu, s) = s == 1 ? amp[nmu - 1] : 0.0;
  }
}

void synhl(RunState& rs) {
  SolverState& sol = rs.sol;
  Radiances& rad = rs.der.rad;
  const int nz = rs.cmisc.nz, n2 = 2 * rs.cmisc.nhat;
  // Total minus direct leaves the diffuse amplitudes (upward amplitudes in
  // water have no direct part).
  subtract_slice(sol.cramp_down.col(1), sol.cramp0.col(1), n2);
  subtract_slice(sol.cramp_down.col(2), sol.cramp0.col(SolverState::kAirUp), n2);
  for (int k = 1; k <= nz; ++k) subtract_slice(sol.cramp_down.col(k + 2), sol.cramp0.col(k + 1), n2);

  synrad(rs, sol.cramp_down.col(1), rad.dif_down(0));
  for (int k = 1; k <= nz; ++k) synrad(rs, sol.cramp_down.col(k + 2), rad.dif_down(k));
  synrad(rs, sol.cramp_down.col(2), rad.dif_up(0));
  for (int k = 1; k <= nz; ++k) synrad(rs, sol.cramp_up.col(k), rad.dif_up(k));
  synrad(rs, sol.cramp0.col(1), rad.dir_down(0));
  for (int k = 1; k <= nz; ++k) synrad(rs, sol.cramp0.col(k + 1), rad.dir_down(k));
  synrad(rs, sol.cramp0.col(SolverState::kAirUp), rad.dir_up_air);
  radcheck(rs);
}

void radcheck(RunState& rs) {
  Radiances& rad = rs.der.rad;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  int shallowest = -1;
  for (int k = rs.cmisc.nz; k >= 0; --k) {
    bool neg = clip_negative(rad.dif_down(k), nmu, nphi);
    neg = clip_negative(rad.dif_up(k), nmu, nphi) || neg;
    neg = clip_negative(rad.dir_down(k), nmu, nphi) || neg;
    if (k == 0) neg = clip_negative(rad.dir_up_air, nmu, nphi) || neg;
    if (neg) shallowest = k;
  }
  if (shallowest < 0) return;
  const double z = shallowest == 0 ? 0.0 : rs.cgrid.z(shallowest);
  rs.pr() << "\n WARNING:  some calculated radiances were negative.  Negative radiances have been set to zero. \n"
          << " Results below " << ff::F(z, 6, 1) << "m may not be correct. \n";
}

double total_down(const RunState& rs, int k, int r, int s) {
  const Radiances& rad = rs.der.rad;
  // In air the downward radiance is the incident sky itself.
  if (k == 0) return rad.dir_down(0)(r, s);
  return rad.dif_down(k)(r, s) + rad.dir_down(k)(r, s);
}

double total_up(const RunState& rs, int k, int r, int s) {
  const Radiances& rad = rs.der.rad;
  if (k == 0) return rad.dif_up(0)(r, s) + rad.dir_up_air(r, s);
  return rad.dif_up(k)(r, s);
}

double band_theta_deg(const RunState& rs, int u) {
  if (u == rs.cmisc.nmu) return 0.0;
  const double lo = std::acos(std::min(1.0, rs.cgrid.bndmu(u - 1)));
  const double hi = std::acos(std::min(1.0, rs.cgrid.bndmu(u)));
  return 0.5 * (lo + hi) * rs.cmisc.raddeg;
}

}  // namespace abyss
