#include "solver/gradient_slab.hpp"

#include <cmath>

namespace abyss {

using dense::Sq;
using dense::Row;

namespace {

// The integrals of (s - h/2) and of (s - h/2)^2 times e^{-p s - q (h - s)} over
// [0, h], from ep = e^{-ph} and eq = e^{-qh}. Centred at h/2 the exponential is
// e^{-(p+q)h/2} e^{-x t / u} (u = h/2, x = (p - q) u), and over t in [-u, u]
//   the first moment is -2 u^2 (x cosh x - sinh x) / x^2,
//   the second u^3 (2 sinh x / x - 4 cosh x / x^2 + 4 sinh x / x^3),
// where (eq + ep)/2 and (eq - ep)/2 are e^{-(p+q)h/2} cosh x and sinh x. Near
// x = 0 the terms cancel: below |x| = 0.1 (where the closed forms keep 13
// digits) the series serve, x/3 + x^3/30 + x^5/840 + x^7/45360 and
// 2/3 + x^2/5 + x^4/84 + x^6/3240.
struct Moments {
  double first, second;
};
Moments moments(double p, double q, double h, double ep, double eq) {
  const double x = 0.5 * (p - q) * h, u = 0.5 * h;
  if (std::abs(x) < 0.1) {
    const double e = std::exp(-0.5 * (p + q) * h), x2 = x * x;
    return {-2.0 * u * u * e * x * (1.0 / 3.0 + x2 * (1.0 / 30.0 + x2 * (1.0 / 840.0 + x2 / 45360.0))),
            u * u * u * e * (2.0 / 3.0 + x2 * (1.0 / 5.0 + x2 * (1.0 / 84.0 + x2 / 3240.0)))};
  }
  const double sh = 0.5 * (eq - ep), ch = 0.5 * (eq + ep), ix = 1.0 / x;
  return {-2.0 * u * u * (x * ch - sh) * ix * ix, u * u * u * ix * (2.0 * sh - 4.0 * ch * ix + 4.0 * sh * ix * ix)};
}
double moment(double p, double q, double h, double ep, double eq) { return moments(p, q, h, ep, eq).first; }

Sq inverse(const Sq& a, const char* who) {
  Sq inv = Sq::identity(a.n);
  dense::solve_left(a, inv.data(), a.n, who);
  return inv;
}

// a + s b, elementwise (matrices or rows).
Sq plus(Sq a, const Sq& b, double s = 1.0) {
  for (std::size_t e = 0; e < a.a.size(); ++e) a.a[e] += s * b.a[e];
  return a;
}
Row plus(Row x, const Row& y, double s = 1.0) {
  for (std::size_t i = 0; i < x.size(); ++i) x[i] += s * y[i];
  return x;
}

// a with its columns scaled by d (a D).
Sq cols(Sq a, const Row& d) {
  for (int j = 0; j < a.n; ++j)
    for (int i = 0; i < a.n; ++i) a(i, j) *= d[static_cast<std::size_t>(j)];
  return a;
}

// x M, for a row x.
Row vm(const Row& x, const Sq& M) {
  Row y(x.size());
  dense::vxm(x.data(), M, y.data());
  return y;
}

// The same operations on a matrix of rows and on a single row (the boundary
// step takes either): the product with M, D on the right, and -a.
Sq times(const Sq& a, const Sq& M) { return dense::mul(a, M); }
Row times(const Row& x, const Sq& M) { return vm(x, M); }
Sq scaled(const Sq& a, const Row& d) { return cols(a, d); }
Row scaled(Row x, const Row& d) {
  for (std::size_t i = 0; i < x.size(); ++i) x[i] *= d[i];
  return x;
}
void negate(Sq& a) {
  for (double& x : a.a) x = -x;
}
void negate(Row& x) {
  for (double& v : x) v = -v;
}

}  // namespace

double centred_exp_moment(double p, double q, double h) { return moment(p, q, h, std::exp(-p * h), std::exp(-q * h)); }
double centred_exp_moment2(double p, double q, double h) {
  return moments(p, q, h, std::exp(-p * h), std::exp(-q * h)).second;
}

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
namespace {

// The mean medium's slab of thickness h, with what the response needs:
// D = e^{-Kh}, M^-1 (b0) and M^-1 D X (-a0).
struct MeanSlab {
  Row d;
  Sq mi, a0x;
  SlabRT rt;
  MeanSlab(const SlabMedium& m, double h) {
    const SlabSystem sys = slab_system(m, h);
    d = sys.d;
    mi = inverse(sys.M, "gradient_slab");
    rt = {dense::mul(mi, sys.top), dense::mul(mi, sys.low), {}, {}};
    a0x = dense::mul(cols(mi, d), m.X);
  }
};

// The change in the mean medium's eigen-basis (see above) with the matrices
// the response to a source inside the slab takes: C1 = (P - Q) Z1 with
// Z1 = (tau1 - rho1) E^-1, C2, and G1, G2.
struct Change {
  Sq Z1, C1, C2, G1, G2;
  Change(const SlabMedium& m, const MeanSlab& ms, const Sq& tau1, const Sq& rho1, double h) : G1(m.n), G2(m.n) {
    const Sq E = plus(m.P, m.Q), PmQ = plus(m.P, m.Q, -1.0);
    Z1 = dense::solve_right(plus(tau1, rho1, -1.0), E, "gradient_slab");
    C1 = dense::mul(PmQ, Z1);
    C2 = dense::solve_right(dense::mul(E, plus(tau1, rho1)), PmQ, "gradient_slab");
    for (int i = 0; i < m.n; ++i)
      for (int j = 0; j < m.n; ++j) {
        const double kj = m.k[static_cast<std::size_t>(j)], ki = m.k[static_cast<std::size_t>(i)];
        const double dj = ms.d[static_cast<std::size_t>(j)], di = ms.d[static_cast<std::size_t>(i)];
        G1(j, i) = -0.5 * (C1(j, i) + C2(j, i)) * moment(kj, ki, h, dj, di);
        G2(j, i) = 0.5 * (C2(j, i) - C1(j, i)) * moment(0.0, kj + ki, h, 1.0, dj * di);
      }
  }
};

// The boundary step: from the response sources J1, J2 (a matrix of them, one
// row a stream of the entering light, or a single row), the free parts
// a1 = (J1 X D - J2) P M^-1 and a2 = -(a1 D + J1) X, and what leaves the top
// and the bottom, dr = a1 P + (a2 D + J2) Q and dt = (a1 D + J1) Q + a2 P.
template <class T>
std::pair<T, T> boundary_step(const SlabMedium& m, const MeanSlab& ms, const T& J1, const T& J2) {
  const T a1 = times(times(plus(scaled(times(J1, m.X), ms.d), J2, -1.0), m.P), ms.mi);
  const T z1h = plus(scaled(a1, ms.d), J1);
  T a2 = times(z1h, m.X);
  negate(a2);
  return {plus(times(a1, m.P), times(plus(scaled(a2, ms.d), J2), m.Q)), plus(times(z1h, m.Q), times(a2, m.P))};
}

// First-order change (dr, dt) of the slab's operators for light entering at
// its top.
std::pair<Sq, Sq> response(const SlabMedium& m, const MeanSlab& ms, const Change& ch) {
  // J1 = M^-1 G1 + (M^-1 D X) G2 and J2 = M^-1 G2 + (M^-1 D X) G1, from their
  // sum and difference.
  const Sq jp = dense::mul(plus(ms.mi, ms.a0x), plus(ch.G1, ch.G2));
  const Sq jm = dense::mul(plus(ms.mi, ms.a0x, -1.0), plus(ch.G1, ch.G2, -1.0));
  Sq J1 = plus(jp, jm), J2 = plus(jp, jm, -1.0);
  for (double& x : J1.a) x *= 0.5;
  for (double& x : J2.a) x *= 0.5;
  return boundary_step(m, ms, J1, J2);
}

// The response sources J1, J2 (both halves) of the particular solution of
// exponential sources, taken in term by term: each term (A + B x) e^{-px} of
// the field, carried by the change into the eigen-basis, is
// (alpha + beta x) e^{-px} with
//   alpha = [(q0 Z1 - s0 C2') / 2, (q0 Z1 + s0 C2') / 2]  (s0 C2' = y0 C2),
// and beta likewise from y1, q1; against the decaying factors
//   J1_i += alpha1_i Phi(p, k_i) + beta1_i Psi(p, k_i),
//   J2_i -= alpha2_i Phi(p + k_i, 0) + beta2_i Psi(p + k_i, 0),
// Psi the moment of (s - h/2) s: Phi2 + (h/2) Phi.
//
// The terms are taken in as exp_faces visits them and worked through in
// finish(): their four products with C1 and C2 go through the matrices all
// terms at once (the vector-matrix products one by one took a sixth of a run
// with the sun beam).
class ParticularSources {
 public:
  ParticularSources(const SlabMedium& m, const MeanSlab& ms, const Change& ch, double h, const ExpSources& src)
      : m_(m), ms_(ms), h_(h), n_(static_cast<std::size_t>(m.n)), sz_(src.shapes.size() * 2),
        c1t_(dense::transposed(ch.C1)), c2t_(dense::transposed(ch.C2)) {
    for (int half = 0; half < 2; ++half) J1[half] = J2[half] = Row(n_, 0.0);
    // A term a rate, but for those near an eigenvalue (a stencil of rates).
    terms_.reserve(src.terms.size());
    for (Columns& c : cols_)
      for (Row* r : {&c.y0, &c.y1, &c.y0k, &c.y1k}) r->reserve(src.terms.size() * n_);
    // Per shape and half: sigma Z1.
    for (std::size_t v = 0; v < src.shapes.size(); ++v)
      for (int half = 0; half < 2; ++half) {
        const SourceAmps& a = src.shapes[v];
        Row sig(n_);
        for (std::size_t i = 0; i < n_; ++i)
          sig[i] = half == 0 ? a.down_cos[i] + a.up_cos[i] : a.down_sin[i] + a.up_sin[i];
        sz_[v * 2 + static_cast<std::size_t>(half)] = vm(sig, ch.Z1);
      }
  }
  // Keeps a term: its rate, weight and shapes, and its particular solution
  // (a column per term, per half: y0, y1 and their products with K).
  void add(const ParticularTerm& pt) {
    terms_.push_back({pt.p, pt.weight, *pt.term});
    for (int half = 0; half < 2; ++half) {
      const double* y0 = pt.y0[half];
      const double* y1 = pt.y1[half];
      Columns& c = cols_[half];
      const std::size_t at = c.y0.size();
      for (Row* r : {&c.y0, &c.y1, &c.y0k, &c.y1k}) r->resize(at + n_);
      for (std::size_t i = 0; i < n_; ++i) {
        c.y0[at + i] = y0[i];
        c.y1[at + i] = y1[i];
        c.y0k[at + i] = y0[i] * m_.k[i];
        c.y1k[at + i] = y1[i] * m_.k[i];
      }
    }
  }
  // J1, J2 from the terms kept, in the order they came.
  void finish() {
    const int count = static_cast<int>(terms_.size());
    if (count == 0) return;
    Row f1(n_), s1(n_), f2(n_), s2(n_);
    for (int half = 0; half < 2; ++half) {
      Columns& c = cols_[half];
      Row q1(c.y1k.size()), q0(q1.size()), y0c(q1.size()), y1c(q1.size());
      dense::mul_columns(c1t_, c.y1k.data(), count, q1.data());  // column t: (y1 K) C1 of term t
      dense::mul_columns(c1t_, c.y0k.data(), count, q0.data());
      dense::mul_columns(c2t_, c.y0.data(), count, y0c.data());
      dense::mul_columns(c2t_, c.y1.data(), count, y1c.data());
      c.q1 = std::move(q1), c.q0 = std::move(q0), c.y0c = std::move(y0c), c.y1c = std::move(y1c);
    }
    for (std::size_t term = 0; term < terms_.size(); ++term) {
      const Kept& kt = terms_[term];
      const double p = kt.p, ep = std::exp(-p * h_), ip = 1.0 / p;
      for (std::size_t i = 0; i < n_; ++i) {
        const double k = m_.k[i], di = ms_.d[i];
        const Moments a = moments(p, k, h_, ep, di), b = moments(p + k, 0.0, h_, ep * di, 1.0);
        f1[i] = a.first;
        s1[i] = a.second + 0.5 * h_ * a.first;
        f2[i] = b.first;
        s2[i] = b.second + 0.5 * h_ * b.first;
      }
      const ExpTerm& t = kt.term;
      const std::size_t at = term * n_;
      for (int half = 0; half < 2; ++half) {
        const Columns& c = cols_[half];
        const Row& sz0 = sz_[static_cast<std::size_t>(t.shape) * 2 + static_cast<std::size_t>(half)];
        const Row& sz1 = sz_[static_cast<std::size_t>(t.x_shape()) * 2 + static_cast<std::size_t>(half)];
        Row& j1 = J1[half];
        Row& j2 = J2[half];
        const double w = 0.5 * kt.weight;
        for (std::size_t i = 0; i < n_; ++i) {
          const double q1z = -(t.f1 * sz1[i] + c.q1[at + i]) * ip;
          const double q0z = -(t.f0 * sz0[i] - q1z + c.q0[at + i]) * ip;
          const double y0c = c.y0c[at + i], y1c = c.y1c[at + i];
          j1[i] += w * ((q0z - y0c) * f1[i] + (q1z - y1c) * s1[i]);
          j2[i] -= w * ((q0z + y0c) * f2[i] + (q1z + y1c) * s2[i]);
        }
      }
    }
  }
  Row J1[2], J2[2];

 private:
  struct Kept {
    double p, weight;
    ExpTerm term;
  };
  struct Columns {
    Row y0, y1, y0k, y1k;   // the terms' particular solutions, a column each
    Row q1, q0, y0c, y1c;   // their products: (y1 K) C1, (y0 K) C1, y0 C2, y1 C2
  };
  const SlabMedium& m_;
  const MeanSlab& ms_;
  double h_;
  std::size_t n_;
  std::vector<Row> sz_;
  Sq c1t_, c2t_;
  std::vector<Kept> terms_;
  Columns cols_[2];
};

SlabRT changed_rt(const SlabMedium& m, const MeanSlab& ms, const Change& ch) {
  const auto [dr, dt] = response(m, ms, ch);
  SlabRT s = ms.rt;
  s.rb = plus(s.r, dr, -1.0);
  s.tu = plus(s.t, dt, -1.0);
  s.r = plus(s.r, dr);
  s.t = plus(s.t, dt);
  return s;
}

}  // namespace

SlabRT gradient_slab_rt(const SlabMedium& m, const Sq& tau1, const Sq& rho1, double h) {
  const MeanSlab ms(m, h);
  return changed_rt(m, ms, Change(m, ms, tau1, rho1, h));
}

// The mean medium's field of the sources is the particular solution plus the
// homogeneous field that cancels what the particular solution brings into the
// faces: a0 entering the top and bh entering the bottom (black surroundings),
// i.e. light -a0 entering the top (b = -a0 M^-1, a = a0 M^-1 D X) and, by the
// mirror symmetry of a uniform slab, -bh entering the bottom (b = bh M^-1 D X,
// a = -bh M^-1). Both parts' response sources, through the boundary step, give
// the first-order change of the emission.
std::optional<GradientSlab> gradient_slab_emission(const SlabMedium& m, const Sq& tau1, const Sq& rho1, double h,
                                                   const ExpSources& src) {
  if (!m.eigen) return std::nullopt;
  const MeanSlab ms(m, h);
  const Change ch(m, ms, tau1, rho1, h);
  ParticularSources ps(m, ms, ch, h, src);
  // One pass over the terms: the face sums and the response sources together.
  const std::optional<ExpFaces> faces = exp_faces(m, h, src, [&ps](const ParticularTerm& t) { ps.add(t); });
  if (!faces) return std::nullopt;
  ps.finish();
  const Row (&J1)[2] = ps.J1;
  const Row (&J2)[2] = ps.J2;
  GradientSlab out{changed_rt(m, ms, ch), emission_of(*faces, ms.rt)};
  for (int half = 0; half < 2; ++half) {
    const Row& a0 = faces->a0[half];
    const Row& bh = faces->bh[half];
    const Row b = plus(vm(bh, ms.a0x), vm(a0, ms.mi), -1.0), a = plus(vm(a0, ms.a0x), vm(bh, ms.mi), -1.0);
    const Row j1 = plus(plus(J1[half], vm(b, ch.G1)), vm(a, ch.G2), -1.0);
    const Row j2 = plus(plus(J2[half], vm(b, ch.G2)), vm(a, ch.G1), -1.0);
    const auto [up, dn] = boundary_step(m, ms, j1, j2);
    out.em.up[half] = plus(out.em.up[half], up);
    out.em.dn[half] = plus(out.em.dn[half], dn);
  }
  return out;
}

}  // namespace abyss
