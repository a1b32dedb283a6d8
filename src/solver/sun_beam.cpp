#include "solver/sun_beam.hpp"

#include <algorithm>
#include <cstdio>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "control/run_state.hpp"
#include "grid/depth_conversion.hpp"
#include "grid/fresnel.hpp"
#include "iop/abscat.hpp"
#include "phase/dpf_origin.hpp"
#include "phase/quad_average.hpp"
#include "solver/slab_ops.hpp"
#include "util/gauss_legendre.hpp"
#include "util/names.hpp"

namespace abyss {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Light scattered by less than this angle keeps travelling with the beam. The
// forward peak of natural particles puts a tenth or more of all scattering
// within a few tenths of a degree: assigned to quads, that light would travel
// at the cosine of whichever quad's centre the beam happens to lie nearest
// and jump from one to the next as the sun moves across a band edge; carried
// with the beam it keeps the beam's own direction, off by less than the
// cone's half-angle, half a polar band of the partition. What is scattered
// outside the cone varies over the cone's width as the beam moves and enters
// the quads smoothly.
constexpr double kForwardCone = 5.0 * kPi / 180.0;
using Dir3 = std::array<double, 3>;  // z upward

// The ray refracted into the water by the facet of slope (zx, zy) (surface
// z = zx x + zy y), and the fraction transmitted; nothing when the facet is
// turned away from the beam or the refracted ray leaves upward.
struct Refraction {
  Dir3 t{};
  double trans = 0.0, area = 0.0;  // Fresnel transmittance, area presented to the beam per unit mean area
};
std::optional<Refraction> refract(const Dir3& k, double zx, double zy, double n) {
  const double len = std::sqrt(zx * zx + zy * zy + 1.0);
  const Dir3 nrm{-zx / len, -zy / len, 1.0 / len};
  const double ci = -(k[0] * nrm[0] + k[1] * nrm[1] + k[2] * nrm[2]);
  if (ci <= 0.0) return std::nullopt;
  const double eta = 1.0 / n, ct = snell_cos(ci, eta);
  Refraction r;
  for (int i = 0; i < 3; ++i) r.t[static_cast<std::size_t>(i)] = eta * k[static_cast<std::size_t>(i)] + (eta * ci - ct) * nrm[static_cast<std::size_t>(i)];
  if (r.t[2] >= 0.0) return std::nullopt;
  r.trans = 1.0 - fresnel_reflectance(ci, eta);
  r.area = ci * len;
  return r;
}

BeamDirection direction_of(const Refraction& r, double ed) {
  const double norm = std::sqrt(r.t[0] * r.t[0] + r.t[1] * r.t[1] + r.t[2] * r.t[2]);
  BeamDirection d;
  d.mu = -r.t[2] / norm;
  d.phi = std::atan2(r.t[1], r.t[0]);
  if (d.phi < 0.0) d.phi += 2.0 * kPi;
  d.ed = ed * r.trans;
  return d;
}

// ---------------------------------------------------------------------------
// Quads

int band_of(const RunState& rs, double mu) {
  const int nmu = rs.cmisc.nmu;
  for (int r = 1; r < nmu; ++r)
    if (mu < rs.cgrid.bndmu(r)) return r;
  return nmu;
}

int azimuth_band_of(const RunState& rs, double phi) {
  int best = 1;
  double dist = 1e300;
  for (int s = 1; s <= rs.cmisc.nphi; ++s) {
    double d = std::remainder(phi - rs.cgridphi.phi(s), 2.0 * kPi);
    if (std::abs(d) < dist) dist = std::abs(d), best = s;
  }
  return best;
}

phase::QuadBounds bounds(const RunState& rs, int hemi, int r, int s) {
  phase::QuadBounds q;
  const int nmu = rs.cmisc.nmu;
  q.mu_lo = rs.cgrid.bndmu(r - 1);
  q.mu_hi = r == nmu ? 1.0 : rs.cgrid.bndmu(r);
  q.cap = (r == nmu);
  q.phi_c = rs.cgridphi.phi(s);
  q.half = kPi / rs.cmisc.nphi;
  q.hemi = hemi;
  return q;
}

// Fourier amplitudes of one ring of quad values q[s-1], as the sky's: mode 0
// and lmax with 1/nphi, the others with 1/lmax; the cap only mode 0.
void ring_fourier(const RunState& rs, const std::vector<double>& q, bool cap, int l, double& c, double& sn) {
  c = sn = 0.0;
  if (cap) {
    if (l == 0) c = q[0];
    return;
  }
  const int nphi = rs.cmisc.nphi, lmax = rs.cmisc.lmax;
  for (int s = 1; s <= nphi; ++s) {
    c += std::cos(l * rs.cgridphi.phi(s)) * q[static_cast<std::size_t>(s - 1)];
    sn += std::sin(l * rs.cgridphi.phi(s)) * q[static_cast<std::size_t>(s - 1)];
  }
  const bool edge = (l == 0 || l == lmax);
  c *= edge ? 1.0 / nphi : 1.0 / lmax;
  sn = edge ? 0.0 : sn / lmax;
}

// ---------------------------------------------------------------------------
// Phase functions of the components

using PfCache = std::map<std::string, std::optional<phase::PhaseFunction>>;

const std::optional<phase::PhaseFunction>& function_of(PfCache& cache, const std::string& title, const std::string& dir) {
  auto it = cache.find(title);
  if (it == cache.end()) it = cache.emplace(title, phase::function_of_title(title, dir)).first;
  return it->second;
}

// Per component: the quad averages of its phase function from direction d,
// P(hemi, r, s) / fmu(r), Fourier analysed; layout [l][h][u], h = 0 up cos,
// 1 down cos, 2 up sin, 3 down sin. Empty when the component's function is unknown.
using ModeAmps = std::vector<double>;
constexpr std::size_t kH = 4;

std::size_t amp_index(int l, std::size_t h, int u) {
  return (static_cast<std::size_t>(l) * kH + h) * mxmu + static_cast<std::size_t>(u - 1);
}

std::size_t quad_slot(const RunState& rs, int hemi, int r, int s) {
  return static_cast<std::size_t>((hemi * rs.cmisc.nmu + r - 1) * rs.cmisc.nphi + s - 1);
}

// Angle between the direction d and the centre of quad (hemi, r, s).
double angle_to_quad(const RunState& rs, const BeamDirection& d, int hemi, int r, int s) {
  const double mc = r == rs.cmisc.nmu ? 1.0 : rs.cgrid.fmu(r), sc = std::sqrt(std::max(0.0, 1.0 - mc * mc));
  const double sd = std::sqrt(std::max(0.0, 1.0 - d.mu * d.mu));
  const double c = (hemi == 1 ? 1.0 : -1.0) * mc * d.mu + sc * sd * std::cos(rs.cgridphi.phi(s) - d.phi);
  return std::acos(std::clamp(c, -1.0, 1.0));
}

// The direction of a beam rounded to 2e-4 (about 0.01 degree), so that bands
// whose index of refraction differs in the fourth decimal share the quad
// integrals, and its key in the run's caches.
BeamDirection rounded(const BeamDirection& exact) {
  BeamDirection d = exact;
  d.mu = std::min(1.0, std::round(d.mu / 2e-4) * 2e-4);
  d.phi = std::round(d.phi / 2e-4) * 2e-4;
  return d;
}

std::string direction_key(const RunState& rs, const BeamDirection& d) {
  char key[96];
  std::snprintf(key, sizeof key, "|%.12g|%.12g|%d|%d|%.6g", d.mu, d.phi, rs.cmisc.nmu, rs.cmisc.nphi, kForwardCone);
  return key;
}

// The rays' crossings of every quad from direction d, which do not depend on
// the phase function (cached for the run). Quads far from the direction see a
// smooth phase function: fewer ray azimuths serve.
const std::vector<phase::Crossings>& quad_crossings(RunState& rs, const BeamDirection& d, const std::string& key) {
  auto [it, fresh] = rs.sol.beam.crossings.try_emplace(key);
  if (!fresh) return it->second;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  std::vector<phase::Crossings>& v = it->second;
  v.resize(static_cast<std::size_t>(2 * nmu * nphi));
  for (int hemi = 0; hemi < 2; ++hemi)  // 0 upward-travelling quads, 1 downward
    for (int r = 1; r <= nmu; ++r)
      for (int s = 1; s <= (r == nmu ? 1 : nphi); ++s) {
        const int points = angle_to_quad(rs, d, hemi, r, s) < 0.6 ? 24 : 6;
        v[quad_slot(rs, hemi, r, s)] = phase::direction_crossings(d.mu, d.phi, bounds(rs, hemi == 1 ? 1 : -1, r, s), points);
      }
  return v;
}

// Int_quad beta~ dOmega of every quad from direction d (cached for the run,
// by the phase function's title and the direction).
const std::vector<double>& quad_integrals(RunState& rs, const std::string& title, const phase::PhaseFunction& f,
                                          const BeamDirection& exact) {
  const BeamDirection d = rounded(exact);
  const std::string key = direction_key(rs, d);
  auto [it, fresh] = rs.sol.beam.integrals.try_emplace(title + key);
  if (!fresh) return it->second;
  const std::vector<phase::Crossings>& c = quad_crossings(rs, d, key);
  std::vector<double>& v = it->second;
  v.assign(c.size(), 0.0);
  for (std::size_t q = 0; q < c.size(); ++q) v[q] = phase::scattering_into(f, c[q], kForwardCone);
  return v;
}

ModeAmps direction_amps(RunState& rs, const std::string& lo_title, const phase::PhaseFunction& lo,
                        const std::string& hi_title, const phase::PhaseFunction& hi, double t, const BeamDirection& d) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi, lmax = rs.cmisc.lmax;
  ModeAmps a(static_cast<std::size_t>(lmax + 1) * kH * mxmu, 0.0);
  std::vector<double> ring(static_cast<std::size_t>(nphi));
  const std::vector<double> ilo = quad_integrals(rs, lo_title, lo, d);
  const std::vector<double> ihi = t > 0.0 ? quad_integrals(rs, hi_title, hi, d) : ilo;
  for (int hemi = 0; hemi < 2; ++hemi) {  // 0 upward-travelling quads, 1 downward
    for (int r = 1; r <= nmu; ++r) {
      const bool cap = (r == nmu);
      for (int s = 1; s <= (cap ? 1 : nphi); ++s) {
        const std::size_t q = quad_slot(rs, hemi, r, s);
        const double v = (1.0 - t) * ilo[q] + t * ihi[q];
        ring[static_cast<std::size_t>(s - 1)] = v / (rs.cgrid.omega(r) * rs.cgrid.fmu(r));
      }
      for (int l = 0; l <= lmax; ++l) {
        double c, sn;
        ring_fourier(rs, ring, cap, l, c, sn);
        a[amp_index(l, hemi == 1 ? 1 : 0, r)] = c;
        a[amp_index(l, hemi == 1 ? 3 : 2, r)] = sn;
      }
    }
  }
  return a;
}

// ---------------------------------------------------------------------------
// The source

// The depth profile the source needs: the optical depth of a source depth
// argument and the components' shares b_k / c, tabulated finely in optical depth.
struct BeamProfile {
  bool optical = true;
  double zeta1 = 0.0;
  std::vector<double> zeta, z;                  // nodes (z only for geometric depths)
  std::vector<std::array<double, mxcomp + 1>> w;  // b_k / c at the nodes
  std::array<double, mxcomp + 1> cone{};        // fraction of each component's scattering inside the cone
  std::vector<double> tau;                      // the beam's attenuation depth at the nodes
  std::vector<BeamDirection> dirs;
  std::vector<std::vector<ModeAmps>> amps;      // [group][component]
  std::vector<std::size_t> group;               // group of each direction
  int ncomp = 0, nmu = 0;

  double zeta_of(double depth) const {
    if (optical || z.size() < 2) return depth;
    auto it = std::upper_bound(z.begin(), z.end(), depth);
    const std::size_t i1 = std::clamp<std::size_t>(static_cast<std::size_t>(it - z.begin()), 1, z.size() - 1), i0 = i1 - 1;
    const double f = (depth - z[i0]) / (z[i1] - z[i0]);
    return zeta[i0] + f * (zeta[i1] - zeta[i0]);
  }
  // What removes light from the beam per unit optical depth: all but the
  // scattering inside the forward cone.
  double loss(const std::array<double, mxcomp + 1>& wk) const {
    double v = 1.0;
    for (std::size_t k = 1; k <= static_cast<std::size_t>(ncomp); ++k) v -= cone[k] * wk[k];
    return v;
  }
  // Int_{zeta1}^{zt} loss dzeta, the beam's attenuation below the surface (times mu).
  double depth_of(double zt) const {
    if (zeta.size() < 2) return (zt - zeta1) * loss(w.front());
    auto it = std::upper_bound(zeta.begin(), zeta.end(), zt);
    const std::size_t i1 = std::clamp<std::size_t>(static_cast<std::size_t>(it - zeta.begin()), 1, zeta.size() - 1), i0 = i1 - 1;
    const double f = (zt - zeta[i0]) / (zeta[i1] - zeta[i0]);
    return tau[i0] + f * (tau[i1] - tau[i0]);
  }
  std::array<double, mxcomp + 1> shares(double zt) const {
    if (zeta.size() < 2) return w.front();
    auto it = std::upper_bound(zeta.begin(), zeta.end(), zt);
    const std::size_t i1 = std::clamp<std::size_t>(static_cast<std::size_t>(it - zeta.begin()), 1, zeta.size() - 1), i0 = i1 - 1;
    const double f = std::clamp((zt - zeta[i0]) / (zeta[i1] - zeta[i0]), 0.0, 1.0);
    std::array<double, mxcomp + 1> out{};
    for (std::size_t k = 1; k <= static_cast<std::size_t>(ncomp); ++k) out[k] = w[i0][k] + f * (w[i1][k] - w[i0][k]);
    return out;
  }
  // Mode l's scattering from the directions of group g, the components
  // weighted by w: Sum_k w_k V_gk (the source is linear in the shares).
  SourceAmps mixed_shape(int l, std::size_t g, const std::array<double, mxcomp + 1>& w) const {
    SourceAmps v;
    double* dst[kH] = {v.up_cos.data(), v.down_cos.data(), v.up_sin.data(), v.down_sin.data()};
    for (std::size_t k = 1; k <= static_cast<std::size_t>(ncomp); ++k) {
      const ModeAmps& a = amps[g][k];
      if (a.empty() || w[k] == 0.0) continue;
      for (std::size_t h = 0; h < kH; ++h)
        for (int u = 1; u <= nmu; ++u) dst[h][u - 1] += w[k] * a[amp_index(l, h, u)];
    }
    return v;
  }
  // Per direction: e (V0 + x V1) e^{-p x}, x = zeta - za, with V0 the
  // scattering of the direction's quad group at the top's shares and V1 its
  // change per unit optical depth (constant in a slab of constant IOPs, where
  // V1 drops out). The shares and the beam's attenuation are linear across a
  // cell of the table; a part spanning several cells (a slab of a smooth
  // profile can span several optical depths) takes the lines through their
  // values at its Gauss points, whose mean over the part is right to fourth
  // order in its thickness (the secant through the ends, to second: with
  // slabs a layer thick it moved the emission of the Case 1 chlorophyll
  // spectrum by up to 7e-5 of its largest value between one slab and its
  // halves, and the halving check split a third of the slabs for it).
  void exp_terms(int l, double za, double zb, ExpSources& out) const {
    const double span = zb - za, g1 = za + 0.21132486540518713 * span, g2 = za + 0.78867513459481287 * span;
    const auto w1 = shares(g1), w2 = shares(g2);
    std::array<double, mxcomp + 1> slope{}, wa{};
    bool varies = false;
    for (std::size_t k = 1; k <= static_cast<std::size_t>(ncomp); ++k) {
      slope[k] = span > 0.0 ? (w2[k] - w1[k]) / (g2 - g1) : 0.0;
      wa[k] = w1[k] - slope[k] * (g1 - za);
      varies = varies || slope[k] != 0.0;
    }
    const double d1 = depth_of(g1), d2 = depth_of(g2);
    const double p_loss = span > 0.0 ? (d2 - d1) / (g2 - g1) : loss(shares(za)), depth_a = d1 - p_loss * (g1 - za);
    const int first = static_cast<int>(out.shapes.size());
    out.shapes.reserve(out.shapes.size() + 2 * amps.size());
    out.terms.reserve(out.terms.size() + dirs.size());
    for (std::size_t g = 0; g < amps.size(); ++g) {
      out.shapes.push_back(mixed_shape(l, g, wa));
      if (varies) out.shapes.push_back(mixed_shape(l, g, slope));
    }
    const int per_group = varies ? 2 : 1;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
      const double path = depth_a / dirs[i].mu;
      if (path > 69.0) continue;  // as in eval: the beam is gone
      const double e = dirs[i].ed / dirs[i].mu * std::exp(-path);
      const double p = p_loss / dirs[i].mu;
      const int v = first + per_group * static_cast<int>(group[i]);
      out.terms.push_back({p, e, varies ? e : 0.0, v, varies ? v + 1 : -1});
    }
  }
  void eval(int l, double depth, SourceAmps& out) const { eval_zeta(l, zeta_of(depth), out); }
  void eval_zeta(int l, double zt, SourceAmps& out) const {
    const auto wk = shares(zt);
    double* dst[kH] = {out.up_cos.data(), out.down_cos.data(), out.up_sin.data(), out.down_sin.data()};
    for (std::size_t i = 0; i < dirs.size(); ++i) {
      // Below 1e-30 of its value at the surface the beam is gone: an exact zero
      // there lets the slab emission stop refining in thick layers.
      const double path = depth_of(zt) / dirs[i].mu;
      if (path > 69.0) continue;
      const double e = dirs[i].ed / dirs[i].mu * std::exp(-path);  // normal irradiance
      for (int k = 1; k <= ncomp; ++k) {
        const ModeAmps& a = amps[group[i]][static_cast<std::size_t>(k)];
        const double f = e * wk[static_cast<std::size_t>(k)];
        if (a.empty() || f == 0.0) continue;
        for (std::size_t h = 0; h < kH; ++h)
          for (int u = 1; u <= nmu; ++u) dst[h][u - 1] += f * a[amp_index(l, h, u)];
      }
    }
  }
};

// The scattering geometry of the directions that share a quad is taken from
// their irradiance-weighted mean direction (each keeps its own attenuation):
// a wind-blown surface spreads the beam over a few degrees, and the phase
// integrals from one direction cost as much as a quad-averaged phase function.
std::vector<BeamDirection> group_directions(BeamProfile& p) {
  std::map<std::pair<int, int>, std::size_t> index;
  std::vector<std::array<double, 4>> sum;  // ed-weighted x, y, z and ed
  p.group.clear();
  for (const BeamDirection& d : p.dirs) {
    auto [it, fresh] = index.try_emplace({d.r, d.s}, sum.size());
    if (fresh) sum.push_back({0.0, 0.0, 0.0, 0.0});
    const double st = std::sqrt(std::max(0.0, 1.0 - d.mu * d.mu));
    auto& a = sum[it->second];
    a[0] += d.ed * st * std::cos(d.phi);
    a[1] += d.ed * st * std::sin(d.phi);
    a[2] += d.ed * d.mu;
    a[3] += d.ed;
    p.group.push_back(it->second);
  }
  std::vector<BeamDirection> reps;
  for (const auto& a : sum) {
    BeamDirection m;
    const double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    m.mu = len > 0.0 ? a[2] / len : 1.0;
    m.phi = std::atan2(a[1], a[0]);
    if (m.phi < 0.0) m.phi += 2.0 * kPi;
    m.ed = a[3];
    reps.push_back(m);
  }
  return reps;
}

std::array<double, mxcomp + 1> shares_at(RunState& rs, double depth) {
  const IopValues v = abscat(rs, depth, rs.cmisc.wavenm, rs.cmisc.ncomp);
  const double c = v.atot + v.btot;
  std::array<double, mxcomp + 1> w{};
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) w[static_cast<std::size_t>(k)] = c > 0.0 ? v.b[static_cast<std::size_t>(k)] / c : 0.0;
  return w;
}

void tabulate_profile(RunState& rs, BeamProfile& p) {
  const int nz = rs.cmisc.nz;
  p.optical = (rs.cmisc.iop == 1);
  p.zeta1 = rs.cgrid.zeta(1);
  const double zlast = rs.cgrid.zeta(nz);
  const int nt = (nz > 1 && zlast > p.zeta1) ? 200 : 0;
  const int save = rs.comp.cbbcalc;
  rs.comp.cbbcalc = 0;  // only a and b are needed
  for (int i = 0; i <= nt; ++i) {
    const double zt = nt == 0 ? p.zeta1 : p.zeta1 + (zlast - p.zeta1) * i / nt;
    const double depth = p.optical ? zt : z_of_zeta(rs, zt);
    p.zeta.push_back(zt);
    if (!p.optical) p.z.push_back(depth);
    p.w.push_back(shares_at(rs, depth));
  }
  rs.comp.cbbcalc = save;
  p.tau.assign(p.zeta.size(), 0.0);
  for (std::size_t i = 1; i < p.zeta.size(); ++i)
    p.tau[i] = p.tau[i - 1] + (p.zeta[i] - p.zeta[i - 1]) * 0.5 * (p.loss(p.w[i - 1]) + p.loss(p.w[i]));
}

// ---------------------------------------------------------------------------
// When the beam stays in its quad

void tell_once(RunState& rs, const std::string& why) {
  if (rs.sol.beam.told) return;
  rs.sol.beam.told = true;
  const std::string line = "\n  NOTE: the direct sun beam is averaged over its quad of the sky (" + why + ")\n";
  rs.con() << line;
  rs.pr() << line;
}

double index_used(const RunState& rs) {
  const SurfaceLoader& st = rs.surfload;
  return st.single_n ? 0.001 * st.nA : st.nlast;
}

double wind_used(const RunState& rs) {
  const SurfaceLoader& st = rs.surfload;
  return st.single_w ? st.iw1 : (1.0 - st.wU) * st.iw1 + st.wU * st.iw2;
}

// The sun's part of radsky, where the sky put it.
void locate_sun_in_sky(const RunState& rs, SunBeam& b) {
  b.sky_r = rs.sky.sun_r;
  b.sky_s = rs.sky.sun_s;
  b.sky_value = rs.sky.sun_value;
}

}  // namespace

std::vector<BeamDirection> refracted_beam(double sunzen, double travel_az, double n, const SlopeVariances& v,
                                          double ed_air, const BeamSampling& sampling) {
  const double st = std::sin(sunzen);
  const Dir3 k{st * std::cos(travel_az), st * std::sin(travel_az), -std::cos(sunzen)};
  std::vector<BeamDirection> out;
  if (v.upwind <= 0.0 && v.crosswind <= 0.0) {
    if (auto r = refract(k, 0.0, 0.0, n)) out.push_back(direction_of(*r, ed_air));
    return out;
  }
  // Isotropic Gaussian slopes of variance v.upwind per component: the slope
  // magnitude is Rayleigh distributed, sigma sqrt(-2 ln(1 - u)) for u uniform.
  const double sigma = std::sqrt(v.upwind);
  const auto gl = util::gauss_legendre(sampling.radial);
  const double area = mean_projected_area(std::cos(sunzen), k[0], k[1], v);
  for (const auto& node : gl) {
    const double u = 0.5 * (node.x + 1.0), wu = 0.5 * node.w;
    const double rad = sigma * std::sqrt(-2.0 * std::log(1.0 - u));
    for (int j = 0; j < sampling.azimuth; ++j) {
      const double a = 2.0 * kPi * (j + 0.5) / sampling.azimuth;
      const auto r = refract(k, rad * std::cos(a), rad * std::sin(a), n);
      if (!r) continue;
      // Facets share the beam by the area they present to it (the mean over
      // all slopes, which counts hidden facets out, normalises the shares).
      const double w = wu / sampling.azimuth * r->area / area;
      out.push_back(direction_of(*r, ed_air * w));
    }
  }
  return out;
}

bool has_internal_light(const RunState& rs) { return rs.cmisc.nsource != 0 || rs.sol.beam.on; }

void prepare_sun_beam(RunState& rs, bool exact_solver) {
  SunBeam& b = rs.sol.beam;
  b.on = false;
  b.dirs.clear();
  b.source = nullptr;
  b.source_zeta = nullptr;
  b.exp_source = nullptr;
  b.depth = nullptr;
  const double ed_direct = rs.sky.ed_direct(rs.cmisc.jwave);
  if (ed_direct <= 0.0 || rs.csky.suntheta >= 90.0) return;
  if (rs.opts.sun_beam == "quad") return tell_once(rs, "run option sun_beam = quad");
  if (!exact_solver) return tell_once(rs, "the exact solver does not apply");
  if (rs.cmisc.nsource != 0) return tell_once(rs, "inelastic or internal sources are on");
  // The continuous phase function of every scattering component.
  PfCache cache;
  const std::string dir = util::rtrim(rs.cdirnames.phasefun);
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    const PhaseOrigin& o = rs.pf.origin[static_cast<std::size_t>(k)];
    if (o.lo.empty()) continue;
    if (!function_of(cache, o.lo, dir) || !function_of(cache, o.hi, dir))
      return tell_once(rs, "the phase function of component " + std::to_string(k) + " is not one the run can rebuild");
  }
  const double sunzen = rs.csky.suntheta * rs.cmisc.degrad;
  const double travel = rs.csky.sunphi * rs.cmisc.degrad + kPi;
  const double wind = wind_used(rs);
  auto profile = std::make_shared<BeamProfile>();
  profile->dirs = refracted_beam(sunzen, travel, index_used(rs), cox_munk_variances(wind), ed_direct);
  for (BeamDirection& d : profile->dirs) {
    d.r = band_of(rs, d.mu);
    d.s = d.r == rs.cmisc.nmu ? 1 : azimuth_band_of(rs, d.phi);
  }
  profile->ncomp = rs.cmisc.ncomp;
  profile->nmu = rs.cmisc.nmu;
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    const PhaseOrigin& o = rs.pf.origin[static_cast<std::size_t>(k)];
    if (o.lo.empty()) continue;
    profile->cone[static_cast<std::size_t>(k)] = (1.0 - o.t) * function_of(cache, o.lo, dir)->cumulative(kForwardCone) +
                                                 o.t * function_of(cache, o.hi, dir)->cumulative(kForwardCone);
  }
  for (const BeamDirection& d : group_directions(*profile)) {
    std::vector<ModeAmps> per(static_cast<std::size_t>(rs.cmisc.ncomp) + 1);
    for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
      const PhaseOrigin& o = rs.pf.origin[static_cast<std::size_t>(k)];
      if (o.lo.empty()) continue;
      per[static_cast<std::size_t>(k)] =
          direction_amps(rs, o.lo, *function_of(cache, o.lo, dir), o.hi, *function_of(cache, o.hi, dir), o.t, d);
    }
    profile->amps.push_back(std::move(per));
  }
  tabulate_profile(rs, *profile);
  locate_sun_in_sky(rs, b);
  b.dirs = profile->dirs;
  b.source = [profile](const RunState&, int l, double depth, SourceAmps& out) { profile->eval(l, depth, out); };
  b.source_zeta = [profile](int l, double zeta, SourceAmps& out) { profile->eval_zeta(l, zeta, out); };
  b.exp_source = [profile](int l, double za, double zb, ExpSources& out) { profile->exp_terms(l, za, zb, out); };
  b.depth = [profile](double zeta) { return profile->depth_of(zeta); };
  b.on = true;
}

std::vector<double> beam_amplitudes(const RunState& rs, double zeta, int l) {
  std::vector<double> v(2 * mxmu, 0.0);
  const SunBeam& b = rs.sol.beam;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  std::vector<double> ring(static_cast<std::size_t>(nphi));
  for (int r = 1; r <= nmu; ++r) {
    std::fill(ring.begin(), ring.end(), 0.0);
    bool any = false;
    for (const BeamDirection& d : b.dirs) {
      if (d.r != r) continue;
      const double ed = d.ed * std::exp(-b.depth(zeta) / d.mu);
      ring[static_cast<std::size_t>(d.s - 1)] += ed / (rs.cgrid.omega(r) * rs.cgrid.fmu(r));
      any = true;
    }
    if (!any) continue;
    double c, sn;
    ring_fourier(rs, ring, r == nmu, l, c, sn);
    v[static_cast<std::size_t>(r - 1)] = c;
    v[static_cast<std::size_t>(mxmu + r - 1)] = sn;
  }
  return v;
}

double beam_ed(const RunState& rs, double zeta) {
  double e = 0.0;
  for (const BeamDirection& d : rs.sol.beam.dirs) e += d.ed * std::exp(-rs.sol.beam.depth(zeta) / d.mu);
  return e;
}

double beam_eo(const RunState& rs, double zeta) {
  double e = 0.0;
  for (const BeamDirection& d : rs.sol.beam.dirs) e += d.ed / d.mu * std::exp(-rs.sol.beam.depth(zeta) / d.mu);
  return e;
}

void sky_entering_water(RunState& rs) {
  const int nn = rs.cmisc.nhat, nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const double* sky = rs.sol.cramp0.col(1);
  rs.sol.sky_in.assign(sky, sky + 2 * nn);
  const SunBeam& b = rs.sol.beam;
  if (!b.on) return;
  std::vector<double> ring(static_cast<std::size_t>(nphi), 0.0);
  ring[static_cast<std::size_t>(b.sky_s - 1)] = b.sky_value;
  for (int l = 0; l <= rs.cmisc.lmax; ++l) {
    double c, sn;
    ring_fourier(rs, ring, b.sky_r == nmu, l, c, sn);
    rs.sol.sky_in[static_cast<std::size_t>(l * nmu + b.sky_r - 1)] -= c;
    rs.sol.sky_in[static_cast<std::size_t>(nn + l * nmu + b.sky_r - 1)] -= sn;
  }
}

void add_beam_to_amplitudes(RunState& rs) {
  if (!rs.sol.beam.on) return;
  const int nn = rs.cmisc.nhat, nmu = rs.cmisc.nmu;
  for (int k = 1; k <= rs.cmisc.nz; ++k) {
    double* dir = rs.sol.cramp0.col(k + 1);
    double* tot = rs.sol.cramp_down.col(k + 2);
    for (int l = 0; l <= rs.cmisc.lmax; ++l) {
      const std::vector<double> v = beam_amplitudes(rs, rs.cgrid.zeta(k), l);
      for (int u = 1; u <= nmu; ++u) {
        const std::size_t c = static_cast<std::size_t>(l * nmu + u - 1), s = c + static_cast<std::size_t>(nn);
        dir[c] += v[static_cast<std::size_t>(u - 1)];
        tot[c] += v[static_cast<std::size_t>(u - 1)];
        dir[s] += v[static_cast<std::size_t>(mxmu + u - 1)];
        tot[s] += v[static_cast<std::size_t>(mxmu + u - 1)];
      }
    }
  }
}

double beam_scalar_correction(const RunState& rs, int k) {
  if (!rs.sol.beam.on || k < 1) return 0.0;
  double e = 0.0;
  for (const BeamDirection& d : rs.sol.beam.dirs) {
    const double ed = d.ed * std::exp(-rs.sol.beam.depth(rs.cgrid.zeta(k)) / d.mu);
    e += ed * (1.0 / d.mu - 1.0 / rs.cgrid.fmu(d.r));
  }
  return e;
}

}  // namespace abyss
