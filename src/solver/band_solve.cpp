// The exact band solve: each Fourier mode is propagated slab by slab with the
// closed-form slab operators and the adding rules, giving at every grid depth the
// operators of the three passes (R(zeta,w), T(w,zeta), R(zeta,m) for both
// halves, and the source vectors) to rounding, whatever the optical depth.
#include <algorithm>
#include <limits>
#include <cmath>
#include <memory>
#include <optional>

#include "bottom/bottom.hpp"
#include "control/run_state.hpp"
#include "grid/depth_conversion.hpp"
#include "iop/abscat.hpp"
#include "iop/iop_state.hpp"
#include "solver/adding.hpp"
#include "solver/band_problem.hpp"
#include "solver/gradient_slab.hpp"
#include "solver/mode_threads.hpp"
#include "solver/riccati.hpp"
#include "solver/sun_beam.hpp"
#include "sources/source_terms.hpp"

namespace abyss {

using dense::Sq;

namespace {

ComponentSums new_sums(int ncomp) {
  ComponentSums s;
  for (int k = 1; k <= ncomp; ++k) s[static_cast<std::size_t>(k)] = Mat(mxmu, mxmu);
  return s;
}

// The Fourier sums of one phase function of the library, blended as chosen.
struct MemberSums {
  Mat st{mxmu, mxmu}, sr{mxmu, mxmu};
};

// The coefficient matrices of one mode for one set of IOPs, reduced to the n active bands.
// Components whose phase function is chosen per depth take the blend of two
// library members; the sums are linear in the phase function, so each
// member's sums are computed once (on first use) and blended per slab.
struct ModeCoefficients {
  const RunState& rs;
  int l, n;
  ComponentSums st, sr;    // the band's phase functions
  ComponentSums stm, srm;  // as used by the current slab (chosen ones blended in)
  std::array<bool, mxcomp + 1> blended{};
  std::vector<std::unique_ptr<MemberSums>> members;
  Mat rho{mxmu, mxmu}, tau{mxmu, mxmu};
  ModeCoefficients(const RunState& r, int l_) : rs(r), l(l_), n(l_ == 0 ? r.cmisc.nmu : r.cmisc.nmu - 1),
      st(new_sums(r.cmisc.ncomp)), sr(new_sums(r.cmisc.ncomp)) {
    mode_component_sums(rs, l, st, sr);
    stm = st;
    srm = sr;
    members.resize(rs.dpflib.pt_lib.size());
  }
  const MemberSums& member(int j) {
    auto& m = members.at(static_cast<std::size_t>(j));
    if (!m) {
      m = std::make_unique<MemberSums>();
      const auto jj = static_cast<std::size_t>(j);
      phase_sums(rs, l, rs.dpflib.pt_lib[jj], rs.dpflib.pr_lib[jj], m->st, m->sr);
    }
    return *m;
  }
  // Component k's sums for the phase function chosen at the slab (or the band's).
  void use_choice(int k, const PhaseChoice& c) {
    const auto kk = static_cast<std::size_t>(k);
    if (c.lo < 0) {
      if (blended[kk]) stm[kk] = st[kk], srm[kk] = sr[kk], blended[kk] = false;
      return;
    }
    const MemberSums& lo = member(c.lo);
    const MemberSums& hi = member(c.t != 0.0 ? c.lo + 1 : c.lo);  // t < 0 or > 1: extrapolated within the pair
    for (int j = 1; j <= rs.cmisc.nmu; ++j)
      for (int i = 1; i <= rs.cmisc.nmu; ++i) {
        stm[kk](i, j) = (1.0 - c.t) * lo.st(i, j) + c.t * hi.st(i, j);
        srm[kk](i, j) = (1.0 - c.t) * lo.sr(i, j) + c.t * hi.sr(i, j);
      }
    blended[kk] = true;
  }
  // The coefficient matrices (rho, tau) of the n active bands.
  std::pair<Sq, Sq> coefficients(const IopMix& mix) {
    for (int k = 1; k <= rs.cmisc.ncomp; ++k) use_choice(k, mix.pf[static_cast<std::size_t>(k)]);
    coefficient_matrices(rs, l, stm, srm, mix.w0, mix.wk.data(), rho, tau);
    Sq r(n), t(n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        r(i, j) = rho(i + 1, j + 1);
        t(i, j) = tau(i + 1, j + 1);
      }
    return {std::move(r), std::move(t)};
  }
  SlabMedium medium(const IopMix& mix, const SlabMedium* near = nullptr, const SlabMedium* before = nullptr) {
    const auto [r, t] = coefficients(mix);
    return slab_medium(r, t, near, before);
  }
};

IopMix mix_of(const IopValues& v, int ncomp) {
  IopMix m;
  const double c = v.atot + v.btot;
  m.w0 = (c > 0.0) ? v.btot / c : 0.0;
  if (v.btot >= 1.0e-6)
    for (int k = 1; k <= ncomp; ++k) m.wk[static_cast<std::size_t>(k)] = v.b[k] / v.btot;
  m.pf = v.pf;
  return m;
}

// a * x + b * y, in the products w0 * wk that the coefficients depend on.
// The coefficients are linear in a component's phase function too, so two
// blends of the same pair of library members combine into one blend of that
// pair (the weight of the upper member averaged with the scattering as
// weight). Blends of different pairs (the choice crossed a library member
// between the two depths) have no such form: then there is no result.
std::optional<IopMix> blend(double a, const IopMix& x, double b, const IopMix& y) {
  IopMix m;
  m.w0 = 1.0;
  for (std::size_t k = 1; k < m.wk.size(); ++k) {
    const double wx = a * x.w0 * x.wk[k], wy = b * y.w0 * y.wk[k];
    m.wk[k] = wx + wy;
    const PhaseChoice &px = x.pf[k], &py = y.pf[k];
    if (px == py) {
      m.pf[k] = px;
    } else if (px.lo >= 0 && px.lo == py.lo) {
      const double w = wx + wy;
      m.pf[k] = {px.lo, w != 0.0 ? (wx * px.t + wy * py.t) / w : px.t, a * px.bbtob + b * py.bbtob};
    } else {
      return std::nullopt;
    }
  }
  return m;
}

// The slab [top, top + h] of a smoothly changing profile: the media of its
// two halves from the IOPs at its Gauss points; a slab of its mid-depth IOPs
// where they cannot be blended (see blend).
// A slab of the IOPs `iop` throughout.
SubSlab uniform_slab(double top, double h, const IopMix& iop) {
  SubSlab s;
  s.top = top, s.h = h, s.iop = iop;
  return s;
}

SubSlab varying_slab(const std::function<IopMix(double)>& iop_at, double top, double h, const IopMix& mid) {
  const IopMix g1 = iop_at(top + kGaussUpper * h), g2 = iop_at(top + kGaussLower * h);
  const auto upper = blend(kMagnusNear, g1, kMagnusFar, g2), lower = blend(kMagnusFar, g1, kMagnusNear, g2);
  SubSlab s = uniform_slab(top, h, mid);
  if (!upper || !lower) return s;
  s.varying = true;
  s.upper = *upper, s.lower = *lower, s.g1 = g1, s.g2 = g2;
  return s;
}

struct Partitioner {
  const std::function<IopMix(double)>& iop_at;
  double tol;
  std::vector<SubSlab> out;

  // A phase function chosen per depth changes the coefficients of its
  // component about in proportion to its bb/b (the backward part dominates
  // the reflection): its change counts as the relative change of bb/b times
  // the component's share of the scattering. Going from a chosen phase
  // function to the band's one (or back) is a change of the whole share.
  static double phase_change(const PhaseChoice& a, const PhaseChoice& b, double share) {
    if (a == b) return 0.0;
    if (a.lo < 0 || b.lo < 0) return share;
    return share * std::abs(a.bbtob - b.bbtob) / std::max(a.bbtob, b.bbtob);
  }
  static double distance(const IopMix& a, const IopMix& b) {
    double d = std::abs(a.w0 - b.w0);
    for (std::size_t k = 1; k < a.wk.size(); ++k)
      d += std::abs(a.wk[k] - b.wk[k]) + phase_change(a.pf[k], b.pf[k], std::max(a.wk[k], b.wk[k]));
    return d;
  }

  // IOPs at five equally spaced points of [za, zb]: uniform, or changing in
  // one step.
  struct Samples {
    IopMix mid, top, bottom;  // the IOPs at the middle and at both ends
    bool uniform = true, step = false;
    double jump = 0.0;  // largest change between neighbouring points
    double variation = 0.0;  // total change across the interval
  };
  Samples sample(double za, double zb, double parent_jump) {
    IopMix f[5];
    for (int i = 0; i <= 4; ++i) f[i] = iop_at(za + 0.25 * i * (zb - za));
    Samples s;
    s.mid = f[2];
    s.top = f[0];
    s.bottom = f[4];
    double d[4], sum = 0.0, big = 0.0;
    for (int i = 0; i < 4; ++i) {
      d[i] = distance(f[i], f[i + 1]);
      sum += d[i];
      big = std::max(big, d[i]);
    }
    s.uniform = (sum == 0.0);
    s.variation = sum;
    // A smooth profile changes by comparable amounts between neighbouring
    // points; a change concentrated in one interval that does not shrink when
    // the interval is halved is a step (a profile file's discontinuity), which
    // must end up on a slab boundary. (A kink's change shrinks with the interval.)
    s.jump = big;
    s.step = !s.uniform && big > 4.0 * (sum - big) && big >= 0.75 * parent_jump;
    return s;
  }

  // Where a phase function chosen per depth moves from one pair of library
  // members to the next, its coefficients change slope (the blend runs into
  // the shared member and on with the next one): such a kink must lie on a
  // slab boundary, or the slab's Gauss-point blends would mix two pairs. The
  // depth of the change inside (za, zb), to rounding, or none.
  static bool same_pairs(const IopMix& a, const IopMix& b) {
    for (std::size_t k = 1; k < a.pf.size(); ++k)
      if (a.pf[k].lo != b.pf[k].lo) return false;
    return true;
  }
  // `lo`, `hi`: the IOPs at za and zb, already sampled.
  std::optional<double> pair_change(double za, double zb, const IopMix& lo, const IopMix& hi) {
    if (same_pairs(lo, hi)) return std::nullopt;
    double a = za, b = zb;
    const double eps = 1.0e-12 * std::max(1.0, std::abs(zb));
    while (b - a > eps) {
      const double m = 0.5 * (a + b);
      (same_pairs(iop_at(m), lo) ? a : b) = m;
    }
    if (b - za <= 1.0e-9 * std::max(1.0, std::abs(zb)) || zb - b <= 1.0e-9 * std::max(1.0, std::abs(zb))) return std::nullopt;
    return b;
  }

  void split(double za, double zb, int depth, double parent_jump) {
    const Samples smp = sample(za, zb, parent_jump);
    if (depth < 48) {
      if (const auto zc = pair_change(za, zb, smp.top, smp.bottom)) {
        split(za, *zc, depth + 1, parent_jump);
        split(*zc, zb, depth + 1, parent_jump);
        return;
      }
    }
    const IopMix& mid = smp.mid;
    if (smp.uniform) {
      out.push_back(uniform_slab(za, zb - za, mid));
      return;
    }
    const double zm = 0.5 * (za + zb), h = zb - za;
    const bool tiny = h <= 1.0e-9 * std::max(1.0, std::abs(zb)) || depth >= 48;
    if (tiny) {
      out.push_back(uniform_slab(za, h, mid));
      return;
    }
    if (!smp.step && smp.variation <= tol) {
      out.push_back(varying_slab(iop_at, za, h, mid));
      return;
    }
    split(za, zm, depth + 1, smp.step ? smp.jump : 0.0);
    split(zm, zb, depth + 1, smp.step ? smp.jump : 0.0);
  }
};

// The slab media of one mode, by IOPs: the few most recent are kept, which
// covers the slabs of a uniform stretch of water.
class MediumCache {
 public:
  explicit MediumCache(ModeCoefficients& mc) : mc_(mc) {}
  const SlabMedium& get(const IopMix& iop) {
    for (Entry& e : ring_)
      if (e.used && e.iop == iop) return e.medium;
    const Entry& last = ring_[(next_ + ring_.size() - 1) % ring_.size()];
    const Entry& before = ring_[(next_ + ring_.size() - 2) % ring_.size()];
    Entry& e = ring_[next_];
    next_ = (next_ + 1) % ring_.size();
    // The last medium (a slab away) to start from, the one before to extrapolate along.
    e.medium = mc_.medium(iop, last.used ? &last.medium : nullptr, before.used ? &before.medium : nullptr);
    e.iop = iop;
    e.used = true;
    return e.medium;
  }
  // A varying slab as its mean medium and its change (see gradient_slab.hpp):
  // the mean of the coefficients at its Gauss points (the slab's average to
  // fourth order) is the medium, their difference over the points' distance
  // the change per unit optical depth. None where the mean medium has no
  // eigen-solution. `mean` points into the cache: use it before the next lookup.
  struct Gradient {
    const SlabMedium* mean;
    Sq tau1, rho1;
  };
  std::optional<Gradient> gradient_of(const SubSlab& s) {
    const auto mean = blend(0.5, s.g1, 0.5, s.g2);
    if (!mean) return std::nullopt;
    const SlabMedium& m = get(*mean);
    if (!m.eigen) return std::nullopt;
    auto [rho1, tau1] = mc_.coefficients(s.g2);
    const auto [rho_a, tau_a] = mc_.coefficients(s.g1);
    const double per = 1.0 / ((kGaussLower - kGaussUpper) * s.h);
    for (std::size_t e = 0; e < tau1.a.size(); ++e) {
      tau1.a[e] = (tau1.a[e] - tau_a.a[e]) * per;
      rho1.a[e] = (rho1.a[e] - rho_a.a[e]) * per;
    }
    return Gradient{&m, std::move(tau1), std::move(rho1)};
  }
  std::optional<SlabRT> gradient_rt(const SubSlab& s) {
    const auto g = gradient_of(s);
    if (!g) return std::nullopt;
    return gradient_slab_rt(*g->mean, g->tau1, g->rho1, s.h);
  }
  // The same with the emission of exponential sources.
  std::optional<GradientSlab> gradient_emission(const SubSlab& s, const ExpSources& src) {
    const auto g = gradient_of(s);
    if (!g) return std::nullopt;
    return gradient_slab_emission(*g->mean, g->tau1, g->rho1, s.h, src);
  }
  // A varying slab's operators: by its gradient where `gradient` (and the mean
  // medium allows), else by its two halves of blended IOPs.
  SlabRT varying_rt(const SubSlab& s, bool gradient) {
    if (gradient)
      if (auto g = gradient_rt(s)) return std::move(*g);
    const SlabMedium upper = get(s.upper);  // copied: the next lookup may evict it
    return varying_slab_rt({&upper, &get(s.lower), s.h});
  }
  // Operators of a slab of uniform water `iop` and thickness h: the grid's
  // paired depths (a depth and its neighbour 0.01 below, for the K-functions)
  // repeat the same thin slab at every requested depth. Thicknesses that agree
  // to 1e-13 relative (the rounding of the depth differences) share one result.
  const SlabRT& uniform_rt(const IopMix& iop, double h) {
    for (RtEntry& e : rts_)
      if (e.used && std::abs(e.h - h) <= 1e-13 * h && e.iop == iop) return e.rt;
    RtEntry& e = rts_[next_rt_];
    next_rt_ = (next_rt_ + 1) % rts_.size();
    e.rt = slab_rt(get(iop), h);
    e.iop = iop;
    e.h = h;
    e.used = true;
    return e.rt;
  }

 private:
  struct RtEntry {
    IopMix iop;
    double h = 0.0;
    SlabRT rt;
    bool used = false;
  };
  std::array<RtEntry, 4> rts_;
  std::size_t next_rt_ = 0;
  struct Entry {
    IopMix iop;
    SlabMedium medium;
    bool used = false;
  };
  ModeCoefficients& mc_;
  std::array<Entry, 8> ring_;
  std::size_t next_ = 0;
};

// Largest difference of two slab operators' elements relative to their
// largest element, row i weighted by w[i]. Radiance rows multiply the
// operators from the left, so row i is the light incident on the slab in
// stream i.
double weighted_change(const Sq& a, const Sq& b, const std::vector<double>& w) {
  double d = 0.0, scale = 0.0;
  for (int j = 0; j < a.n; ++j)
    for (int i = 0; i < a.n; ++i) {
      d = std::max(d, w[static_cast<std::size_t>(i)] * std::abs(a(i, j) - b(i, j)));
      scale = std::max(scale, std::abs(b(i, j)));
    }
  return scale > 0.0 ? d / scale : d;
}

// Weight of stream i (quad-centre cosine mu[i], ascending) for a slab face
// `dist` optical depths from a grid depth: the stream itself crosses that
// distance attenuated by exp(-dist / mu[i]); light it exchanges with a
// steeper stream j within about mu[i] of the face crosses it with j's
// attenuation and a share mu[i] / mu[j]; what is scattered again keeps at
// most the share mu[i]. At a grid depth every stream counts whole.
//
// The check weights the rows, the light a slab receives: near-horizon light
// inside a layer is weak and local, and how a slab far from the grid depths
// reflects and transmits it barely shows there, while every stream the slab
// sends out is checked whole. That balance was measured, not derived: the
// near-horizon streams fix the slab size (their reflectance at a slab face
// follows the IOPs right at the face, which no slab of blended IOPs
// reproduces to better than first order in its thickness), and weighting the
// columns instead (the light the slab sends out) let the near-horizon light
// it makes out of the steep light go unchecked: Eu then moved by 3.3e-5 from
// the Adams reference in the Case 1 chlorophyll spectrum (2.3e-6 with the rows
// weighted; both with mode 0 taking the slab at a tolerance of 1e-4).
std::vector<double> visibility(const std::vector<double>& mu, double dist) {
  std::vector<double> w(mu.size());
  for (std::size_t i = 0; i < mu.size(); ++i) {
    w[i] = mu[i];
    for (std::size_t j = i; j < mu.size(); ++j) w[i] = std::max(w[i], mu[i] / mu[j] * std::exp(-dist / mu[j]));
  }
  return w;
}

// Halving check of the slabs whose IOPs change within them, on mode 0 (which
// carries the irradiances and the nadir radiance): the varying-slab operators
// of a slab and those of its two halves differ by about the slab's own error;
// a slab whose difference exceeds the tolerance is halved. The difference is
// weighted by how far the light concerned reaches the layer's grid depths
// (see visibility): r and t_up from the slab top to the layer's top, r_below
// and t from the slab bottom to the layer's bottom. A kept slab keeps its
// halves: mode 0 takes them, the better of the two compared, and the other
// modes the slab (see kSlabRtTolerance). (Each mode's operators are about as
// far off as mode 0's on the same slab, 0.3 to 1.5 times; it is the small
// share of the higher modes in the light field that keeps their share of the
// radiance error small.)
struct Refiner {
  const std::function<IopMix(double)>& iop_at;
  MediumCache& cache;
  double tol;
  double layer_top, layer_bottom;  // the layer's grid depths (optical)
  const std::vector<double>& mu;   // quad-centre cosines of mode 0's streams
  std::vector<SubSlab> out;

  bool gradient;  // varying slabs by their gradient (runs without internal sources)
  // The sun beam's exponential terms for mode 0 between two optical depths,
  // when the run's only source is the beam and the slabs are gradient slabs:
  // the check then compares the slab's emission too, which also measures how
  // well the beam's terms (a linear change of the scattering shares and one
  // decay rate per slab) describe the beam across the slab.
  std::function<void(double za, double zb, ExpSources& out)> beam;
  SlabOps ops(const SubSlab& s) {
    SlabOps op;
    if (beam) {
      ExpSources terms;
      beam(s.top, s.top + s.h, terms);
      if (!s.varying) {
        const SlabMedium& m = cache.get(s.iop);
        op.rt = slab_rt(m, s.h);
        if (auto e = exp_emission(m, op.rt, s.h, terms)) op.em = std::move(*e), op.with_sources = true;
        return op;
      }
      if (auto g = cache.gradient_emission(s, terms)) {
        op.rt = std::move(g->rt);
        op.em = std::move(g->em);
        op.with_sources = true;
        return op;
      }
    }
    op.rt = s.varying ? cache.varying_rt(s, gradient) : slab_rt(cache.get(s.iop), s.h);  // not varying: a half whose phase-function choice crosses a member
    return op;
  }
  SubSlab half(const SubSlab& s, bool lower) {
    const double top = s.top + (lower ? 0.5 * s.h : 0.0), h = 0.5 * s.h;
    return varying_slab(iop_at, top, h, iop_at(top + 0.5 * h));
  }
  // A slab thin against the attenuation length of the most grazing stream
  // (h K <= h / mu_min small) takes the IOPs of its middle: the midpoint
  // slab's error, of order (h / mu_min)^2 times the relative change of the
  // scattering across it (the commutator of the coefficients with their
  // change), is then far below the check's tolerance, and one medium per mode
  // serves instead of two (the thin slabs between a grid depth and its
  // neighbour 0.01 below are a seventh of the slabs of a stratified run).
  bool midpoint_suffices(const SubSlab& s) const {
    const double x = s.h / mu.front();
    const double change = Partitioner::distance(iop_at(s.top), iop_at(s.top + s.h)) / std::max(s.iop.w0, 0.01);
    return x * x * change / 12.0 <= kThinSlabShare * tol;
  }
  void add(const SubSlab& s) {
    if (!s.varying) return out.push_back(s);
    if (midpoint_suffices(s)) return out.push_back(uniform_slab(s.top, s.h, s.iop));
    refine(s, 0);
  }
  // The check's difference between the slab's operators (and emission) and
  // its halves'. The emission leaving the slab's top (bottom) in stream i
  // reaches the layer's top (bottom) as that stream does.
  double difference(const SubSlab& s, const SlabOps& one, const SlabOps& two) const {
    const std::vector<double> up = visibility(mu, s.top - layer_top), down = visibility(mu, layer_bottom - s.top - s.h);
    const SlabRT &a = one.rt, &b = two.rt;
    double d = std::max({weighted_change(a.r, b.r, up), weighted_change(a.t_up(), b.t_up(), up),
                         weighted_change(a.r_below(), b.r_below(), down), weighted_change(a.t, b.t, down)});
    if (!one.with_sources || !two.with_sources) return d;
    double diff = 0.0, scale = 0.0;
    for (int h = 0; h < 2; ++h)
      for (std::size_t i = 0; i < mu.size(); ++i) {
        diff = std::max({diff, up[i] * std::abs(one.em.up[h][i] - two.em.up[h][i]),
                         down[i] * std::abs(one.em.dn[h][i] - two.em.dn[h][i])});
        scale = std::max({scale, std::abs(two.em.up[h][i]), std::abs(two.em.dn[h][i])});
      }
    return std::max(d, scale > 0.0 ? diff / scale : 0.0);
  }
  // `known`: the slab's operators when its parent's check computed them.
  void refine(const SubSlab& s, int depth, std::shared_ptr<const SlabOps> known = nullptr) {
    const SubSlab a = half(s, false), b = half(s, true);
    std::shared_ptr<const SlabOps> one = known ? std::move(known) : std::make_shared<const SlabOps>(ops(s));
    auto ra = std::make_shared<const SlabOps>(ops(a)), rb = std::make_shared<const SlabOps>(ops(b));
    SlabOps two;
    two.rt = stack_rt(ra->rt, rb->rt);
    two.with_sources = ra->with_sources && rb->with_sources;
    if (two.with_sources) two.em = stack_emission(ra->em, ra->rt, rb->em, rb->rt);
    const double err = difference(s, *one, two);
    if (depth >= 30 || err <= tol) {
      out.push_back(s);
      SubSlab& kept = out.back();
      kept.rt0 = std::make_shared<const SlabRT>(std::move(two.rt));
      auto halves = std::make_shared<std::vector<SubSlab>>(std::vector<SubSlab>{a, b});
      for (int k = 0; k < 2; ++k) {
        const SlabOps& h = k == 0 ? *ra : *rb;
        (*halves)[k].rt0 = std::make_shared<const SlabRT>(h.rt);
        if (h.with_sources) (*halves)[k].em0 = std::make_shared<const SlabEmission>(h.em);
      }
      kept.halves = std::move(halves);
      return;
    }
    refine(a, depth + 1, std::move(ra));
    refine(b, depth + 1, std::move(rb));
  }
};

// Copies an n x n block into an mxmu block.
void put(const Sq& s, Blk b) {
  for (int j = 0; j < s.n; ++j)
    for (int i = 0; i < s.n; ++i) b(i + 1, j + 1) = s(i, j);
}

void put_vec(const dense::Row& v, double* dst) { std::copy(v.begin(), v.end(), dst); }

// Internal sources (fluorescence, Raman, bioluminescence) of a slab of
// uniform IOPs as exponential terms in its optical depth, from the sources'
// own terms in their depth argument: across a uniform slab that argument is
// linear in optical depth (checked at the middle), so rates and x terms scale
// by its derivative. Rates below kMinSourceRate (a source that barely decays,
// or grows, with depth) are left to the quadrature, as is a slab where any
// source has no exponential form. None when the slab does not qualify.
constexpr double kMinSourceRate = 1e-2;
ExpSourceFn internal_exp(const BandProblem& bp, int l, const SubSlab& s) {
  const RunState& rs = *bp.rs;
  const double za = bp.source_depth(s.top), zb = bp.source_depth(s.top + s.h), zm = bp.source_depth(s.top + 0.5 * s.h);
  if (!(zb > za) || std::abs(zm - 0.5 * (za + zb)) > 1e-9 * (zb - za)) return nullptr;
  const double dzdx = (zb - za) / s.h;
  const auto terms = [&rs, l, dzdx, za](double x0, double x1, ExpSources& out) {
    for (int which = 1; which <= 4; ++which) {
      if (rs.src.flags[static_cast<std::size_t>(which)] == 0) continue;
      const auto& fn = rs.sol.source_exp[static_cast<std::size_t>(which)];
      ExpSources part;
      if (!fn || !fn(l, za + x0 * dzdx, za + x1 * dzdx, part)) return false;
      const int shift = static_cast<int>(out.shapes.size());
      out.shapes.insert(out.shapes.end(), part.shapes.begin(), part.shapes.end());
      for (ExpTerm t : part.terms) {
        t.p *= dzdx;
        t.f1 *= dzdx;
        t.shape += shift;
        if (t.shape1 >= 0) t.shape1 += shift;
        if (!(t.p >= kMinSourceRate)) return false;
        out.terms.push_back(t);
      }
    }
    return true;
  };
  ExpSources whole;
  if (!terms(0.0, s.h, whole)) return nullptr;
  return [terms](double x0, double x1, ExpSources& out) { terms(x0, x1, out); };
}

SlabOps slab_ops(const BandProblem& bp, int l, const SubSlab& s, MediumCache& cache) {
  SlabOps op;
  op.with_sources = bp.sources;
  const bool beam_only = bp.rs->sol.beam.on && bp.rs->cmisc.nsource == 0;
  const SlabSource src = [&](double x, SourceAmps& a) {
    if (!beam_only) return sum_source_amps(*bp.rs, l, bp.source_depth(s.top + x), a);
    a = SourceAmps{};
    bp.rs->sol.beam.source_zeta(l, s.top + x, a);
  };
  const bool reuse = (l == 0 && s.rt0);  // mode 0's operators from the halving check
  if (reuse && (!bp.sources || s.em0)) {
    op.rt = *s.rt0;
    if (s.em0) op.em = *s.em0;
    return op;
  }
  if (reuse && s.halves) {  // mode 0 of a kept slab: its halves, as the check stacked them
    const std::vector<SubSlab>& hv = *s.halves;
    const SlabOps a = slab_ops(bp, l, hv[0], cache), b = slab_ops(bp, l, hv[1], cache);
    op.rt = *s.rt0;
    op.em = stack_emission(a.em, a.rt, b.em, b.rt);
    return op;
  }
  // The sun beam alone is a sum of exponentials in optical depth: its emission has a closed form.
  ExpSourceFn exp;
  if (beam_only)
    exp = [&](double x0, double x1, ExpSources& out) { bp.rs->sol.beam.exp_source(l, s.top + x0, s.top + x1, out); };
  else if (bp.sources && !bp.rs->sol.beam.on && !s.varying)
    exp = internal_exp(bp, l, s);
  if (!s.varying) {
    const SlabMedium& m = cache.get(s.iop);
    op.rt = reuse ? *s.rt0 : cache.uniform_rt(s.iop, s.h);
    if (bp.sources) op.em = slab_emission(m, op.rt, s.h, src, exp, bp.source_tol);
    return op;
  }
  if (!bp.sources) {
    op.rt = cache.varying_rt(s, bp.gradient);
    return op;
  }
  if (bp.gradient && exp) {
    ExpSources terms;
    exp(0.0, s.h, terms);
    if (auto g = cache.gradient_emission(s, terms)) {
      op.rt = reuse ? *s.rt0 : std::move(g->rt);
      op.em = std::move(g->em);
      return op;
    }
  }
  // Two media, the first copied out of the cache before the next lookup can evict it.
  const SlabMedium upper = cache.get(s.upper);
  const VaryingSlab v{&upper, &cache.get(s.lower), s.h};
  // The halves' operators and the interaction matrices of their stack serve
  // both the slab's operators and its emission.
  const SlabRT rup = slab_rt(upper, 0.5 * s.h), rlo = slab_rt(*v.lower, 0.5 * s.h);
  StackedRT both = stack_parts(rup, rlo);
  op.em = varying_slab_emission(v, rup, rlo, both, src, exp, bp.source_tol);
  op.rt = reuse ? *s.rt0 : std::move(both.rt);
  return op;
}

// The slab operators of every layer of mode l, top to bottom.
std::vector<std::vector<SlabOps>> mode_slabs(const BandProblem& bp, int l) {
  ModeCoefficients mc(*bp.rs, l);
  MediumCache cache(mc);
  std::vector<std::vector<SlabOps>> ops(bp.layers.size());
  for (std::size_t k = 0; k < bp.layers.size(); ++k)
    for (const SubSlab& s : bp.layers[k]) ops[k].push_back(slab_ops(bp, l, s, cache));
  return ops;
}

void store_down(ModeOps& m, int k, const PassState& st, int nmu) {
  put(st.R, m.Rzw(k));
  put(st.T, m.Twz(k));
  if (st.R.n < nmu) m.Twz(k)(nmu, nmu) = 1.0;  // the cap of a mode l > 0 carries no light
  if (!st.with_sources) return;
  put_vec(st.S[0], m.S1d(k));
  put_vec(st.S[1], m.S2d(k));
}

void downward(const BandProblem& bp, const std::vector<std::vector<SlabOps>>& ops, int n, ModeOps& m) {
  PassState st(n, true, bp.sources);
  store_down(m, 1, st, bp.nmu);
  for (int k = 1; k < bp.nz; ++k) {
    for (const SlabOps& op : ops[static_cast<std::size_t>(k - 1)]) add_slab(st, op, true);
    store_down(m, k + 1, st, bp.nmu);
  }
}

// Upward pass for one half (0: R(zeta,m) and S1u, 1: the sine half) or both
// (kBothHalves: they share R when both start from the bottom operator, and the
// pass carries the source vectors of both halves anyway), from the bottom
// operator or from zero.
constexpr int kBothHalves = 2;
void upward(const BandProblem& bp, const std::vector<std::vector<SlabOps>>& ops, int n, ModeOps& m, int half,
            const Mat* start, const std::vector<double>* emission) {
  PassState st(n, false, bp.sources);
  const int h0 = half == kBothHalves ? 0 : half, h1 = half == kBothHalves ? 1 : half;
  if (start)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) st.R(i, j) = (*start)(i + 1, j + 1);
  if (start && emission)  // light the bottom sends up of its own (the reflected sun beam)
    for (int h = h0; h <= h1; ++h)
      for (int i = 0; i < n; ++i) st.S[h][static_cast<std::size_t>(i)] = (*emission)[static_cast<std::size_t>(h * mxmu + i)];
  // A pass of both halves has one R, stored once: the sine half reads it from
  // the cosine half's storage.
  auto store = [&](int k) {
    for (int h = h0; h <= h1; ++h) {
      if (h == 0 || half != kBothHalves) put(st.R, h == 0 ? m.Rzm(k) : m.Rzm2(k));
      if (st.with_sources) put_vec(st.S[h], h == 0 ? m.S1u(k) : m.S2u(k));
    }
  };
  store(bp.nz);
  for (int k = bp.nz - 1; k >= 1; --k) {
    const auto& layer = ops[static_cast<std::size_t>(k - 1)];
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) add_slab(st, *it, false);
    store(k);
  }
}

// Storage of one mode's operators for the exact solve. A band of the same run
// finds it allocated: every pass writes the n x n blocks at every depth, so
// only the polar-cap row and column (which modes l > 0 leave out) are cleared.
void prepare_storage(ModeOps& out, int nz, bool sources, int nmu, int n) {
  if (out.nz != nz || out.nmu != nmu || out.with_sources != sources) {
    out.resize(nz, nmu, sources);
    return;
  }
  if (n == nmu) return;
  for (int k = 1; k <= nz; ++k) {
    for (const Blk b : {out.Rzw(k), out.Twz(k), out.Rzm(k), out.Rzm2(k)})
      for (int i = 1; i <= nmu; ++i) b(i, nmu) = b(nmu, i) = 0.0;
    if (sources)
      for (double* v : {out.S1d(k), out.S2d(k), out.S1u(k), out.S2u(k)}) v[nmu - 1] = 0.0;
  }
}

bool all_zero(const Mat& m, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      if (m(i, j) != 0.0) return false;
  return true;
}

// Optical depths of the nodes of the tabulated concentration profiles and
// instrument tables, which are interpolated linearly: the IOPs change slope there, and a slab that
// straddles such a kink would lose the high order of the varying-slab scheme.
std::vector<double> profile_nodes(RunState& rs, double zeta_max) {
  std::vector<double> out;
  const double z_max = (rs.cmisc.iop == 1) ? zeta_max : z_of_zeta(rs, zeta_max);
  for (double d : profile_node_depths(rs)) {
    if (d <= 0.0 || d >= z_max) continue;
    out.push_back(rs.cmisc.iop == 1 ? d : zeta_of_depth(rs, d));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Reflectance of infinitely deep homogeneous water with the IOPs `deep`, mode
// l: the reflectance of a slab of that water as its thickness goes to
// infinity, where every exponential of the closed form vanishes. None when the
// medium has no eigen-solution or a non-decaying eigen-mode (then the general
// eigen-solution of the bottom routine serves).
std::optional<Mat> deep_water_reflectance(const RunState& rs, int l, const IopMix& deep) {
  ModeCoefficients mc(rs, l);
  const SlabMedium med = mc.medium(deep);
  if (!med.eigen) return std::nullopt;
  for (double k : med.k)
    if (!(k > 1e-8) || !std::isfinite(k)) return std::nullopt;
  const SlabRT s = slab_rt(med, std::numeric_limits<double>::infinity());
  Mat r(mxmu, mxmu);
  for (int j = 0; j < med.n; ++j)
    for (int i = 0; i < med.n; ++i) {
      if (!std::isfinite(s.r(i, j))) return std::nullopt;
      r(i + 1, j + 1) = s.r(i, j);
    }
  return r;
}

// The layer [za, zb] cut at the profile nodes inside it. A node that is a
// grid depth in geometric depth comes out of the depth conversion within about
// 1e-7 relative of the grid's optical depth; closer to a layer face than 1e-6
// relative it is taken to be on it (a slope change that close to the face
// acts over that distance only, an error of the order of its square) instead
// of making a slab of that thickness.
std::vector<std::pair<double, double>> pieces(double za, double zb, const std::vector<double>& nodes) {
  std::vector<std::pair<double, double>> out;
  double top = za;
  const double eps = 1e-6 * std::max(1.0, zb);
  for (auto it = std::upper_bound(nodes.begin(), nodes.end(), za); it != nodes.end() && *it < zb; ++it) {
    if (*it - top <= eps || zb - *it <= eps) continue;
    out.push_back({top, *it});
    top = *it;
  }
  out.push_back({top, zb});
  return out;
}

}  // namespace

// The halving check's tolerance on its difference. Mode 0 takes the kept
// slab's halves, whose error the difference estimates; the other modes take the
// slab. Slabs of blended IOPs err at high order in the thickness, so the slab's
// error is about the difference too; a gradient slab errs as the square of the
// IOP change across it, so the slab's error is about twice the difference
// (two halves of half the change: twice a quarter), and the check takes half
// the tolerance. (In a mineral profile tripling over six metres, Fourier modes
// above 0 came out 1.3e-4 of the hemisphere's largest radiance from the Adams
// reference with the full tolerance, 6e-5 with half.)
double gradient_check_tolerance(double tol, bool gradient) { return gradient ? 0.5 * tol : tol; }

// Smooth slabs are gradient slabs unless the run has internal sources (Raman,
// fluorescence, bioluminescence), whose emission in a slab of changing IOPs is
// a quadrature of the point-source response: it takes the blended halves. The
// sun beam's emission has the closed form of exponential sources either way.
bool gradient_slabs(const RunState& rs) { return rs.cmisc.nsource == 0; }

void sum_source_amps(const RunState& rs, int l, double depth, SourceAmps& total) {
  total = SourceAmps{};
  if (rs.sol.beam.on) rs.sol.beam.source(rs, l, depth, total);
  SourceAmps a;
  for (int s = 1; s <= 4; ++s) {
    if (rs.src.flags[static_cast<std::size_t>(s)] == 0) continue;
    source_term(rs, s, l, depth, a);
    for (std::size_t i = 0; i < total.up_cos.size(); ++i) {
      total.up_cos[i] += a.up_cos[i];
      total.up_sin[i] += a.up_sin[i];
      total.down_cos[i] += a.down_cos[i];
      total.down_sin[i] += a.down_sin[i];
    }
  }
}

std::vector<SubSlab> partition_layer(const std::function<IopMix(double)>& iop_at, double za, double zb, double tol) {
  Partitioner p{iop_at, tol, {}};
  if (zb > za) p.split(za, zb, 0, 0.0);
  return p.out;
}

namespace {

// The IOPs of the current band at an optical depth.
std::function<IopMix(double)> iop_profile(RunState& rs) {
  return [&rs](double zeta) {
    const double depth = (rs.cmisc.iop == 1) ? zeta : z_of_zeta(rs, zeta);
    return mix_of(abscat(rs, depth, rs.cmisc.wavenm, rs.cmisc.ncomp), rs.cmisc.ncomp);
  };
}

// Quad-centre cosines of mode 0's streams, ascending (the halving check's weights).
std::vector<double> stream_cosines(const RunState& rs) {
  std::vector<double> mu;
  for (int u = 1; u <= rs.cmisc.nmu; ++u) mu.push_back(rs.cgrid.fmu(u));
  return mu;
}

}  // namespace

double slab_check_difference(RunState& rs, double top, double h, double layer_top, double layer_bottom) {
  const std::function<IopMix(double)> iop_at = iop_profile(rs);
  ModeCoefficients mc0(rs, 0);
  MediumCache cache0(mc0);
  const std::vector<double> mu = stream_cosines(rs);
  const bool gradient = gradient_slabs(rs);
  Refiner r{iop_at, cache0, gradient_check_tolerance(kSlabRtTolerance, gradient), layer_top, layer_bottom, mu, {}, gradient, nullptr};
  const SubSlab s = varying_slab(iop_at, top, h, iop_at(top + 0.5 * h));
  SlabOps two;
  two.rt = stack_rt(r.ops(r.half(s, false)).rt, r.ops(r.half(s, true)).rt);
  return r.difference(s, r.ops(s), two);
}

BandProblem band_problem(RunState& rs, double slab_rt_tol) {
  BandProblem bp;
  const Misc& m = rs.cmisc;
  bp.rs = &rs;
  bp.nmu = m.nmu;
  bp.lmax = m.lmax;
  bp.nz = m.nz;
  for (int k = 1; k <= m.nz; ++k) bp.zeta.push_back(rs.cgrid.zeta(k));
  const std::function<IopMix(double)> iop_at = iop_profile(rs);
  ModeCoefficients mc0(rs, 0);
  MediumCache cache0(mc0);
  iop_at(0.0);  // the profiles are read on first use
  const std::vector<double> nodes = profile_nodes(rs, bp.zeta.back());
  const std::vector<double> mu = stream_cosines(rs);
  bp.gradient = gradient_slabs(rs);
  std::function<void(double, double, ExpSources&)> beam0;
  if (bp.gradient && rs.sol.beam.on && rs.sol.beam.exp_source)
    beam0 = [&rs](double za, double zb, ExpSources& out) { rs.sol.beam.exp_source(0, za, zb, out); };
  const double tol = gradient_check_tolerance(slab_rt_tol, bp.gradient);
  for (int k = 1; k < m.nz; ++k) {
    const double za = bp.zeta[static_cast<std::size_t>(k - 1)], zb = bp.zeta[static_cast<std::size_t>(k)];
    Refiner refiner{iop_at, cache0, tol, za, zb, mu, {}, bp.gradient, beam0};
    for (const auto& [pa, pb] : pieces(za, zb, nodes))
      for (const SubSlab& s : partition_layer(iop_at, pa, pb, kSlabTolerance)) refiner.add(s);
    bp.layers.push_back(std::move(refiner.out));
  }
  const IopMix deep = iop_at(bp.zeta.back());
  for (int l = 0; l <= m.lmax; ++l) {
    // Mode 0 of infinitely deep water also gives the asymptotic radiance
    // distribution the printout shows, so it keeps the general eigen-solution.
    if (l > 0 && m.ibotm == 0)
      if (auto r = deep_water_reflectance(rs, l, deep)) {
        bp.bottom.push_back(std::move(*r));
        continue;
      }
    botmbc(rs, l);
    bp.bottom.push_back(rs.bot.cbotbc);
  }
  bp.infinite_bottom = (m.ibotm == 0);
  bp.sources = has_internal_light(rs);
  if (rs.sol.beam.on)  // the bottom reflects the beam that reaches it
    for (int l = 0; l <= m.lmax; ++l) {
      const std::vector<double> v = beam_amplitudes(rs, bp.zeta.back(), l);
      const Mat& rb = bp.bottom[static_cast<std::size_t>(l)];
      std::vector<double> e(2 * mxmu, 0.0);
      for (int h = 0; h < 2; ++h)
        for (int j = 1; j <= m.nmu; ++j)
          for (int i = 1; i <= m.nmu; ++i) e[static_cast<std::size_t>(h * mxmu + j - 1)] += v[static_cast<std::size_t>(h * mxmu + i - 1)] * rb(i, j);
      bp.bottom_emission.push_back(std::move(e));
    }
  if (bp.sources && m.nsource != 0) {  // the beam alone takes optical depths
    if (m.iop == 1) {
      bp.source_depth = [](double zeta) { return zeta; };
    } else {
      // Geometric depths of optical depths from a table fine enough for linear interpolation.
      auto table = std::make_shared<std::vector<std::pair<double, double>>>();
      const double zmax = bp.zeta.back();
      const int nt = 4000;
      for (int i = 0; i <= nt; ++i) {
        const double zt = zmax * i / nt;
        table->push_back({zt, z_of_zeta(rs, zt)});
      }
      bp.source_depth = [table, zmax, nt](double zeta) {
        if (zmax <= 0.0) return (*table)[0].second;
        const double f = std::clamp(zeta / zmax, 0.0, 1.0) * nt;
        const auto i = std::min(static_cast<std::size_t>(f), static_cast<std::size_t>(nt - 1));
        const double w = f - static_cast<double>(i);
        return (*table)[i].second + w * ((*table)[i + 1].second - (*table)[i].second);
      };
    }
  }
  bp.threads = worker_threads(rs.opts.threads);
  return bp;
}

void solve_mode_exact(const BandProblem& bp, int l, ModeOps& out) {
  const int n = (l == 0) ? bp.nmu : bp.nmu - 1;
  out.sine_shares_rzm = false;  // the storage of both halves is prepared
  prepare_storage(out, bp.nz, bp.sources, bp.nmu, n);
  const auto ops = mode_slabs(bp, l);
  const Mat& bottom = bp.bottom[static_cast<std::size_t>(l)];
  const std::vector<double>* emission =
      bp.bottom_emission.empty() ? nullptr : &bp.bottom_emission[static_cast<std::size_t>(l)];
  downward(bp, ops, n, out);
  // The sine half sees the bottom operator only in infinitely deep water and in
  // the modes that have sine amplitudes; a reflecting bottom starts it from zero.
  const bool has_sine = (l != 0 && l != bp.lmax);
  const bool shared = has_sine && (bp.infinite_bottom || all_zero(bottom, bp.nmu));
  // With one bottom operator for both halves the sine half reads the cosine
  // half's R(zeta,m) (the pass with sources has written both anyway).
  upward(bp, ops, n, out, shared && bp.sources ? kBothHalves : 0, &bottom, emission);
  if (!has_sine) {
    std::fill(out.rzm2.begin(), out.rzm2.end(), 0.0);
    std::fill(out.s2u.begin(), out.s2u.end(), 0.0);
  } else if (!shared) {
    upward(bp, ops, n, out, 1, nullptr, nullptr);
  }
  out.sine_shares_rzm = shared;
}

void solve_band_exact(const BandProblem& bp, std::vector<ModeOps>& modes) {
  const int nmode = bp.lmax + 1;
  modes.resize(static_cast<std::size_t>(nmode));
  // Mode costs differ (mode 0 reuses the partition check's operators).
  for_each_mode(nmode, bp.threads, [&](int l) { solve_mode_exact(bp, l, modes[static_cast<std::size_t>(l)]); });
}

}  // namespace abyss
