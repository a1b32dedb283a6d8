// Source profiles of a band from the light of the bands already solved.
//
// Fluorescence and bioluminescence are isotropic: the radiance source is the
// emitted power density / 4 pi and feeds the azimuthally averaged mode only.
// Raman scattering has the phase function A (1 + B cos^2 psi); with
// cos^2 psi = (Omega . Omega')^2 the scattered radiance into Omega is
//   b_R A [Eo + B Omega^T M Omega],  M_ij = Int Omega'_i Omega'_j L dOmega',
// which holds azimuthal modes 0, 1 and 2 only, so the exciting light enters
// through its scalar irradiance and six second moments. The solver takes the
// source per unit optical depth divided by the band's mu: S / (c mu).
#include <algorithm>
#include <cmath>
#include <memory>

#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "iop/abscat.hpp"
#include "sources/redistribution.hpp"
#include "solver/slab_ops.hpp"
#include "sources/sources.hpp"

namespace abyss {
namespace {

constexpr double kFourPi = 4.0 * 3.14159265358979323846;
constexpr int kRamanModes = 3;

// Quad averages of Omega_i Omega_j (xx, yy, zz, xy, xz, yz) over quad (r, s)
// of one hemisphere (hemi 0 upward, Omega_z = -mu; 1 downward, +mu).
using Moments = std::array<double, 6>;

Moments quad_average(const RunState& rs, int hemi, int r, int s) {
  const int nmu = rs.cmisc.nmu;
  const double m0 = rs.cgrid.bndmu(r - 1), m1 = (r == nmu) ? 1.0 : rs.cgrid.bndmu(r);
  const double dm = m1 - m0;
  const double mu2 = (m1 * m1 * m1 - m0 * m0 * m0) / (3.0 * dm);
  const double q = 1.0 - mu2;
  const double musin = (std::pow(1.0 - m0 * m0, 1.5) - std::pow(1.0 - m1 * m1, 1.5)) / (3.0 * dm);
  double cc = 0.5, ss = 0.5, sc = 0.0, co = 0.0, si = 0.0;
  if (r != nmu) {
    const double a = rs.cgridphi.bndphi(s - 1), b = rs.cgridphi.bndphi(s), d = b - a;
    cc = 0.5 + (std::sin(2 * b) - std::sin(2 * a)) / (4 * d);
    ss = 1.0 - cc;
    sc = (std::cos(2 * a) - std::cos(2 * b)) / (4 * d);
    co = (std::sin(b) - std::sin(a)) / d;
    si = (std::cos(a) - std::cos(b)) / d;
  }
  const double h = hemi == 0 ? -1.0 : 1.0;
  return {q * cc, q * ss, mu2, q * sc, h * musin * co, h * musin * si};
}

struct QuadGeometry {
  int nmu = 0, nphi = 0;
  std::vector<Moments> t;  // [(hemi*nmu + r-1)*nphi + s-1]
  const Moments& at(int hemi, int r, int s) const {
    return t[static_cast<std::size_t>((hemi * nmu + r - 1) * nphi + s - 1)];
  }
};

QuadGeometry quad_geometry(const RunState& rs) {
  QuadGeometry g{rs.cmisc.nmu, rs.cmisc.nphi, {}};
  for (int h = 0; h < 2; ++h)
    for (int r = 1; r <= g.nmu; ++r)
      for (int s = 1; s <= g.nphi; ++s) g.t.push_back(quad_average(rs, h, r, s));
  return g;
}

// ---------------------------------------------------------------------------
// The exciting light

// Band jx's values at grid depth k; below the band's own grid (the dynamic
// bottom depth of a more strongly attenuated band) they fall off as between
// its last two depths.
struct ExciteAt {
  double eo = 0.0, a_chl = 0.0, a_cdom = 0.0;
  Moments m{};
};

ExciteAt excite_at(const RunState& rs, const Excitation& e, int k) {
  ExciteAt v;
  const int n = e.nz;
  if (n < 1) return v;
  const int kk = std::min(k, n);
  const std::size_t i = static_cast<std::size_t>(kk - 1);
  v.eo = e.eo[i];
  v.a_chl = e.a_chl[i];
  v.a_cdom = e.a_cdom[i];
  v.m = e.m[i];
  if (k <= n || n < 2) return v;
  const double e1 = e.eo[i - 1], e2 = e.eo[i];
  double f = 0.0;
  if (e1 > 0.0 && e2 > 0.0 && e2 < e1) {
    const double t = (rs.cgrid.z(k) - rs.cgrid.z(n)) / (rs.cgrid.z(n) - rs.cgrid.z(n - 1));
    f = std::pow(e2 / e1, t);
  }
  v.eo *= f;
  for (double& x : v.m) x *= f;
  return v;
}

// The solved band that stands for band jx: itself, or the nearest solved
// shorter band when jx was skipped (nwskip > 1).
const Excitation* exciting_band(const RunState& rs, int jx) {
  for (int i = jx; i >= 1; --i)
    if (rs.src.excite[static_cast<std::size_t>(i)].solved) return &rs.src.excite[static_cast<std::size_t>(i)];
  return nullptr;
}

double band_width(const RunState& rs, int j) { return rs.cwave.waveb(j + 1) - rs.cwave.waveb(j); }

// ---------------------------------------------------------------------------
// Profiles

SourceProfile empty_profile(const RunState& rs, int nmodes) {
  SourceProfile p;
  p.nmu = rs.cmisc.nmu;
  p.nmodes = nmodes;
  const int n = rs.src.nz_grid;
  for (int k = 1; k <= n; ++k) p.z.push_back(rs.cgrid.z(k));
  p.ref.assign(static_cast<std::size_t>(n), 0.0);
  p.amp.assign(static_cast<std::size_t>(n) * p.stride(), 0.0);
  return p;
}

double* amp_at(SourceProfile& p, int k, int l, int half, int hemi) {
  return p.amp.data() + static_cast<std::size_t>(k - 1) * p.stride() +
         static_cast<std::size_t>(((l * 2 + half) * 2 + hemi) * mxmu);
}

// An isotropic radiance source src(k) (W m^-3 sr^-1 nm^-1) at every grid depth.
SourceProfile isotropic_profile(const RunState& rs, const std::vector<double>& src, const std::vector<double>& c) {
  SourceProfile p = empty_profile(rs, 1);
  for (int k = 1; k <= rs.src.nz_grid; ++k) {
    const double q = src[static_cast<std::size_t>(k - 1)] / c[static_cast<std::size_t>(k - 1)];
    for (int hemi = 0; hemi < 2; ++hemi) {
      double* a = amp_at(p, k, 0, 0, hemi);
      for (int u = 1; u <= p.nmu; ++u) a[u - 1] = q / rs.cgrid.fmu(u);
    }
    p.ref[static_cast<std::size_t>(k - 1)] = q;
  }
  return p;
}

// Fluorescence of process `proc` (2 chlorophyll, 3 CDOM) into band j.
std::vector<double> fluorescence(const RunState& rs, int proc, int j) {
  std::vector<double> src(static_cast<std::size_t>(rs.src.nz_grid), 0.0);
  const Mat& f = rs.src.redist[static_cast<std::size_t>(proc)];
  for (int jx = 1; jx < j; ++jx) {
    const Excitation* e = exciting_band(rs, jx);
    const double w = f(jx, j) * band_width(rs, jx) / kFourPi;
    if (e == nullptr || w == 0.0) continue;
    for (int k = 1; k <= rs.src.nz_grid; ++k) {
      const ExciteAt x = excite_at(rs, *e, k);
      src[static_cast<std::size_t>(k - 1)] += w * (proc == 2 ? x.a_chl : x.a_cdom) * x.eo;
    }
  }
  return src;
}

std::vector<double> bioluminescence(const RunState& rs, int j) {
  std::vector<double> src(static_cast<std::size_t>(rs.src.nz_grid), 0.0);
  for (int k = 1; k <= rs.src.nz_grid; ++k)
    src[static_cast<std::size_t>(k - 1)] = bio_source(rs.src.biotab, rs.cgrid.z(k), rs.cwave.wave(j)) / kFourPi;
  return src;
}

// Fourier amplitudes (modes 0..nmodes-1) of quad values q(s), s = 1..nphi,
// in the convention of the radiance synthesis L = sum a_l cos(l phi) + b_l sin(l phi).
void fourier(const RunState& rs, const std::vector<double>& q, int nmodes, double* cosv, double* sinv) {
  const int nphi = rs.cmisc.nphi;
  for (int l = 0; l < nmodes; ++l) {
    double a = 0.0, b = 0.0;
    for (int s = 1; s <= nphi; ++s) {
      const double ph = l * rs.cgridphi.phi(s);
      a += q[static_cast<std::size_t>(s - 1)] * std::cos(ph);
      b += q[static_cast<std::size_t>(s - 1)] * std::sin(ph);
    }
    const double w = (l == 0 || 2 * l == nphi) ? 1.0 / nphi : 2.0 / nphi;
    cosv[l] = a * w;
    sinv[l] = (2 * l == nphi) ? 0.0 : b * w;
  }
}

SourceProfile raman_profile(const RunState& rs, int j, const std::vector<double>& c) {
  const int nmodes = std::min(kRamanModes, rs.cmisc.lmax + 1);
  SourceProfile p = empty_profile(rs, nmodes);
  const QuadGeometry g = quad_geometry(rs);
  const double A = inelastic::raman_phase_a(), B = inelastic::raman_phase_b();
  const Mat& f = rs.src.redist[4];
  std::vector<double> eo(static_cast<std::size_t>(rs.src.nz_grid), 0.0);
  std::vector<Moments> m(static_cast<std::size_t>(rs.src.nz_grid), Moments{});
  for (int jx = 1; jx < j; ++jx) {
    const Excitation* e = exciting_band(rs, jx);
    const double w = f(jx, j) * band_width(rs, jx) * rs.src.b_raman(jx);
    if (e == nullptr || w == 0.0) continue;
    for (int k = 1; k <= rs.src.nz_grid; ++k) {
      const ExciteAt x = excite_at(rs, *e, k);
      eo[static_cast<std::size_t>(k - 1)] += w * x.eo;
      for (int i = 0; i < 6; ++i) m[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(i)] += w * x.m[static_cast<std::size_t>(i)];
    }
  }
  std::vector<double> q(static_cast<std::size_t>(rs.cmisc.nphi));
  double cosv[kRamanModes], sinv[kRamanModes];
  for (int k = 1; k <= rs.src.nz_grid; ++k) {
    const std::size_t ik = static_cast<std::size_t>(k - 1);
    const double ck = c[ik];
    for (int hemi = 0; hemi < 2; ++hemi) {
      for (int r = 1; r <= rs.cmisc.nmu; ++r) {
        for (int s = 1; s <= rs.cmisc.nphi; ++s) {
          const Moments& t = g.at(hemi, r, s);
          double mm = m[ik][0] * t[0] + m[ik][1] * t[1] + m[ik][2] * t[2];
          mm += 2.0 * (m[ik][3] * t[3] + m[ik][4] * t[4] + m[ik][5] * t[5]);
          q[static_cast<std::size_t>(s - 1)] = A * (eo[ik] + B * mm);
        }
        if (r == rs.cmisc.nmu) {  // the polar cap has no azimuthal structure
          std::fill(cosv, cosv + kRamanModes, 0.0);
          std::fill(sinv, sinv + kRamanModes, 0.0);
          cosv[0] = q[0];
        } else {
          fourier(rs, q, nmodes, cosv, sinv);
        }
        const double scale = 1.0 / (ck * rs.cgrid.fmu(r));
        for (int l = 0; l < nmodes; ++l) {
          amp_at(p, k, l, 0, hemi)[r - 1] = cosv[l] * scale;
          amp_at(p, k, l, 1, hemi)[r - 1] = sinv[l] * scale;
        }
      }
    }
    p.ref[ik] = A * eo[ik] / ck;
  }
  return p;
}

std::vector<double> attenuation(RunState& rs, int j) {
  std::vector<double> c;
  for (int k = 1; k <= rs.src.nz_grid; ++k) {
    const IopValues v = abscat(rs, rs.cgrid.z(k), rs.cwave.wave(j), rs.cmisc.ncomp);
    c.push_back(v.atot + v.btot);
  }
  return c;
}

void bind(RunState& rs, int which, SourceProfile p) {
  auto shared = std::make_shared<const SourceProfile>(std::move(p));
  rs.sol.source_fn[static_cast<std::size_t>(which)] = [shared](const RunState&, int l, double depth, SourceAmps& a) {
    eval_profile(*shared, l, depth, a);
  };
  rs.sol.source_exp[static_cast<std::size_t>(which)] = [shared](int l, double za, double zb, ExpSources& out) {
    return profile_exp_terms(*shared, l, za, zb, out);
  };
}

// The interval [z[k0], z[k0 + 1]] of the profile's depths that holds `depth`
// (the first or last one above or below them) and the fraction t of the way
// across it, not clamped.
std::pair<std::size_t, double> interval_of(const SourceProfile& p, double depth) {
  const std::size_t n = p.z.size();
  if (n < 2) return {0, 0.0};
  std::size_t k0 = static_cast<std::size_t>(std::upper_bound(p.z.begin(), p.z.end(), depth) - p.z.begin());
  k0 = std::min(std::max<std::size_t>(k0, 1), n - 1) - 1;
  return {k0, (depth - p.z[k0]) / (p.z[k0 + 1] - p.z[k0])};
}

const double* mode_amps(const SourceProfile& p, std::size_t k, int l) {
  return p.amp.data() + k * p.stride() + static_cast<std::size_t>(l) * 4 * mxmu;
}

// (half, hemi) = (0,0) (0,1) (1,0) (1,1) of a mode's amplitudes.
constexpr std::size_t kAmpOffset[4] = {0, mxmu, 2 * mxmu, 3 * mxmu};

SourceAmps amps_of(int nmu, const double* a, double f) {
  SourceAmps v;
  double* dst[4] = {v.up_cos.data(), v.down_cos.data(), v.up_sin.data(), v.down_sin.data()};
  for (int h = 0; h < 4; ++h)
    for (int u = 0; u < nmu; ++u) dst[h][u] = f * a[kAmpOffset[h] + static_cast<std::size_t>(u)];
  return v;
}

}  // namespace

void eval_profile(const SourceProfile& p, int l, double depth, SourceAmps& out) {
  if (l >= p.nmodes || p.z.empty()) return;
  const std::size_t n = p.z.size();
  auto [k0, t] = interval_of(p, depth);
  t = std::max(t, 0.0);
  const std::size_t k1 = std::min(k0 + 1, n - 1);
  const double r0 = p.ref[k0], r1 = p.ref[k1];
  const double ts = std::min(t, 1.0);  // the shape is not extrapolated
  const double* a0 = mode_amps(p, k0, l);
  const double* a1 = mode_amps(p, k1, l);
  // Log-linear in the reference where it is positive at both ends, else linear.
  const bool logint = r0 > 0.0 && r1 > 0.0;
  const double rr = logint ? r0 * std::pow(r1 / r0, t) : 0.0;
  const double w0 = logint ? rr * (1.0 - ts) / r0 : 1.0 - ts;
  const double w1 = logint ? rr * ts / r1 : ts;
  double* dst[4] = {out.up_cos.data(), out.down_cos.data(), out.up_sin.data(), out.down_sin.data()};
  for (int h = 0; h < 4; ++h)
    for (int u = 0; u < p.nmu; ++u) dst[h][u] = w0 * a0[kAmpOffset[h] + u] + w1 * a1[kAmpOffset[h] + u];
}

// Between two of its depths the profile is e^{-qt} [(1 - t) a0 + t b] with
// q = ln(r0 / r1), b = (r0 / r1) a1 and t the fraction of the interval
// (below the last depth e^{-qt} b): with t = ta + x / dz, the terms
// e^{-q ta} a0 and e^{-q ta} (ta + x / dz)(b - a0) at the rate q / dz.
// Only where the reference is log-interpolated and [za, zb] lies inside one
// interval (or wholly below the last depth).
bool profile_exp_terms(const SourceProfile& p, int l, double za, double zb, ExpSources& out) {
  if (l >= p.nmodes || p.z.empty()) return true;  // no source in this mode
  const std::size_t n = p.z.size();
  if (n < 2) return false;
  const std::size_t k0 = interval_of(p, 0.5 * (za + zb)).first;
  const double z0 = p.z[k0], dz = p.z[k0 + 1] - z0;
  const double ta = (za - z0) / dz, tb = (zb - z0) / dz, eps = 1e-9;
  const bool below = ta >= 1.0 - eps;
  if (ta < -eps || (!below && tb > 1.0 + eps)) return false;
  const double r0 = p.ref[k0], r1 = p.ref[k0 + 1];
  if (!(r0 > 0.0 && r1 > 0.0)) return false;
  const double q = std::log(r0 / r1), e = std::exp(-q * ta), rate = q / dz;
  const double* a0 = mode_amps(p, k0, l);
  const double* a1 = mode_amps(p, k0 + 1, l);
  const int first = static_cast<int>(out.shapes.size());
  const SourceAmps b = amps_of(p.nmu, a1, r0 / r1);
  if (below) {
    out.shapes.push_back(b);
    out.terms.push_back({rate, e, 0.0, first});
    return true;
  }
  const SourceAmps a = amps_of(p.nmu, a0, 1.0);
  SourceAmps d = b;
  for (std::size_t i = 0; i < mxmu; ++i) {
    d.up_cos[i] -= a.up_cos[i];
    d.down_cos[i] -= a.down_cos[i];
    d.up_sin[i] -= a.up_sin[i];
    d.down_sin[i] -= a.down_sin[i];
  }
  out.shapes.push_back(a);
  out.shapes.push_back(d);
  out.terms.push_back({rate, e, 0.0, first});
  out.terms.push_back({rate, e * ta, e / dz, first + 1});
  return true;
}

void sources_start(RunState& rs) {
  rs.src.nz_grid = rs.cmisc.nz;
  rs.src.excite.assign(static_cast<std::size_t>(rs.cmisc.nwave) + 1, Excitation{});
  rs.src.lw_inel_band.assign(static_cast<std::size_t>(rs.cmisc.nwave) + 1, 0.0);
  rs.src.lw_total_band.assign(static_cast<std::size_t>(rs.cmisc.nwave) + 1, 0.0);
}

void bind_sources(RunState& rs, int j) {
  const SourceState& s = rs.src;
  const std::vector<double> c = attenuation(rs, j);
  if (s.bio()) bind(rs, 1, isotropic_profile(rs, bioluminescence(rs, j), c));
  if (s.chlfl()) bind(rs, 2, isotropic_profile(rs, fluorescence(rs, 2, j), c));
  if (s.cdomfl()) bind(rs, 3, isotropic_profile(rs, fluorescence(rs, 3, j), c));
  if (s.raman()) bind(rs, 4, raman_profile(rs, j, c));
}

void store_excitation(RunState& rs, int j) {
  Excitation& e = rs.src.excite[static_cast<std::size_t>(j)];
  const int nz = rs.cmisc.nz, nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const QuadGeometry g = quad_geometry(rs);
  e = Excitation{};
  e.solved = true;
  e.nz = nz;
  for (int k = 1; k <= nz; ++k) {
    Moments m{};
    for (int hemi = 0; hemi < 2; ++hemi)
      for (int r = 1; r <= nmu; ++r)
        for (int s = 1; s <= (r == nmu ? 1 : nphi); ++s) {
          const double L = (hemi == 1 ? total_down(rs, k, r, s) : total_up(rs, k, r, s)) * rs.cgrid.omega(r);
          const Moments& t = g.at(hemi, r, s);
          for (int i = 0; i < 6; ++i) m[static_cast<std::size_t>(i)] += L * t[static_cast<std::size_t>(i)];
        }
    e.m.push_back(m);
    e.eo.push_back(rs.der.cirrad.eo(k));
    const IopValues v = abscat(rs, rs.cgrid.z(k), rs.cwave.wave(j), rs.cmisc.ncomp);
    e.a_chl.push_back(rs.src.ichl > 0 ? v.a[static_cast<std::size_t>(rs.src.ichl)] : 0.0);
    e.a_cdom.push_back(rs.src.icdom > 0 ? v.a[static_cast<std::size_t>(rs.src.icdom)] : 0.0);
  }
}

}  // namespace abyss
