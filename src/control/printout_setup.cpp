// Printout set-up: the doubled depth grid, the printout selections and the
// grid printout.
#include <cmath>

#include "control/errors.hpp"
#include "control/initial.hpp"
#include "control/run_state.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// Offset of the grid depth paired with requested depth i (0-based): the
// default offset, or a quarter of the spacing to a neighbour when the
// neighbours are closer than twice the offset (never a duplicate depth).
double pair_offset(const std::vector<double>& z, std::size_t i, double d) {
  double off = d;
  if (i + 1 < z.size() && z[i + 1] - z[i] <= 2.0 * d) off = std::min(off, 0.25 * (z[i + 1] - z[i]));
  if (i > 0 && z[i] - z[i - 1] <= 2.0 * d) off = std::min(off, 0.25 * (z[i] - z[i - 1]));
  return off;
}

}  // namespace

void initprintout(RunState& rs) {
  const std::vector<double>& zr = rs.cgrid.zreq;
  const int n = static_cast<int>(zr.size());
  if (2 * n > mxz) {
    const std::string line = " nz =" + ff::I(n, 3) + " gt mxz =" + ff::I(mxz / 2, 3);
    rs.con() << line << "\n";
    rs.pr() << line << "\n";
    herr("initprintout", "increase LIMIT of number of ouput depths in UI");
  }
  PrintSelections& sel = rs.sel;
  sel.pirrad.clear();
  sel.pkfcn.clear();
  int iz = 0;
  for (int i = 0; i < n; ++i) {
    const double z = zr[static_cast<std::size_t>(i)];
    const double d = pair_offset(zr, static_cast<std::size_t>(i), rs.cmisc.dprint);
    // The deepest depth pairs with a depth above it so the bottom stays where
    // the user put it (unless that would leave the water column).
    const bool below = (i + 1 < n) || (z - d < 0.0);
    if (below) {
      rs.cgrid.z(++iz) = z;
      sel.pirrad.push_back(iz);
      sel.pkfcn.push_back(iz);
      rs.cgrid.z(++iz) = z + d;
    } else {
      rs.cgrid.z(++iz) = z - d;
      sel.pkfcn.push_back(iz);
      rs.cgrid.z(++iz) = z;
      sel.pirrad.push_back(iz);
    }
  }
  rs.cmisc.nz = iz;
  if (rs.cmisc.iop == 1)
    for (int k = 1; k <= iz; ++k) rs.cgrid.zeta(k) = rs.cgrid.z(k);
  // Radiance K-functions and path functions for the nadir-viewing polar cap
  // and the band of 45 degrees zenith, in the azimuth of the sun's plane.
  const int nmu = rs.cmisc.nmu;
  if (nmu > 0) sel.krad = {std::max(1, nmu / 2), nmu, std::max(1, nmu - nmu / 2), 1, 1, 1};
  else sel.krad = {0, 0, 1, 0, 0, 1};
  sel.ncomp_print = std::min(rs.cmisc.ncomp, 10);
}

void pntgrid(RunState& rs) {
  std::ostream& p = rs.pr();
  const Misc& m = rs.cmisc;
  if (m.nmu > 0) {
    p << "\n\n  Angular grid: " << m.nmu << " polar-angle bands per hemisphere (band " << m.nmu
      << " is the polar cap), " << m.nphi << " azimuthal bands\n\n";
    p << "     u   theta_min  theta_max   mu_centre   mu_width   omega (sr)\n";
    for (int u = 1; u <= m.nmu; ++u) {
      double tmin = std::acos(std::min(1.0, rs.cgrid.bndmu(u))) * m.raddeg;
      double tmax = std::acos(std::min(1.0, rs.cgrid.bndmu(u - 1))) * m.raddeg;
      p << ff::I(u, 6) << ff::F(tmin, 11, 3) << ff::F(tmax, 11, 3) << ff::F(rs.cgrid.fmu(u), 12, 6)
        << ff::F(rs.cgrid.dmu(u), 11, 6) << ff::F(rs.cgrid.omega(u), 13, 6) << "\n";
    }
    p << "\n     s   phi (deg)  phi_max (deg)\n";
    for (int s = 1; s <= m.nphi; ++s)
      p << ff::I(s, 6) << ff::F(rs.cgridphi.phi(s) * m.raddeg, 11, 3) << ff::F(rs.cgridphi.bndphi(s) * m.raddeg, 14, 3)
        << "\n";
  }
  p << "\n\n  Depth grid of the solver (" << m.nz << " depths; * = requested output depth)\n\n";
  p << (m.iop == 1 ? "    iz   optical depth\n" : "    iz      depth (m)\n");
  for (int k = 1; k <= m.nz; ++k) {
    bool req = std::find(rs.sel.pirrad.begin(), rs.sel.pirrad.end(), k) != rs.sel.pirrad.end();
    p << ff::I(k, 6) << ff::F(rs.cgrid.z(k), 15, 4) << (req ? " *" : "") << "\n";
  }
}

}  // namespace abyss
