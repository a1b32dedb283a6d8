// Wind-blown sea surface: reflection and transmission of quad radiances by a
// surface of randomly tilted facets with the slope statistics of Cox and Munk.
//
// Frame: z up (into the air), x along the wind (downwind), so the azimuth of
// a direction of travel is measured from the downwind direction.
//
// Method (Monte Carlo ray tracing with a fixed seed, so every file is
// reproducible):
// - Each source quad is sampled by strata x strata rays on a jittered grid
//   that is uniform in mu^2 and in azimuth; uniform in mu^2 means the rays
//   are distributed like the power fmu*omega that a uniform radiance carries
//   across the mean surface, so every ray stands for the same power.
// - The facet a ray meets is drawn from the Gaussian slope distribution
//   weighted by the facet's area projected onto the ray (rejection
//   sampling): steep facets facing the ray are met more often, facets turned
//   away are never met. Normalising this distribution per ray is the usual
//   way of accounting for the facets hidden behind others.
// - At the facet the ray is split by Fresnel's unpolarised reflectance R and
//   Snell's law into a reflected branch of weight R and a transmitted branch
//   of weight 1 - R. A branch that still heads into the surface (light
//   reflected downward in air, or refracted upward in water) meets another
//   facet and is split again; branches that leave the surface are scored in
//   the quad of their direction. After max_hits hits a branch that would
//   still hit the surface is scored at its mirror direction on its own side,
//   so no power is ever lost: reflected plus transmitted power equals the
//   incident power ray by ray.
// - The seed of each source quad is derived from the run seed and the quad,
//   so the result does not depend on the order in which quads are done.
// - The Gaussian slope distribution is symmetric about the wind axis and
//   about the crosswind axis, and so is the true operator. The sampled
//   matrices are averaged over these two mirror images: this halves the
//   sampling noise and makes the symmetry exact, so that cosine amplitudes
//   never feed sine amplitudes. The average only permutes quads of equal
//   power, so the balance of every row is kept.
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "grid/fresnel.hpp"
#include "grid/surface_optics.hpp"

namespace abyss {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;

using Vec3 = std::array<double, 3>;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

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

// Follows the rays of one source quad and scores them into one row of the
// reflection and transmission matrices.
class FacetTracer {
 public:
  FacetTracer(const QuadSpace& qs, double n, const SlopeVariances& v, int max_hits, std::uint64_t seed)
      : qs_(qs), n_(n), su_(std::sqrt(v.upwind)), sc_(std::sqrt(v.crosswind)), max_hits_(max_hits), rng_(seed) {}

  // Scores a ray of power `w` travelling along k (unit vector, z up) in air
  // or water. Rows: `row`; destination matrices: light ending upward in air
  // goes to `up_air`, light ending downward in water to `down_water`.
  void trace(Vec3 k, bool in_air, double w, int hits, int row, Mat& up_air, Mat& down_water);

 private:
  Vec3 facet_normal(const Vec3& k, bool in_air);
  void score(const Vec3& k, double w, int row, Mat& m) const;

  const QuadSpace& qs_;
  double n_, su_, sc_;
  int max_hits_;
  Rng rng_;
};

// Unit normal of the facet met by a ray travelling along k, pointing back to
// the side the ray comes from. The facet z = zx*x + zy*y has the upward normal
// (-zx, -zy, 1); per unit of mean-surface area its area projected onto the ray
// is |k . (-zx, -zy, 1)|, which is the acceptance weight.
Vec3 FacetTracer::facet_normal(const Vec3& k, bool in_air) {
  const double mu = std::fabs(k[2]);
  const double side = in_air ? 1.0 : -1.0;
  const double sig_t = std::sqrt(k[0] * k[0] * su_ * su_ + k[1] * k[1] * sc_ * sc_);
  if (sig_t == 0.0) return {0.0, 0.0, in_air ? 1.0 : -1.0};  // no slope can tilt this ray's facet
  const double cap = mu + 4.0 * sig_t;
  for (;;) {
    const auto g = rng_.normal_pair();
    const double zx = su_ * g[0], zy = sc_ * g[1];
    const double proj = mu + side * (k[0] * zx + k[1] * zy);
    if (proj <= 0.0) continue;
    if (proj < cap && rng_.uniform() * cap > proj) continue;
    const double len = std::sqrt(zx * zx + zy * zy + 1.0);
    return {-side * zx / len, -side * zy / len, side / len};
  }
}

void FacetTracer::score(const Vec3& k, double w, int row, Mat& m) const {
  const double mu = std::min(1.0, std::fabs(k[2]));
  const int q = qs_.quad_at(mu, std::atan2(k[1], k[0]));
  m(row, q) += w / qs_.power(q);
}

void FacetTracer::trace(Vec3 k, bool in_air, double w, int hits, int row, Mat& up_air, Mat& down_water) {
  const bool leaving = in_air ? k[2] > 0.0 : k[2] < 0.0;
  if (leaving || hits >= max_hits_) {
    if (!leaving) k[2] = -k[2];  // close the balance: the last bounce is taken as specular
    score(k, w, row, in_air ? up_air : down_water);
    return;
  }
  const Vec3 m = facet_normal(k, in_air);
  const double cos_i = -dot(k, m);
  const double eta = in_air ? 1.0 / n_ : n_;
  const double r = fresnel_reflectance(cos_i, eta);
  const Vec3 kr{k[0] + 2.0 * cos_i * m[0], k[1] + 2.0 * cos_i * m[1], k[2] + 2.0 * cos_i * m[2]};
  trace(kr, in_air, w * r, hits + 1, row, up_air, down_water);
  if (r >= 1.0) return;
  const double cos_t = snell_cos(cos_i, eta);
  const double c = eta * cos_i - cos_t;
  const Vec3 kt{eta * k[0] + c * m[0], eta * k[1] + c * m[1], eta * k[2] + c * m[2]};
  trace(kt, !in_air, w * (1.0 - r), hits + 1, row, up_air, down_water);
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
  FacetTracer tracer(qs, n, v, rays.max_hits, quad_seed(rays.seed, from_air ? 1 : 2, q));
  Rng jitter(quad_seed(rays.seed, from_air ? 3 : 4, q));
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      const double mu = std::sqrt(a2 + (b2 - a2) * (i + jitter.uniform()) / m);
      const double phi = phi0 + dphi * (j + jitter.uniform()) / m;
      const double st = std::sqrt(std::max(0.0, 1.0 - mu * mu));
      const Vec3 k{st * std::cos(phi), st * std::sin(phi), from_air ? -mu : mu};
      tracer.trace(k, from_air, w, 0, q, up_air, down_water);
    }
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

}  // namespace

// Cox and Munk (1954), clean surface: slope variances 0.00316 U along the wind
// and 0.003 + 0.00192 U across it (U in m/s at 12.5 m). Their fits rest on
// winds of 1 m/s and more; below 1 m/s the crosswind intercept is faded out
// linearly so that a calm sea is the level surface.
SlopeVariances cox_munk_variances(double wind) {
  SlopeVariances v;
  if (wind <= 0.0) return v;
  v.upwind = 0.00316 * wind;
  v.crosswind = 0.00192 * wind + 0.003 * std::min(1.0, wind);
  return v;
}

QuadOperators rough_surface_operators(const QuadSpace& qs, double n, const SlopeVariances& v,
                                      const RaySampling& rays) {
  QuadOperators ops;
  ops.resize(qs.size());
  for (int q = 1; q <= qs.size(); ++q) {
    trace_quad(qs, n, v, rays, q, true, ops.r_aw, ops.t_aw);
    trace_quad(qs, n, v, rays, q, false, ops.t_wa, ops.r_wa);
  }
  for (Mat* m : {&ops.t_aw, &ops.r_wa, &ops.t_wa, &ops.r_aw}) symmetrize(qs, *m);
  return ops;
}

}  // namespace abyss
