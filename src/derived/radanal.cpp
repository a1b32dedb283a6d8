// The per-band analysis: everything reported for a solved band, in a fixed order.
#include <cmath>

#include "control/run_state.hpp"
#include "derived/band_check.hpp"
#include "derived/analysis.hpp"
#include "derived/radiance.hpp"
#include "output/open_output.hpp"
#include "output/netcdf_run.hpp"
#include "output/writers.hpp"

namespace abyss {

double log_or_floor(double e) { return e > 0.0 ? std::log(e) : BandStore::kLogOfNothing; }

void store_band(RunState& rs) {
  BandStore& st = rs.der.ceospl;
  const Irradiances& e = rs.der.cirrad;
  const int j = rs.cmisc.jwave;
  st.nz = rs.cmisc.nz;
  for (int k = 1; k <= rs.cmisc.nz; ++k) {
    st.z(k) = rs.cgrid.z(k);
    st.lneo_sum(k, j) = log_or_floor(e.eou(k) + e.eod(k));
    st.lneo(k, j) = log_or_floor(e.eo(k));
    st.ed(k, j) = e.ed(k);
  }
}

void radanal(RunState& rs) {
  synhl(rs);
  irrad(rs);
  require_finite_band(rs);
  store_band(rs);
  if (!rs.sel.pkfcn.empty()) kfcn(rs);
  pradsel(rs);
  if (rs.sel.krad[0] > 0) kradpath(rs);
  if (rs.cmisc.i5 > 0) writerad(rs);
  if (rs.cmisc.i2 != 0) savedata(rs);
  storxcel(rs);
  if (rs.cmisc.i3 != 0) wrtxcels(rs);
  if (rs.opts.netcdf) wrtnetcdf(rs);
  // The band's tables survive an interrupted run; a printout the file
  // system refuses (a full disk) ends the run like any other output file.
  flush_output(rs.printout, rs.out.printout_name, "radanal");
}

}  // namespace abyss
