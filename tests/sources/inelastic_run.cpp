#include "inelastic_run.hpp"

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/initial.hpp"
#include "derived/analysis.hpp"
#include "solver/amplitudes.hpp"
#include "solver/radamps.hpp"
#include "sources/sources.hpp"

namespace abyss::testing {
namespace {

// Plane and scalar irradiance of a set of amplitudes: only mode 0 survives
// the azimuthal sum; the polar cap is one quad.
void irradiances(const RunState& rs, const double* amp, double& plane, double& scalar) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  plane = scalar = 0.0;
  for (int r = 1; r <= nmu; ++r) {
    const double w = (r == nmu ? 1 : nphi) * amp[r - 1] * rs.cgrid.omega(r);
    scalar += w;
    plane += w * rs.cgrid.fmu(r);
  }
}

struct Field {
  std::vector<double> ed, eu, eo;
  double lu0 = 0.0;
};

Field field(const RunState& rs) {
  Field f;
  for (int k = 1; k <= rs.cmisc.nz; ++k) {
    double pd, sd, pu, su;
    irradiances(rs, rs.sol.cramp_down.col(k + 2), pd, sd);
    irradiances(rs, rs.sol.cramp_up.col(k), pu, su);
    f.ed.push_back(pd);
    f.eu.push_back(pu);
    f.eo.push_back(sd + su);
  }
  f.lu0 = rs.sol.cramp_up.col(1)[rs.cmisc.nmu - 1];
  return f;
}

}  // namespace

InProcessRun::InProcessRun(const std::string& input, bool tighten, const std::function<void(RunState&)>& adjust)
    : in_(on_coarse_grid(input)) {
  RunState& rs = *rs_;
  rs.input = &in_;
  rs.console = &con_;
  initial(rs);
  if (adjust) adjust(rs);
  if (tighten) {
    rs.cmisc.relerr = 1.0e-9;
    rs.cmisc.abserr = 1.0e-12;
  }
  if (rs.src.inelastic()) wrfdisc(rs);
  if (rs.cmisc.nsource > 0) sources_start(rs);
  bands.resize(static_cast<std::size_t>(rs.cmisc.nwave) + 1);
  for (int j = 1; j <= rs.cmisc.nwave; ++j) {
    rs.cmisc.wavenm = rs.cwave.wave(j);
    rs.cmisc.jwave = j;
    if (rs.cmisc.nsource > 0) bind_sources(rs, j);
    radamps(rs);
    BandIrradiances& b = bands[static_cast<std::size_t>(j)];
    const Field total = field(rs);
    b.ed = total.ed;
    b.eu = total.eu;
    b.eo = total.eo;
    b.lu0 = total.lu0;
    b.ed0 = total.ed.front();
    b.ed_air = rs.sky.ed_diffuse(j) + rs.sky.ed_direct(j);
    for (int k = 1; k <= rs.cmisc.nz; ++k) {
      b.z.push_back(rs.cgrid.z(k));
      b.a.push_back(rs.ciop.A(k, 0));
      b.bb.push_back(rs.ciop.BB(k, 0));
    }
    if (rs.cmisc.nsource > 0) {
      const Mat down = rs.sol.cramp_down, up = rs.sol.cramp_up, air = rs.sol.air_parts;
      const int ns = rs.cmisc.nsource;
      rs.cmisc.nsource = 0;
      ampw(rs);
      ampzeta(rs);
      rs.cmisc.nsource = ns;
      const Field el = field(rs);
      rs.sol.cramp_down = down;
      rs.sol.cramp_up = up;
      for (std::size_t k = 0; k < el.ed.size(); ++k) {
        b.ed_in.push_back(total.ed[k] - el.ed[k]);
        b.eu_in.push_back(total.eu[k] - el.eu[k]);
        b.eo_in.push_back(total.eo[k] - el.eo[k]);
      }
      b.lu0_in = total.lu0 - el.lu0;
      inelastic_share(rs);
      b.lw = rs.src.lw_total_band[static_cast<std::size_t>(j)];
      b.lw_in = rs.src.lw_inel;
    }
    radanal(rs);
    if (rs.src.inelastic()) store_excitation(rs, j);
  }
  closeall(rs);
}

std::string case1_input(double chl, const std::string& bands, const std::string& depths, const std::string& sources,
                        double qe, double xsec, int dynz) {
  RunInput r;
  r.rec["1"] = fmt::format("1 400.0 700.0 {} 488.0 {} {}", qe, xsec, dynz);
  r.rec["2"] = "Clear Case 1 water with inelastic sources";
  r.rec["3"] = "inel";
  r.rec["4"] = "0 0 0 0 0 1";
  r.rec["5"] = "0 0 0 2 0";
  r.rec["6"] = "2 3";
  r.rec["7"] = fmt::format("0.0 {} 0.0", chl);
  r.rec["8"] = "0 0 440.0 0.0 0.0\n0 3 440.0 0.06 0.014\n0 0 440.0 0.0 0.0";
  r.rec["9"] = "unused.txt\nastarchl_norm_ps81.txt\nunused.txt";
  r.rec["10"] = "-1 0.0 0.0 0.0 0.0 0.0\n1 0.3 0.62 1.0 550.0 0.0";
  r.rec["11"] = "unused.txt\nunused.txt";
  r.rec["12"] = "0 0.0 0.0 0.0 0.0\n1 0.012 0.0 0.0 0.0";
  r.rec["13"] = "pure_water.dpf\npetzold_avg_particle.dpf";
  const auto nb = std::count(bands.begin(), bands.end(), ' ');
  r.rec["14"] = std::to_string(nb - 1);  // boundaries given with a trailing blank
  r.rec["15"] = bands;
  r.rec["16"] = sources;
  r.rec["17"] = "1 5 30.0 0.0 1.25 0.0 1.0";
  r.rec["21"] = depths;
  r.rec["22"] = "pureh2o_abs_scat.txt";
  r.rec["29"] = "reef_sand.txt";
  r.rec["30"] = "unused.txt\nchlzprofile_gaussian.txt";
  r.rec["31"] = "unused.txt";
  r.rec["32"] = "bioluminescence_example.txt";
  return r.text();
}

}  // namespace abyss::testing
