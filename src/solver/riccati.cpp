// Invariant-imbedding Riccati equations and their integration in optical depth.
//
// For Fourier mode l the reflectance R and transmittance T of the water column
// obey (radiance amplitudes are row vectors, element (r, u) of an operator
// carries band r into band u)
//   dR/dzeta = rhohat + tauhat R + R tauhat + R rhohat R,   dT/dzeta = T (tauhat + rhohat R),
// where rhohat and tauhat come from the single-scattering phase function of the
// water at that depth. The downward pass builds R(zeta,w) and T(w,zeta) from the
// surface; the two upward passes build R(zeta,m) from the bottom for the cosine
// and the sine amplitudes. Internal sources add linear equations for the source
// vectors S.
#include "solver/riccati.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_odeiv2.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "solver/step_budget.hpp"
#include "grid/depth_conversion.hpp"
#include "iop/abscat.hpp"
#include "phase/inishamp.hpp"

namespace abyss {

void ModeOps::resize(int nz_, int nmu_, bool sources) {
  nz = nz_;
  nmu = nmu_;
  with_sources = sources;
  const std::size_t nb = static_cast<std::size_t>(nz_) * block();
  for (auto* v : {&rzw, &twz, &rzm, &rzm2}) v->assign(nb, 0.0);
  const std::size_t nv = sources ? static_cast<std::size_t>(nz_) * static_cast<std::size_t>(nmu_) : 0;
  for (auto* v : {&s1d, &s2d, &s1u, &s2u}) v->assign(nv, 0.0);
}

int nsubsteps(double delta, double dzetamax) {
  if (delta >= dzetamax) return static_cast<int>(delta / dzetamax) + 1;
  return 1;
}

namespace {

// ---------------------------------------------------------------------------
// Coefficient matrices

// Azimuth differences 0..360 deg folded onto 0..180 deg: the weight of the
// folded band s' is cos(l phi(s')) counted once for 0 and 180 deg and twice otherwise.
void folded_weights(const RunState& rs, int l, double* wgt) {
  const int nphi = rs.cmisc.nphi, half = nphi / 2 + 1;
  for (int s = 1; s <= half; ++s) {
    const double cs = std::cos(l * rs.cgridphi.phi(s));
    wgt[s] = (s == 1 || s == half) ? cs : 2.0 * cs;
  }
}

// Fourier sums of one phase function for mode l, divided by the mu of the
// outgoing band: the coefficient matrices of unit albedo without the
// attenuation term. Linear in the phase function, so the sums of the
// components combine with their shares of the scattering.
void unit_sums(const RunState& rs, int l, const Mat& pt, const Mat& pr, Mat& st, Mat& sr) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const Grid& g = rs.cgrid;
  double wgt[mxphi / 2 + 2];
  folded_weights(rs, l, wgt);
  for (int u = 1; u < nmu; ++u) {
    const double fu = g.fmu(u);
    for (int r = 1; r < nmu; ++r) {
      double at = 0.0, ar = 0.0;
      for (int s = 1; s <= nphi / 2 + 1; ++s) {
        const int col = (s - 1) * nmu + u;
        at += wgt[s] * pt(r, col);
        ar += wgt[s] * pr(r, col);
      }
      st(r, u) = at / fu;
      sr(r, u) = ar / fu;
    }
  }
  // The polar cap has no azimuthal structure: it couples only to mode 0
  // (column I = nmu is the cap with s = 1).
  const bool m0 = (l == 0);
  const double fcap = g.fmu(nmu);
  for (int i = 1; i < nmu; ++i) {
    sr(i, nmu) = m0 ? nphi * pr(i, nmu) / fcap : 0.0;
    st(i, nmu) = m0 ? nphi * pt(i, nmu) / fcap : 0.0;
    sr(nmu, i) = m0 ? pr(nmu, i) / g.fmu(i) : 0.0;
    st(nmu, i) = m0 ? pt(nmu, i) / g.fmu(i) : 0.0;
  }
  sr(nmu, nmu) = m0 ? pr(nmu, nmu) / fcap : 0.0;
  st(nmu, nmu) = m0 ? pt(nmu, nmu) / fcap : 0.0;
}

// Phase functions chosen per depth by the IOP model (ac-9 option) change
// between depths, so the cached coefficient matrices cannot be trusted.
}  // namespace

void phase_sums(const RunState& rs, int l, const Mat& pt, const Mat& pr, Mat& st, Mat& sr) {
  unit_sums(rs, l, pt, pr, st, sr);
}

bool phase_varies_with_depth(const RunState& rs) {
  for (int k = 1; k <= rs.cmisc.ncomp; ++k)
    if (rs.comp.pf_opt(k) == 2) return true;
  return false;
}

namespace {

bool cache_hit(const RunState& rs, int l, double w0, const double* wk) {
  const RhoTau& c = rs.sol.crhotau;
  if (!c.valid || c.l_cached != l || c.w0_cached != w0) return false;
  for (int k = 1; k <= rs.cmisc.ncomp; ++k)
    if (c.wk_cached[k] != wk[k]) return false;
  return !phase_varies_with_depth(rs);
}

}  // namespace

namespace {

void combine(RunState& rs, int l, double w0, const double* wk) {
  RhoTau& c = rs.sol.crhotau;
  coefficient_matrices(rs, l, c.stk, c.srk, w0, wk, c.rhohat, c.tauhat);
}

void component_sums(RunState& rs, int l) {
  RhoTau& c = rs.sol.crhotau;
  mode_component_sums(rs, l, c.stk, c.srk);
  c.sums_l = l;
}

}  // namespace

// rhohat = w0 sum_k (b_k/b) SR_k, tauhat = w0 sum_k (b_k/b) ST_k - diag(1/mu)
// (the cap's attenuation only in mode 0).
void coefficient_matrices(const RunState& rs, int l, const ComponentSums& stk, const ComponentSums& srk, double w0,
                          const double* wk, Mat& rhohat, Mat& tauhat) {
  const int nmu = rs.cmisc.nmu, ncomp = rs.cmisc.ncomp;
  for (int j = 1; j <= nmu; ++j) {
    double* rho = rhohat.col(j);
    double* tau = tauhat.col(j);
    std::fill(rho, rho + nmu, 0.0);
    std::fill(tau, tau + nmu, 0.0);
    for (int k = 1; k <= ncomp; ++k) {
      const double f = w0 * wk[k];
      if (f == 0.0) continue;
      const double* sr = srk[static_cast<std::size_t>(k)].col(j);
      const double* st = stk[static_cast<std::size_t>(k)].col(j);
      for (int i = 0; i < nmu; ++i) {
        rho[i] += f * sr[i];
        tau[i] += f * st[i];
      }
    }
    if (j < nmu || l == 0) tau[j - 1] -= 1.0 / rs.cgrid.fmu(j);
  }
}

void mode_component_sums(const RunState& rs, int l, ComponentSums& stk, ComponentSums& srk) {
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    unit_sums(rs, l, rs.pf.pt[kk], rs.pf.pr[kk], stk[kk], srk[kk]);
  }
}

void rhotau_reset(RunState& rs) {
  rs.sol.crhotau.valid = false;
  rs.sol.crhotau.sums_l = -1;
}

void rhotau(RunState& rs, int l, double zeta, double z) {
  const double depth = (rs.cmisc.iop == 1) ? zeta : z;
  const IopValues v = abscat(rs, depth, rs.cmisc.wavenm, rs.cmisc.ncomp);
  const double c = v.atot + v.btot;
  const double w0 = (c > 0.0) ? v.btot / c : 0.0;
  double wk[mxcomp + 1] = {};
  if (v.btot >= 1.0e-6)
    for (int k = 1; k <= rs.cmisc.ncomp; ++k) wk[k] = v.b[k] / v.btot;
  if (cache_hit(rs, l, w0, wk)) return;
  RhoTau& ct = rs.sol.crhotau;
  if (ct.sums_l != l || phase_varies_with_depth(rs)) component_sums(rs, l);
  combine(rs, l, w0, wk);
  ct.valid = true;
  ct.l_cached = l;
  ct.w0_cached = w0;
  std::copy(wk, wk + mxcomp + 1, ct.wk_cached);
  ++rs.sol.counters.nrhotau;
}

// ---------------------------------------------------------------------------
// Derivative routine. The state vector holds R (and T) packed with leading
// dimension nmu, then the source vectors:
//   pass 1: [R, T, S1, S2];  passes 2 and 3: [R, S].

namespace {

// The products below run column by column (out(:,j) += A(:,k) * B(k,j)) so
// that the inner loops are contiguous. Coefficient matrices have leading
// dimension mxmu, state matrices leading dimension n.

// out(:,j) = sign * (init(:,j) + A1 B1(:,j) + A2 B2(:,j)), A2 may be null.
void column_products(const double* init, int ldi, const double* a1, int lda1, const double* b1, int ldb1,
                     const double* a2, int lda2, const double* b2, int ldb2, double* out, int ldo, int n,
                     double sign) {
  double acc[mxmu];
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) acc[i] = init ? init[i + j * ldi] : 0.0;
    for (int k = 0; k < n; ++k) {
      const double s1 = b1[k + j * ldb1];
      const double* c1 = a1 + k * lda1;
      for (int i = 0; i < n; ++i) acc[i] += c1[i] * s1;
      if (a2 == nullptr) continue;
      const double s2 = b2[k + j * ldb2];
      const double* c2 = a2 + k * lda2;
      for (int i = 0; i < n; ++i) acc[i] += c2[i] * s2;
    }
    for (int i = 0; i < n; ++i) out[i + j * ldo] = sign * acc[i];
  }
}

// W = tauhat + rhohat R.
void form_w(RhoTau& c, const double* R, int n) {
  column_products(c.tauhat.data(), mxmu, c.rhohat.data(), mxmu, R, n, nullptr, 0, nullptr, 0, c.w.data(), mxmu, n,
                  1.0);
}

// dR = sign * (rhohat + tauhat R + R W).
void riccati_rhs(const RhoTau& c, const double* R, double* dR, int n, double sign) {
  column_products(c.rhohat.data(), mxmu, c.tauhat.data(), mxmu, R, n, R, n, c.w.data(), mxmu, dR, n, n, sign);
}

// dT = T W.
void transmittance_rhs(const RhoTau& c, const double* T, double* dT, int n) {
  column_products(nullptr, 0, T, n, c.w.data(), mxmu, nullptr, 0, nullptr, 0, dT, n, n, 1.0);
}

// Source vector: dS(i) = sign * (S W + sa + sb R)(i), with sa, sb 1-based sigma vectors.
void source_rhs(const RhoTau& c, const double* R, const double* S, const VecD& sa, const VecD& sb, double* dS, int n,
                double sign) {
  for (int i = 1; i <= n; ++i) {
    double acc = sa(i);
    for (int k = 1; k <= n; ++k) acc += S[k - 1] * c.w(k, i) + sb(k) * R[(k - 1) + (i - 1) * n];
    dS[i - 1] = sign * acc;
  }
}

}  // namespace

void drtdzs(RunState& rs, int l, int pass, double zeta, const double* y, double* dy) {
  Misc& m = rs.cmisc;
  const int n = rs.sol.crhotau.nact;
  ++rs.sol.counters.nderiv;
  ++rs.sol.counters.nderiv_pass[pass & 3];
  if (m.iop != 1) m.zcur = z_of_zeta(rs, zeta);
  const double z = (m.iop == 1) ? zeta : m.zcur;
  rhotau(rs, l, zeta, z);
  const bool src = m.nsource != 0;
  if (src) sumshat(rs, l, z, zeta);
  RhoTau& c = rs.sol.crhotau;
  const std::array<VecD, 5>& sg = rs.src.sigma;
  const int n2 = n * n;
  form_w(c, y, n);
  if (pass == 1) {
    riccati_rhs(c, y, dy, n, 1.0);
    transmittance_rhs(c, y + n2, dy + n2, n);
    if (src) {
      source_rhs(c, y, y + 2 * n2, sg[3], sg[1], dy + 2 * n2, n, 1.0);
      source_rhs(c, y, y + 2 * n2 + n, sg[4], sg[2], dy + 2 * n2 + n, n, 1.0);
    }
    return;
  }
  riccati_rhs(c, y, dy, n, -1.0);
  if (!src) return;
  // Upward passes: dS = -(sigma_a + S W + sigma_b R) with (sigma1, sigma3) in pass 2 and (sigma2, sigma4) in pass 3.
  const bool p2 = (pass == 2);
  source_rhs(c, y, y + n2, p2 ? sg[1] : sg[2], p2 ? sg[3] : sg[4], dy + n2, n, -1.0);
}

// ---------------------------------------------------------------------------
// Integration

namespace {

// What the right-hand side needs besides the state: the run, the mode and the pass.
struct OdeContext {
  RunState* rs;
  int l, pass;
};

int gsl_rhs(double t, const double y[], double dydt[], void* params) {
  const auto* ctx = static_cast<const OdeContext*>(params);
  drtdzs(*ctx->rs, ctx->l, ctx->pass, t, y, dydt);
  return GSL_SUCCESS;
}

// A GSL multistep Adams integrator for one pass. gsl_odeiv2_driver_apply never
// steps beyond its target depth, so the solution is exact at every grid depth.
class Pass {
 public:
  // scale: per-component weights of the absolute tolerance (empty: all 1).
  Pass(RunState& rs, int l, int passno, std::size_t neqn, double direction, const std::vector<double>& scale = {})
      : ctx_{&rs, l, passno}, sys_{gsl_rhs, nullptr, neqn, &ctx_} {
    // GSL's default handler aborts the process; its status codes are checked here instead.
    gsl_set_error_handler_off();
    // The error is held relative to the operators' size: an absolute tolerance
    // of the run's 1e-3 would leave radiances of that size and below barely
    // controlled, and the answer would change with the requested depths.
    const double abserr = std::min(rs.cmisc.abserr, 1.0e-3 * rs.cmisc.relerr);
    if (scale.empty()) {
      drv_ = gsl_odeiv2_driver_alloc_y_new(&sys_, gsl_odeiv2_step_msadams, direction * 1.0e-3, abserr,
                                           rs.cmisc.relerr);
    } else {
      drv_ = gsl_odeiv2_driver_alloc_scaled_new(&sys_, gsl_odeiv2_step_msadams, direction * 1.0e-3, abserr,
                                                rs.cmisc.relerr, 1.0, 0.0, scale.data());
    }
    if (drv_ == nullptr) herr("riccati", "could not allocate the ODE integrator");
  }
  ~Pass() { gsl_odeiv2_driver_free(drv_); }
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;

  void advance(double& t, double tout, double* y) {
    gsl_odeiv2_driver_set_nmax(drv_, budget_.next_limit());
    const int status = gsl_odeiv2_driver_apply(drv_, &t, tout, y);
    budget_.charge(drv_->n);
    if (status == GSL_SUCCESS) return;
    const Misc& m = ctx_.rs->cmisc;
    const int l = ctx_.l;
    if (status == GSL_EMAXITER) herr("riccati", step_budget_message(m.jwave, m.wavenm, l, ctx_.pass, t, tout));
    herr("riccati", "integration of the Riccati equations failed (GSL status " + std::to_string(status) + ": " +
                        gsl_strerror(status) + ") for mode l = " + std::to_string(l) + " at optical depth " +
                        std::to_string(t) + " on the way to " + std::to_string(tout));
  }

 private:
  OdeContext ctx_;
  StepBudget budget_;
  gsl_odeiv2_system sys_;
  gsl_odeiv2_driver* drv_ = nullptr;
};

// Absolute-tolerance weights of a state vector [operators (nops values), source
// vectors]: the source vectors are usually many orders of magnitude smaller
// than the operators, so their absolute tolerance is scaled by the size of the
// sources of the mode (the largest source amplitude over the grid depths).
std::vector<double> tolerance_scale(RunState& rs, int l, std::size_t nops, std::size_t nsrc) {
  if (nsrc == 0) return {};
  double big = 0.0;
  for (int k = 1; k <= rs.cmisc.nz; ++k) {
    sumshat(rs, l, rs.cgrid.z(k), rs.cgrid.zeta(k));
    for (int i = 1; i <= 4; ++i)
      for (int u = 1; u <= rs.cmisc.nmu; ++u) big = std::max(big, std::fabs(rs.src.sigma[static_cast<std::size_t>(i)](u)));
  }
  std::vector<double> scale(nops + nsrc, 1.0);
  if (big > 0.0 && big < 1.0) std::fill(scale.begin() + static_cast<std::ptrdiff_t>(nops), scale.end(), big);
  return scale;
}

// Copies an n x n matrix packed with leading dimension n into a block (n <= its order).
void unpack(const double* y, Blk b, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) b(i, j) = y[(i - 1) + (j - 1) * n];
}

void pack(CBlk b, double* y, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) y[(i - 1) + (j - 1) * n] = b(i, j);
}

void store_down(ModeOps& m, int k, const double* y, int n, int nmu) {
  const int n2 = n * n;
  unpack(y, m.Rzw(k), n);
  unpack(y + n2, m.Twz(k), n);
  if (n < nmu) m.Twz(k)(nmu, nmu) = 1.0;  // the cap of a mode l > 0 is not integrated: T keeps its start value
  if (!m.with_sources) return;
  std::copy(y + 2 * n2, y + 2 * n2 + n, m.S1d(k));
  std::copy(y + 2 * n2 + n, y + 2 * n2 + 2 * n, m.S2d(k));
}

void store_up(ModeOps& m, int k, const double* y, int n, int pass) {
  unpack(y, pass == 2 ? m.Rzm(k) : m.Rzm2(k), n);
  if (m.with_sources) std::copy(y + n * n, y + n * n + n, pass == 2 ? m.S1u(k) : m.S2u(k));
}

void downward_pass(RunState& rs, int l, ModeOps& m) {
  const int n = rs.sol.crhotau.nact, nz = rs.cmisc.nz;
  const bool src = rs.cmisc.nsource != 0;
  std::vector<double> y(static_cast<std::size_t>(2 * n * n + (src ? 2 * n : 0)), 0.0);
  for (int i = 0; i < n; ++i) y[static_cast<std::size_t>(n * n + i + i * n)] = 1.0;  // T = I
  store_down(m, 1, y.data(), n, rs.cmisc.nmu);
  if (nz < 2) return;
  Pass pass(rs, l, 1, y.size(), 1.0, tolerance_scale(rs, l, static_cast<std::size_t>(2 * n * n), static_cast<std::size_t>(src ? 2 * n : 0)));
  double t = rs.cgrid.zeta(1);
  for (int k = 1; k < nz; ++k) {
    const double delta = rs.cgrid.zeta(k + 1) - rs.cgrid.zeta(k);
    const int ns = nsubsteps(delta, rs.cmisc.dzetamax);
    const double h = delta / ns;
    for (int i = 1; i <= ns; ++i) {
      const double tout = (i == ns) ? rs.cgrid.zeta(k + 1) : t + h;
      pass.advance(t, tout, y.data());
      ++rs.sol.counters.nsolver_calls;
    }
    store_down(m, k + 1, y.data(), n, rs.cmisc.nmu);
  }
}

// Upward pass 2 (cosine amplitudes) or 3 (sine amplitudes), started from R0 at the deepest depth.
void upward_pass(RunState& rs, int l, ModeOps& m, int passno, bool start_from_bottom) {
  const int n = rs.sol.crhotau.nact, nz = rs.cmisc.nz;
  const bool src = rs.cmisc.nsource != 0;
  std::vector<double> y(static_cast<std::size_t>(n * n + (src ? n : 0)), 0.0);
  if (start_from_bottom) pack(CBlk{rs.bot.cbotbc.data(), rs.bot.cbotbc.ld()}, y.data(), n);
  store_up(m, nz, y.data(), n, passno);
  if (nz < 2) return;
  Pass pass(rs, l, passno, y.size(), -1.0, tolerance_scale(rs, l, static_cast<std::size_t>(n * n), static_cast<std::size_t>(src ? n : 0)));
  double t = rs.cgrid.zeta(nz);
  for (int k = nz - 1; k >= 1; --k) {
    const double tout = rs.cgrid.zeta(k);  // = t - (zeta(k+1) - zeta(k)) without round-off drift
    pass.advance(t, tout, y.data());
    ++rs.sol.counters.nsolver_calls;
    store_up(m, k, y.data(), n, passno);
  }
}

}  // namespace

namespace {

bool all_zero(const Mat& m, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      if (m(i, j) != 0.0) return false;
  return true;
}

// Pass 3 without integrating: its start values at every depth (modes without
// sine amplitudes, whose pass-3 results are never used), or, without internal
// sources, a copy of pass 2 when both passes start from the same operator (the
// equations are the same). Sources have sine halves of their own.
void pass3_from_start(ModeOps& m, int nz) {
  for (int k = 1; k <= nz; ++k) std::fill(m.Rzm2(k).p, m.Rzm2(k).p + m.block(), 0.0);
  std::fill(m.s2u.begin(), m.s2u.end(), 0.0);
}

void pass3_from_pass2(ModeOps& m) {
  m.sine_shares_rzm = true;  // Rzm2 reads the pass-2 operators
  m.s2u = m.s1u;
}

}  // namespace

void riccati(RunState& rs, int l) {
  const int nz = rs.cmisc.nz;
  if (static_cast<int>(rs.sol.modes.size()) <= l) rs.sol.modes.resize(static_cast<std::size_t>(l) + 1);
  ModeOps& m = rs.sol.modes[static_cast<std::size_t>(l)];
  m.resize(nz, rs.cmisc.nmu, rs.cmisc.nsource != 0);
  rhotau_reset(rs);  // new band or mode: the phase functions may have changed
  rs.sol.crhotau.nact = (l == 0) ? rs.cmisc.nmu : rs.cmisc.nmu - 1;
  if (l == 0) check_integration_span(rs);
  downward_pass(rs, l, m);
  upward_pass(rs, l, m, 2, true);
  // The sine amplitudes see the bottom operator only for an infinitely deep
  // water column and the modes that have sine amplitudes; a reflecting bottom
  // starts them from zero.
  const bool has_sine = (l != 0 && l != rs.cmisc.lmax);
  const bool sine_bottom = has_sine && rs.cmisc.ibotm == 0;
  m.sine_shares_rzm = false;
  if (!has_sine) {
    pass3_from_start(m, nz);
  } else if (rs.cmisc.nsource == 0 && (sine_bottom || all_zero(rs.bot.cbotbc, rs.cmisc.nmu))) {
    pass3_from_pass2(m);
  } else {
    upward_pass(rs, l, m, 3, sine_bottom);
  }
}

}  // namespace abyss
