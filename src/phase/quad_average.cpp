#include "phase/quad_average.hpp"
#include "util/gauss_legendre.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <thread>

#include "grid/grid_state.hpp"

namespace abyss::phase {

namespace {

constexpr double kPi = PhaseFunction::kPi;
constexpr double kTwoPi = 2.0 * kPi;

// ---------------------------------------------------------------- 1-D rules

using Node = util::QuadNode;
using util::gauss_legendre;

class GaussCache {
 public:
  const std::vector<Node>& get(int n) {
    auto it = rules_.find(n);
    if (it == rules_.end()) it = rules_.emplace(n, gauss_legendre(n)).first;
    return it->second;
  }

 private:
  std::map<int, std::vector<Node>> rules_;
};

void add_gauss(std::vector<Node>& out, const std::vector<Node>& gl, double a, double b) {
  const double h = 0.5 * (b - a), c = 0.5 * (a + b);
  for (const Node& n : gl) out.push_back({c + h * n.x, h * n.w});
}

// Composite rule on [a, b]. An end that is graded gets pieces shrinking
// geometrically towards it, resolving the edge layer there (which follows the
// forward peak's C(d) ~ d^0.5 over many decades of the distance d from the
// edge); an ungraded half is one Gauss piece.
std::vector<Node> rule_1d(double a, double b, bool grade_a, bool grade_b, const QuadRule& q, GaussCache& gc) {
  std::vector<Node> out;
  const double len = b - a;
  std::vector<double> cuts{0.0};
  for (int k = q.grade_levels; k >= 1; --k) cuts.push_back(0.5 * std::pow(q.grade_ratio, k));
  cuts.push_back(0.5);
  for (int side = 0; side < 2; ++side) {
    const bool graded = side == 0 ? grade_a : grade_b;
    const double sign = side == 0 ? 1.0 : -1.0, origin = side == 0 ? a : b;
    if (!graded) {
      add_gauss(out, gc.get(q.far_points), std::min(origin, origin + sign * 0.5 * len),
                std::max(origin, origin + sign * 0.5 * len));
      continue;
    }
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
      const double x0 = origin + sign * len * cuts[i], x1 = origin + sign * len * cuts[i + 1];
      add_gauss(out, gc.get(q.grade_points), std::min(x0, x1), std::max(x0, x1));
    }
  }
  return out;
}

// ------------------------------------------------------------------ psi grid

class PsiGrid {
 public:
  // `node`: an extra node (the edge of the forward cone, where C is cut).
  explicit PsiGrid(double node = 0.0) {
    psi_.push_back(0.0);
    for (double x = kMin; x < kSwitch; x *= kRatio) psi_.push_back(x);
    if (node > kMin && node < psi_.back()) psi_.insert(std::upper_bound(psi_.begin(), psi_.end(), node), node);
    nlog_ = psi_.size();
    const double start = psi_.back();
    const int nlin = static_cast<int>(std::ceil((kPi - start) / kStep));
    for (int k = 1; k <= nlin; ++k) psi_.push_back(start + (kPi - start) * k / nlin);
    lin_step_ = (kPi - start) / nlin;
  }
  std::size_t size() const { return psi_.size(); }
  double operator[](std::size_t i) const { return psi_[i]; }
  // Cell i (psi_i <= x <= psi_{i+1}) and the linear weight t of node i + 1.
  void locate(double x, std::size_t& i, double& t) const {
    if (x <= 0.0) {
      i = 0, t = 0.0;
      return;
    }
    if (x < kMin) {
      i = 0;
    } else if (x < psi_[nlog_ - 1]) {
      i = static_cast<std::size_t>(std::log(x / kMin) / std::log(kRatio)) + 1;
      i = std::min(i, nlog_ - 2);
      while (i > 1 && psi_[i] > x) --i;
      while (psi_[i + 1] < x) ++i;
    } else {
      i = nlog_ - 1 + static_cast<std::size_t>((x - psi_[nlog_ - 1]) / lin_step_);
      i = std::min(i, psi_.size() - 2);
    }
    t = std::clamp((x - psi_[i]) / (psi_[i + 1] - psi_[i]), 0.0, 1.0);
  }

 private:
  static constexpr double kMin = 1.0e-14, kSwitch = 0.2, kRatio = 1.01, kStep = 1.0e-3;
  std::vector<double> psi_;
  std::size_t nlog_ = 0;
  double lin_step_ = 0.0;
};

// ------------------------------------------------------------------- quads

struct Quad {
  double mu_lo = 0.0, mu_hi = 1.0;
  bool cap = false;
  double phi_c = 0.0, half = 0.0;  // centre and half-width of the azimuth band
  int hemi = 1;                    // +1 the incident hemisphere, -1 the opposite one
  double omega = 0.0;
};

struct Vec3 {
  double x, y, z;
};
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Ray p(psi) = xi cos psi + t sin psi, psi in [0, pi]; sets of psi as at most
// a few sorted disjoint intervals.
struct Intervals {
  std::array<double, 8> lo{}, hi{};
  int n = 0;
  void add(double a, double b) {
    if (b > a && n < 8) lo[static_cast<std::size_t>(n)] = a, hi[static_cast<std::size_t>(n++)] = b;
  }
};

// {psi in [0, pi] : A cos psi + B sin psi >= c}.
Intervals arc_condition(double A, double B, double c) {
  Intervals out;
  const double R = std::hypot(A, B);
  if (c <= -R) {
    out.add(0.0, kPi);
    return out;
  }
  if (c >= R) return out;
  const double alpha = std::atan2(B, A), beta = std::acos(c / R);
  std::array<std::pair<double, double>, 3> cand;
  for (int k = -1; k <= 1; ++k)
    cand[static_cast<std::size_t>(k + 1)] = {std::max(0.0, alpha - beta + kTwoPi * k),
                                             std::min(kPi, alpha + beta + kTwoPi * k)};
  std::sort(cand.begin(), cand.end());
  for (const auto& [a, b] : cand) out.add(a, b);
  return out;
}

Intervals intersect(const Intervals& p, const Intervals& q) {
  Intervals out;
  int i = 0, j = 0;
  while (i < p.n && j < q.n) {
    const double a = std::max(p.lo[static_cast<std::size_t>(i)], q.lo[static_cast<std::size_t>(j)]);
    const double b = std::min(p.hi[static_cast<std::size_t>(i)], q.hi[static_cast<std::size_t>(j)]);
    out.add(a, b);
    (p.hi[static_cast<std::size_t>(i)] < q.hi[static_cast<std::size_t>(j)] ? i : j)++;
  }
  return out;
}

// {psi in [0, pi] : A cos psi + B sin psi >= 0} for a plane through the
// origin: a half great circle crosses it once, so this is [0, psi_c] or [psi_c, pi].
Intervals half_space(double A, double B) {
  Intervals out;
  if (A == 0.0) {  // the ray starts on the plane: it stays on the side B points to
    if (B >= 0.0) out.add(0.0, kPi);
    return out;
  }
  double pc = std::atan2(A, -B);  // A cos + B sin = 0
  if (pc < 0.0) pc += kPi;
  if (A > 0.0 || (A == 0.0 && B > 0.0)) out.add(0.0, pc);
  else out.add(pc, kPi);
  return out;
}

// The psi intervals of the ray (xi, t) inside quad B.
Intervals ray_in_quad(const Vec3& xi, const Vec3& t, const Quad& B) {
  // Band: mu' = xi_z cos psi + t_z sin psi, signed by the hemisphere of B.
  const double hz = B.hemi;
  Intervals in = arc_condition(hz * xi.z, hz * t.z, B.mu_lo);
  if (in.n == 0 || B.cap) return in;
  in = intersect(in, arc_condition(-hz * xi.z, -hz * t.z, -B.mu_hi));
  if (in.n == 0) return in;
  // Azimuth band: the lune between the half-meridians phi_c -/+ half.
  const double p1 = B.phi_c - B.half, p2 = B.phi_c + B.half;
  const Vec3 n1{-std::sin(p1), std::cos(p1), 0.0}, n2{std::sin(p2), -std::cos(p2), 0.0};
  if (2.0 * B.half < kPi - 1e-12) {
    in = intersect(in, half_space(dot(n1, xi), dot(n1, t)));
    return intersect(in, half_space(dot(n2, xi), dot(n2, t)));
  }
  return intersect(in, half_space(dot(n1, xi), dot(n1, t)));  // a half sphere (nphi = 2)
}

// ------------------------------------------------------------ pair integrals

struct Geometry {
  int nmu, nphi;
  std::vector<double> lo, hi, omega;  // band limits and quad solid angles, index 1..nmu
  double dphi;
  Quad quad(int band, int s, int hemi) const {
    Quad q;
    q.mu_lo = lo[static_cast<std::size_t>(band)];
    q.mu_hi = hi[static_cast<std::size_t>(band)];
    q.cap = (band == nmu);
    q.phi_c = (s - 1) * dphi;
    q.half = 0.5 * dphi;
    q.hemi = hemi;
    q.omega = omega[static_cast<std::size_t>(band)];
    return q;
  }
};

// Which edges of the incident quad A = quad(u, s) meet quad B = quad(r, 1):
// the integrand has an edge layer along them (and at their corners).
struct EdgeContact {
  bool mu_lo = false, mu_hi = false, phi_lo = false, phi_hi = false;
  bool any() const { return mu_lo || mu_hi || phi_lo || phi_hi; }
};

EdgeContact contact(const Geometry& g, int u, int s, int r, int hemi) {
  EdgeContact e;
  if (hemi < 0) {  // opposite hemispheres meet only at the horizon
    if (u == 1 && r == 1 && s <= 2) {
      e.mu_lo = true;
      e.phi_lo = true;  // the shared meridian (s = 2) or both (s = 1)
      e.phi_hi = s == 1;
    }
    return e;
  }
  if (std::abs(u - r) > 1) return e;
  if (u == g.nmu || r == g.nmu) {  // the cap meets every quad of band nmu - 1 along its edge
    e.mu_lo = u == g.nmu;  // the cap's own edge (the incident cap is split in azimuth at B's edges)
    e.mu_hi = u < g.nmu;   // a band quad's upper edge on the cap
    return e;
  }
  if (s > 2) return e;
  e.mu_lo = r <= u;
  e.mu_hi = r >= u;
  e.phi_lo = true;  // s = 1: the shared meridians or corners; s = 2: the edge towards B
  e.phi_hi = s == 1;
  return e;
}

struct PairJob {
  int u, s, r, hemi;
};

// Ray azimuths (about xi, from e1 towards e2) at which the crossing of quad B
// changes form: towards its corners, towards the poles where the azimuth
// boundaries meet, and where the ray grazes one of its mu boundaries. Between
// them the crossing length is smooth in chi. Returned sorted over [0, 2 pi],
// both ends included, long gaps split.
void chi_breakpoints(const Vec3& xi, const Vec3& e1, const Vec3& e2, const Quad& B, std::vector<double>& brk) {
  brk.assign({0.0, kPi});
  auto toward = [&](const Vec3& P) {
    const double y = dot(P, e2), x = dot(P, e1);
    if (std::hypot(x, y) > 1e-14) brk.push_back(std::atan2(y, x));
  };
  std::array<double, 2> mus{B.mu_lo, B.mu_hi};
  for (int k = 0; k < (B.cap ? 1 : 2); ++k) {
    const double m = mus[static_cast<std::size_t>(k)], sm = std::sqrt(std::max(0.0, 1.0 - m * m));
    if (!B.cap)
      for (double ph : {B.phi_c - B.half, B.phi_c + B.half})
        toward({sm * std::cos(ph), sm * std::sin(ph), B.hemi * m});
    const double st2 = 1.0 - xi.z * xi.z;  // graze: |mu'| peaks at m, with t_z = -sin(theta) cos(chi)
    if (st2 > 1e-300) {
      const double c2 = (m * m - xi.z * xi.z) / st2;
      if (c2 >= 0.0 && c2 <= 1.0) {
        const double a = std::acos(std::sqrt(c2));
        for (double chi : {a, -a, kPi - a, a - kPi}) brk.push_back(chi);
      }
    }
  }
  for (double& b : brk) b = b < 0.0 ? b + kTwoPi : b;
  brk.push_back(kTwoPi);
  std::sort(brk.begin(), brk.end());
  std::vector<double> out{brk.front()};
  for (std::size_t i = 1; i < brk.size(); ++i) {
    const double gap = brk[i] - out.back();
    if (gap < 1e-12) continue;
    const int pieces = static_cast<int>(std::ceil(gap / (kPi / 4)));
    for (int k = 1; k <= pieces; ++k) out.push_back(out.back() + (brk[i] - out.back()) / (pieces - k + 1));
  }
  brk.swap(out);
}

// Weights on the psi grid, accumulated over the touched index range.
struct PsiWeights {
  const PsiGrid& grid;
  std::vector<double>& W;
  std::size_t imin, imax = 0;
  PsiWeights(const PsiGrid& g, std::vector<double>& w) : grid(g), W(w), imin(g.size()) {}
  void deposit(double psi, double w) {
    std::size_t i;
    double t;
    grid.locate(psi, i, t);
    W[i] += w * (1.0 - t);
    W[i + 1] += w * t;
    imin = std::min(imin, i);
    imax = std::max(imax, i + 1);
  }
};

// Azimuth nodes over the incident quad A (for the cap, split at B's azimuth edges).
std::vector<Node> azimuth_nodes(const Quad& A, const Quad& B, const EdgeContact& e, const QuadRule& q,
                                GaussCache& gc) {
  if (!A.cap) return rule_1d(A.phi_c - A.half, A.phi_c + A.half, e.phi_lo, e.phi_hi, q, gc);
  if (B.cap) return {{0.0, kTwoPi}};  // both caps: nothing depends on azimuth
  const bool touch = e.any();
  std::vector<Node> phis = rule_1d(B.phi_c - B.half, B.phi_c + B.half, touch, touch, q, gc);
  const std::vector<Node> rest = rule_1d(B.phi_c + B.half, B.phi_c - B.half + kTwoPi, touch, touch, q, gc);
  phis.insert(phis.end(), rest.begin(), rest.end());
  return phis;
}

// All rays from one incident direction (mu, phi) with weight w: the chi
// integral, piece by piece between the breakpoints. The substitution
// t -> t^2 (3 - 2t) flattens the square-root behaviour of the crossing length
// where a ray grazes a boundary or passes a corner.
// Whether quad B, widened by eps, holds the direction p.
bool holds(const Quad& B, const Vec3& p, double eps) {
  const double mu = B.hemi * p.z;
  if (mu < B.mu_lo - eps || (!B.cap && mu > B.mu_hi + eps)) return false;
  if (B.cap || std::abs(p.z) > 1.0 - eps) return true;
  return std::abs(std::remainder(std::atan2(p.y, p.x) - B.phi_c, kTwoPi)) <= B.half + eps;
}

// `sink(lo, hi, wk)` receives each psi interval [lo, hi] of a ray with its weight.
// `cull`: skip the pieces whose middle ray misses the quad. The rays that
// cross a quad away from +-xi fill one arc of ray azimuths, whose ends are
// rays through a corner or grazing a mu boundary, all of them breakpoints: a
// ray inside a piece crosses the quad exactly when the piece's middle ray does.
// (A quad that holds xi or -xi, or nearly, is swept whole.)
template <class Sink>
void sweep_rays(double mu, double phi, double w, const Quad& B, const std::vector<Node>& gl,
                std::vector<double>& brk, Sink&& sink, bool cull = false) {
  const double st = std::sqrt(std::max(0.0, 1.0 - mu * mu)), cp = std::cos(phi), sp = std::sin(phi);
  const Vec3 xi{st * cp, st * sp, mu};
  const Vec3 e1{mu * cp, mu * sp, -st}, e2{-sp, cp, 0.0};
  const auto ray = [&](double chi) {
    const double c = std::cos(chi), s = std::sin(chi);
    return Vec3{c * e1.x + s * e2.x, c * e1.y + s * e2.y, c * e1.z + s * e2.z};
  };
  chi_breakpoints(xi, e1, e2, B, brk);
  cull = cull && !holds(B, xi, 1e-6) && !holds(B, {-xi.x, -xi.y, -xi.z}, 1e-6);
  for (std::size_t k = 0; k + 1 < brk.size(); ++k) {
    const double c0 = brk[k], len = brk[k + 1] - brk[k];
    if (cull && ray_in_quad(xi, ray(c0 + 0.5 * len), B).n == 0) continue;
    for (const Node& n : gl) {
      const double tt = 0.5 * (n.x + 1.0);
      const double chi = c0 + len * tt * tt * (3.0 - 2.0 * tt);
      const double wk = w * 0.5 * n.w * len * 6.0 * tt * (1.0 - tt) / kTwoPi;
      const Intervals in = ray_in_quad(xi, ray(chi), B);
      for (int j = 0; j < in.n; ++j) sink(in.lo[static_cast<std::size_t>(j)], in.hi[static_cast<std::size_t>(j)], wk);
    }
  }
}

// Adds the pair's weights on the psi grid: Int_A dOmega Int_B dOmega' beta~ = Sum_i W_i C(psi_i).
void pair_weights(const Quad& A, const Quad& B, const EdgeContact& e, const QuadRule& q, GaussCache& gc,
                  PsiWeights& acc) {
  const std::vector<Node> mus = rule_1d(A.mu_lo, A.mu_hi, e.mu_lo, e.mu_hi, q, gc);
  const std::vector<Node> phis = azimuth_nodes(A, B, e, q, gc);
  const std::vector<Node>& gl = gc.get(e.any() ? q.chi_points_touch : q.chi_points_far);
  std::vector<double> brk;
  auto deposit = [&acc](double lo, double hi, double wk) {
    acc.deposit(hi, wk);
    acc.deposit(lo, -wk);
  };
  for (const Node& m : mus)
    for (const Node& p : phis) sweep_rays(m.x, p.x, m.w * p.w, B, gl, brk, deposit);
}

Geometry make_geometry(const Grid& g, const GridPhi& gp, int nmu, int nphi) {
  Geometry geo{nmu, nphi, {}, {}, {}, 0.0};
  geo.lo.assign(static_cast<std::size_t>(nmu + 1), 0.0);
  geo.hi = geo.lo;
  geo.omega = geo.lo;
  for (int u = 1; u <= nmu; ++u) {
    geo.lo[static_cast<std::size_t>(u)] = g.bndmu(u - 1);
    geo.hi[static_cast<std::size_t>(u)] = g.bndmu(u);
    geo.omega[static_cast<std::size_t>(u)] = g.omega(u);
  }
  geo.dphi = gp.bndphi(1) - gp.bndphi(0);
  return geo;
}

std::vector<PairJob> make_jobs(int nmu, int nphi) {
  std::vector<PairJob> jobs;
  for (int hemi : {1, -1})
    for (int u = 1; u <= nmu; ++u)
      for (int s = 1; s <= (u == nmu ? 1 : nphi / 2 + 1); ++s)
        for (int r = 1; r <= nmu; ++r)
          if (r < nmu || s == 1) jobs.push_back({u, s, r, hemi});
  return jobs;
}

// The cap column and the cap row do not depend on the azimuth difference.
void fill_cap_symmetry(DpfArrays& d) {
  const int nmu = d.nmu;
  for (Mat* m : {&d.pt, &d.pr})
    for (int s = 2; s <= d.nphi / 2 + 1; ++s) {
      for (int r = 1; r <= nmu; ++r) (*m)(r, (s - 1) * nmu + nmu) = (*m)(r, nmu);
      for (int u = 1; u < nmu; ++u) (*m)(nmu, (s - 1) * nmu + u) = (*m)(nmu, u);
    }
}

// The scattering within the forward cone (ct, cr: its share of each element
// of PT and PR, as averaged over the quads) given back to the incident quad:
// the total from quad (u, 1) into every quad, counted as the column sums
// count it, is added to PT(u, I(u, 1)). Taking it from the averages, rather
// than as C(cone), keeps the columns' sums exactly as the quadrature gives them.
void keep_cone_in_quad(const Mat& ct, const Mat& cr, int nmu, int nphi, Mat& pt) {
  auto cone = [&](int r, int I) { return ct(r, I) + cr(r, I); };
  for (int u = 1; u < nmu; ++u) {
    double total = cone(nmu, u);
    for (int s = 1; s <= nphi / 2 + 1; ++s) {
      const double fold = (s == 1 || s == nphi / 2 + 1) ? 1.0 : 2.0;
      for (int r = 1; r < nmu; ++r) total += fold * cone(r, (s - 1) * nmu + u);
    }
    pt(u, u) += total;
  }
  double cap = cone(nmu, nmu);
  for (int r = 1; r < nmu; ++r) cap += nphi * cone(r, nmu);
  pt(nmu, nmu) += cap;
}

Quad quad_of(const QuadBounds& q) { return {q.mu_lo, q.mu_hi, q.cap, q.phi_c, q.half, q.hemi, 0.0}; }

// The fraction of the scattering between the angles lo and hi that lies
// outside the forward cone: exactly C(hi) - C(lo) above it, however sharp
// the forward peak.
double outside_cone(const PhaseFunction& f, double lo, double hi, double cone) {
  return hi > cone ? f.cumulative(hi) - f.cumulative(std::max(lo, cone)) : 0.0;
}

}  // namespace

std::vector<DpfArrays> quad_average(const Grid& g, const GridPhi& gp, int nmu, int nphi,
                                    const std::vector<const PhaseFunction*>& funs, const QuadRule& rule) {
  const Geometry geo = make_geometry(g, gp, nmu, nphi);
  const PsiGrid grid(rule.cone);
  std::vector<std::vector<double>> cgrid(funs.size(), std::vector<double>(grid.size()));
  // C of the scattering outside the forward cone and, separately, inside it.
  std::vector<std::vector<double>> cone_grid(funs.size(), std::vector<double>(grid.size(), 0.0));
  for (std::size_t f = 0; f < funs.size(); ++f) {
    const double kept = rule.cone > 0.0 ? funs[f]->cumulative(rule.cone) : 0.0;
    for (std::size_t i = 0; i < grid.size(); ++i) {
      const double c = funs[f]->cumulative(grid[i]);
      cgrid[f][i] = std::max(0.0, c - kept);
      cone_grid[f][i] = std::min(c, kept);
    }
  }

  std::vector<DpfArrays> out(funs.size());
  const int M = nmu * (nphi / 2 + 1);
  for (DpfArrays& d : out) d = {nmu, nphi, Mat(nmu, M), Mat(nmu, M)};

  std::vector<Mat> cone_t(funs.size(), Mat(nmu, M)), cone_r = cone_t;  // the cone's share of each element
  const std::vector<PairJob> jobs = make_jobs(nmu, nphi);
  std::atomic<std::size_t> next{0};
  auto worker = [&]() {
    GaussCache gc;
    std::vector<double> W(grid.size(), 0.0);
    for (std::size_t j = next++; j < jobs.size(); j = next++) {
      const PairJob& job = jobs[j];
      const Quad A = geo.quad(job.u, job.s, 1), B = geo.quad(job.r, 1, job.hemi);
      PsiWeights acc(grid, W);
      pair_weights(A, B, contact(geo, job.u, job.s, job.r, job.hemi), rule, gc, acc);
      const std::size_t imin = acc.imin, imax = acc.imax;
      for (std::size_t f = 0; f < funs.size(); ++f) {
        double sum = 0.0, in_cone = 0.0;
        for (std::size_t i = imin; i <= imax && imax > 0; ++i) {
          sum += W[i] * cgrid[f][i];
          in_cone += W[i] * cone_grid[f][i];
        }
        Mat& m = job.hemi > 0 ? out[f].pt : out[f].pr;
        m(job.r, (job.s - 1) * nmu + job.u) = sum / A.omega;
        (job.hemi > 0 ? cone_t : cone_r)[f](job.r, (job.s - 1) * nmu + job.u) = in_cone / A.omega;
      }
      if (imax > 0) std::fill(W.begin() + static_cast<long>(imin), W.begin() + static_cast<long>(imax) + 1, 0.0);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < std::max(1, rule.threads); ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  for (std::size_t f = 0; f < funs.size(); ++f) {
    keep_cone_in_quad(cone_t[f], cone_r[f], nmu, nphi, out[f].pt);
    fill_cap_symmetry(out[f]);
  }
  return out;
}

DpfArrays isotropic_dpf(const Grid& g, int nmu, int nphi) {
  const int M = nmu * (nphi / 2 + 1);
  DpfArrays d{nmu, nphi, Mat(nmu, M), Mat(nmu, M)};
  for (int I = 1; I <= M; ++I)
    for (int r = 1; r <= nmu; ++r) d.pt(r, I) = d.pr(r, I) = g.omega(r) / (4.0 * kPi);
  return d;
}

double cap_backscatter(const DpfArrays& d) {
  double f = d.pr(d.nmu, d.nmu);
  for (int r = 1; r < d.nmu; ++r) f += d.nphi * d.pr(r, d.nmu);
  return f;
}

double max_reciprocity_error(const DpfArrays& d, const Grid& g, double floor) {
  const int nmu = d.nmu;
  double worst = 0.0;
  for (const Mat* m : {&d.pt, &d.pr})
    for (int s = 1; s <= d.nphi / 2 + 1; ++s)
      for (int u = 1; u <= nmu; ++u)
        for (int r = 1; r < u; ++r) {
          if ((u == nmu || r == nmu) && s > 1) continue;
          const double a = g.omega(u) * (*m)(r, (s - 1) * nmu + u), b = g.omega(r) * (*m)(u, (s - 1) * nmu + r);
          const double big = std::max(std::abs(a), std::abs(b));
          if (big > floor * std::min(g.omega(u), g.omega(r))) worst = std::max(worst, std::abs(a - b) / big);
        }
  return worst;
}

std::vector<double> column_sums(const DpfArrays& d) {
  const int nmu = d.nmu, nphi = d.nphi;
  std::vector<double> sums(static_cast<std::size_t>(nmu + 1), 0.0);
  for (int u = 1; u <= nmu; ++u) {
    double sum = d.pt(nmu, u) + d.pr(nmu, u);
    for (int r = 1; r < nmu; ++r)
      for (int s = 1; s <= nphi; ++s) {
        const int sf = (s <= nphi / 2 + 1) ? s : nphi + 2 - s;  // fold onto 0..180 degrees
        const int I = (u == nmu ? 0 : (sf - 1) * nmu) + u;   // the cap column is I = nmu
        sum += d.pt(r, I) + d.pr(r, I);
      }
    sums[static_cast<std::size_t>(u)] = sum;
  }
  return sums;
}

double direction_into_quad(const PhaseFunction& f, double mu, double phi, const QuadBounds& q, int chi_points,
                           double cone) {
  const Quad B = quad_of(q);
  const std::vector<Node> gl = gauss_legendre(chi_points);
  std::vector<double> brk;
  double sum = 0.0;
  sweep_rays(mu, phi, 1.0, B, gl, brk, [&](double lo, double hi, double wk) { sum += wk * outside_cone(f, lo, hi, cone); });
  return sum;
}

Crossings direction_crossings(double mu, double phi, const QuadBounds& q, int chi_points) {
  const Quad B = quad_of(q);
  std::vector<double> brk;
  Crossings out;
  sweep_rays(mu, phi, 1.0, B, gauss_legendre(chi_points), brk,
             [&](double lo, double hi, double wk) {
               out.lo.push_back(lo);
               out.hi.push_back(hi);
               out.w.push_back(wk);
             },
             true);
  return out;
}

double scattering_into(const PhaseFunction& f, const Crossings& c, double cone) {
  double sum = 0.0;
  for (std::size_t k = 0; k < c.w.size(); ++k) sum += c.w[k] * outside_cone(f, c.lo[k], c.hi[k], cone);
  return sum;
}

}  // namespace abyss::phase
