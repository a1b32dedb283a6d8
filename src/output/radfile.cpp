// The radiance file: the full radiance distribution L(z, theta, phi, lambda)
// of the run, one row per level, direction and band.
#include <cmath>
#include <cstdio>

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

// The radiance field 1PE15.5. printf's %E gives the same text while the
// decimal exponent has two digits; other exponents take the general editor.
std::string radiance_field(double L) {
  const double a = std::abs(L);
  if (a != 0.0 && (a < 1e-98 || a >= 1e99)) return ff::PE(L, 15, 5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%15.5E", L);
  return buf;
}

// The theta, phi and lambda fields of every direction, fixed for a band: a
// band has up to 10^5 rows, so they are composed once. Index (u-1)*nphi + s-1,
// downward then upward.
struct DirectionFields {
  std::vector<std::string> down, up;
};

DirectionFields direction_fields(const RunState& rs) {
  DirectionFields d;
  const std::string wave = ff::F(rs.cmisc.wavenm, 8, 1);
  for (int u = 1; u <= rs.cmisc.nmu; ++u) {
    const double th = rs.out.theta_deg[static_cast<std::size_t>(u)];
    for (int s = 1; s <= rs.cmisc.nphi; ++s) {
      const std::string phi = ff::F(rs.cgridphi.phi(s) * rs.cmisc.raddeg, 8, 1);
      d.down.push_back(ff::F(th, 8, 1) + phi + wave);
      d.up.push_back(ff::F(180.0 - th, 8, 1) + phi + wave);
    }
  }
  return d;
}

// Downward rows of level k (polar cap first, theta increasing to the horizon),
// then upward rows (horizon band first, the nadir-looking cap last).
void write_level(RunState& rs, const DirectionFields& dir, int k, double depth) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const std::string z = ff::F(depth, 8, 2);
  std::ofstream& f = rs.out.radfile;
  auto at = [nphi](int u, int s) { return static_cast<std::size_t>((u - 1) * nphi + s - 1); };
  // The cap is one quad: every azimuth row repeats its single value (s = 1).
  auto sv = [nmu](int u, int s) { return u == nmu ? 1 : s; };
  for (int u = nmu; u >= 1; --u)
    for (int s = 1; s <= nphi; ++s)
      f << z << dir.down[at(u, s)] << radiance_field(total_down(rs, k, u, sv(u, s))) << '\n';
  for (int u = 1; u <= nmu; ++u)
    for (int s = 1; s <= nphi; ++s) f << z << dir.up[at(u, s)] << radiance_field(total_up(rs, k, u, sv(u, s))) << '\n';
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
  const DirectionFields dir = direction_fields(rs);
  write_level(rs, dir, 0, -1.0);
  for (int k : rs.sel.pirrad) write_level(rs, dir, k, rs.cgrid.z(k));
  flush_output(o.radfile, o.radiance_name, "writerad");
}

}  // namespace abyss
