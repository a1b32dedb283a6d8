// Measured total (sun + sky) irradiance onto the sea surface from a standard
// data file, averaged over every band of the run on first use.
#include <cmath>
#include <string>
#include <vector>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/data_files.hpp"
#include "sky/sky_models.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

// A standard data file of "wavelength Ed" records, read with the checks of
// every standard data file.
DataTable read_spectrum(const std::string& filename) {
  std::ifstream in = ioshorten(filename, "irradat");
  return read_standard_table(in, 10, kSpectrum, filename, "irradat");
}

// Mean of the spectrum at whole nanometres across the band (linear
// interpolation, held at the end values outside the data).
double band_mean(const DataTable& s, double lo, double hi, double centre) {
  if (centre <= s.x(1)) return s.y1(1);
  if (centre >= s.x(s.n)) return s.y1(s.n);
  const int k0 = static_cast<int>(std::floor(lo)), k1 = static_cast<int>(hi + 0.5);
  double sum = 0.0;
  int hint = 1;
  for (int k = k0; k <= k1; ++k) sum += yinterp(hint, s.n, k, s.x, s.y1);
  return sum / (k1 - k0 + 1);
}

void print_band_table(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "Incident total (direct + diffuse) irradiance interpolated and averaged over each waveband [W/(m2 nm)]:\n"
    << "\n" << ff::X(10) << "wave_min    wave_max    wave_center    Ed_incident\n"
    << ff::X(10) << "  (nm)        (nm)         (nm)         (W/m^2/nm)\n";
  for (int i = 1; i <= rs.cmisc.nwave; ++i)
    p << ff::X(8) << ff::F(rs.cwave.waveb(i), 8, 1) << ff::X(4) << ff::F(rs.cwave.waveb(i + 1), 8, 1) << ff::X(4)
      << ff::F(rs.cwave.wave(i), 10, 2) << ff::X(4) << ff::PE(rs.sky.models.irradat_ed(i), 12, 5) << "\n";
}

}  // namespace

double irradat(RunState& rs, const std::string& filename) {
  SkyModelState& m = rs.sky.models;
  if (!m.irradat_done) {
    rs.pr() << "\n" << ff::X(5) << "The incident Irradiance is obtained from the data file: " << util::rtrim(filename)
            << "\n";
    const DataTable s = read_spectrum(filename);
    for (int i = 1; i <= rs.cmisc.nwave; ++i)
      m.irradat_ed(i) = band_mean(s, rs.cwave.waveb(i), rs.cwave.waveb(i + 1), rs.cwave.wave(i));
    print_band_table(rs);
    m.irradat_done = true;
  }
  return m.irradat_ed(rs.cmisc.jwave);
}

}  // namespace abyss
