#include "bottom/rgrid.hpp"

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/data_files.hpp"
#include "util/names.hpp"

namespace abyss {

// The file is a standard data file (ten header records, then wavelength and
// reflectance), interpolated linearly onto the band centres.
void load_rgrid(RunState& rs) {
  double y0 = 0.0;
  VecD unused(1, mxwave);
  getongrid1(rs, kSpectrum, 10, 0, rs.cmisc.nwave, rs.files.bottom, -1.0, y0, rs.cwave.wave, rs.bot.rgrid, unused);
  // A reflectance above 1 would make the bottom a source of light.
  for (int j = 1; j <= rs.cmisc.nwave; ++j)
    if (rs.bot.rgrid(j) > 1.0)
      herr("rbottom", fmt::format("the bottom reflectance from {} is {:g} at {:.1f} nm, above 1",
                                  util::rtrim(rs.files.bottom), rs.bot.rgrid(j), rs.cwave.wave(j)));
}

int band_index(RunState& rs, double wavenm) {
  checkiwav(rs, rs.bot.iwave, wavenm);
  return rs.bot.iwave;
}

}  // namespace abyss
