#include "solver/slab_ops.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include "solver/adding.hpp"

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
                       double* work, const int* lwork, int* info);
extern "C" void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr,
                       double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr, double* work,
                       const int* lwork, int* info);

namespace abyss {

using dense::Sq;
using dense::Row;

namespace {

// Left eigenvectors (rows of E) and eigenvalues of A; false when an eigenvalue
// is not real and clearly positive, where the closed form loses its accuracy.
bool left_eigen(const Sq& A, Sq& E, Row& lambda) {
  const int n = A.n;
  Sq a = A, vl(n);
  Row wr(static_cast<std::size_t>(n)), wi(static_cast<std::size_t>(n));
  double vr = 0.0;
  int one = 1, info = 0, lwork = 8 * n + 64;
  Row work(static_cast<std::size_t>(lwork));
  dgeev_("V", "N", &n, a.data(), &n, wr.data(), wi.data(), vl.data(), &n, &vr, &one, work.data(), &lwork, &info);
  if (info != 0) return false;
  const double big = std::max(1e-300, dense::maxabs(wr));
  for (int i = 0; i < n; ++i)
    if (std::abs(wi[static_cast<std::size_t>(i)]) > 1e-12 * big || wr[static_cast<std::size_t>(i)] < 1e-7 * big) return false;
  E = dense::transposed(vl);
  lambda = wr;
  return true;
}

// Quad-averaged phase functions obey reciprocity to the accuracy of their
// angular integration: a few parts in 1e7 of the largest coefficient for
// Henyey-Greenstein functions, 3.6e-6 for the library's tabulated ones
// (pure water, Petzold). The symmetric problem is solved for the symmetric
// part and its solution then corrected to the matrices as they are (see
// correct_left_eigen), which holds for defects far beyond these: matrices
// further from reciprocity than kReciprocityTolerance take the general
// eigen-solver.
constexpr double kReciprocityTolerance = 1e-4;

// Reciprocity makes the coefficient matrices symmetric up to a diagonal
// similarity: with d_i^2 proportional to the quad's weight over its mu,
// D tauhat D^-1 and D rhohat D^-1 are symmetric. The diagonal is read off the
// matrices: d_j^2 = d_i^2 m_ij / m_ji from the pair (i < j, m one of tauhat,
// rhohat) of largest product m_ij m_ji, which couples bands i and j most
// strongly (a weak coupling, or one the Fourier mode makes change sign, gives
// the ratio poorly); empty when the matrices do not have that form.
Row symmetrizer(const Sq& tau, const Sq& rho) {
  const int n = tau.n;
  Row d(static_cast<std::size_t>(n), 1.0);
  for (int j = 1; j < n; ++j) {
    double best = 0.0, q = 1.0;
    int from = 0;
    bool opposite = false;  // a coupling whose two directions differ in sign
    for (const Sq* m : {&tau, &rho})
      for (int i = 0; i < j; ++i) {
        const double p = (*m)(i, j) * (*m)(j, i);
        opposite = opposite || p < 0.0 || ((*m)(i, j) == 0.0) != ((*m)(j, i) == 0.0);
        if (p > best) best = p, q = (*m)(i, j) / (*m)(j, i), from = i;
      }
    // A band coupled to none before it (no scattering) takes any scale: 1.
    if ((best == 0.0 && opposite) || !(q > 0.0) || !std::isfinite(q)) return {};
    d[static_cast<std::size_t>(j)] = d[static_cast<std::size_t>(from)] * std::sqrt(q);
  }
  for (const Sq* m : {&tau, &rho}) {
    const double scale = dense::maxabs(m->a);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < j; ++i) {
        const double sij = d[static_cast<std::size_t>(i)] * (*m)(i, j) / d[static_cast<std::size_t>(j)];
        const double sji = d[static_cast<std::size_t>(j)] * (*m)(j, i) / d[static_cast<std::size_t>(i)];
        if (std::abs(sij - sji) > kReciprocityTolerance * scale) return {};
      }
  }
  return d;
}

// The same eigen-solution by a symmetric problem, about twice as fast and
// with orthogonal eigenvectors. With S+ = -D(tauhat + rhohat)D^-1 and
// S- = -D(tauhat - rhohat)D^-1, symmetric, and S- = L L^T positive definite
// (attenuation exceeds scattering into every direction combination), A is
// similar to S+ S-, and L^T S+ L V = V K^2 gives the left eigenvectors of A as
// the rows of V^T L^T D. False where S- is not positive definite.
// The left eigen-solution of A from an approximate one (rows of E, close to
// eigenvectors to within the reciprocity defect): in the basis E the matrix
// B = E A E^-1 is diagonal to first order, and the rows of (I + C) E with
// C_ij = B_ij / (B_ii - B_jj) are eigenvectors to second order. The step is
// repeated until no |C_ij| exceeds kCorrectedShare, so what remains is below
// its square (1e-12); at most kCorrectionSteps steps (each one squares the
// largest |C_ij|). False where eigenvalues lie too close for the correction to
// be small: where some |B_ij| exceeds `reach` times the gap B_ii - B_jj.
constexpr double kCorrectedShare = 1e-6;
constexpr int kCorrectionSteps = 4;
bool correct_left_eigen(const Sq& A, Sq& E, Row& lambda, double reach = 1e-3, int steps = kCorrectionSteps) {
  const int n = A.n;
  for (int step = 0; step < steps; ++step) {
    const Sq B = dense::solve_right(dense::mul(E, A), E, "slab_medium");
    Sq Y = Sq::identity(n);
    double largest = 0.0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        if (i == j) continue;
        const double gap = B(i, i) - B(j, j);
        if (std::abs(B(i, j)) > reach * std::abs(gap)) return false;
        Y(i, j) = B(i, j) / gap;
        largest = std::max(largest, std::abs(Y(i, j)));
      }
    E = dense::mul(Y, E);
    for (int i = 0; i < n; ++i) lambda[static_cast<std::size_t>(i)] = B(i, i);
    if (largest <= kCorrectedShare) return true;
  }
  return false;
}

// In place, the lower factor L of a symmetric positive definite matrix
// (L L^T); false when it is not positive definite. (Written out: at these
// orders the library's recursive factorization costs more than the n^3 / 6
// operations.)
bool cholesky_lower(Sq& a) {
  const int n = a.n;
  for (int j = 0; j < n; ++j) {
    double djj = a(j, j);
    for (int k = 0; k < j; ++k) djj -= a(j, k) * a(j, k);
    if (!(djj > 0.0)) return false;
    const double ljj = std::sqrt(djj);
    a(j, j) = ljj;
    for (int i = j + 1; i < n; ++i) {
      double s = a(i, j);
      for (int k = 0; k < j; ++k) s -= a(i, k) * a(j, k);
      a(i, j) = s / ljj;
    }
    for (int i = 0; i < j; ++i) a(i, j) = 0.0;
  }
  return true;
}

// A = sum dif, the matrix the solution is corrected to.
bool left_eigen_symmetric(const Sq& sum, const Sq& dif, const Sq& A, const Row& d, Sq& E, Row& lambda) {
  const int n = sum.n;
  Sq sp(n), L(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double f = d[static_cast<std::size_t>(i)] / d[static_cast<std::size_t>(j)];
      const double fs = d[static_cast<std::size_t>(j)] / d[static_cast<std::size_t>(i)];
      sp(i, j) = -0.5 * (f * sum(i, j) + fs * sum(j, i));
      L(i, j) = -0.5 * (f * dif(i, j) + fs * dif(j, i));
    }
  if (!cholesky_lower(L)) return false;
  int info = 0;
  // C = L^T S+ L (symmetric); its eigenvectors overwrite it.
  Sq c = dense::mul(dense::mul(dense::transposed(L), sp), L);
  Row w(static_cast<std::size_t>(n));
  int lwork = 8 * n + 64;
  Row work(static_cast<std::size_t>(lwork));
  dsyev_("V", "U", &n, c.data(), &n, w.data(), work.data(), &lwork, &info);
  if (info != 0) return false;
  const double big = std::max(1e-300, dense::maxabs(w));
  for (double x : w)
    if (x < 1e-7 * big) return false;
  // Rows of V^T L^T D: E(i, j) = sum_k V(k, i) L(j, k) d_j.
  E = Sq(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0.0;
      for (int k = 0; k <= j; ++k) s += c(k, i) * L(j, k);
      E(i, j) = s * d[static_cast<std::size_t>(j)];
    }
  lambda = w;
  return correct_left_eigen(A, E, lambda);
}

// The eigen-solution from that of a nearby medium (the same mode, IOPs a
// slab away): its eigenvector rows E = P + Q are close to this medium's, so
// the correction steps converge from them, each squaring what is left: from
// couplings up to kNearbyReach of the eigenvalue gaps, four steps reach the
// same 1e-12 as the symmetric route's correction (in the Case 1 chlorophyll
// spectrum 97 % of the media start close enough, and the band solve takes 16 %
// less time; with the 1e-3 of the symmetric route's correction a third did).
// False where they do not converge, or an eigenvalue is not clearly positive:
// the medium then takes its own eigen-solution.
constexpr double kNearbyReach = 0.05;
constexpr int kNearbySteps = 6;

// Left eigenvector rows E = P + Q of a solved medium.
Sq eigen_rows(const SlabMedium& m) {
  Sq E = m.P;
  for (std::size_t e = 0; e < E.a.size(); ++e) E.a[e] += m.Q.a[e];
  return E;
}

// Whether the eigen-solutions of `near` and `before` pair up row by row (the
// same eigenvalue order, rows pointing the same way): true for a medium
// corrected from the other, false after a fresh solution, which orders its
// eigenvalues and signs its rows anew.
bool rows_pair_up(const SlabMedium& near, const SlabMedium& before, const Sq& En, const Sq& Eb) {
  const int n = near.n;
  for (int i = 0; i < n; ++i) {
    const double ki = near.k[static_cast<std::size_t>(i)], kb = before.k[static_cast<std::size_t>(i)];
    for (int j = 0; j < n; ++j)
      if (j != i && std::abs(near.k[static_cast<std::size_t>(j)] - kb) < std::abs(ki - kb)) return false;
    double dot = 0.0, nn = 0.0, nb = 0.0;
    for (int j = 0; j < n; ++j) {
      dot += En(i, j) * Eb(i, j);
      nn += En(i, j) * En(i, j);
      nb += Eb(i, j) * Eb(i, j);
    }
    if (!(dot > 0.9 * std::sqrt(nn * nb))) return false;
  }
  return true;
}

// The start extrapolated along the line through the two media solved before:
// along a profile the coefficients, and with them the eigenvectors, change
// smoothly, so E_near + t (E_near - E_before), with t the position of A on the
// line of the two media's matrices, leaves a coupling of second order in the
// step instead of first (one correction step fewer, each squaring it). None
// where the two do not pair up or A lies far off their line.
std::optional<Sq> extrapolated_rows(const Sq& A, const SlabMedium& near, const SlabMedium& before) {
  if (!before.eigen || before.n != near.n || before.A.n != A.n || near.A.n != A.n) return std::nullopt;
  double along = 0.0, span = 0.0;
  for (std::size_t e = 0; e < A.a.size(); ++e) {
    const double step = near.A.a[e] - before.A.a[e];
    along += (A.a[e] - near.A.a[e]) * step;
    span += step * step;
  }
  if (!(span > 0.0)) return std::nullopt;
  const double t = along / span;
  if (!(t > -1.0 && t < 2.0)) return std::nullopt;
  Sq En = eigen_rows(near);
  const Sq Eb = eigen_rows(before);
  if (!rows_pair_up(near, before, En, Eb)) return std::nullopt;
  for (std::size_t e = 0; e < En.a.size(); ++e) En.a[e] += t * (En.a[e] - Eb.a[e]);
  return En;
}

bool corrected_from(const Sq& A, Sq E0, Sq& E, Row& lambda) {
  E = std::move(E0);
  lambda.assign(static_cast<std::size_t>(A.n), 0.0);
  if (!correct_left_eigen(A, E, lambda, kNearbyReach, kNearbySteps)) return false;
  const double big = std::max(1e-300, dense::maxabs(lambda));
  for (double x : lambda)
    if (!(x > 1e-7 * big) || !std::isfinite(x)) return false;
  return true;
}

bool from_nearby(const Sq& A, const SlabMedium& near, const SlabMedium* before, Sq& E, Row& lambda) {
  if (before)
    if (auto start = extrapolated_rows(A, near, *before))
      if (corrected_from(A, std::move(*start), E, lambda)) return true;
  return corrected_from(A, eigen_rows(near), E, lambda);
}

// ---------------------------------------------------------------------------
// Doubling from a thin layer, for media without the closed form.

// exp(M h) of the 2n x 2n system by its Taylor series (M h is small).
std::vector<double> thin_propagator(const SlabMedium& m, double h) {
  const int n = m.n, n2 = 2 * n;
  std::vector<double> M(static_cast<std::size_t>(n2) * n2), phi(M.size(), 0.0), term(M.size(), 0.0), next(M.size());
  auto at = [&](std::vector<double>& v, int i, int j) -> double& { return v[static_cast<std::size_t>(i + j * n2)]; };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      at(M, i, j) = m.tau(i, j) * h;
      at(M, i, j + n) = -m.rho(i, j) * h;
      at(M, i + n, j) = m.rho(i, j) * h;
      at(M, i + n, j + n) = -m.tau(i, j) * h;
    }
  for (int i = 0; i < n2; ++i) at(phi, i, i) = at(term, i, i) = 1.0;
  for (int k = 1; k <= 14; ++k) {
    std::fill(next.begin(), next.end(), 0.0);
    for (int j = 0; j < n2; ++j)
      for (int p = 0; p < n2; ++p) {
        const double s = at(M, p, j) / k;
        for (int i = 0; i < n2; ++i) next[static_cast<std::size_t>(i + j * n2)] += term[static_cast<std::size_t>(i + p * n2)] * s;
      }
    term.swap(next);
    for (std::size_t e = 0; e < phi.size(); ++e) phi[e] += term[e];
  }
  return phi;
}

SlabRT doubling_rt(const SlabMedium& m, double h) {
  const int n = m.n;
  double norm = 0.0;
  for (int j = 0; j < n; ++j) {
    double col = 0.0;
    for (int i = 0; i < n; ++i) col += std::abs(m.tau(i, j)) + std::abs(m.rho(i, j));
    norm = std::max(norm, col);
  }
  int doublings = 0;
  double h0 = h;
  while (h0 * norm > 1.0 / 64.0 && doublings < 200) {
    h0 *= 0.5;
    ++doublings;
  }
  const std::vector<double> phi = thin_propagator(m, h0);
  const int n2 = 2 * n;
  Sq p11(n), p12(n), p21(n), p22(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      p11(i, j) = phi[static_cast<std::size_t>(i + j * n2)];
      p12(i, j) = phi[static_cast<std::size_t>(i + (j + n) * n2)];
      p21(i, j) = phi[static_cast<std::size_t>(i + n + j * n2)];
      p22(i, j) = phi[static_cast<std::size_t>(i + n + (j + n) * n2)];
    }
  SlabRT s{dense::solve_right(p12, p22, "slab_rt"), p11, {}, {}};
  for (double& x : s.r.a) x = -x;
  dense::gemm(s.r, p21, s.t, 1.0, 1.0);
  for (int d = 0; d < doublings; ++d) {
    const Sq y = interaction(s, s.r);  // (I - r r)^-1 t
    Sq rn = s.r;
    dense::gemm(dense::mul(s.t, s.r), y, rn, 1.0, 1.0);
    s.t = dense::mul(s.t, y);
    s.r = std::move(rn);
  }
  return s;
}

}  // namespace

SlabMedium slab_medium(const Sq& rho, const Sq& tau, const SlabMedium* near, const SlabMedium* before) {
  const int n = rho.n;
  SlabMedium m;
  m.n = n;
  m.rho = rho;
  m.tau = tau;
  Sq sum = tau, dif = tau;
  for (std::size_t e = 0; e < sum.a.size(); ++e) {
    sum.a[e] += rho.a[e];
    dif.a[e] -= rho.a[e];
  }
  Sq E;
  Row lambda;
  const Sq A = dense::mul(sum, dif);
  bool solved = near && near->eigen && near->n == n && from_nearby(A, *near, before, E, lambda);
  if (!solved) {
    const Row d = symmetrizer(tau, rho);
    solved = (!d.empty() && left_eigen_symmetric(sum, dif, A, d, E, lambda)) || left_eigen(A, E, lambda);
  }
  if (!solved) return m;
  m.k.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) m.k[static_cast<std::size_t>(i)] = std::sqrt(lambda[static_cast<std::size_t>(i)]);
  Sq F = dense::mul(E, sum);
  m.P = Sq(n);
  m.Q = Sq(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double f = F(i, j) / m.k[static_cast<std::size_t>(i)];
      m.P(i, j) = 0.5 * (E(i, j) + f);
      m.Q(i, j) = 0.5 * (E(i, j) - f);
    }
  m.X = dense::solve_right(m.P, m.Q, "slab_medium");
  m.XP = dense::mul(m.X, m.P);
  m.A = A;
  m.eigen = true;
  return m;
}

SlabSystem slab_system(const SlabMedium& m, double h) {
  const int n = m.n;
  SlabSystem sys{Row(static_cast<std::size_t>(n)), m.Q, m.P, Sq(n)};
  for (int i = 0; i < n; ++i) sys.d[static_cast<std::size_t>(i)] = std::exp(-m.k[static_cast<std::size_t>(i)] * h);
  Sq dxd(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      dxd(i, j) = sys.d[static_cast<std::size_t>(i)] * m.X(i, j) * sys.d[static_cast<std::size_t>(j)];
  dense::gemm(dxd, m.P, sys.M, -1.0, 1.0);
  dense::gemm(dxd, m.Q, sys.top, -1.0, 1.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) sys.low(i, j) = sys.d[static_cast<std::size_t>(i)] * (m.Q(i, j) - m.XP(i, j));
  return sys;
}

SlabRT slab_rt(const SlabMedium& m, double h) {
  if (!m.eigen) return doubling_rt(m, h);
  const SlabSystem sys = slab_system(m, h);
  const std::size_t nn = sys.M.a.size();
  // Both right-hand sides solved together.
  Row rhs(2 * nn);
  std::copy(sys.top.a.begin(), sys.top.a.end(), rhs.begin());
  std::copy(sys.low.a.begin(), sys.low.a.end(), rhs.begin() + static_cast<std::ptrdiff_t>(nn));
  dense::solve_left(sys.M, rhs.data(), 2 * m.n, "slab_rt");
  SlabRT s{Sq::uninitialized(m.n), Sq::uninitialized(m.n), {}, {}};
  std::copy(rhs.begin(), rhs.begin() + static_cast<std::ptrdiff_t>(nn), s.r.a.begin());
  std::copy(rhs.begin() + static_cast<std::ptrdiff_t>(nn), rhs.end(), s.t.a.begin());
  return s;
}

namespace {

// (I - a b)^-1 [x | y] for n x n blocks, by one factorization.
void solve_pair(const Sq& a, const Sq& b, const Sq& x, const Sq& y, Sq& ox, Sq& oy) {
  const int n = a.n;
  Sq m = Sq::identity(n);
  dense::gemm(a, b, m, -1.0, 1.0);
  Row rhs(static_cast<std::size_t>(2 * n * n));
  std::copy(x.a.begin(), x.a.end(), rhs.begin());
  std::copy(y.a.begin(), y.a.end(), rhs.begin() + n * n);
  dense::solve_left(std::move(m), rhs.data(), 2 * n, "stack_rt");
  ox = Sq(n);
  oy = Sq(n);
  std::copy(rhs.begin(), rhs.begin() + n * n, ox.a.begin());
  std::copy(rhs.begin() + n * n, rhs.end(), oy.a.begin());
}

}  // namespace

StackedRT stack_parts(const SlabRT& top, const SlabRT& bottom) {
  // Light from above crosses the top slab, then bounces between the bottom
  // slab (reflecting from above) and the top slab (reflecting from below).
  Sq y1r, y2r;
  StackedRT out;
  solve_pair(bottom.r, top.r_below(), dense::mul(bottom.r, top.t_up()), bottom.t, y1r, out.ydn);
  solve_pair(top.r_below(), bottom.r, dense::mul(top.r_below(), bottom.t), top.t_up(), y2r, out.yup);
  SlabRT& s = out.rt;
  s.r = top.r;
  dense::gemm(top.t, y1r, s.r, 1.0, 1.0);
  s.t = dense::mul(top.t, out.ydn);
  s.rb = bottom.r_below();
  dense::gemm(bottom.t_up(), y2r, s.rb, 1.0, 1.0);
  s.tu = dense::mul(bottom.t_up(), out.yup);
  return out;
}

SlabRT stack_rt(const SlabRT& top, const SlabRT& bottom) { return stack_parts(top, bottom).rt; }

SlabRT varying_slab_rt(const VaryingSlab& v) {
  return stack_rt(slab_rt(*v.upper, 0.5 * v.h), slab_rt(*v.lower, 0.5 * v.h));
}

// ---------------------------------------------------------------------------
// Source emission

namespace {

constexpr int kNodes = 8;

struct GaussRule {
  double x[kNodes], w[kNodes];  // on [0, 1]
  GaussRule() {
    gsl_integration_glfixed_table* t = gsl_integration_glfixed_table_alloc(kNodes);
    for (int i = 0; i < kNodes; ++i) gsl_integration_glfixed_point(0.0, 1.0, static_cast<std::size_t>(i), &x[i], &w[i], t);
    gsl_integration_glfixed_table_free(t);
  }
};

const GaussRule& gauss_rule() {
  static const GaussRule rule;  // constant nodes, built once (thread-safe initialization)
  return rule;
}

SlabEmission zero_emission(int n) {
  SlabEmission e;
  for (int h = 0; h < 2; ++h) e.up[h] = e.dn[h] = Row(static_cast<std::size_t>(n), 0.0);
  return e;
}

// Gauss-Legendre estimate of the emission of the part [a, b] of the slab.
SlabEmission emission_gl(const SlabMedium& m, double a, double b, const SlabSource& src) {
  const int n = m.n;
  SlabEmission e = zero_emission(n);
  const GaussRule& g = gauss_rule();
  const double h = b - a;
  SourceAmps s;
  Row down(static_cast<std::size_t>(n)), up(static_cast<std::size_t>(n));
  for (int q = 0; q < kNodes; ++q) {
    const double x = g.x[q] * h;
    s = SourceAmps{};
    src(a + x, s);
    const SlabRT above = slab_rt(m, x), below = slab_rt(m, h - x);
    const Sq gdn = interaction(below, above.r), gup = interaction(above, below.r);
    for (int half = 0; half < 2; ++half) {
      const double* su = half == 0 ? s.up_cos.data() : s.up_sin.data();
      const double* sd = half == 0 ? s.down_cos.data() : s.down_sin.data();
      std::copy(sd, sd + n, down.begin());
      dense::vxm(su, above.r, down.data(), true);
      std::copy(su, su + n, up.begin());
      dense::vxm(sd, below.r, up.data(), true);
      Row odn(static_cast<std::size_t>(n)), oup(static_cast<std::size_t>(n));
      dense::vxm(down.data(), gdn, odn.data());
      dense::vxm(up.data(), gup, oup.data());
      for (int i = 0; i < n; ++i) {
        e.dn[half][static_cast<std::size_t>(i)] += g.w[q] * h * odn[static_cast<std::size_t>(i)];
        e.up[half][static_cast<std::size_t>(i)] += g.w[q] * h * oup[static_cast<std::size_t>(i)];
      }
    }
  }
  return e;
}

// Emission of two stacked parts from theirs (adding with the parts' operators),
// through the interaction matrices of their stack.
SlabEmission stack(const SlabEmission& top, const SlabRT& rtop, const SlabEmission& bot, const SlabRT& rbot,
                   const Sq& ydn, const Sq& yup) {
  SlabEmission e;
  for (int h = 0; h < 2; ++h) {
    e.dn[h] = add_source(top.dn[h], bot.up[h], bot.dn[h], rtop.r_below(), ydn);
    e.up[h] = add_source(bot.up[h], top.dn[h], top.up[h], rbot.r, yup);
  }
  return e;
}

// The interaction matrices (ydn, yup) of the part rtop above the part rbot:
// light crossing the interface downward enters the lower part from above,
// upward the upper part from below.
std::pair<Sq, Sq> interface_interactions(const SlabRT& rtop, const SlabRT& rbot) {
  return {interaction(rbot.r, rbot.t, rtop.r_below()), interaction(rtop.r_below(), rtop.t_up(), rbot.r)};
}

double emission_diff(const SlabEmission& a, const SlabEmission& b, double& scale) {
  double d = 0.0;
  scale = 0.0;
  for (int h = 0; h < 2; ++h)
    for (std::size_t i = 0; i < a.up[h].size(); ++i) {
      d = std::max({d, std::abs(a.up[h][i] - b.up[h][i]), std::abs(a.dn[h][i] - b.dn[h][i])});
      scale = std::max({scale, std::abs(b.up[h][i]), std::abs(b.dn[h][i])});
    }
  return d;
}

SlabEmission refine(const SlabMedium& m, double a, double b, const SlabEmission& whole, const SlabSource& src,
                    double tol, int depth) {
  const double mid = 0.5 * (a + b);
  SlabEmission top = emission_gl(m, a, mid, src), bot = emission_gl(m, mid, b, src);
  const SlabRT rtop = slab_rt(m, mid - a), rbot = slab_rt(m, b - mid);
  const auto [ydn, yup] = interface_interactions(rtop, rbot);  // for both stacks below
  SlabEmission both = stack(top, rtop, bot, rbot, ydn, yup);
  double scale = 0.0;
  const double d = emission_diff(whole, both, scale);
  if (d <= tol * scale || depth >= 40) return both;
  top = refine(m, a, mid, top, src, tol, depth + 1);
  bot = refine(m, mid, b, bot, src, tol, depth + 1);
  return stack(top, rtop, bot, rbot, ydn, yup);
}

}  // namespace

SlabEmission stack_emission(const SlabEmission& top, const SlabRT& rtop, const SlabEmission& bot, const SlabRT& rbot) {
  const auto [ydn, yup] = interface_interactions(rtop, rbot);
  return stack(top, rtop, bot, rbot, ydn, yup);
}

SlabEmission slab_emission(const SlabMedium& m, double h, const SlabSource& src, double tol) {
  if (h <= 0.0) return zero_emission(m.n);
  return refine(m, 0.0, h, emission_gl(m, 0.0, h, src), src, tol, 0);
}

namespace {

// Relative half-width of the window around an eigenvalue K in which the
// particular solution is too large for its difference with the slab's own
// field to keep its digits (their loss grows as 1 / |p - K|).
constexpr double kResonance = 1e-3;

// The eigenvalue within the resonance window of decay rate p, or 0.
double resonant_k(const SlabMedium& m, double p) {
  for (double k : m.k)
    if (std::abs(k - p) < kResonance * p) return k;
  return 0.0;
}

// The closed form in the eigenvectors of A = (tau + rho)(tau - rho) (rows of
// E = P + Q, E A = K^2 E). For a source (sd, su) e^{-px}, sigma = sd + su and
// delta = sd - su, the particular solution (a, b) e^{-px} solves
//   a (tau + p) + b rho = -sd,   a rho + b (tau - p) = -su;
// with s = a + b = y E and q = a - b:
//   y = (p delta E^-1 - sigma (tau - rho) E^-1) / (K^2 - p^2),   q = -(sigma + y E (tau + rho)) / p,
// every step diagonal but the shape's two transforms. For (f0 + f1 x) V e^{-px}
// the x term gives (y1, q1) from f1 V, and the constant term's source is
// f0 V less what the derivative of the x term leaves, so that
//   y0 = (f0 (p delta~ - sigma~) - p y1 - (f1 sigma~ + K^2 y1) / p) / (K^2 - p^2),
//   q0 = -(f0 sigma_V - q1 + y0 E (tau + rho)) / p
// (delta~ = delta_V E^-1, sigma~ = sigma_V (tau - rho) E^-1; E (tau+rho)(tau-rho) E^-1 = K^2).
// What the slab emits needs four sums over the terms, each a combination of
// s0, q0, s1, q1: the particular solution's light at the faces,
//   B0 = (s0 - q0)/2 leaving the top, A0 = (s0 + q0)/2 entering it downward,
//   ah = e (A0 + A1 h) leaving the bottom, bh = e (B0 + B1 h) entering it upward
// (e = e^{-ph}), which the slab's own field then corrects:
//   up = B0 - A0 r - bh t_up,   dn = ah - A0 t - bh r_below.
// Each sum is accumulated as U E + W E (tau + rho) + sum_V g_V sigma_V.
struct ExpSlab {
  const SlabMedium& m;
  double h;
  Sq sum, dif, E, PmQ;  // E (tau + rho) = K (P - Q)
  ExpSlab(const SlabMedium& med, double thick)
      : m(med), h(thick), sum(med.tau), dif(med.tau), E(med.P), PmQ(med.P) {
    for (std::size_t i = 0; i < sum.a.size(); ++i) {
      sum.a[i] += m.rho.a[i];
      dif.a[i] -= m.rho.a[i];
      E.a[i] += m.Q.a[i];
      PmQ.a[i] -= m.Q.a[i];
    }
  }
};

// Every shape's transforms, both halves (0 cosine, 1 sine): sigma, and delta~
// and sigma~ (side by side, as the solve leaves them).
struct Shapes {
  std::size_t n = 0, count = 0;
  Row sigma, til;
  const double* sig(std::size_t v, int h) const { return sigma.data() + (v * 2 + static_cast<std::size_t>(h)) * n; }
  const double* dtil(std::size_t v, int h) const { return til.data() + (v * 2 + static_cast<std::size_t>(h)) * 2 * n; }
  const double* stil(std::size_t v, int h) const { return dtil(v, h) + n; }
};

// The transforms of every shape, by one factorization of E.
Shapes shape_transforms(const ExpSlab& sl, const std::vector<SourceAmps>& amps) {
  const int n = sl.m.n;
  const std::size_t un = static_cast<std::size_t>(n);
  Shapes out{un, amps.size(), Row(amps.size() * 2 * un), Row(amps.size() * 4 * un)};
  for (std::size_t v = 0; v < amps.size(); ++v)
    for (int half = 0; half < 2; ++half) {
      const double* sd = half == 0 ? amps[v].down_cos.data() : amps[v].down_sin.data();
      const double* su = half == 0 ? amps[v].up_cos.data() : amps[v].up_sin.data();
      double* sg = out.sigma.data() + (v * 2 + static_cast<std::size_t>(half)) * un;
      double* col = out.til.data() + (v * 2 + static_cast<std::size_t>(half)) * 2 * un;
      for (std::size_t i = 0; i < un; ++i) {
        sg[i] = sd[i] + su[i];
        col[i] = sd[i] - su[i];
      }
      dense::vxm(sg, sl.dif, col + un);
    }
  // Rows z with z E = r: E^T z^T = r^T.
  dense::solve_left(dense::transposed(sl.E), out.til.data(), static_cast<int>(amps.size() * 4), "exp_emission");
  return out;
}

// The four face sums per half: B0, A0, ah, bh, each U E + W E (tau + rho) +
// Sum_V g_V sigma_V. The particular solution's light entering a face is what
// leaves it with q of the other sign (A0 = (s0 + q0)/2 against B0 = (s0 - q0)/2,
// and bh against ah): the U part of each entering sum equals that of the
// leaving one, its W and g parts are the negatives. So only the leaving sums
// are accumulated, j = 0 (B0, the top) and j = 1 (ah, the bottom).
struct FaceSums {
  std::size_t n, shapes;
  Row u, w, g;  // [h][j][n], [h][j][n], [h][j][shape]
  FaceSums(int n_, std::size_t shapes_)
      : n(static_cast<std::size_t>(n_)), shapes(shapes_), u(4 * n, 0.0), w(4 * n, 0.0), g(4 * shapes_, 0.0) {}
  static std::size_t slot(int h, int j) { return static_cast<std::size_t>(h * 2 + j); }
  double* U(int h, int j) { return u.data() + slot(h, j) * n; }
  double* W(int h, int j) { return w.data() + slot(h, j) * n; }
  double* G(int h, int j) { return g.data() + slot(h, j) * shapes; }
  const double* U(int h, int j) const { return u.data() + slot(h, j) * n; }
  const double* W(int h, int j) const { return w.data() + slot(h, j) * n; }
  const double* G(int h, int j) const { return g.data() + slot(h, j) * shapes; }
};

// A term's two shapes (f0 V0 + f1 x V1), by index.
struct TermShapes {
  const Shapes& all;
  std::size_t i0, i1;
};

// The rows y0, y1 of both halves of the term (f0 V0 + f1 x V1) e^{-p x} at rate p.
void particular_rows(const ExpSlab& sl, const TermShapes& sh, const ExpTerm& t, double p, double (&y0)[2][mxmu],
                     double (&y1)[2][mxmu]) {
  const int n = sl.m.n;
  const double ip = 1.0 / p;
  double iden[mxmu], g1[mxmu];
  for (int i = 0; i < n; ++i) {
    const double k = sl.m.k[static_cast<std::size_t>(i)];
    iden[i] = 1.0 / ((k - p) * (k + p));
    g1[i] = p + k * k * ip;
  }
  for (int h = 0; h < 2; ++h) {
    const double *d0 = sh.all.dtil(sh.i0, h), *s0 = sh.all.stil(sh.i0, h);
    const double *d1 = sh.all.dtil(sh.i1, h), *s1 = sh.all.stil(sh.i1, h);
    for (int i = 0; i < n; ++i) {
      y1[h][i] = t.f1 * (p * d1[i] - s1[i]) * iden[i];
      y0[h][i] = (t.f0 * (p * d0[i] - s0[i]) - t.f1 * s1[i] * ip - g1[i] * y1[h][i]) * iden[i];
    }
  }
}

// Adds weight times the term (f0 V0 + f1 x V1) e^{-p x} at rate p, and hands
// its rows to `visit` when there is one.
void add_exp_term(const ExpSlab& sl, const TermShapes& sh, const ExpTerm& t, double p, double weight, FaceSums& fs,
                  const ParticularVisit& visit) {
  const int n = sl.m.n;
  const double e = std::exp(-p * sl.h), eh = e * sl.h, ip = 1.0 / p;
  // Coefficients of s0, q0, s1, q1 in the four sums, and what they make of y0, y1.
  const double c[4][4] = {{0.5, -0.5, 0.0, 0.0}, {0.5, 0.5, 0.0, 0.0}, {0.5 * e, 0.5 * e, 0.5 * eh, 0.5 * eh},
                          {0.5 * e, -0.5 * e, 0.5 * eh, -0.5 * eh}};
  double u0[4], u1[4], w0[4], w1[4];
  for (int j = 0; j < 4; j += 2) {  // the sums entering (1, 3) follow from those leaving (see FaceSums)
    const double cq1 = c[j][3] + c[j][1] * ip;
    u0[j] = weight * c[j][0];
    u1[j] = weight * c[j][2];
    w0[j] = -weight * c[j][1] * ip;
    w1[j] = -weight * cq1 * ip;
    for (int h = 0; h < 2; ++h) {
      fs.G(h, j / 2)[sh.i0] += w0[j] * t.f0;
      fs.G(h, j / 2)[sh.i1] += w1[j] * t.f1;
    }
  }
  double y0[2][mxmu], y1[2][mxmu];
  particular_rows(sl, sh, t, p, y0, y1);
  if (visit) visit({p, weight, &t, {y0[0], y0[1]}, {y1[0], y1[1]}});
  for (int h = 0; h < 2; ++h) {
    double *U0 = fs.U(h, 0), *U2 = fs.U(h, 1), *W0 = fs.W(h, 0), *W2 = fs.W(h, 1);
    for (int i = 0; i < n; ++i) {
      U0[i] += u0[0] * y0[h][i] + u1[0] * y1[h][i];
      W0[i] += w0[0] * y0[h][i] + w1[0] * y1[h][i];
      U2[i] += u0[2] * y0[h][i] + u1[2] * y1[h][i];
      W2[i] += w0[2] * y0[h][i] + w1[2] * y1[h][i];
    }
  }
}

// Adds the term at the rates of its stencil (see rate_stencil); false when no
// stencil is clear.
bool add_term(const ExpSlab& sl, const Shapes& shapes, const ExpTerm& t, FaceSums& fs, const ParticularVisit& visit) {
  const TermShapes sh{shapes, static_cast<std::size_t>(t.shape), static_cast<std::size_t>(t.x_shape())};
  if (resonant_k(sl.m, t.p) == 0.0) {  // the usual case: the term at its own rate
    add_exp_term(sl, sh, t, t.p, 1.0, fs, visit);
    return true;
  }
  const std::vector<std::pair<double, double>> nodes = rate_stencil(sl.m, t.p);
  for (const auto& [p, weight] : nodes) add_exp_term(sl, sh, t, p, weight, fs, visit);
  return !nodes.empty();
}

// The face sums of half h at the top (j = 0: B0 leaving, A0 entering) or at
// the bottom (j = 1: ah leaving, bh entering) as vectors: a + b and a - b with
// a = U E and b = W K (P - Q) + Sum_V g_V sigma_V.
std::pair<Row, Row> face_sums(const ExpSlab& sl, const FaceSums& fs, int h, int j, const Shapes& shapes) {
  const std::size_t n = static_cast<std::size_t>(sl.m.n);
  Row a(n), b(n), wk(n);
  for (std::size_t i = 0; i < n; ++i) wk[i] = fs.W(h, j)[i] * sl.m.k[i];
  dense::vxm(fs.U(h, j), sl.E, a.data());
  dense::vxm(wk.data(), sl.PmQ, b.data());
  for (std::size_t v = 0; v < shapes.count; ++v) {
    const double gv = fs.G(h, j)[v];
    const double* sg = shapes.sig(v, h);
    for (std::size_t i = 0; i < n; ++i) b[i] += gv * sg[i];
  }
  std::pair<Row, Row> out{a, a};
  for (std::size_t i = 0; i < n; ++i) {
    out.first[i] += b[i];
    out.second[i] -= b[i];
  }
  return out;
}

}  // namespace

std::vector<std::pair<double, double>> rate_stencil(const SlabMedium& m, double p) {
  const double k = resonant_k(m, p);
  if (k == 0.0) return {{p, 1.0}};
  for (double f = 1.0; f <= 16.0; f *= 2.0) {
    const double w = f * kResonance;
    std::vector<double> node{k * (1.0 - 4.0 * w), k * (1.0 - 2.0 * w), k * (1.0 + 2.0 * w), k * (1.0 + 4.0 * w)};
    if (f > 1.0) node.insert(node.end(), {k * (1.0 - 6.0 * w), k * (1.0 + 6.0 * w)});
    if (std::any_of(node.begin(), node.end(), [&](double r) { return resonant_k(m, r) != 0.0; })) continue;
    std::vector<std::pair<double, double>> out;
    for (std::size_t a = 0; a < node.size(); ++a) {
      double weight = 1.0;
      for (std::size_t b = 0; b < node.size(); ++b)
        if (b != a) weight *= (p - node[b]) / (node[a] - node[b]);
      out.push_back({node[a], weight});
    }
    return out;
  }
  return {};
}

std::optional<ExpFaces> exp_faces(const SlabMedium& m, double h, const ExpSources& src, const ParticularVisit& visit) {
  if (!m.eigen) return std::nullopt;
  ExpFaces f;
  for (int half = 0; half < 2; ++half)
    f.b0[half] = f.a0[half] = f.ah[half] = f.bh[half] = Row(static_cast<std::size_t>(m.n), 0.0);
  if (src.terms.empty() || h <= 0.0) return f;
  const ExpSlab sl(m, h);
  const Shapes shapes = shape_transforms(sl, src.shapes);
  FaceSums fs(m.n, shapes.count);
  for (const ExpTerm& t : src.terms)
    if (!add_term(sl, shapes, t, fs, visit)) return std::nullopt;
  for (int half = 0; half < 2; ++half) {
    std::tie(f.b0[half], f.a0[half]) = face_sums(sl, fs, half, 0, shapes);
    std::tie(f.ah[half], f.bh[half]) = face_sums(sl, fs, half, 1, shapes);
  }
  return f;
}

SlabEmission emission_of(const ExpFaces& f, const SlabRT& rt) {
  SlabEmission e;
  for (int half = 0; half < 2; ++half) {
    Row& up = e.up[half];
    Row& dn = e.dn[half];
    up = f.b0[half];
    dn = f.ah[half];
    Row neg_a0 = f.a0[half], neg_bh = f.bh[half];
    for (double& x : neg_a0) x = -x;
    for (double& x : neg_bh) x = -x;
    dense::vxm(neg_a0.data(), rt.r, up.data(), true);
    dense::vxm(neg_bh.data(), rt.t_up(), up.data(), true);
    dense::vxm(neg_a0.data(), rt.t, dn.data(), true);
    dense::vxm(neg_bh.data(), rt.r_below(), dn.data(), true);
  }
  return e;
}

std::optional<SlabEmission> exp_emission(const SlabMedium& m, const SlabRT& rt, double h, const ExpSources& src) {
  const std::optional<ExpFaces> f = exp_faces(m, h, src);
  if (!f) return std::nullopt;
  return emission_of(*f, rt);
}

SlabEmission slab_emission(const SlabMedium& m, const SlabRT& rt, double h, const SlabSource& src,
                           const ExpSourceFn& exp, double tol) {
  if (exp && h > 0.0) {
    ExpSources terms;
    exp(0.0, h, terms);
    if (auto e = exp_emission(m, rt, h, terms)) return *e;
  }
  return slab_emission(m, h, src, tol);
}

SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, const ExpSourceFn& exp, double tol) {
  const SlabRT rup = slab_rt(*v.upper, 0.5 * v.h), rlo = slab_rt(*v.lower, 0.5 * v.h);
  return varying_slab_emission(v, rup, rlo, stack_parts(rup, rlo), src, exp, tol);
}

SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabRT& rup, const SlabRT& rlo, const StackedRT& both,
                                   const SlabSource& src, const ExpSourceFn& exp, double tol) {
  const double half = 0.5 * v.h;
  const SlabSource lower_src = [&](double x, SourceAmps& a) { src(x + half, a); };
  ExpSourceFn lower_exp;
  if (exp) lower_exp = [&](double x0, double x1, ExpSources& out) { exp(x0 + half, x1 + half, out); };
  return stack(slab_emission(*v.upper, rup, half, src, exp, tol), rup, slab_emission(*v.lower, rlo, half, lower_src, lower_exp, tol),
               rlo, both.ydn, both.yup);
}

SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, double tol) {
  return varying_slab_emission(v, src, nullptr, tol);
}

}  // namespace abyss
