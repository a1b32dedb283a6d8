// Wind-blown sea surface: reflection and transmission of quad radiances by a
// surface of randomly tilted facets with the slope statistics of Cox and Munk.
//
// Frame: z up (into the air), x along the wind (downwind), so the azimuth of
// a direction of travel is measured from the downwind direction.
//
// Method (stratified ray tracing with a fixed seed, so every file is
// reproducible):
// - Each source quad is sampled by strata x strata rays on a jittered grid
//   that is uniform in mu^2 and in azimuth; uniform in mu^2 means the rays
//   are distributed like the power fmu*omega that a uniform radiance carries
//   across the mean surface, so every ray stands for the same power.
// - A ray's power is shared among the facets it can meet in proportion to
//   p(slope) times the facet's area projected onto the ray, max(0, mu +
//   k_h . slope) per unit of mean-surface area: steep facets facing the ray
//   are met more often, facets turned away (hidden) are never met, and
//   dividing by the mean projected area (which exceeds mu by what the
//   hidden facets would have shown) accounts for the hidden ones. For the
//   first facet the slope density is integrated by a grid of slope_strata^2
//   slopes: equal-probability strata of each component of a Gaussian twice
//   as wide, weighted back to the true density, shifted from ray to ray
//   along a low-discrepancy sequence. This first interaction carries nearly
//   all the reflected and transmitted power, so stratifying it in slope as
//   well as in direction removes most of the sampling noise from the glint;
//   each traced row is finally scaled by the (near-unit) ratio of the power
//   it received to the power its facet weights handed on, so that every
//   row balances exactly.
// - At a facet the ray is split by Fresnel's unpolarised reflectance R and
//   Snell's law into a reflected branch of weight R and a transmitted branch
//   of weight 1 - R. A branch that still heads into the surface (light
//   reflected downward in air, or refracted upward in water) meets another
//   facet, drawn from the same projected-area weighted density by rejection,
//   and is split again; branches that leave the surface are scored in the
//   quad of their direction. After max_hits hits a branch that would still
//   hit the surface is scored at its mirror direction on its own side, so no
//   power is ever lost: reflected plus transmitted power equals the incident
//   power ray by ray.
// - The seed of each source quad is derived from the run seed and the quad,
//   so the result does not depend on the order in which quads are done.
// - Symmetry. With isotropic slopes the surface looks the same from every
//   azimuth: the operator depends only on the azimuth difference of source
//   and target quads. Only the quads centred on azimuth 0 (one per band) are
//   traced, each averaged with its mirror image phi -> -phi, and every other
//   row is the same row turned by whole azimuth bands. With anisotropic
//   slopes every quad is traced and the matrices are averaged over the
//   mirror images in the wind and crosswind axes. Both only permute quads
//   of equal power, so the balance of every row is kept, and both make the
//   operator exactly symmetric about the wind axis, so that cosine
//   amplitudes never feed sine amplitudes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include <gsl/gsl_cdf.h>

#include "grid/fresnel.hpp"
#include "grid/surface_optics.hpp"

namespace abyss {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kWiden = 2.0;

using Vec3 = std::array<double, 3>;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

double mean_projected_area(double mu, double kx, double ky, const SlopeVariances& v) {
  const double s = std::sqrt(kx * kx * v.upwind + ky * ky * v.crosswind);
  if (s == 0.0) return mu;
  const double x = mu / s;
  return mu * 0.5 * std::erfc(-x / std::numbers::sqrt2) + s * std::exp(-0.5 * x * x) / std::sqrt(kTwoPi);
}

namespace {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : s_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Pair of independent standard normal deviates (Box-Muller).
  std::array<double, 2> normal_pair() {
    const double r = std::sqrt(-2.0 * std::log(1.0 - uniform()));
    const double a = kTwoPi * uniform();
    return {r * std::cos(a), r * std::sin(a)};
  }

 private:
  std::uint64_t s_;
};

// Unit normal of the facet of slope (zx, zy) (surface z = zx*x + zy*y),
// pointing to the air (side = 1) or to the water (side = -1).
Vec3 facet_of_slope(double zx, double zy, double side) {
  const double len = std::sqrt(zx * zx + zy * zy + 1.0);
  return {-side * zx / len, -side * zy / len, side / len};
}

// Area of the facet of slope (zx, zy) projected onto a ray along k, per unit
// of mean-surface area, seen from side `side`; negative when the facet is
// turned away from the ray.
double projected_area(const Vec3& k, double zx, double zy, double side) {
  return std::fabs(k[2]) + side * (k[0] * zx + k[1] * zy);
}

// Follows the rays of one source quad and scores them into one row of the
// reflection and transmission matrices.
class FacetTracer {
 public:
  FacetTracer(const QuadSpace& qs, double n, const SlopeVariances& v, const RaySampling& rays, std::uint64_t seed)
      : qs_(qs), n_(n), su_(std::sqrt(v.upwind)), sc_(std::sqrt(v.crosswind)), max_hits_(rays.max_hits),
        slope_strata_(rays.slope_strata), multiple_(rays.multiple), rng_(seed),
        start_{rng_.uniform(), rng_.uniform()} {}

  // Shares a ray of power `w` travelling along k (unit vector, z up) into
  // the surface among a stratified set of facets and follows every branch.
  // Rows: `row`; light ending upward in air goes to `up_air`, light ending
  // downward in water to `down_water`.
  void first_hit(const Vec3& k, bool in_air, double w, int row, Mat& up_air, Mat& down_water);
  // Offset in (0, 1) of component c for the next ray.
  double next_offset(int c) {
    static constexpr double kR2[2] = {0.7548776662466927, 0.5698402909980532};
    if (c == 0) ++rays_;
    const double x = start_[c] + rays_ * kR2[c];
    return std::clamp(x - std::floor(x), 1e-12, 1.0 - 1e-12);
  }
  // Power handed to the first facets so far.
  double handed_out() const { return handed_out_; }

 private:
  void trace(Vec3 k, bool in_air, double w, int hits, int row, Mat& up_air, Mat& down_water);
  void split(const Vec3& k, const Vec3& m, bool in_air, double w, int hits, int row, Mat& up_air, Mat& down_water);
  Vec3 facet_normal(const Vec3& k, bool in_air);
  void score(const Vec3& k, double w, int row, Mat& m) const;

  const QuadSpace& qs_;
  double n_, su_, sc_;
  int max_hits_, slope_strata_;
  bool multiple_;
  Rng rng_;
  std::array<double, 2> start_;
  long long rays_ = 0;
  std::vector<double> zx_, zy_, wx_, wy_;
  double handed_out_ = 0.0;
};

void FacetTracer::first_hit(const Vec3& k, bool in_air, double w, int row, Mat& up_air, Mat& down_water) {
  if (su_ == 0.0 && sc_ == 0.0) {
    handed_out_ += w;
    split(k, {0.0, 0.0, in_air ? 1.0 : -1.0}, in_air, w, 1, row, up_air, down_water);
    return;
  }
  const int m = slope_strata_;
  const double side = in_air ? 1.0 : -1.0;
  // Slopes in equal-probability strata of a Gaussian kWiden times wider than
  // the true one, weighted back by the ratio of the two densities: the
  // steep facets that send light to grazing directions get their share of
  // strata instead of falling into the few outermost ones.
  zx_.resize(static_cast<std::size_t>(m));
  zy_.resize(static_cast<std::size_t>(m));
  wx_.resize(static_cast<std::size_t>(m));
  wy_.resize(static_cast<std::size_t>(m));
  const double tilt = 0.5 * (1.0 - 1.0 / (kWiden * kWiden));
  // One offset per ray for all strata of a component, the offsets of
  // successive rays following the R2 low-discrepancy sequence: the slope
  // sets of neighbouring rays interleave instead of clumping.
  const double ox = next_offset(0), oy = next_offset(1);
  for (int i = 0; i < m; ++i) {
    const auto k1 = static_cast<std::size_t>(i);
    const double gx = gsl_cdf_ugaussian_Pinv((i + ox) / m) * kWiden;
    const double gy = gsl_cdf_ugaussian_Pinv((i + oy) / m) * kWiden;
    zx_[k1] = su_ * gx;
    zy_[k1] = sc_ * gy;
    wy_[k1] = std::exp(-tilt * gy * gy);
    wx_[k1] = std::exp(-tilt * gx * gx);
  }
  // Each slope stands for 1/m^2 of the wide density; its share of the
  // ray's power is its projected area over the mean projected area.
  const double norm = kWiden * kWiden / (static_cast<double>(m) * m *
                                         mean_projected_area(std::fabs(k[2]), k[0], k[1], {su_ * su_, sc_ * sc_}));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      const auto ki = static_cast<std::size_t>(i), kj = static_cast<std::size_t>(j);
      const double a = projected_area(k, zx_[ki], zy_[kj], side);
      if (a <= 0.0) continue;
      const double wf = w * a * wx_[ki] * wy_[kj] * norm;
      handed_out_ += wf;
      split(k, facet_of_slope(zx_[ki], zy_[kj], side), in_air, wf, 1, row, up_air, down_water);
    }
}

// Unit normal of a facet met by a ray travelling along k, drawn from the
// slope density weighted by the projected area (rejection sampling),
// pointing back to the side the ray comes from.
Vec3 FacetTracer::facet_normal(const Vec3& k, bool in_air) {
  const double side = in_air ? 1.0 : -1.0;
  const double sig_t = std::sqrt(k[0] * k[0] * su_ * su_ + k[1] * k[1] * sc_ * sc_);
  if (sig_t == 0.0) return {0.0, 0.0, side};  // no slope can tilt this ray's facet
  const double cap = std::fabs(k[2]) + 6.0 * sig_t;
  for (;;) {
    const auto g = rng_.normal_pair();
    const double zx = su_ * g[0], zy = sc_ * g[1];
    const double proj = projected_area(k, zx, zy, side);
    if (proj <= 0.0) continue;
    if (proj < cap && rng_.uniform() * cap > proj) continue;
    return facet_of_slope(zx, zy, side);
  }
}

void FacetTracer::score(const Vec3& k, double w, int row, Mat& m) const {
  const double mu = std::min(1.0, std::fabs(k[2]));
  const int q = qs_.quad_at(mu, std::atan2(k[1], k[0]));
  m(row, q) += w / qs_.power(q);
}

void FacetTracer::trace(Vec3 k, bool in_air, double w, int hits, int row, Mat& up_air, Mat& down_water) {
  const bool leaving = in_air ? k[2] > 0.0 : k[2] < 0.0;
  if (!leaving && !multiple_) return;
  if (leaving || hits >= max_hits_) {
    if (!leaving) k[2] = -k[2];  // close the balance: the last bounce is taken as specular
    score(k, w, row, in_air ? up_air : down_water);
    return;
  }
  split(k, facet_normal(k, in_air), in_air, w, hits + 1, row, up_air, down_water);
}

// Reflects and refracts a ray of power w along k at the facet of unit normal
// m (facing the ray) and follows both branches.
void FacetTracer::split(const Vec3& k, const Vec3& m, bool in_air, double w, int hits, int row, Mat& up_air,
                        Mat& down_water) {
  const double cos_i = -dot(k, m);
  const double eta = in_air ? 1.0 / n_ : n_;
  const double r = fresnel_reflectance(cos_i, eta);
  const Vec3 kr{k[0] + 2.0 * cos_i * m[0], k[1] + 2.0 * cos_i * m[1], k[2] + 2.0 * cos_i * m[2]};
  trace(kr, in_air, w * r, hits, row, up_air, down_water);
  if (r >= 1.0) return;
  const double cos_t = snell_cos(cos_i, eta);
  const double c = eta * cos_i - cos_t;
  const Vec3 kt{eta * k[0] + c * m[0], eta * k[1] + c * m[1], eta * k[2] + c * m[2]};
  trace(kt, !in_air, w * (1.0 - r), hits, row, up_air, down_water);
}

std::uint64_t quad_seed(std::uint64_t seed, int side, int q) {
  Rng mix(seed ^ (static_cast<std::uint64_t>(side) << 32) ^ static_cast<std::uint64_t>(q));
  return mix.next();
}

// Rays of source quad q from air (downward) or from water (upward).
void trace_quad(const QuadSpace& qs, double n, const SlopeVariances& v, const RaySampling& rays, int q,
                bool from_air, Mat& up_air, Mat& down_water) {
  const Grid& g = qs.grid();
  const int u = qs.band_of(q);
  const double a2 = g.bndmu(u - 1) * g.bndmu(u - 1), b2 = g.bndmu(u) * g.bndmu(u);
  const double dphi = qs.dphi_of_band(u);
  const double phi0 = (u == qs.nmu()) ? 0.0 : qs.gridphi().phi(qs.azimuth_of(q)) - 0.5 * dphi;
  const int m = rays.strata;
  const double w = qs.power(q) / (static_cast<double>(m) * m);
  FacetTracer tracer(qs, n, v, rays, quad_seed(rays.seed, from_air ? 1 : 2, q));
  Rng jitter(quad_seed(rays.seed, from_air ? 3 : 4, q));
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      const double mu = std::sqrt(a2 + (b2 - a2) * (i + jitter.uniform()) / m);
      const double phi = phi0 + dphi * (j + jitter.uniform()) / m;
      const double st = std::sqrt(std::max(0.0, 1.0 - mu * mu));
      const Vec3 k{st * std::cos(phi), st * std::sin(phi), from_air ? -mu : mu};
      tracer.first_hit(k, from_air, w, q, up_air, down_water);
    }
  }
  // The facet weights share each ray's power exactly only on average: scale
  // the row so that it hands on exactly the power it receives.
  const double scale = qs.power(q) / tracer.handed_out();
  for (int qt = 1; qt <= qs.size(); ++qt) {
    up_air(q, qt) *= scale;
    down_water(q, qt) *= scale;
  }
}

// Azimuth band of the mirror image of band s in the wind axis (phi -> -phi)
// or in the crosswind axis (phi -> pi - phi).
int mirror_wind(int s, int nphi) { return (nphi + 1 - s) % nphi + 1; }
int mirror_cross(int s, int nphi) { return ((nphi / 2 + 1 - s) % nphi + nphi) % nphi + 1; }

// Averages m over the four images of the pair (q, q') under the two mirrors.
void symmetrize(const QuadSpace& qs, Mat& m) {
  const int nq = qs.size(), nphi = qs.nphi();
  std::vector<std::array<int, 4>> images(static_cast<std::size_t>(nq) + 1);
  for (int q = 1; q <= nq; ++q) {
    const int u = qs.band_of(q), s = qs.azimuth_of(q);
    auto at = [&](int sm) { return qs.index(u, sm); };
    images[static_cast<std::size_t>(q)] = {q, at(mirror_wind(s, nphi)), at(mirror_cross(s, nphi)),
                                          at(mirror_cross(mirror_wind(s, nphi), nphi))};
  }
  Mat out(nq, nq);
  for (int q = 1; q <= nq; ++q)
    for (int qt = 1; qt <= nq; ++qt) {
      double sum = 0.0;
      const auto& a = images[static_cast<std::size_t>(q)];
      const auto& b = images[static_cast<std::size_t>(qt)];
      for (std::size_t g = 0; g < 4; ++g) sum += m(a[g], b[g]);
      out(q, qt) = 0.25 * sum;
    }
  m = std::move(out);
}

// Isotropic surface: from the traced rows of the quads centred on azimuth 0
// (q = index(u, 1)) builds the whole matrix. Each traced row is averaged
// with its mirror image phi -> -phi (the cap row over all azimuths of each
// target band, since a cap source has no azimuth), then turned.
void spread_by_rotation(const QuadSpace& qs, Mat& m) {
  const int nphi = qs.nphi(), nmu = qs.nmu();
  for (int u = 1; u <= nmu; ++u) {
    const int q = qs.index(u, 1);
    std::vector<double> row(static_cast<std::size_t>(qs.size()) + 1);
    for (int ut = 1; ut < nmu; ++ut) {
      double band = 0.0;
      for (int st = 1; st <= nphi; ++st) band += m(q, qs.index(ut, st));
      for (int st = 1; st <= nphi; ++st)
        row[static_cast<std::size_t>(qs.index(ut, st))] =
            u == nmu ? band / nphi : 0.5 * (m(q, qs.index(ut, st)) + m(q, qs.index(ut, mirror_wind(st, nphi))));
    }
    row[static_cast<std::size_t>(qs.cap())] = m(q, qs.cap());
    const int ns = u == nmu ? 1 : nphi;
    for (int s = 1; s <= ns; ++s) {
      const int qs_row = qs.index(u, s);
      m(qs_row, qs.cap()) = row[static_cast<std::size_t>(qs.cap())];
      for (int ut = 1; ut < nmu; ++ut)
        for (int st = 1; st <= nphi; ++st)
          m(qs_row, qs.index(ut, st)) = row[static_cast<std::size_t>(qs.index(ut, (st - s + nphi) % nphi + 1))];
    }
  }
}

}  // namespace

// Cox and Munk (1954), clean surface: mean square slope 0.003 + 0.00512 U
// (U in m/s at 12.5 m), shared equally by the two slope components. Their
// fit rests on winds of 1 m/s and more; below 1 m/s the intercept is faded
// out linearly so that a calm sea is the level surface.
SlopeVariances cox_munk_variances(double wind) {
  SlopeVariances v;
  if (wind <= 0.0) return v;
  const double total = 0.00512 * wind + 0.003 * std::min(1.0, wind);
  v.upwind = v.crosswind = 0.5 * total;
  return v;
}

namespace {

// Quads whose traced rows make up the row of q: with isotropic slopes the
// quad of q's band centred on azimuth 0, otherwise q and its mirror images.
std::vector<int> traced_quads(const QuadSpace& qs, const SlopeVariances& v, int q) {
  const int u = qs.band_of(q), s = qs.azimuth_of(q), nphi = qs.nphi();
  if (v.isotropic()) return {qs.index(u, 1)};
  const int w = mirror_wind(s, nphi);
  std::vector<int> t{q, qs.index(u, w), qs.index(u, mirror_cross(s, nphi)), qs.index(u, mirror_cross(w, nphi))};
  std::sort(t.begin(), t.end());
  t.erase(std::unique(t.begin(), t.end()), t.end());  // images that coincide are traced once
  return t;
}

void complete(const QuadSpace& qs, const SlopeVariances& v, Mat& m) {
  if (v.isotropic())
    spread_by_rotation(qs, m);
  else
    symmetrize(qs, m);
}

}  // namespace

QuadOperators rough_surface_operators(const QuadSpace& qs, double n, const SlopeVariances& v,
                                      const RaySampling& rays) {
  QuadOperators ops;
  ops.resize(qs.size());
  for (int q = 1; q <= qs.size(); ++q) {
    if (v.isotropic() && qs.azimuth_of(q) != 1) continue;
    trace_quad(qs, n, v, rays, q, true, ops.r_aw, ops.t_aw);
    trace_quad(qs, n, v, rays, q, false, ops.t_wa, ops.r_wa);
  }
  for (Mat* m : {&ops.t_aw, &ops.r_wa, &ops.t_wa, &ops.r_aw}) complete(qs, v, *m);
  return ops;
}

SurfaceRow rough_surface_row(const QuadSpace& qs, double n, const SlopeVariances& v, const RaySampling& rays, int q,
                             bool from_air) {
  const int nq = qs.size();
  Mat same(nq, nq), across(nq, nq);
  for (int t : traced_quads(qs, v, q))
    trace_quad(qs, n, v, rays, t, from_air, from_air ? same : across, from_air ? across : same);
  complete(qs, v, same);
  complete(qs, v, across);
  SurfaceRow row;
  row.refl.assign(static_cast<std::size_t>(nq) + 1, 0.0);
  row.trans.assign(static_cast<std::size_t>(nq) + 1, 0.0);
  for (int qt = 1; qt <= nq; ++qt) {
    row.refl[static_cast<std::size_t>(qt)] = same(q, qt);
    row.trans[static_cast<std::size_t>(qt)] = across(q, qt);
  }
  return row;
}

}  // namespace abyss
