// Conversion between geometric depth z and optical depth zeta = integral of
// the beam attenuation c = a + b over depth, for the current band.
//
// Geometric-depth runs also get a fine table (zeta, z) so that the Riccati
// integrator, which steps in optical depth, can find the geometric depth at
// which to ask for IOPs. The table starts at the first output depth with the
// same optical depth as zeta(1), so table and output grid agree exactly at
// every output depth even when the grid does not begin at the surface.
//
// Callers (the band initialization) switch off the backscatter calculation
// (comp.cbbcalc = 0) around these calls: only a and b are needed here.
#include "grid/depth_conversion.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <memory>

#include "control/errors.hpp"
#include "control/once_notes.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"

namespace abyss {
namespace {

// QUADPACK settings of both conversions: 7/15-point Gauss-Kronrod, at most
// 25 subintervals.
constexpr double kEpsAbs = 1.0e-4;
constexpr double kEpsRel = 1.0e-5;
constexpr std::size_t kLimit = 25;
constexpr std::size_t kCellLimit = 200;  // inversion inside one table cell

// Integrand context. The integrand cannot throw through GSL's C frames, so a
// zero attenuation is only noted here and reported once QAG has returned.
struct Integrand {
  RunState* rs = nullptr;
  bool inverse = false;  // true: 1/c (optical-depth runs), false: c
  bool zero_seen = false;
  bool nonfinite_seen = false;  // c not finite at nonfinite_depth
  double nonfinite_depth = 0.0;
};

// A beam attenuation that is not a finite number (overflowing concentrations
// or data) is the cause to report, not the quadrature's failure it leads to.
[[noreturn]] void nonfinite_c(RunState& rs, double depth, const char* routine) {
  herr(routine, "the beam attenuation c at depth " + std::to_string(depth) + " and wavelength " +
                    std::to_string(rs.cmisc.wavenm) + " nm is not a finite number; check the concentrations and data files");
}

double beam_attenuation(RunState& rs, double depth) {
  IopValues v = abscat(rs, depth, rs.cmisc.wavenm, rs.cmisc.ncomp);
  return v.atot + v.btot;
}

double integrand(double depth, void* params) {
  auto* ctx = static_cast<Integrand*>(params);
  double c = beam_attenuation(*ctx->rs, depth);
  if (!std::isfinite(c)) {
    ctx->nonfinite_seen = true;
    ctx->nonfinite_depth = depth;
    return 0.0;
  }
  if (c <= 0.0) {
    ctx->zero_seen = true;
    return 0.0;
  }
  return ctx->inverse ? 1.0 / c : c;
}

// Light that is neither absorbed nor scattered never changes with depth:
// there is nothing to solve.
[[noreturn]] void trivial_case(RunState& rs, const char* routine) {
  rs.con() << "Total attenuation is ZERO.  Light field does not change with depth.\n";
  herr(routine, "trivial case");
}

// c (or 1/c) at one depth, with the zero-attenuation stop.
double point_value(RunState& rs, double depth, bool inverse, const char* routine) {
  double c = beam_attenuation(rs, depth);
  if (!std::isfinite(c)) nonfinite_c(rs, depth, routine);
  if (c <= 0.0) trivial_case(rs, routine);
  return inverse ? 1.0 / c : c;
}

}  // namespace

void qag_warning(RunState& rs, bool zetatoz) {
  const std::string text =
      std::string("\n") + "     Routine \"QAG\" had a difficult time integrating dzeta/c in routine zetatoz.\n" +
      "     This error message does not mean the results are necessarily inaccurate, so\n" +
      (zetatoz ? "     ingore the error message from \"QAG\" unless the Abyssolver output is clearly wrong.\n"
               : "     ingore the error message from \"QAG\" unless the output is clearly wrong.\n");
  write_once(rs, zetatoz ? OnceNote::qag_zetatoz : OnceNote::qag_ztozeta, std::string(), text);
}

namespace {

// One QAG integration of c (or 1/c) from lo to hi. A QAG difficulty is
// reported once per run and its estimate used as it is.
class Quadrature {
 public:
  Quadrature(RunState& rs, bool inverse)
      : ws_(gsl_integration_workspace_alloc(kLimit), gsl_integration_workspace_free) {
    ctx_.rs = &rs;
    ctx_.inverse = inverse;
  }
  double operator()(double lo, double hi) {
    gsl_function f{&integrand, &ctx_};
    double result = 0.0, abserr = 0.0;
    // GSL's default handler aborts; the status is checked below. The handler is
    // process-wide, so it is switched off and never restored: restoring it here
    // would re-arm the abort under another run's integration in another thread.
    gsl_set_error_handler_off();
    int status = gsl_integration_qag(&f, lo, hi, kEpsAbs, kEpsRel, kLimit, GSL_INTEG_GAUSS15, ws_.get(), &result,
                                     &abserr);
    if (ctx_.nonfinite_seen) nonfinite_c(*ctx_.rs, ctx_.nonfinite_depth, ctx_.inverse ? "ZETATOZ" : "ZTOZETA");
    if (ctx_.zero_seen) trivial_case(*ctx_.rs, ctx_.inverse ? "ZETATOZ" : "ZTOZETA");
    if (status != 0) qag_warning(*ctx_.rs, ctx_.inverse);
    return result;
  }

 private:
  Integrand ctx_;
  std::unique_ptr<gsl_integration_workspace, void (*)(gsl_integration_workspace*)> ws_;
};

// Table sub-intervals per metre: as many as fit the table, at most 10.
int table_density(int nz, double zlast) {
  if (zlast <= 0.0) return 10;
  return std::min(10, static_cast<int>((ZetaTable::kCapacity - nz) / zlast));
}

void table_append(ZetaTable& t, double zeta, double z) {
  t.zeta[static_cast<std::size_t>(t.n)] = zeta;
  t.z[static_cast<std::size_t>(t.n)] = z;
  ++t.n;
}

// ---------------------------------------------------------------------------
// Polynomial form of zeta(z) inside the table cells where c is smooth.
//
// The solver asks for the geometric depth of thousands of optical depths per
// band. Inverting zeta(z) by quadrature at each of them costs a few adaptive
// integrations; inside a cell of 0.1 m where c is an analytic function of
// depth (the usual case: profiles change on scales of metres) the quartic
// through c at five Gauss-Legendre points reproduces c to rounding, and its
// integral inverts by Newton's method with no further IOP evaluations. Cells
// where that quartic misses c at the cell's ends or inside (a kink or step of
// a profile, a layer boundary) keep the inversion by quadrature.

constexpr std::array<double, 5> kGlNodes = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831,
                                            0.9061798459386640};
constexpr double kFitTolerance = 1.0e-9;  // relative, on c

// Coefficients p[0..4] of the quartic through (t_i, c_i), by elimination on
// the Vandermonde system (well conditioned for these nodes).
std::array<double, 5> quartic_through(const std::array<double, 5>& c) {
  double a[5][6];
  for (int i = 0; i < 5; ++i) {
    double tk = 1.0;
    for (int k = 0; k < 5; ++k, tk *= kGlNodes[static_cast<std::size_t>(i)]) a[i][k] = tk;
    a[i][5] = c[static_cast<std::size_t>(i)];
  }
  for (int k = 0; k < 5; ++k) {
    int p = k;
    for (int i = k + 1; i < 5; ++i)
      if (std::abs(a[i][k]) > std::abs(a[p][k])) p = i;
    for (int j = 0; j < 6; ++j) std::swap(a[k][j], a[p][j]);
    for (int i = k + 1; i < 5; ++i) {
      const double f = a[i][k] / a[k][k];
      for (int j = k; j < 6; ++j) a[i][j] -= f * a[k][j];
    }
  }
  std::array<double, 5> x{};
  for (int k = 4; k >= 0; --k) {
    double r = a[k][5];
    for (int j = k + 1; j < 5; ++j) r -= a[k][j] * x[static_cast<std::size_t>(j)];
    x[static_cast<std::size_t>(k)] = r / a[k][k];
  }
  return x;
}

double poly(const double* p, int n, double t) {
  double v = 0.0;
  for (int k = n - 1; k >= 0; --k) v = v * t + p[k];
  return v;
}

CellFit fit_cell(RunState& rs, double z0, double z1) {
  CellFit f;
  f.zc = 0.5 * (z0 + z1);
  f.hw = 0.5 * (z1 - z0);
  if (!(f.hw > 0.0)) return f;
  std::array<double, 5> c{};
  for (std::size_t i = 0; i < 5; ++i) {
    c[i] = beam_attenuation(rs, f.zc + f.hw * kGlNodes[i]);
    if (!std::isfinite(c[i]) || c[i] <= 0.0) return f;
  }
  const std::array<double, 5> p = quartic_through(c);
  for (double t : {-1.0, 1.0, 0.27}) {
    const double ct = beam_attenuation(rs, f.zc + f.hw * t);
    if (!std::isfinite(ct) || std::abs(poly(p.data(), 5, t) - ct) > kFitTolerance * std::abs(ct)) return f;
  }
  // Antiderivative, zero at t = -1.
  for (std::size_t k = 0; k < 5; ++k) f.q[k + 1] = p[k] / static_cast<double>(k + 1);
  f.q[0] = -poly(f.q.data(), 6, -1.0);
  f.smooth = true;
  return f;
}

// Splits [z0, z1] into equal parts, further split at the profile nodes inside
// it, and appends one table entry per part with the part's fitted form. With
// the nodes on cell boundaries the IOPs are smooth inside every cell (a
// profile interpolated linearly between its nodes changes slope only there).
// Where the quartic holds (c to 1e-9 at its checks), its integral is the
// part's optical thickness, with the five IOP evaluations the fit needs
// anyway; the adaptive quadrature (fifteen or more) serves the parts where it
// does not.
void table_fill_interval(RunState& rs, ZetaTable& t, Quadrature& quad, int nd, double z0, double z1,
                         const std::vector<double>& nodes) {
  const int parts = static_cast<int>(nd * (z1 - z0)) + 1;
  const double step = (z1 - z0) / parts;
  std::vector<double> ends;
  for (int i = 1; i < parts; ++i) ends.push_back(z0 + i * step);
  const double tiny = 1e-9 * std::max(1.0, std::abs(z1));
  for (double d : nodes)
    if (d > z0 + tiny && d < z1 - tiny) ends.push_back(d);
  std::sort(ends.begin(), ends.end());
  ends.push_back(z1);
  double zeta = t.zeta[static_cast<std::size_t>(t.n - 1)];
  double lo = z0;
  for (double hi : ends) {
    if (hi - lo <= tiny && hi != z1) continue;  // a node on a part's end
    const CellFit f = fit_cell(rs, lo, hi);
    zeta += f.smooth ? f.hw * poly(f.q.data(), 6, 1.0) : quad(lo, hi);
    table_append(t, zeta, hi);
    t.fit.push_back(f);
    lo = hi;
  }
}

// The depth of the cell whose integral from its top reaches `target`, by
// Newton's method on the fitted antiderivative (increasing: c > 0), kept
// inside a shrinking bracket.
double z_from_fit(const CellFit& f, double target) {
  const double s = target / f.hw;
  const double* dq = f.q.data();
  double lo = -1.0, hi = 1.0;
  if (s >= poly(dq, 6, hi)) return f.zc + f.hw;
  double t = -1.0 + 2.0 * s / poly(dq, 6, hi);
  for (int it = 0; it < 50; ++it) {
    const double F = poly(dq, 6, t) - s;
    (F < 0.0 ? lo : hi) = t;
    double d1 = 0.0;  // Q'(t) = the quartic
    for (int k = 5; k >= 1; --k) d1 = d1 * t + k * dq[k];
    double tn = t - F / d1;
    if (!(tn > lo && tn < hi)) tn = 0.5 * (lo + hi);
    if (std::abs(tn - t) <= 1.0e-15) return f.zc + f.hw * tn;
    t = tn;
  }
  return f.zc + f.hw * t;
}

}  // namespace

void zetatoz(RunState& rs) {
  Grid& g = rs.cgrid;
  g.z(1) = g.zeta(1) * point_value(rs, g.zeta(1), true, "ZETATOZ");
  Quadrature quad(rs, true);
  for (int k = 1; k < rs.cmisc.nz; ++k) g.z(k + 1) = g.z(k) + quad(g.zeta(k), g.zeta(k + 1));
}

void ztozeta(RunState& rs) {
  Grid& g = rs.cgrid;
  ZetaTable& t = rs.cztozeta;
  const int nz = rs.cmisc.nz;
  t.zeta.assign(ZetaTable::kCapacity, 0.0);
  t.z.assign(ZetaTable::kCapacity, 0.0);
  t.n = 0;
  t.fit.clear();
  g.zeta(1) = g.z(1) * point_value(rs, g.z(1), false, "ZTOZETA");  // reads the model's profiles
  std::vector<double> nodes;
  for (double d : profile_node_depths(rs))
    if (d > g.z(1) && d < g.z(nz)) nodes.push_back(d);
  // Profiles with more nodes than the table holds keep the quadrature at their kinks.
  if (static_cast<int>(nodes.size()) + nz > ZetaTable::kCapacity / 2) nodes.clear();
  const int nd = table_density(nz + static_cast<int>(nodes.size()), g.z(nz));
  table_append(t, g.zeta(1), g.z(1));
  Quadrature quad(rs, false);
  // Each output depth takes the table's optical depth: the sum of its cells,
  // exact to the fit where the fits hold, and the same number the table
  // inverts.
  for (int k = 1; k < nz; ++k) {
    table_fill_interval(rs, t, quad, nd, g.z(k), g.z(k + 1), nodes);
    g.zeta(k + 1) = t.zeta[static_cast<std::size_t>(t.n - 1)];
  }
}

namespace {

// The integral of c over part of one table cell, tighter than the
// conversions' own quadrature, whose tolerance (1e-4 absolute) would leave a
// step that much astray; its status is not reported (the table entries
// already were).
class CellQuadrature {
 public:
  explicit CellQuadrature(RunState& rs) : ws_(gsl_integration_workspace_alloc(kCellLimit), gsl_integration_workspace_free) {
    ctx_.rs = &rs;
  }
  double operator()(double a, double b) {
    gsl_function fn{&integrand, &ctx_};
    double result = 0.0, abserr = 0.0;
    gsl_set_error_handler_off();
    gsl_integration_qag(&fn, a, b, 0.0, 1.0e-10, kCellLimit, GSL_INTEG_GAUSS15, ws_.get(), &result, &abserr);
    return result;
  }

 private:
  Integrand ctx_;
  std::unique_ptr<gsl_integration_workspace, void (*)(gsl_integration_workspace*)> ws_;
};

// Inverts zeta(z) = zeta0 + Int_z0^z c dz' inside one table cell. Linear
// interpolation would be exact only for c constant over the cell; a step in a
// profile inside the cell would move to where the chord puts it (a cell 0.1 m
// wide misplaces a step by up to a few thousandths of an optical depth), and
// the solver's slab boundaries follow this function. Regula falsi (Illinois)
// from the chord's estimate: c piecewise constant makes the residual piecewise
// linear, so a few integrations reach the tolerance.
double z_in_cell(RunState& rs, double z0, double zeta0, double z1, double zeta1, double zeta) {
  const double target = zeta - zeta0, width = zeta1 - zeta0;
  if (width <= 0.0 || target <= 0.0) return z0;
  if (target >= width) return z1;
  CellQuadrature quad(rs);
  const double tol = 1.0e-10 * std::max(1.0, std::abs(z1));
  double lo = z0, hi = z1, flo = -target, fhi = width - target;
  double z = z0 + (z1 - z0) * target / width;
  int side = 0;
  for (int it = 0; it < 60 && hi - lo > tol; ++it) {
    const double f = quad(z0, z) - target;
    if (std::abs(f) <= 1.0e-11 * std::max(1.0, width)) return z;
    if (f < 0.0) {
      lo = z, flo = f;
      if (side == -1) fhi *= 0.5;
      side = -1;
    } else {
      hi = z, fhi = f;
      if (side == 1) flo *= 0.5;
      side = 1;
    }
    z = lo - flo * (hi - lo) / (fhi - flo);
  }
  return z;
}

}  // namespace

// Interpolation in the fine table, exact inside each cell. Beyond its ends (the integrator
// may step slightly past the last depth) the local attenuation carries the
// depth on: dz = dzeta / c.
double z_of_zeta(RunState& rs, double zeta) {
  const ZetaTable& t = rs.cztozeta;
  if (t.n < 1) herr("z_of_zeta", "the depth conversion table is empty");
  auto first = t.zeta.begin(), last = t.zeta.begin() + t.n;
  if (zeta <= *first || zeta >= *(last - 1) || t.n == 1) {
    std::size_t end = (zeta <= *first) ? 0 : static_cast<std::size_t>(t.n - 1);
    if (zeta == t.zeta[end]) return t.z[end];
    return t.z[end] + (zeta - t.zeta[end]) * point_value(rs, t.z[end], true, "ZTOZETA");
  }
  auto hi = std::upper_bound(first, last, zeta);
  auto i1 = static_cast<std::size_t>(hi - t.zeta.begin()), i0 = i1 - 1;
  if (t.fit.size() + 1 == static_cast<std::size_t>(t.n) && t.fit[i0].smooth) {
    const double target = zeta - t.zeta[i0];
    if (target <= 0.0) return t.z[i0];
    if (target >= t.zeta[i1] - t.zeta[i0]) return t.z[i1];
    return z_from_fit(t.fit[i0], target);
  }
  return z_in_cell(rs, t.z[i0], t.zeta[i0], t.z[i1], t.zeta[i1], zeta);
}


double zeta_of_depth(RunState& rs, double z) {
  const ZetaTable& t = rs.cztozeta;
  if (t.n < 1) herr("zeta_of_depth", "the depth conversion table is empty");
  auto first = t.z.begin(), last = t.z.begin() + t.n;
  if (z <= *first || z >= *(last - 1) || t.n == 1) {
    std::size_t end = (z <= *first) ? 0 : static_cast<std::size_t>(t.n - 1);
    return t.zeta[end] + (z - t.z[end]) * point_value(rs, t.z[end], false, "ZTOZETA");
  }
  auto hi = std::upper_bound(first, last, z);
  auto i1 = static_cast<std::size_t>(hi - t.z.begin()), i0 = i1 - 1;
  if (t.fit.size() + 1 == static_cast<std::size_t>(t.n) && t.fit[i0].smooth) {
    const CellFit& f = t.fit[i0];
    return t.zeta[i0] + f.hw * poly(f.q.data(), 6, (z - f.zc) / f.hw);
  }
  CellQuadrature quad(rs);
  return t.zeta[i0] + quad(t.z[i0], z);
}

}  // namespace abyss
