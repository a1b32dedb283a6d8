// Radiance amplitudes. The sky enters through the surface operators; the
// water column below the surface is described, per Fourier mode, by the
// reflectances and transmittances of the Riccati passes. With row-vector
// amplitudes Ld (downward) and Lu (upward):
//   just below the surface  Ld = sky that(a,w) + Lu rhat(w,a),  Lu = Ld R(w,m) [+ S],
//   at depth zeta           Ld = Ld(w) T(w,zeta) + Lu R(zeta,w) [+ S],  Lu = Ld R(zeta,m) [+ S],
//   in air                  Lu(a) = sky rhat(a,w) + Lu(w) that(w,a).
#include "solver/amplitudes.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "control/run_options.hpp"
#include "solver/linsolve.hpp"
#include "solver/mode_threads.hpp"
#include "solver/sun_beam.hpp"

namespace abyss {

void matxmat(const double* a, const double* b, int l, int m, int n, int lda, int ldb, double* c, int ldc) {
  for (int j = 0; j < n; ++j) {
    double* cj = c + static_cast<std::size_t>(j) * ldc;
    std::fill(cj, cj + l, 0.0);
    for (int k = 0; k < m; ++k) {
      const double bkj = b[k + static_cast<std::size_t>(j) * ldb];
      if (bkj == 0.0) continue;
      const double* ak = a + static_cast<std::size_t>(k) * lda;
      for (int i = 0; i < l; ++i) cj[i] += ak[i] * bkj;
    }
  }
}

void vecxmat(const double* v, const double* mat, int m, int n, int ldm, double* w) {
  for (int i = 0; i < n; ++i) {
    const double* col = mat + static_cast<std::size_t>(i) * ldm;
    double acc = 0.0;
    for (int j = 0; j < m; ++j) acc += v[j] * col[j];
    w[i] = acc;
  }
}

namespace {

// ---------------------------------------------------------------------------
// Direct amplitudes

// Fourier analysis in azimuth of the sky radiance of mu band u into the
// cosine (v[l*nmu+u]) and sine (v[N+l*nmu+u]) amplitudes; 0-based offsets.
void sky_fourier(const RunState& rs, int u, double* v) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi, lmax = rs.cmisc.lmax, nn = rs.cmisc.nhat;
  for (int l = 0; l <= lmax; ++l) {
    double cs = 0.0, sn = 0.0;
    for (int s = 1; s <= nphi; ++s) {
      const double ang = l * rs.cgridphi.phi(s);
      cs += std::cos(ang) * rs.sky.radsky(u, s);
      sn += std::sin(ang) * rs.sky.radsky(u, s);
    }
    const bool edge = (l == 0 || l == lmax);
    const double norm = edge ? 1.0 / nphi : 1.0 / lmax;
    v[l * nmu + u - 1] = cs * norm;
    v[nn + l * nmu + u - 1] = edge ? 0.0 : sn * norm;
  }
}

// Row vector (cosine half then sine half) times the surface operators of the
// two halves: out = [v_c * M(cos), v_s * M(sin)].
void times_surface(const RunState& rs, const double* v, int slot_cos, double* out) {
  const int nn = rs.cmisc.nhat;
  vecxmat(v, rs.surf.slot[slot_cos].data(), nn, nn, mxhat, out);
  vecxmat(v + nn, rs.surf.slot[slot_cos + 1].data(), nn, nn, mxhat, out + nn);
}

}  // namespace

void amp0a(RunState& rs) {
  const int nmu = rs.cmisc.nmu, nn = rs.cmisc.nhat, nz = rs.cmisc.nz;
  Mat& a0 = rs.sol.cramp0;
  a0.zero_block(2 * nn, nz + 2);
  double* sky = a0.col(1);
  for (int u = 1; u < nmu; ++u) sky_fourier(rs, u, sky);
  sky[nmu - 1] = rs.sky.radsky(nmu, 1);  // the polar cap has only the mode-0 amplitude
  sky_entering_water(rs);
  times_surface(rs, rs.sol.sky_in.data(), 0, a0.col(2));
  // Unscattered light decays along its path: exp(-(zeta - zeta(1))/mu) in every quad.
  for (int k = 2; k <= nz; ++k) {
    const double dz = rs.cgrid.zeta(k) - rs.cgrid.zeta(1);
    const double* top = a0.col(2);
    double* out = a0.col(k + 1);
    for (int e = 0; e < 2 * nn; ++e) out[e] = top[e] * std::exp(-dz / rs.cgrid.fmu(e % nmu + 1));
  }
}

// ---------------------------------------------------------------------------
// Just below the surface

namespace {

using BlockOf = Blk (ModeOps::*)(int);

// Block-diagonal N x N (leading dimension mxhat) matrix of the per-mode operators at depth k.
void block_diagonal(RunState& rs, BlockOf which, int k, Mat& out) {
  const int nmu = rs.cmisc.nmu;
  out.zero_block(rs.cmisc.nhat, rs.cmisc.nhat);
  for (int l = 0; l <= rs.cmisc.lmax; ++l) {
    const Blk b = (rs.sol.modes[static_cast<std::size_t>(l)].*which)(k);
    for (int j = 1; j <= nmu; ++j)
      for (int i = 1; i <= nmu; ++i) out(l * nmu + i, l * nmu + j) = b(i, j);
  }
}

// Source vectors of one half at depth k, gathered over the modes into an N-vector.
void gather_source(RunState& rs, double* (ModeOps::*which)(int), int k, std::vector<double>& out) {
  const int nmu = rs.cmisc.nmu;
  out.assign(static_cast<std::size_t>(rs.cmisc.nhat), 0.0);
  for (int l = 0; l <= rs.cmisc.lmax; ++l) {
    const double* s = (rs.sol.modes[static_cast<std::size_t>(l)].*which)(k);
    std::copy(s, s + nmu, out.begin() + l * nmu);
  }
}

// Inverse (I - A B) of order n, A and B with leading dimension ld, into inv
// with leading dimension ldinv; returns the solver indicator.
int i_minus_inverse(const double* a, const double* b, int n, int ld, double* inv, int ldinv) {
  std::vector<double> m(static_cast<std::size_t>(n) * n);
  matxmat(a, b, n, n, n, ld, ld, m.data(), n);
  for (double& e : m) e = -e;
  for (int i = 0; i < n; ++i) m[static_cast<std::size_t>(i) * (n + 1)] += 1.0;
  return lu_inverse(m.data(), n, n, inv, ldinv);
}

// The same with all leading dimensions ld; reports a failed inverse with the
// given message numbers and returns the indicator.
int inverse_i_minus(const double* a, const double* b, int n, int ld, double* inv, RunState& rs, const char* first,
                    const char* from) {
  const int ind = i_minus_inverse(a, b, n, ld, inv, ld);
  if (ind < 0) report_sgefs(rs.pr(), first, from, ind);
  return ind;
}

void add_to(std::vector<double>& acc, const std::vector<double>& v) {
  for (std::size_t i = 0; i < acc.size(); ++i) acc[i] += v[i];
}

// True when the operator `m` (nn x nn, leading dimension mxhat) keeps the
// Fourier modes apart: its elements outside the nmu x nmu mode blocks vanish
// to rounding. A surface whose slope statistics do not depend on azimuth
// gives such operators (the coupling left is at the 1e-15 level of the file's
// numbers), and then (I - Rw rhat) is block-diagonal too, since Rw is.
bool keeps_modes_apart(const Mat& m, int nmu, int nn) {
  double inside = 0.0, outside = 0.0;
  for (int j = 1; j <= nn; ++j)
    for (int i = 1; i <= nn; ++i) {
      double& slot = (i - 1) / nmu == (j - 1) / nmu ? inside : outside;
      slot = std::max(slot, std::fabs(m(i, j)));
    }
  return outside <= 1e-12 * inside;
}

// y = x (I - A B)^-1 for the row vector x of order nn, where A is block-diagonal
// with nmu x nmu mode blocks and B keeps the modes apart: one small inverse per
// mode instead of one of order nn. Reports a failed inverse once, with the
// worst indicator.
void solve_mode_blocks(RunState& rs, const Mat& a, const Mat& b, int nmu, int nn, const double* x, double* y) {
  std::vector<double> inv(static_cast<std::size_t>(nmu) * nmu);
  int worst = 0;
  bool failed = false;
  for (int off = 0; off < nn; off += nmu) {
    const std::size_t at = off + static_cast<std::size_t>(off) * mxhat;
    const int ind = i_minus_inverse(a.data() + at, b.data() + at, nmu, mxhat, inv.data(), nmu);
    if (ind < 0 && (!failed || ind < worst)) worst = ind, failed = true;
    vecxmat(x + off, inv.data(), nmu, nmu, nmu, y + off);
  }
  if (failed) report_sgefs(rs.pr(), "first", "AMPW", worst);
}

// One half (cosine h = 0, sine h = 1) of the amplitudes just below the surface:
// Ld = (a + Su rhat) (I - Rw rhat)^-1, a = sky that, and then Lu = Ld Rw + Su,
// which is Lu = (a Rw + Su) (I - rhat Rw)^-1 without a second inverse.
void ampw_half(RunState& rs, int h, const Mat& rw, const std::vector<double>* su) {
  const int nn = rs.cmisc.nhat;
  const Mat& that = rs.surf.slot[static_cast<std::size_t>(h)];
  const Mat& rhat = rs.surf.slot[static_cast<std::size_t>(2 + h)];
  std::vector<double> b(nn), tmp(nn);
  vecxmat(rs.sol.sky_in.data() + h * nn, that.data(), nn, nn, mxhat, b.data());
  if (su != nullptr) {
    vecxmat(su->data(), rhat.data(), nn, nn, mxhat, tmp.data());
    add_to(b, tmp);
  }
  double* down = rs.sol.cramp_down.col(3) + h * nn;
  double* up = rs.sol.cramp_up.col(1) + h * nn;
  if (keeps_modes_apart(rhat, rs.cmisc.nmu, nn)) {
    solve_mode_blocks(rs, rw, rhat, rs.cmisc.nmu, nn, b.data(), down);
  } else {
    Mat p(mxhat, nn);
    inverse_i_minus(rw.data(), rhat.data(), nn, mxhat, p.data(), rs, "first", "AMPW");
    vecxmat(b.data(), p.data(), nn, nn, mxhat, down);
  }
  vecxmat(down, rw.data(), nn, nn, mxhat, up);
  if (su == nullptr) return;
  for (int i = 0; i < nn; ++i) up[i] += (*su)[static_cast<std::size_t>(i)];
}

}  // namespace

void ampw(RunState& rs) {
  rs.sol.cramp_down.zero_block(2 * rs.cmisc.nhat, rs.cmisc.nz + 2);
  rs.sol.cramp_up.zero_block(2 * rs.cmisc.nhat, rs.cmisc.nz);
  const bool src = has_internal_light(rs);
  Mat rw(mxhat, rs.cmisc.nhat);
  std::vector<double> su;
  block_diagonal(rs, &ModeOps::Rzm, 1, rw);
  if (src) gather_source(rs, &ModeOps::S1u, 1, su);
  ampw_half(rs, 0, rw, src ? &su : nullptr);
  block_diagonal(rs, &ModeOps::Rzm2, 1, rw);
  if (src) gather_source(rs, &ModeOps::S2u, 1, su);
  ampw_half(rs, 1, rw, src ? &su : nullptr);
}

// ---------------------------------------------------------------------------
// At depth

namespace {

struct HalfOps {
  Blk rzm;
  const double* sd;  // downward-pass source vector (null without sources)
  const double* su;  // upward-pass source vector
};

// The system (I - R(zeta,m) R(zeta,w)) of mode l at depth k, ready for the
// solves Ld = rhs (I - R(zeta,m) R(zeta,w))^-1 of its halves. With the product
// X = R(zeta,m) R(zeta,w) of 1-norm below 0.99 the matrix is well conditioned
// (condition number at most (1 + |X|) / (1 - |X|) < 200) and its LU factors
// serve the solves. Otherwise its inverse is formed with its exact condition
// number, which decides, as before, whether the system is singular.
struct DepthSystem {
  int n = 0;
  bool factored = false;  // a: LU factors and piv; else a: the inverse
  double a[kBlk];
  int piv[mxmu];
  double work[kBlk];  // I - R(zeta,m) R(zeta,w) for the inverse, which overwrites its input
};

// Returns the indicator of the inverse when it was formed (-10: singular), else 0.
int prepare_depth_system(int n, ModeOps& m, int k, Blk rzm, DepthSystem& ds) {
  ds.n = n;
  // I - X into dst, and whether |X|_1 < 0.99.
  const auto i_minus_x = [&](double* dst) {
    matxmat(rzm.p, m.Rzw(k).p, n, n, n, m.nmu, m.nmu, dst, n);
    const bool well_conditioned = one_norm(dst, n, n) < 0.99;
    for (int i = 0; i < n * n; ++i) dst[i] = -dst[i];
    for (int i = 0; i < n; ++i) dst[i * (n + 1)] += 1.0;
    return well_conditioned;
  };
  ds.factored = false;
  if (!i_minus_x(ds.a)) {
    std::copy(ds.a, ds.a + n * n, ds.work);
    return lu_inverse(ds.work, n, n, ds.a, n);
  }
  ds.factored = small_lu_factor(ds.a, n, n, ds.piv);
  if (ds.factored) return 0;
  i_minus_x(ds.work);  // a zero pivot, not expected of such a matrix: the inverse decides
  return lu_inverse(ds.work, n, n, ds.a, n);
}

// x = rhs (I - R(zeta,m) R(zeta,w))^-1.
void solve_depth_system(const DepthSystem& ds, const double* rhs, double* x) {
  if (!ds.factored) {
    vecxmat(rhs, ds.a, ds.n, ds.n, ds.n, x);
    return;
  }
  std::copy(rhs, rhs + ds.n, x);
  small_lu_solve_row(ds.a, ds.n, ds.n, ds.piv, x);
}

// Mode l, depth k, one half: Ld = (Ld(w) T + Sd + Su R(zeta,w)) (I - R(zeta,m) R(zeta,w))^-1
// and Lu = Ld R(zeta,m) + Su, with the system ds prepared.
void ampzeta_mode(RunState& rs, ModeOps& m, int k, const HalfOps& op, const DepthSystem& ds, const double* ldw,
                  double* ld, double* lu) {
  const int n = rs.cmisc.nmu;
  double rhs[mxmu], tmp[mxmu];
  vecxmat(ldw, m.Twz(k).p, n, n, m.nmu, rhs);
  if (op.sd != nullptr) {
    vecxmat(op.su, m.Rzw(k).p, n, n, m.nmu, tmp);
    for (int i = 0; i < n; ++i) rhs[i] += op.sd[i] + tmp[i];
  }
  solve_depth_system(ds, rhs, ld);
  vecxmat(ld, op.rzm.p, n, n, m.nmu, lu);
  if (op.su != nullptr)
    for (int i = 0; i < n; ++i) lu[i] += op.su[i];
}


// Mode l's amplitudes at every depth below the surface (its rows of the
// amplitude columns); returns the indicator of a singular depth system (-10),
// else 0, stopping at the first.
int ampzeta_of_mode(RunState& rs, int l, bool src) {
  const int nmu = rs.cmisc.nmu, nn = rs.cmisc.nhat, lmax = rs.cmisc.lmax;
  Mat& dn = rs.sol.cramp_down;
  Mat& up = rs.sol.cramp_up;
  ModeOps& m = rs.sol.modes[static_cast<std::size_t>(l)];
  const int off = l * nmu;
  DepthSystem ds;
  for (int k = 2; k <= rs.cmisc.nz; ++k) {
    const HalfOps cos_ops{m.Rzm(k), src ? m.S1d(k) : nullptr, src ? m.S1u(k) : nullptr};
    if (const int ind = prepare_depth_system(nmu, m, k, cos_ops.rzm, ds); ind < 0) return ind;
    ampzeta_mode(rs, m, k, cos_ops, ds, dn.col(3) + off, dn.col(k + 2) + off, up.col(k) + off);
    if (l == 0 || l == lmax) continue;  // these modes have no sine amplitudes
    const HalfOps sin_ops{m.Rzm2(k), src ? m.S2d(k) : nullptr, src ? m.S2u(k) : nullptr};
    if (!m.sine_shares_rzm)
      if (const int ind = prepare_depth_system(nmu, m, k, sin_ops.rzm, ds); ind < 0) return ind;
    ampzeta_mode(rs, m, k, sin_ops, ds, dn.col(3) + nn + off, dn.col(k + 2) + nn + off, up.col(k) + nn + off);
  }
  return 0;
}

}  // namespace

// The modes are independent below the surface: each writes its own rows of the
// amplitude columns, on the run's threads. A singular system is reported for
// the lowest mode that meets one, as a serial solve would.
void ampzeta(RunState& rs) {
  const bool src = has_internal_light(rs);
  const int nmode = rs.cmisc.lmax + 1;
  std::vector<int> ind(static_cast<std::size_t>(nmode), 0);
  for_each_mode(nmode, worker_threads(rs.opts.threads),
                [&](int l) { ind[static_cast<std::size_t>(l)] = ampzeta_of_mode(rs, l, src); });
  for (const int i : ind)
    if (i < 0) {
      report_sgefs(rs.pr(), "first", "AMPzeta", i);
      herr("AMPzeta", "SGEFS returned ind = -10");
    }
}

// ---------------------------------------------------------------------------
// In air

void ampma(RunState& rs) {
  const int nn = rs.cmisc.nhat;
  SolverState& s = rs.sol;
  double* refl = s.air_parts.col(1);
  double* leaving = s.air_parts.col(2);
  times_surface(rs, s.cramp0.col(1), 6, refl);
  times_surface(rs, s.cramp_up.col(1), 4, leaving);
  std::copy(refl, refl + 2 * nn, s.cramp0.col(SolverState::kAirUp));
  std::copy(s.cramp0.col(1), s.cramp0.col(1) + 2 * nn, s.cramp_down.col(1));
  for (int e = 0; e < 2 * nn; ++e) s.cramp_down.col(2)[e] = refl[e] + leaving[e];
}

}  // namespace abyss
