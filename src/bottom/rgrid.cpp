#include "bottom/rgrid.hpp"

#include "control/run_state.hpp"
#include "iop/data_files.hpp"

namespace abyss {

// The file is a standard data file (ten header records, then wavelength and
// reflectance), interpolated linearly onto the band centres.
void load_rgrid(RunState& rs) {
  double y0 = 0.0;
  VecD unused(1, mxwave);
  getongrid1(rs, kSpectrum, 10, 0, rs.cmisc.nwave, rs.files.bottom, -1.0, y0, rs.cwave.wave, rs.bot.rgrid, unused);
}

int band_index(RunState& rs, double wavenm) {
  checkiwav(rs, rs.bot.iwave, wavenm);
  return rs.bot.iwave;
}

}  // namespace abyss
