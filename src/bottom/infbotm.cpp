// Infinitely deep water: the water below the deepest grid depth is taken as
// homogeneous with the IOPs of that depth. Its reflectance R for mode l is the
// stationary solution of the Riccati equation,
//   rhohat + tauhat R + R tauhat + R rhohat R = 0,
// found from the eigenvectors of H = [[-tauhat, rhohat], [-rhohat, tauhat]]:
// if the columns [E11; E21] span the invariant subspace of the n largest
// eigenvalues, R = -E21 E11^-1.
//
// The row vector of radiance amplitudes [Ld, Lu] obeys d[Ld, Lu]/dzeta =
// -[Ld, Lu] H, so at great depth it is dominated by the decaying mode of the
// smallest positive eigenvalue k_inf: its shape is the corresponding row of
// E^-1 and its attenuation k_inf per unit optical depth (K_inf = k_inf * c).
#include "bottom/infbotm.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "control/run_state.hpp"
#include "control/errors.hpp"
#include "solver/amplitudes.hpp"
#include "solver/lapack_errors.hpp"
#include "solver/linsolve.hpp"
#include "solver/riccati.hpp"
#include "util/fortran_format.hpp"

extern "C" void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr,
                       double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr, double* work,
                       const int* lwork, int* info);

namespace abyss {
namespace {

constexpr int kLd = 2 * mxmu;   // leading dimension of the eigen-work arrays
constexpr int kMxWork = 2040;   // least workspace of the eigen-solver

struct Eigen {
  int n = 0;                  // block order
  std::vector<double> vr;     // eigenvectors reordered, 2n columns, leading dimension kLd
  std::vector<double> lambda; // eigenvalues (real parts) reordered
};

std::vector<double> build_h(const RhoTau& c, int n) {
  std::vector<double> h(static_cast<std::size_t>(kLd) * kLd, 0.0);
  auto at = [&](int i, int j) -> double& { return h[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * kLd]; };
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      at(i, j) = -c.tauhat(i, j);
      at(i, j + n) = c.rhohat(i, j);
      at(i + n, j) = -c.rhohat(i, j);
      at(i + n, j + n) = c.tauhat(i, j);
    }
  return h;
}

// Eigenvalues sorted so that positions 1..n hold the n largest in increasing
// order and positions n+1..2n the n smallest in decreasing order.
// A non-finite coefficient (from non-finite IOPs or phase functions) would
// send the eigen-solver into undefined territory; stop with the cause.
void require_finite(const std::vector<double>& h, int n2, double z) {
  for (int j = 0; j < n2; ++j)
    for (int i = 0; i < n2; ++i)
      if (!std::isfinite(h[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * kLd]))
        herr("infbotm", "non-finite coefficient matrix of the deep water at z =" + ff::ld(z) +
                            " m; the IOPs or phase functions there are not finite");
}

Eigen eigen_ordered(RunState& rs, std::vector<double> h, int n) {
  const int n2 = 2 * n, ld = kLd;
  require_finite(h, n2, rs.cgrid.z(rs.cmisc.nz));
  std::vector<double> wr(static_cast<std::size_t>(n2)), wi(static_cast<std::size_t>(n2));
  std::vector<double> vr(static_cast<std::size_t>(kLd) * kLd), work(kMxWork);
  double vl = 0.0, optimal = 0.0;
  int one = 1, info = 0, query = -1;
  dgeev_("N", "V", &n2, h.data(), &ld, wr.data(), wi.data(), &vl, &one, vr.data(), &ld, &optimal, &query, &info);
  // The workspace grows to the solver's optimum, so the blocked algorithm always runs at full speed.
  int lwork = std::max(kMxWork, static_cast<int>(optimal));
  work.resize(static_cast<std::size_t>(lwork));
  dgeev_("N", "V", &n2, h.data(), &ld, wr.data(), wi.data(), &vl, &one, vr.data(), &ld, work.data(), &lwork, &info);
  if (info != 0) rs.pr() << " sub infbotm:  the eigen-solver returned info =" << ff::I(info, 5) << "\n";
  check_lapack("infbotm", "dgeev", info);
  std::vector<int> order(static_cast<std::size_t>(n2));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return wr[static_cast<std::size_t>(a)] < wr[static_cast<std::size_t>(b)]; });
  std::vector<int> pos(static_cast<std::size_t>(n2));
  for (int i = 0; i < n; ++i) {
    pos[static_cast<std::size_t>(i)] = order[static_cast<std::size_t>(n + i)];
    pos[static_cast<std::size_t>(n + i)] = order[static_cast<std::size_t>(n - 1 - i)];
  }
  Eigen e;
  e.n = n;
  e.vr.assign(vr.size(), 0.0);
  e.lambda.resize(static_cast<std::size_t>(n2));
  for (int j = 0; j < n2; ++j) {
    const int src = pos[static_cast<std::size_t>(j)];
    e.lambda[static_cast<std::size_t>(j)] = wr[static_cast<std::size_t>(src)];
    std::copy_n(vr.data() + static_cast<std::size_t>(src) * kLd, n2, e.vr.data() + static_cast<std::size_t>(j) * kLd);
  }
  return e;
}

// cbotbc = -E21 E11^-1 on the leading n x n block.
void reflectance_from(RunState& rs, const Eigen& e) {
  const int n = e.n;
  std::vector<double> e11(static_cast<std::size_t>(kLd) * n), inv(static_cast<std::size_t>(kLd) * n);
  for (int j = 0; j < n; ++j)
    std::copy_n(e.vr.data() + static_cast<std::size_t>(j) * kLd, n, e11.data() + static_cast<std::size_t>(j) * kLd);
  const int ind = lu_inverse(e11.data(), kLd, n, inv.data(), kLd);
  if (ind < 0) report_sgefs(rs.pr(), "first", "infbotm", ind);
  std::vector<double> r(static_cast<std::size_t>(kLd) * n);
  matxmat(e.vr.data() + n, inv.data(), n, n, n, kLd, kLd, r.data(), kLd);
  Mat& bc = rs.bot.cbotbc;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) bc(i, j) = -r[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * kLd];
}

// Shape of the slowest-decaying mode: row 1 of E^-1, normalized to the
// downward radiance of the polar cap.
void asymptotic_mode(RunState& rs, const Eigen& e) {
  const int n = e.n, n2 = 2 * n;
  std::vector<double> full(e.vr), inv(static_cast<std::size_t>(kLd) * n2);
  const int ind = lu_inverse(full.data(), kLd, n2, inv.data(), kLd);
  if (ind < 0) report_sgefs(rs.pr(), "third", "infbotm", ind);
  BottomState& b = rs.bot;
  b.kinf = e.lambda[0];
  const double norm = inv[static_cast<std::size_t>(n - 1) * kLd];  // E^-1(1, n): the cap, downward
  for (int u = 1; u <= n; ++u) {
    b.lasym_down(u) = inv[static_cast<std::size_t>(u - 1) * kLd] / norm;
    b.lasym_up(u) = inv[static_cast<std::size_t>(n + u - 1) * kLd] / norm;
  }
}

void print_asymptotic(RunState& rs) {
  const BottomState& b = rs.bot;
  std::ostream& p = rs.pr();
  p << "\n     The shape of the asymptotic radiance distribution\n"
    << "     (in the homogeneous water below the deepest depth; mode 0, normalized to the\n"
    << "      downward radiance in the polar cap)\n\n"
    << "     asymptotic attenuation  k_inf =" << ff::F(b.kinf, 9, 5) << " per unit optical depth,  K_inf ="
    << ff::F(b.kinf * rs.ciop.c_deep, 9, 5) << " 1/m\n\n"
    << "    iu   theta(deg)   L_down/L_down(cap)   L_up/L_down(cap)\n";
  for (int u = 1; u <= rs.cmisc.nmu; ++u)
    p << ff::I(u, 6) << ff::F(std::acos(rs.cgrid.fmu(u)) * rs.cmisc.raddeg, 13, 2) << ff::PE(b.lasym_down(u), 21, 5)
      << ff::PE(b.lasym_up(u), 19, 5) << "\n";
}

}  // namespace

void infbotm(RunState& rs, int l) {
  const int nz = rs.cmisc.nz;
  rhotau_reset(rs);
  rhotau(rs, l, rs.cgrid.zeta(nz), rs.cgrid.z(nz));
  const int n = (l == 0) ? rs.cmisc.nmu : rs.cmisc.nmu - 1;
  rs.bot.cbotbc.zero();  // for l > 0 the polar-cap row and column stay zero
  const Eigen e = eigen_ordered(rs, build_h(rs.sol.crhotau, n), n);
  reflectance_from(rs, e);
  if (l != 0) return;
  asymptotic_mode(rs, e);
  if (rs.cmisc.iprint >= 0) print_asymptotic(rs);
}

}  // namespace abyss
