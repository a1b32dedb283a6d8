#include "grid/glint_quadrature.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "grid/fresnel.hpp"
#include "util/gauss_legendre.hpp"

namespace abyss {

namespace {

using Vec3 = std::array<double, 3>;

// A direction of the quadrature with its weight (solid angle, times mu for
// the source quad).
struct Node {
  Vec3 k;
  double w;
};

// Composite Gauss-Legendre rule on [a, b]: `pieces` equal parts, `order`
// points each.
std::vector<util::QuadNode> composite(double a, double b, int pieces, int order) {
  const auto rule = util::gauss_legendre(order);
  std::vector<util::QuadNode> out;
  const double h = (b - a) / pieces;
  for (int p = 0; p < pieces; ++p) {
    const double mid = a + (p + 0.5) * h;
    for (const auto& g : rule) out.push_back({mid + 0.5 * h * g.x, 0.5 * h * g.w});
  }
  return out;
}

// Directions of quad q (z component of sign `zsign`); the weight is dmu dphi,
// times mu when `power` is set.
std::vector<Node> quad_nodes(const QuadSpace& qs, int q, double zsign, bool power, int order) {
  const int u = qs.band_of(q);
  const bool cap = u == qs.nmu();
  const double dphi = qs.dphi_of_band(u);
  const double phi0 = cap ? 0.0 : qs.gridphi().phi(qs.azimuth_of(q)) - 0.5 * dphi;
  const auto mus = composite(qs.grid().bndmu(u - 1), qs.grid().bndmu(u), 2, order);
  const auto phis = composite(phi0, phi0 + dphi, cap ? 4 : 2, order);
  std::vector<Node> out;
  for (const auto& m : mus) {
    const double st = std::sqrt(std::max(0.0, 1.0 - m.x * m.x));
    for (const auto& p : phis)
      out.push_back({{st * std::cos(p.x), st * std::sin(p.x), zsign * m.x}, m.w * p.w * (power ? m.x : 1.0)});
  }
  return out;
}

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Gaussian slope density at the facet of upward unit normal m, and cos(tilt).
double slope_density(const Vec3& m, const SlopeVariances& v) {
  const double zx = -m[0] / m[2], zy = -m[1] / m[2];
  return std::exp(-0.5 * (zx * zx / v.upwind + zy * zy / v.crosswind)) /
         (2.0 * std::numbers::pi * std::sqrt(v.upwind * v.crosswind));
}

// Indices of refraction on the incident and the far side of the surface.
struct Media {
  double ni, nt;
};

// Reflection kernel for k_i -> k_o on the same side.
double reflection_kernel(const Vec3& ki, const Vec3& ko, Media md, const SlopeVariances& v, double norm) {
  Vec3 h{ko[0] - ki[0], ko[1] - ki[1], ko[2] - ki[2]};
  const double len = std::sqrt(dot(h, h));
  for (double& x : h) x /= len;
  const double c = dot(ko, h), cb = std::fabs(h[2]);
  return fresnel_reflectance(c, md.ni / md.nt) * slope_density(h, v) / (4.0 * norm * cb * cb * cb * cb);
}

// Transmission kernel for k_i -> k_t across the surface. The facet normal
// that refracts k_i into k_t is parallel to ni k_i - nt k_t.
double transmission_kernel(const Vec3& ki, const Vec3& kt, Media md, const SlopeVariances& v, double norm) {
  Vec3 m{md.ni * ki[0] - md.nt * kt[0], md.ni * ki[1] - md.nt * kt[1], md.ni * ki[2] - md.nt * kt[2]};
  const double len = std::sqrt(dot(m, m));
  const double sign = dot(m, ki) > 0.0 ? -1.0 : 1.0;  // the normal faces the incoming ray
  for (double& x : m) x *= sign / len;
  const double c = -dot(ki, m), ct = -dot(kt, m), cb = std::fabs(m[2]);
  if (m[2] * ki[2] >= 0.0 || c <= 0.0 || ct <= 0.0) return 0.0;  // no facet refracts k_i into k_t
  const double d = md.ni * c - md.nt * ct;
  return (1.0 - fresnel_reflectance(c, md.ni / md.nt)) * slope_density(m, v) * c * md.nt * md.nt * ct /
         (norm * cb * cb * cb * cb * d * d);
}

}  // namespace

FirstOrderRow first_order_row(const QuadSpace& qs, double n, const SlopeVariances& v, int q, bool from_air,
                              int order) {
  const int nq = qs.size();
  const double up = from_air ? 1.0 : -1.0;  // z sign of light leaving on the incident side
  const Media md = from_air ? Media{1.0, n} : Media{n, 1.0};
  FirstOrderRow row;
  row.refl.assign(static_cast<std::size_t>(nq) + 1, 0.0);
  row.trans.assign(static_cast<std::size_t>(nq) + 1, 0.0);
  const std::vector<Node> src = quad_nodes(qs, q, -up, true, order);
  std::vector<double> norm;
  for (const Node& a : src) norm.push_back(mean_projected_area(std::fabs(a.k[2]), a.k[0], a.k[1], v));
  for (int qt = 1; qt <= nq; ++qt) {
    double r = 0.0, t = 0.0;
    for (const Node& b : quad_nodes(qs, qt, up, false, order))
      for (std::size_t i = 0; i < src.size(); ++i) r += src[i].w * b.w * reflection_kernel(src[i].k, b.k, md, v, norm[i]);
    for (const Node& b : quad_nodes(qs, qt, -up, false, order))
      for (std::size_t i = 0; i < src.size(); ++i)
        t += src[i].w * b.w * transmission_kernel(src[i].k, b.k, md, v, norm[i]);
    row.refl[static_cast<std::size_t>(qt)] = r / qs.power(qt);
    row.trans[static_cast<std::size_t>(qt)] = t / qs.power(qt);
  }
  return row;
}

}  // namespace abyss

namespace abyss {

namespace {

// Power carried by the elements `m` (indexed by target quad) of bands lo..hi.
double band_power(const QuadSpace& qs, const std::vector<double>& m, int lo, int hi) {
  double p = 0.0;
  for (int qt = 1; qt <= qs.size(); ++qt)
    if (qs.band_of(qt) >= lo && qs.band_of(qt) <= hi) p += m[static_cast<std::size_t>(qt)] * qs.power(qt);
  return p;
}

int brightest(const std::vector<double>& m) {
  int best = 1;
  for (std::size_t q = 1; q < m.size(); ++q)
    if (m[q] > m[static_cast<std::size_t>(best)]) best = static_cast<int>(q);
  return best;
}

// Highest band whose polar angle is 65 degrees or more.
int last_grazing_band(const QuadSpace& qs) {
  int u = 0;
  while (u + 1 < qs.nmu() && qs.grid().bndmu(u + 1) <= std::cos(65.0 * std::numbers::pi / 180.0) + 1e-9) ++u;
  return u;
}

}  // namespace

GlintCheck check_sun_glint(const QuadSpace& qs, double n, double wind, double sun_zenith, const RaySampling& rays,
                           int order) {
  const SlopeVariances v = cox_munk_variances(wind);
  GlintCheck c;
  c.sun_quad = qs.quad_at(std::cos(sun_zenith * std::numbers::pi / 180.0), 0.0);
  RaySampling single = rays;
  single.multiple = false;
  const auto quad = first_order_row(qs, n, v, c.sun_quad, true, order).refl;
  const auto one = rough_surface_row(qs, n, v, single, c.sun_quad, true).refl;
  const auto all = rough_surface_row(qs, n, v, rays, c.sun_quad, true).refl;
  const double total = band_power(qs, quad, 1, qs.nmu());
  const int g = last_grazing_band(qs);
  for (int qt = 1; qt <= qs.size(); ++qt) {
    const auto k = static_cast<std::size_t>(qt);
    if (quad[k] * qs.power(qt) <= 0.01 * total) continue;
    ++c.elements;
    const double full = std::fabs(all[k] / quad[k] - 1.0);
    c.worst_single = std::max(c.worst_single, std::fabs(one[k] / quad[k] - 1.0));
    c.worst_full = std::max(c.worst_full, full);
    if (qs.band_of(qt) > g) c.worst_full_steep = std::max(c.worst_full_steep, full);
  }
  c.brightest_quadrature = brightest(quad);
  c.brightest_single = brightest(one);
  c.brightest_full = brightest(all);
  c.reflected_single = band_power(qs, one, 1, qs.nmu()) / total;
  c.reflected_full = band_power(qs, all, 1, qs.nmu()) / total;
  const double grazing = band_power(qs, quad, 1, g);
  c.grazing_single = band_power(qs, one, 1, g) / grazing;
  c.grazing_full = band_power(qs, all, 1, g) / grazing;
  return c;
}

GrazingTransmission check_grazing_transmission(const QuadSpace& qs, double n, double wind, double theta,
                                               const RaySampling& rays, int order) {
  const SlopeVariances v = cox_munk_variances(wind);
  const int q = qs.quad_at(std::cos(theta * std::numbers::pi / 180.0), 0.0);
  RaySampling single = rays;
  single.multiple = false;
  const double quad = band_power(qs, first_order_row(qs, n, v, q, false, order).trans, 1, 1);
  GrazingTransmission t;
  t.quadrature = quad / qs.power(q);
  t.single = band_power(qs, rough_surface_row(qs, n, v, single, q, false).trans, 1, 1) / quad;
  t.full = band_power(qs, rough_surface_row(qs, n, v, rays, q, false).trans, 1, 1) / quad;
  return t;
}

}  // namespace abyss
