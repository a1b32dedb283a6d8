#include "solver/gradient_slab.hpp"

#include <cmath>

namespace abyss {

using dense::Sq;
using dense::Row;

namespace {

// The integral of (s - h/2) e^{-p s - q (h - s)} over [0, h] from ep = e^{-ph}
// and eq = e^{-qh}. Centred at h/2 it is e^{-(p+q)h/2} times the integral of
// t e^{-r t} over [-h/2, h/2] (r = p - q), which is -(h^2/2) (x cosh x - sinh x) / x^2
// with x = r h / 2: in the exponentials given, (eq + ep)/2 and (eq - ep)/2 are
// e^{-(p+q)h/2} cosh x and sinh x. Near x = 0 the two terms cancel, so there
// the odd series of (x cosh x - sinh x) / x^2 (coefficients 2m / (2m+1)!) serves.
double moment(double p, double q, double h, double ep, double eq) {
  const double x = 0.5 * (p - q) * h;
  if (std::abs(x) < 0.5) {
    double term = x, sum = 0.0, fact = 6.0;  // x^(2m-1), (2m+1)!
    for (int m = 1; m <= 8; ++m) {
      sum += 2.0 * m / fact * term;
      term *= x * x;
      fact *= (2.0 * m + 2.0) * (2.0 * m + 3.0);
    }
    return -0.5 * h * h * std::exp(-0.5 * (p + q) * h) * sum;
  }
  return -0.5 * h * h * (0.5 * x * (eq + ep) - 0.5 * (eq - ep)) / (x * x);
}

Sq inverse(const Sq& a, const char* who) {
  Sq inv = Sq::identity(a.n);
  dense::solve_left(a, inv.data(), a.n, who);
  return inv;
}

// a + s b, elementwise.
Sq plus(Sq a, const Sq& b, double s = 1.0) {
  for (std::size_t e = 0; e < a.a.size(); ++e) a.a[e] += s * b.a[e];
  return a;
}

// a with its columns scaled by d (a D).
Sq cols(Sq a, const Row& d) {
  for (int j = 0; j < a.n; ++j)
    for (int i = 0; i < a.n; ++i) a(i, j) *= d[static_cast<std::size_t>(j)];
  return a;
}

// d a (rows scaled by d).
Sq rows(Sq a, const Row& d) {
  for (int j = 0; j < a.n; ++j)
    for (int i = 0; i < a.n; ++i) a(i, j) *= d[static_cast<std::size_t>(i)];
  return a;
}

}  // namespace

double centred_exp_moment(double p, double q, double h) { return moment(p, q, h, std::exp(-p * h), std::exp(-q * h)); }

// Notation of slab_ops.hpp: the field of the mean medium is
//   y = b e^{-Kx} [Q, P] + a e^{-K(h-x)} [P, Q],
// rows of W = [[Q, P], [P, Q]] decaying from the top and from the bottom. For
// light entering the top (d(0) = I, u(h) = 0): b0 = M^-1, a0 = -M^-1 D X. The
// change M1 = [[tau1, -rho1], [rho1, -tau1]] in that basis, W M1 W^-1, has the
// blocks B11, B12 and -B12, -B11 with
//   B11 = -(C1 + C2)/2,  B12 = (C2 - C1)/2,
//   C1 = (P - Q)(tau1 - rho1) E^-1,  C2 = E (tau1 + rho1)(P - Q)^-1,  E = P + Q.
// The response dy = z W to the source (x - h/2) y0 M1 has z = [z1, z2] with
//   z1' = -z1 K + g1,  z2' = z2 K + g2,
// whose sources, integrated against the decaying factors, give
//   J1 = b0 G1 - a0 G2,  J2 = b0 G2 - a0 G1,
//   G1 = B11 o Phi(k_j, k_i),  G2 = B12 o Phi(0, k_j + k_i)
// (o: elementwise; Phi(p, q) the centred moment above; row j, column i). The
// boundary conditions dd(0) = 0, du(h) = 0 fix the free parts a1 (of z1) and
// a2 (of z2):
//   a1 = (J1 X D - J2) P M^-1,   a2 = -(a1 D + J1) X,
//   dr = a1 P + (a2 D + J2) Q,   dt = (a1 D + J1) Q + a2 P.
SlabRT gradient_slab_rt(const SlabMedium& m, const Sq& tau1, const Sq& rho1, double h) {
  const int n = m.n;
  Row d(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) d[static_cast<std::size_t>(i)] = std::exp(-m.k[static_cast<std::size_t>(i)] * h);
  // The mean slab (as slab_rt, with M^-1 kept for the response).
  const Sq dxd = rows(cols(m.X, d), d);
  Sq M = m.Q;
  dense::gemm(dxd, m.P, M, -1.0, 1.0);
  const Sq Mi = inverse(M, "gradient_slab");
  Sq top = m.P;
  dense::gemm(dxd, m.Q, top, -1.0, 1.0);
  SlabRT s{dense::mul(Mi, top), dense::mul(Mi, rows(plus(m.Q, m.XP, -1.0), d)), {}, {}};

  // The change in the eigen-basis.
  const Sq E = plus(m.P, m.Q), PmQ = plus(m.P, m.Q, -1.0);
  const Sq C1 = dense::mul(dense::mul(PmQ, plus(tau1, rho1, -1.0)), inverse(E, "gradient_slab"));
  const Sq C2 = dense::mul(dense::mul(E, plus(tau1, rho1)), inverse(PmQ, "gradient_slab"));
  Sq G1(n), G2(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double kj = m.k[static_cast<std::size_t>(j)], ki = m.k[static_cast<std::size_t>(i)];
      const double dj = d[static_cast<std::size_t>(j)], di = d[static_cast<std::size_t>(i)];
      G1(j, i) = -0.5 * (C1(j, i) + C2(j, i)) * moment(kj, ki, h, dj, di);
      G2(j, i) = 0.5 * (C2(j, i) - C1(j, i)) * moment(0.0, kj + ki, h, 1.0, dj * di);
    }
  // b0 = M^-1, a0 = -M^-1 D X: (J1 + J2) = (b0 - a0)(G1 + G2), (J1 - J2) = (b0 + a0)(G1 - G2).
  const Sq a0x = dense::mul(cols(Mi, d), m.X);  // -a0
  const Sq jp = dense::mul(plus(Mi, a0x), plus(G1, G2)), jm = dense::mul(plus(Mi, a0x, -1.0), plus(G1, G2, -1.0));
  const Sq J1 = [&] { Sq j = plus(jp, jm); for (double& x : j.a) x *= 0.5; return j; }();
  const Sq J2 = [&] { Sq j = plus(jp, jm, -1.0); for (double& x : j.a) x *= 0.5; return j; }();
  const Sq a1 = dense::mul(dense::mul(plus(cols(dense::mul(J1, m.X), d), J2, -1.0), m.P), Mi);
  const Sq z1h = plus(cols(a1, d), J1);
  Sq a2 = dense::mul(z1h, m.X);
  for (double& x : a2.a) x = -x;
  Sq dr = dense::mul(a1, m.P), dt = dense::mul(z1h, m.Q);
  dense::gemm(plus(cols(a2, d), J2), m.Q, dr, 1.0, 1.0);
  dense::gemm(a2, m.P, dt, 1.0, 1.0);
  s.rb = plus(s.r, dr, -1.0);
  s.tu = plus(s.t, dt, -1.0);
  s.r = plus(s.r, dr);
  s.t = plus(s.t, dt);
  return s;
}

}  // namespace abyss
