#include "solver_fixture.hpp"

#include <gsl/gsl_integration.h>

#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "grid/quad_partition.hpp"
#include "solver/amplitudes.hpp"
#include "solver/radamps.hpp"

namespace abyss::testing {

namespace {

void transparent_surface(RunState& rs) {
  const int nn = rs.cmisc.nhat;
  for (int i = 0; i < 8; ++i) {
    rs.surf.slot[static_cast<std::size_t>(i)] = Mat(mxhat, mxhat);
    const bool identity = (i == 0 || i == 1 || i == 4 || i == 5);
    if (identity)
      for (int e = 1; e <= nn; ++e) rs.surf.slot[static_cast<std::size_t>(i)](e, e) = 1.0;
  }
  rs.surf.quadid = {rs.cmisc.nmu, rs.cmisc.nphi, 1};
}

}  // namespace

SolverRun::SolverRun(const SolverSetup& s) {
  RunState& r = *rs;
  Misc& m = r.cmisc;
  build_partition(QuadPartition{s.nmu, s.nphi, 1}, r.cgrid, r.cgridphi);
  m.nmu = s.nmu;
  m.nphi = s.nphi;
  m.lmax = s.nphi / 2;
  m.nhat = s.nmu * (m.lmax + 1);
  m.ncomp = 1;
  m.nwave = 1;
  m.wavenm = 550.0;
  m.iop = 1;
  m.aconst = s.a;
  m.bconst = s.b;
  m.ibotm = s.ibotm;
  m.rbottom = s.rbottom;
  m.relerr = s.relerr;
  m.abserr = s.abserr;
  m.iprint = -1;
  r.cmodelopts.opts[1] = 0;
  r.iopflags.abconst_done = true;
  r.comp.pf_opt(1) = 1;
  m.nz = static_cast<int>(s.zeta.size());
  for (int k = 1; k <= m.nz; ++k) r.cgrid.zeta(k) = r.cgrid.z(k) = s.zeta[static_cast<std::size_t>(k - 1)];
  r.ciop.c_deep = s.a + s.b;
  r.ciop.a_deep = s.a;
  transparent_surface(r);
  fill_phase(r, s.g);
  static int counter = 0;
  printout_path = (std::filesystem::temp_directory_path() /
                   ("abyss_solver_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + ".txt"))
                      .string();
  r.printout.open(printout_path);
  std::ostringstream* con = new std::ostringstream;
  r.console = con;
}

SolverRun::~SolverRun() {
  delete rs->console;
  rs->printout.close();
  std::remove(printout_path.c_str());
}

std::string SolverRun::printout_text() {
  rs->printout.flush();
  std::ifstream in(printout_path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void set_sun(RunState& rs, int u, int s, double ed) {
  rs.sky.radsky.zero();
  rs.sky.radsky(u, s) = ed / (rs.cgrid.omega(u) * rs.cgrid.fmu(u));
}

// ---------------------------------------------------------------------------
// Quad-averaged phase functions by Gauss-Legendre sampling of both quads.

namespace {

struct Nodes {
  std::vector<double> x, w;  // on [lo, hi]
};

Nodes gauss(int n, double lo, double hi) {
  gsl_integration_glfixed_table* t = gsl_integration_glfixed_table_alloc(static_cast<std::size_t>(n));
  Nodes out;
  for (int i = 0; i < n; ++i) {
    double xi = 0, wi = 0;
    gsl_integration_glfixed_point(lo, hi, static_cast<std::size_t>(i), &xi, &wi, t);
    out.x.push_back(xi);
    out.w.push_back(wi);
  }
  gsl_integration_glfixed_table_free(t);
  return out;
}

double hg(double g, double cost) {
  const double pi = std::acos(-1.0);
  return (1.0 - g * g) / (4.0 * pi * std::pow(1.0 + g * g - 2.0 * g * cost, 1.5));
}

struct QuadSamples {
  std::vector<double> mu, sn, phi, w;  // directions and weights (weights sum to the solid angle)
};

QuadSamples samples(const RunState& rs, int u, int s, int nm, int np) {
  const int nmu = rs.cmisc.nmu;
  const double pi = std::acos(-1.0);
  const double dphi = 2.0 * pi / rs.cmisc.nphi;
  const Nodes m = gauss(nm, rs.cgrid.bndmu(u - 1), rs.cgrid.bndmu(u));
  const double p0 = (u == nmu) ? 0.0 : rs.cgridphi.phi(s) - 0.5 * dphi;
  const double p1 = (u == nmu) ? 2.0 * pi : rs.cgridphi.phi(s) + 0.5 * dphi;
  const Nodes p = gauss(u == nmu ? 4 * np : np, p0, p1);
  QuadSamples q;
  for (std::size_t i = 0; i < m.x.size(); ++i)
    for (std::size_t j = 0; j < p.x.size(); ++j) {
      q.mu.push_back(m.x[i]);
      q.sn.push_back(std::sqrt(std::max(0.0, 1.0 - m.x[i] * m.x[i])));
      q.phi.push_back(p.x[j]);
      q.w.push_back(m.w[i] * p.w[j]);
    }
  return q;
}

// (1/omega_out) * integral over the outgoing quad and the incident quad of p.
double quad_average(double g, const QuadSamples& in, const QuadSamples& out, double sign, double omega_out) {
  double acc = 0.0;
  for (std::size_t a = 0; a < out.mu.size(); ++a)
    for (std::size_t b = 0; b < in.mu.size(); ++b) {
      const double cost = sign * in.mu[b] * out.mu[a] + in.sn[b] * out.sn[a] * std::cos(in.phi[b] - out.phi[a]);
      acc += out.w[a] * in.w[b] * (g == 0.0 ? hg(0.0, 0.0) : hg(g, cost));
    }
  return acc / omega_out;
}

}  // namespace

void fill_phase(RunState& rs, double g, int k) {
  const int nmu = rs.cmisc.nmu, half = rs.cmisc.nphi / 2 + 1;
  Mat& pt = rs.pf.pt[static_cast<std::size_t>(k)];
  Mat& pr = rs.pf.pr[static_cast<std::size_t>(k)];
  pt.zero();
  pr.zero();
  const int nm = 6, np = 6;
  std::vector<QuadSamples> out;
  for (int u = 1; u <= nmu; ++u) out.push_back(samples(rs, u, 1, nm, np));
  for (int r = 1; r <= nmu; ++r) {
    for (int s = 1; s <= half; ++s) {
      if (r == nmu && s > 1) break;
      const QuadSamples in = samples(rs, r, s, nm, np);
      for (int u = 1; u <= nmu; ++u) {
        if (u == nmu && s > 1) continue;
        const int col = (s - 1) * nmu + u;
        pt(r, col) = quad_average(g, in, out[static_cast<std::size_t>(u - 1)], 1.0, rs.cgrid.omega(u));
        pr(r, col) = quad_average(g, in, out[static_cast<std::size_t>(u - 1)], -1.0, rs.cgrid.omega(u));
      }
    }
  }
  // Renormalize so that every incident quad scatters exactly all its light:
  // the share into outgoing quad u is P * omega_u / omega_r.
  const int nphi = rs.cmisc.nphi;
  for (int r = 1; r <= nmu; ++r) {
    auto share = [&](int c, int u) { return (pt(r, c) + pr(r, c)) * rs.cgrid.omega(u) / rs.cgrid.omega(r); };
    double tot = share(nmu, nmu);  // into the cap, whatever the azimuth
    for (int u = 1; u < nmu; ++u) {
      if (r == nmu) {
        tot += nphi * share(u, u);  // the cap lights every azimuth band of u alike
        continue;
      }
      for (int s = 1; s <= nphi; ++s) {
        const int sf = (s <= half) ? s : nphi + 2 - s;
        tot += share((sf - 1) * nmu + u, u);
      }
    }
    for (int c = 1; c <= nmu * half; ++c) {
      pt(r, c) /= tot;
      pr(r, c) /= tot;
    }
  }
}

void solve(RunState& rs) {
  amp0a(rs);
  solve_modes(rs);
  ampw(rs);
  ampzeta(rs);
  ampma(rs);
}

double radiance(const RunState& rs, const double* amp, int u, int s) {
  const int nmu = rs.cmisc.nmu, nn = rs.cmisc.nhat;
  if (u == nmu) return amp[nmu - 1];
  double l = 0.0;
  for (int m = 0; m <= rs.cmisc.lmax; ++m) {
    const double ang = m * rs.cgridphi.phi(s);
    l += amp[m * nmu + u - 1] * std::cos(ang) + amp[nn + m * nmu + u - 1] * std::sin(ang);
  }
  return l;
}

namespace {
double weighted_sum(const RunState& rs, const double* amp, bool with_mu) {
  const int nmu = rs.cmisc.nmu;
  double e = 0.0;
  for (int u = 1; u <= nmu; ++u) {
    // The azimuthal sum of the radiance of a band is nphi times its mode-0 amplitude.
    const double ring = (u == nmu) ? amp[nmu - 1] : rs.cmisc.nphi * amp[u - 1];
    e += ring * rs.cgrid.omega(u) * (with_mu ? rs.cgrid.fmu(u) : 1.0);
  }
  return e;
}
}  // namespace

double plane_irradiance(const RunState& rs, const double* amp) { return weighted_sum(rs, amp, true); }
double scalar_irradiance(const RunState& rs, const double* amp) { return weighted_sum(rs, amp, false); }

}  // namespace abyss::testing
