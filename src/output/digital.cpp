// The digital output file "D" + root: every irradiance, mean cosine,
// reflectance and K-function of every grid depth and band, and the radiances
// in air, as self-describing whitespace-separated tables.
#include <algorithm>

#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "output/open_output.hpp"
#include "output/spreadsheet.hpp"
#include "output/writers.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

void write_preamble(RunState& rs) {
  std::ofstream& f = rs.out.digital;
  f << "# ABYSSOLVER digital output\n"
    << "# title: " << util::rtrim(rs.ctitle) << "\n"
    << "# One BAND block per solved band, ended by END_BAND. A block holds TABLE sections; a TABLE line gives the\n"
    << "# table name and its row count, the next line the column names, then the rows. Columns are separated by\n"
    << "# blanks. n/a marks a value that is undefined (ratio or logarithm of a non-positive quantity).\n"
    << "# Units: irradiance W m^-2 nm^-1, radiance W m^-2 sr^-1 nm^-1, K 1/m, depth m, angles deg, wavelength nm.\n"
    << "# iz = 0 (depth -1) is in air just above the surface; requested = 1 marks the depths asked for in the run.\n"
    << "# theta is the direction of photon travel: theta < 90 downward, theta > 90 upward.\n";
}

void irradiance_table(RunState& rs) {
  std::ofstream& f = rs.out.digital;
  const Irradiances& e = rs.der.cirrad;
  f << "TABLE irradiance " << rs.cmisc.nz + 1 << "\n"
    << "iz requested depth zeta Eou Eod Eo Eu Ed MUBARu MUBARd MUBAR R\n";
  for (int k = 0; k <= rs.cmisc.nz; ++k) {
    const bool req = k == 0 || std::find(rs.sel.pirrad.begin(), rs.sel.pirrad.end(), k) != rs.sel.pirrad.end();
    f << k << " " << (req ? 1 : 0) << " " << sheet_number(k == 0 ? -1.0 : rs.cgrid.z(k)) << " "
      << sheet_number(k == 0 ? 0.0 : rs.cgrid.zeta(k));
    for (const VecD* v : {&e.eou, &e.eod, &e.eo, &e.eu, &e.ed, &e.mubaru, &e.mubard, &e.mubar, &e.r})
      f << " " << sheet_number((*v)(k));
    f << "\n";
  }
}

void k_table(RunState& rs) {
  std::ofstream& f = rs.out.digital;
  const KStore& st = rs.der.ckxcl;
  const int npair = rs.sel.pkfcn.empty() ? 0 : static_cast<int>(st.zmid.size());
  f << "TABLE kfunction " << npair << "\n"
    << "zupper zlower z Kou Kod Ko Ku Kd Knet KLu\n";
  for (int p = 1; p <= npair; ++p) {
    const int k = rs.sel.pkfcn[static_cast<std::size_t>(p - 1)];
    f << sheet_number(rs.cgrid.z(k)) << " " << sheet_number(rs.cgrid.z(k + 1)) << " "
      << sheet_number(st.zmid[static_cast<std::size_t>(p - 1)]);
    for (int i = 0; i < kNumK; ++i) f << " " << sheet_number(st.k[static_cast<std::size_t>(i)](p, rs.cmisc.jwave));
    f << "\n";
  }
}

// Downward sky and the two parts of the upward radiance of every quad in air.
void air_radiance_table(RunState& rs) {
  std::ofstream& f = rs.out.digital;
  const Radiances& rad = rs.der.rad;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  f << "TABLE radiance_in_air " << (nmu - 1) * nphi + 1 << "\n"
    << "u s theta_down theta_up phi L_sky L_up_total L_surface_reflected L_water_leaving\n";
  for (int u = 1; u <= nmu; ++u) {
    for (int s = 1; s <= (u == nmu ? 1 : nphi); ++s) {
      const double th = band_theta_deg(rs, u);
      f << u << " " << s << " " << fixed_number(th, 3) << " " << fixed_number(180.0 - th, 3) << " "
        << fixed_number(rs.cgridphi.phi(s) * rs.cmisc.raddeg, 3) << " " << sheet_number(total_down(rs, 0, u, s)) << " "
        << sheet_number(total_up(rs, 0, u, s)) << " " << sheet_number(rad.dir_up_air(u, s)) << " "
        << sheet_number(rad.dif_up(0)(u, s)) << "\n";
    }
  }
}

}  // namespace

void savedata(RunState& rs) {
  OutputState& o = rs.out;
  if (!o.digital.is_open()) {
    open_output(o.digital, o.digital_name, "savedata");
    write_preamble(rs);
  }
  const int j = rs.cmisc.jwave;
  o.digital << "BAND " << j << " wavelength " << sheet_number(rs.cwave.wave(j)) << " lower "
            << sheet_number(rs.cwave.waveb(j)) << " upper " << sheet_number(rs.cwave.waveb(j + 1)) << "\n";
  irradiance_table(rs);
  k_table(rs);
  air_radiance_table(rs);
  o.digital << "END_BAND " << j << "\n";
  flush_output(o.digital, o.digital_name, "savedata");
}

}  // namespace abyss
