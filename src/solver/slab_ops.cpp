#include "solver/slab_ops.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>

#include "solver/adding.hpp"

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
  E = Sq(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) E(i, j) = vl(j, i);
  lambda = wr;
  return true;
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

SlabMedium slab_medium(const Sq& rho, const Sq& tau) {
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
  if (!left_eigen(dense::mul(sum, dif), E, lambda)) return m;
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
  m.eigen = true;
  return m;
}

SlabRT slab_rt(const SlabMedium& m, double h) {
  if (!m.eigen) return doubling_rt(m, h);
  const int n = m.n;
  Row d(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) d[static_cast<std::size_t>(i)] = std::exp(-m.k[static_cast<std::size_t>(i)] * h);
  Sq dxd(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) dxd(i, j) = d[static_cast<std::size_t>(i)] * m.X(i, j) * d[static_cast<std::size_t>(j)];
  Sq M = m.Q;
  dense::gemm(dxd, m.P, M, -1.0, 1.0);
  // Right-hand sides [P - DXD Q, D (Q - X P)] solved together.
  Row rhs(static_cast<std::size_t>(2 * n * n));
  Sq top = m.P;
  dense::gemm(dxd, m.Q, top, -1.0, 1.0);
  std::copy(top.a.begin(), top.a.end(), rhs.begin());
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      rhs[static_cast<std::size_t>(n * n + i + j * n)] = d[static_cast<std::size_t>(i)] * (m.Q(i, j) - m.XP(i, j));
  dense::solve_left(M, rhs.data(), 2 * n, "slab_rt");
  SlabRT s{Sq(n), Sq(n), {}, {}};
  std::copy(rhs.begin(), rhs.begin() + n * n, s.r.a.begin());
  std::copy(rhs.begin() + n * n, rhs.end(), s.t.a.begin());
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

SlabRT stack_rt(const SlabRT& top, const SlabRT& bottom) {
  // Light from above crosses the top slab, then bounces between the bottom
  // slab (reflecting from above) and the top slab (reflecting from below).
  Sq y1r, y1t, y2r, y2t;
  solve_pair(bottom.r, top.r_below(), dense::mul(bottom.r, top.t_up()), bottom.t, y1r, y1t);
  solve_pair(top.r_below(), bottom.r, dense::mul(top.r_below(), bottom.t), top.t_up(), y2r, y2t);
  SlabRT s;
  s.r = top.r;
  dense::gemm(top.t, y1r, s.r, 1.0, 1.0);
  s.t = dense::mul(top.t, y1t);
  s.rb = bottom.r_below();
  dense::gemm(bottom.t_up(), y2r, s.rb, 1.0, 1.0);
  s.tu = dense::mul(bottom.t_up(), y2t);
  return s;
}

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

// Emission of two stacked parts from theirs (adding with the parts' operators).
SlabEmission stack(const SlabEmission& top, const SlabRT& rtop, const SlabEmission& bot, const SlabRT& rbot) {
  SlabEmission e;
  const Sq ydn = interaction(rbot, rtop.r), yup = interaction(rtop, rbot.r);
  for (int h = 0; h < 2; ++h) {
    e.dn[h] = add_source(top.dn[h], bot.up[h], bot.dn[h], rtop.r, ydn);
    e.up[h] = add_source(bot.up[h], top.dn[h], top.up[h], rbot.r, yup);
  }
  return e;
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
  SlabEmission both = stack(top, rtop, bot, rbot);
  double scale = 0.0;
  const double d = emission_diff(whole, both, scale);
  if (d <= tol * scale || depth >= 40) return both;
  top = refine(m, a, mid, top, src, tol, depth + 1);
  bot = refine(m, mid, b, bot, src, tol, depth + 1);
  return stack(top, rtop, bot, rbot);
}

}  // namespace

SlabEmission slab_emission(const SlabMedium& m, double h, const SlabSource& src, double tol) {
  if (h <= 0.0) return zero_emission(m.n);
  return refine(m, 0.0, h, emission_gl(m, 0.0, h, src), src, tol, 0);
}

namespace {

// The slab's matrices that every exponential term shares: tau + rho, tau - rho,
// the left eigenvectors E of A = (tau + rho)(tau - rho) (E = P + Q) and E^-1.
struct ExpSlab {
  const SlabMedium& m;
  const SlabRT& rt;
  double h;
  Sq sum, dif, E, Einv;
  ExpSlab(const SlabMedium& med, const SlabRT& r, double thick) : m(med), rt(r), h(thick), sum(med.tau), dif(med.tau), E(med.P) {
    for (std::size_t i = 0; i < sum.a.size(); ++i) {
      sum.a[i] += m.rho.a[i];
      dif.a[i] -= m.rho.a[i];
      E.a[i] += m.Q.a[i];
    }
    Einv = Sq::identity(m.n);
    dense::solve_left(E, Einv.data(), m.n, "exp_emission");
  }
};

// The particular solution of d' = d tau + u rho + sd e^{-px}, u' = -(u tau + d rho) - su e^{-px}
// is (a, b) e^{-px} with a (tau + p) + b rho = -sd, a rho + b (tau - p) = -su.
// With s = a + b and q = a - b these separate:
//   s (A - p^2) = p (sd - su) - (sd + su)(tau - rho),   q = -(sd + su + s (tau + rho)) / p,
// and in the eigenvectors of A, s = rhs E^-1 (K^2 - p^2)^-1 E: only the component
// whose K is near p is large. `rhs` holds sd, su of each of the `m` systems
// (2n each) and returns a, b in their place.
void particular(const ExpSlab& sl, double p, Row& rhs, int m) {
  const int n = sl.sum.n;
  Row s(static_cast<std::size_t>(n)), t(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
  for (int c = 0; c < m; ++c) {
    double* sd = rhs.data() + 2 * n * c;
    double* su = sd + n;
    for (int i = 0; i < n; ++i) t[static_cast<std::size_t>(i)] = sd[i] + su[i];
    dense::vxm(t.data(), sl.dif, s.data());
    for (int i = 0; i < n; ++i) s[static_cast<std::size_t>(i)] = p * (sd[i] - su[i]) - s[static_cast<std::size_t>(i)];
    dense::vxm(s.data(), sl.Einv, y.data());
    for (int i = 0; i < n; ++i) {
      const double k = sl.m.k[static_cast<std::size_t>(i)];
      y[static_cast<std::size_t>(i)] /= (k - p) * (k + p);
    }
    dense::vxm(y.data(), sl.E, s.data());
    dense::vxm(s.data(), sl.sum, t.data(), true);
    for (int i = 0; i < n; ++i) {
      const double q = -t[static_cast<std::size_t>(i)] / p;
      sd[i] = 0.5 * (s[static_cast<std::size_t>(i)] + q);
      su[i] = 0.5 * (s[static_cast<std::size_t>(i)] - q);
    }
  }
}

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

// Adds weight times the emission of (c0 + c1 x) e^{-p x} (the amplitudes of t,
// the decay rate p).
void add_exp_term(const ExpSlab& sl, const ExpSource& t, double p, double weight, SlabEmission& e) {
  const int n = sl.sum.n;
  const std::size_t un = static_cast<std::size_t>(n);
  const double h = sl.h;
  Row lin(4 * un), con(4 * un), ah(un), bh(un), neg_a0(un);
  // (A1, B1) x e^{-px} answers the c1 part; (A0, B0) e^{-px} answers c0 less
  // what the derivative of the x term leaves (A1 downward, B1 upward).
  for (int half = 0; half < 2; ++half) {
    const SourceAmps& c = t.c1;
    std::copy_n(half == 0 ? c.down_cos.data() : c.down_sin.data(), n, lin.begin() + 2 * n * half);
    std::copy_n(half == 0 ? c.up_cos.data() : c.up_sin.data(), n, lin.begin() + 2 * n * half + n);
  }
  particular(sl, p, lin, 2);
  for (int half = 0; half < 2; ++half) {
    const SourceAmps& c = t.c0;
    const double* sd = half == 0 ? c.down_cos.data() : c.down_sin.data();
    const double* su = half == 0 ? c.up_cos.data() : c.up_sin.data();
    for (int i = 0; i < n; ++i) {
      con[static_cast<std::size_t>(2 * n * half + i)] = sd[i] - lin[static_cast<std::size_t>(2 * n * half + i)];
      con[static_cast<std::size_t>(2 * n * half + n + i)] = su[i] + lin[static_cast<std::size_t>(2 * n * half + n + i)];
    }
  }
  particular(sl, p, con, 2);
  // With black surroundings the slab's own field removes the particular
  // solution's downward light at the top (A0) and upward light at the bottom (bh):
  //   up = B0 - A0 r - bh t_up,   dn = ah - A0 t - bh r_below.
  const double decay = std::exp(-p * h);
  for (int half = 0; half < 2; ++half) {
    const double* a0 = con.data() + 2 * n * half;
    const double* b0 = a0 + n;
    const double* a1 = lin.data() + 2 * n * half;
    const double* b1 = a1 + n;
    for (int i = 0; i < n; ++i) {
      const std::size_t u = static_cast<std::size_t>(i);
      ah[u] = weight * (a0[i] + a1[i] * h) * decay;
      bh[u] = -weight * (b0[i] + b1[i] * h) * decay;
      neg_a0[u] = -weight * a0[i];
      e.up[half][u] += weight * b0[i];
      e.dn[half][u] += ah[u];
    }
    dense::vxm(neg_a0.data(), sl.rt.r, e.up[half].data(), true);
    dense::vxm(bh.data(), sl.rt.t_up(), e.up[half].data(), true);
    dense::vxm(neg_a0.data(), sl.rt.t, e.dn[half].data(), true);
    dense::vxm(bh.data(), sl.rt.r_below(), e.dn[half].data(), true);
  }
}

}  // namespace

std::optional<SlabEmission> exp_emission(const SlabMedium& m, const SlabRT& rt, double h,
                                         const std::vector<ExpSource>& terms) {
  if (!m.eigen) return std::nullopt;
  SlabEmission e = zero_emission(m.n);
  if (terms.empty() || h <= 0.0) return e;
  const ExpSlab sl(m, rt, h);
  for (const ExpSource& t : terms) {
    const double k = resonant_k(m, t.p);
    if (k == 0.0) {
      add_exp_term(sl, t, t.p, 1.0, e);
      continue;
    }
    // The emission is a smooth function of p through the resonance (only the
    // particular solution is singular there): cubic interpolation from four
    // rates outside the window, k (1 -+ 2w) and k (1 -+ 4w).
    const double node[4] = {k * (1.0 - 4.0 * kResonance), k * (1.0 - 2.0 * kResonance), k * (1.0 + 2.0 * kResonance),
                            k * (1.0 + 4.0 * kResonance)};
    for (int a = 0; a < 4; ++a) {
      if (resonant_k(m, node[a]) != 0.0) return std::nullopt;  // two eigenvalues that close
      double w = 1.0;
      for (int b = 0; b < 4; ++b)
        if (b != a) w *= (t.p - node[b]) / (node[a] - node[b]);
      add_exp_term(sl, t, node[a], w, e);
    }
  }
  return e;
}

SlabEmission slab_emission(const SlabMedium& m, const SlabRT& rt, double h, const SlabSource& src,
                           const ExpSourceFn& exp, double tol) {
  if (exp && h > 0.0) {
    std::vector<ExpSource> terms;
    exp(0.0, h, terms);
    if (auto e = exp_emission(m, rt, h, terms)) return *e;
  }
  return slab_emission(m, h, src, tol);
}

SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, const ExpSourceFn& exp, double tol) {
  if (!exp) return varying_slab_emission(v, src, tol);
  const double half = 0.5 * v.h;
  const SlabSource lower_src = [&](double x, SourceAmps& a) { src(x + half, a); };
  const ExpSourceFn lower_exp = [&](double x0, double x1, std::vector<ExpSource>& out) { exp(x0 + half, x1 + half, out); };
  const SlabRT rup = slab_rt(*v.upper, half), rlo = slab_rt(*v.lower, half);
  return stack(slab_emission(*v.upper, rup, half, src, exp, tol), rup, slab_emission(*v.lower, rlo, half, lower_src, lower_exp, tol),
               rlo);
}

SlabEmission varying_slab_emission(const VaryingSlab& v, const SlabSource& src, double tol) {
  const double half = 0.5 * v.h;
  const SlabSource lower_src = [&](double x, SourceAmps& a) { src(x + half, a); };
  return stack(slab_emission(*v.upper, half, src, tol), slab_rt(*v.upper, half),
               slab_emission(*v.lower, half, lower_src, tol), slab_rt(*v.lower, half));
}

}  // namespace abyss
