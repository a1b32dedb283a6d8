// The exact band solve: each Fourier mode is propagated slab by slab with the
// closed-form slab operators and the adding rules, giving at every grid depth the
// operators of the three passes (R(zeta,w), T(w,zeta), R(zeta,m) for both
// halves, and the source vectors) to rounding, whatever the optical depth.
#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <thread>

#include "bottom/bottom.hpp"
#include "control/run_state.hpp"
#include "grid/depth_conversion.hpp"
#include "iop/abscat.hpp"
#include "solver/adding.hpp"
#include "solver/band_problem.hpp"
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

// The coefficient matrices of one mode for one set of IOPs, reduced to the n active bands.
struct ModeCoefficients {
  const RunState& rs;
  int l, n;
  ComponentSums st, sr;
  Mat rho{mxmu, mxmu}, tau{mxmu, mxmu};
  ModeCoefficients(const RunState& r, int l_) : rs(r), l(l_), n(l_ == 0 ? r.cmisc.nmu : r.cmisc.nmu - 1),
      st(new_sums(r.cmisc.ncomp)), sr(new_sums(r.cmisc.ncomp)) {
    mode_component_sums(rs, l, st, sr);
  }
  SlabMedium medium(const IopMix& mix) {
    coefficient_matrices(rs, l, st, sr, mix.w0, mix.wk.data(), rho, tau);
    Sq r(n), t(n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        r(i, j) = rho(i + 1, j + 1);
        t(i, j) = tau(i + 1, j + 1);
      }
    return slab_medium(r, t);
  }
};

IopMix mix_of(const IopValues& v, int ncomp) {
  IopMix m;
  const double c = v.atot + v.btot;
  m.w0 = (c > 0.0) ? v.btot / c : 0.0;
  if (v.btot >= 1.0e-6)
    for (int k = 1; k <= ncomp; ++k) m.wk[static_cast<std::size_t>(k)] = v.b[k] / v.btot;
  return m;
}

struct Partitioner {
  const std::function<IopMix(double)>& iop_at;
  double tol;
  std::vector<SubSlab> out;

  static double distance(const IopMix& a, const IopMix& b) {
    double d = std::abs(a.w0 - b.w0);
    for (std::size_t k = 1; k < a.wk.size(); ++k) d += std::abs(a.wk[k] - b.wk[k]);
    return d;
  }

  // IOPs at five equally spaced points of [za, zb]: uniform, or changing in
  // one step.
  struct Samples {
    IopMix mid;
    bool uniform = true, step = false;
    double jump = 0.0;  // largest change between neighbouring points
    double variation = 0.0;  // total change across the interval
  };
  Samples sample(double za, double zb, double parent_jump) {
    IopMix f[5];
    for (int i = 0; i <= 4; ++i) f[i] = iop_at(za + 0.25 * i * (zb - za));
    Samples s;
    s.mid = f[2];
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

  void split(double za, double zb, int depth, double parent_jump) {
    const Samples smp = sample(za, zb, parent_jump);
    const IopMix& mid = smp.mid;
    if (smp.uniform) {
      out.push_back({za, zb - za, mid});
      return;
    }
    const double zm = 0.5 * (za + zb), h = zb - za;
    const bool tiny = h <= 1.0e-9 * std::max(1.0, std::abs(zb)) || depth >= 48;
    if (tiny || (!smp.step && smp.variation <= tol)) {
      out.push_back({za, h, mid});
      return;
    }
    split(za, zm, depth + 1, smp.step ? smp.jump : 0.0);
    split(zm, zb, depth + 1, smp.step ? smp.jump : 0.0);
  }
};

// Copies an n x n block into an mxmu block.
void put(const Sq& s, Blk b) {
  for (int j = 0; j < s.n; ++j)
    for (int i = 0; i < s.n; ++i) b(i + 1, j + 1) = s(i, j);
}

void put_vec(const dense::Row& v, double* dst) { std::copy(v.begin(), v.end(), dst); }

// The slab operators of every layer of mode l, top to bottom.
std::vector<std::vector<SlabOps>> mode_slabs(const BandProblem& bp, int l) {
  ModeCoefficients mc(*bp.rs, l);
  std::vector<std::vector<SlabOps>> ops(bp.layers.size());
  SlabMedium medium;
  IopMix last;
  bool have = false;
  for (std::size_t k = 0; k < bp.layers.size(); ++k) {
    for (const SubSlab& s : bp.layers[k]) {
      if (!have || !(s.iop == last)) {
        medium = mc.medium(s.iop);
        last = s.iop;
        have = true;
      }
      SlabOps op{slab_rt(medium, s.h), bp.sources, {}};
      if (bp.sources) {
        const SlabSource src = [&](double x, SourceAmps& a) { sum_source_amps(*bp.rs, l, bp.source_depth(s.top + x), a); };
        op.em = slab_emission(medium, s.h, src, bp.source_tol);
      }
      ops[k].push_back(std::move(op));
    }
  }
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

// Upward pass for one half (0: R(zeta,m) and S1u, 1: the sine half), from the bottom operator or from zero.
void upward(const BandProblem& bp, const std::vector<std::vector<SlabOps>>& ops, int n, ModeOps& m, int half,
            const Mat* start, const std::vector<double>* emission) {
  PassState st(n, false, bp.sources);
  if (start)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) st.R(i, j) = (*start)(i + 1, j + 1);
  if (start && emission)  // light the bottom sends up of its own (the reflected sun beam)
    for (int i = 0; i < n; ++i) st.S[half][static_cast<std::size_t>(i)] = (*emission)[static_cast<std::size_t>(half * mxmu + i)];
  auto store = [&](int k) {
    put(st.R, half == 0 ? m.Rzm(k) : m.Rzm2(k));
    if (st.with_sources) put_vec(st.S[half], half == 0 ? m.S1u(k) : m.S2u(k));
  };
  store(bp.nz);
  for (int k = bp.nz - 1; k >= 1; --k) {
    const auto& layer = ops[static_cast<std::size_t>(k - 1)];
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) add_slab(st, *it, false);
    store(k);
  }
}

bool all_zero(const Mat& m, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      if (m(i, j) != 0.0) return false;
  return true;
}

}  // namespace

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

BandProblem band_problem(RunState& rs) {
  BandProblem bp;
  const Misc& m = rs.cmisc;
  bp.rs = &rs;
  bp.nmu = m.nmu;
  bp.lmax = m.lmax;
  bp.nz = m.nz;
  for (int k = 1; k <= m.nz; ++k) bp.zeta.push_back(rs.cgrid.zeta(k));
  const std::function<IopMix(double)> iop_at = [&rs](double zeta) {
    const double depth = (rs.cmisc.iop == 1) ? zeta : z_of_zeta(rs, zeta);
    return mix_of(abscat(rs, depth, rs.cmisc.wavenm, rs.cmisc.ncomp), rs.cmisc.ncomp);
  };
  for (int k = 1; k < m.nz; ++k)
    bp.layers.push_back(partition_layer(iop_at, bp.zeta[static_cast<std::size_t>(k - 1)],
                                        bp.zeta[static_cast<std::size_t>(k)], kSlabTolerance));
  for (int l = 0; l <= m.lmax; ++l) {
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
  if (bp.sources) {
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
  const int hw = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  bp.threads = rs.opts.threads > 0 ? rs.opts.threads : hw;
  return bp;
}

void solve_mode_exact(const BandProblem& bp, int l, ModeOps& out) {
  const int n = (l == 0) ? bp.nmu : bp.nmu - 1;
  out.resize(bp.nz, bp.sources);
  const auto ops = mode_slabs(bp, l);
  const Mat& bottom = bp.bottom[static_cast<std::size_t>(l)];
  const std::vector<double>* emission =
      bp.bottom_emission.empty() ? nullptr : &bp.bottom_emission[static_cast<std::size_t>(l)];
  downward(bp, ops, n, out);
  upward(bp, ops, n, out, 0, &bottom, emission);
  // The sine half sees the bottom operator only in infinitely deep water and in
  // the modes that have sine amplitudes; a reflecting bottom starts it from zero.
  const bool has_sine = (l != 0 && l != bp.lmax);
  if (!has_sine) {
    std::fill(out.rzm2.begin(), out.rzm2.end(), 0.0);
    std::fill(out.s2u.begin(), out.s2u.end(), 0.0);
  } else if (bp.infinite_bottom || all_zero(bottom, bp.nmu)) {
    if (!bp.sources) {
      out.rzm2 = out.rzm;
    } else {
      upward(bp, ops, n, out, 1, &bottom, emission);
    }
  } else {
    upward(bp, ops, n, out, 1, nullptr, nullptr);
  }
}

void solve_band_exact(const BandProblem& bp, std::vector<ModeOps>& modes) {
  const int nmode = bp.lmax + 1;
  modes.resize(static_cast<std::size_t>(nmode));
  const int nthreads = std::clamp(bp.threads, 1, nmode);
  std::vector<std::exception_ptr> err(static_cast<std::size_t>(nmode));
  auto work = [&](int first) {
    for (int l = first; l < nmode; l += nthreads) {
      try {
        solve_mode_exact(bp, l, modes[static_cast<std::size_t>(l)]);
      } catch (...) {
        err[static_cast<std::size_t>(l)] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < nthreads; ++t) pool.emplace_back(work, t);
  work(0);
  for (auto& th : pool) th.join();
  for (auto& e : err)
    if (e) std::rethrow_exception(e);
}

}  // namespace abyss
