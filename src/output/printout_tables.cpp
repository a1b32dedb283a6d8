// Printout of the selected radiances and irradiances of the band: a summary
// row per requested depth, and in the long printout the whole radiance
// distribution at each requested depth.
#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "output/writers.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

std::string summary_row(const RunState& rs, int k) {
  const Irradiances& e = rs.der.cirrad;
  const int nmu = rs.cmisc.nmu;
  const double lu = total_up(rs, k, nmu, 1), ld = total_down(rs, k, nmu, 1);
  return field(ff::PE, e.ed(k), 12, 4) + field(ff::PE, e.eu(k), 12, 4) + field(ff::PE, e.eo(k), 12, 4) +
         field(ff::PE, lu, 12, 4) + field(ff::PE, ld, 12, 4) + field(ff::PE, guarded_ratio(lu, e.ed(k)), 12, 4);
}

// Total radiance of every quad at level k: downward rows (cap first), then
// upward rows, one column per azimuth band.
void radiance_matrix(RunState& rs, int k, const std::string& label) {
  std::ostream& p = rs.pr();
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  p << "\n  Total radiance (W/m^2 sr nm) " << label << "; rows: theta of photon travel (deg), columns: phi (deg)\n\n";
  p << "   theta";
  for (int s = 1; s <= nphi; ++s) p << ff::F(rs.cgridphi.phi(s) * rs.cmisc.raddeg, 11, 1);
  p << "\n";
  auto row = [&](double theta, int u, bool down) {
    p << ff::F(theta, 8, 1);
    for (int s = 1; s <= nphi; ++s) {
      const int sv = u == nmu ? 1 : s;  // the cap is one quad
      p << ff::PE(down ? total_down(rs, k, u, sv) : total_up(rs, k, u, sv), 11, 3);
    }
    p << "\n";
  };
  for (int u = nmu; u >= 1; --u) row(band_theta_deg(rs, u), u, true);
  for (int u = 1; u <= nmu; ++u) row(180.0 - band_theta_deg(rs, u), u, false);
}

}  // namespace

void pradsel(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n Selected irradiances (W/m^2 nm) and radiances (W/m^2 sr nm) at " << ff::F(rs.cmisc.wavenm, 6, 1)
    << " nm\n   Lu = nadir-viewing (upwelling) radiance, Ld = zenith-viewing (downwelling) radiance\n\n";
  p << "   depth(m)" << ff::A("Ed", 12) << ff::A("Eu", 12) << ff::A("Eo", 12) << ff::A("Lu", 12) << ff::A("Ld", 12)
    << ff::A("Lu/Ed", 12) << "\n";
  p << "     in air" << summary_row(rs, 0) << "\n";
  for (int k : rs.sel.pirrad) p << ff::F(rs.cgrid.z(k), 11, 2) << summary_row(rs, k) << "\n";
  if (rs.cmisc.iprint >= 0) return;
  radiance_matrix(rs, 0, "in air");
  for (int k : rs.sel.pirrad) radiance_matrix(rs, k, "at depth " + ff::F(rs.cgrid.z(k), 8, 2) + " m");
}

}  // namespace abyss
