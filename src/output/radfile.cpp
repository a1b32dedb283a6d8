// The radiance file: the full radiance distribution L(z, theta, phi, lambda)
// of the run, one row per level, direction and band.
#include "control/driver.hpp"
#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "output/open_output.hpp"
#include "output/writers.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

void write_header(RunState& rs) {
  std::ofstream& f = rs.out.radfile;
  const int nbands = static_cast<int>(solved_bands(rs.cmisc.nwave, rs.cmisc.nwskip).size());
  f << "ABYSSOLVER Run Title: " << util::rtrim(rs.ctitle) << "\n";
  f << "Parameters: nz, ntheta, nphi, nlambda = " << ff::I(static_cast<long long>(rs.sel.pirrad.size()), 5)
    << ff::I(2 * rs.cmisc.nmu, 5) << ff::I(rs.cmisc.nphi, 5) << ff::I(nbands, 5) << "\n";
  f << "Radiance distribution L(z,theta,phi,lambda)\n"
    << "The radiance is the total (direct + diffuse) radiance in W m^-2 sr^-1 nm^-1\n"
    << "depth = -1.0 labels values in air (just above the sea surface)\n"
    << "theta and phi are the directions of photon travel\n"
    << "theta = 0 is downwelling; theta = 180 is upwelling\n"
    << "   depth   theta    phi   lambda     radiance\n"
    << "    [m]    [deg]   [deg]   [nm]   [W/(m^2 sr nm)]\n";
}

void write_row(RunState& rs, double depth, double theta, int s, double L) {
  rs.out.radfile << ff::F(depth, 8, 2) << ff::F(theta, 8, 1) << ff::F(rs.cgridphi.phi(s) * rs.cmisc.raddeg, 8, 1)
                 << ff::F(rs.cmisc.wavenm, 8, 1) << ff::PE(L, 15, 5) << "\n";
}

// Downward rows of level k (polar cap first, theta increasing to the horizon),
// then upward rows (horizon band first, the nadir-looking cap last).
void write_level(RunState& rs, int k, double depth) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const std::vector<double>& th = rs.out.theta_deg;
  // The cap is one quad: every azimuth row repeats its single value (s = 1).
  auto sv = [nmu](int u, int s) { return u == nmu ? 1 : s; };
  for (int u = nmu; u >= 1; --u)
    for (int s = 1; s <= nphi; ++s)
      write_row(rs, depth, th[static_cast<std::size_t>(u)], s, total_down(rs, k, u, sv(u, s)));
  for (int u = 1; u <= nmu; ++u)
    for (int s = 1; s <= nphi; ++s)
      write_row(rs, depth, 180.0 - th[static_cast<std::size_t>(u)], s, total_up(rs, k, u, sv(u, s)));
}

}  // namespace

void writerad(RunState& rs) {
  OutputState& o = rs.out;
  if (!o.radfile.is_open()) {
    open_output(o.radfile, o.radiance_name, "writerad");
    o.theta_deg.assign(static_cast<std::size_t>(rs.cmisc.nmu) + 1, 0.0);
    for (int u = 1; u <= rs.cmisc.nmu; ++u) o.theta_deg[static_cast<std::size_t>(u)] = band_theta_deg(rs, u);
    write_header(rs);
  }
  write_level(rs, 0, -1.0);
  for (int k : rs.sel.pirrad) write_level(rs, k, rs.cgrid.z(k));
  flush_output(o.radfile, o.radiance_name, "writerad");
}

}  // namespace abyss
