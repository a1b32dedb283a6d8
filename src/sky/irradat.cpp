// Measured total (sun + sky) irradiance onto the sea surface from a standard
// data file, averaged over every band of the run on first use.
#include <cmath>
#include <string>
#include <vector>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "sky/sky_models.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

struct Spectrum {
  std::vector<double> wl, ed;
};

// A standard data file: ten header records, then "wavelength Ed" records up
// to one whose first value is negative (or the end of the file).
Spectrum read_spectrum(const std::string& filename) {
  std::ifstream in = ioshorten(filename, "irradat");
  std::string line;
  for (int i = 0; i < 10; ++i)
    if (!std::getline(in, line)) herr("irradat", "the header of " + util::rtrim(filename) + " is incomplete");
  Spectrum s;
  for (int rec = 11;; ++rec) {
    util::ListRecord r;
    try {
      r = util::read_list(in, 2);
    } catch (const util::ListReadError&) {
      herr("irradat", "bad number in record " + std::to_string(rec) + " of " + util::rtrim(filename));
    }
    if (r.given() == 0 || r.real(0) < 0.0) break;
    if (r.given() < 2) herr("irradat", "record " + std::to_string(rec) + " of " + util::rtrim(filename) + " lacks Ed");
    if (!s.wl.empty() && r.real(0) <= s.wl.back())
      herr("irradat", "wavelengths of " + util::rtrim(filename) + " do not increase");
    s.wl.push_back(r.real(0));
    s.ed.push_back(r.real(1));
  }
  if (s.wl.empty()) herr("irradat", "no data in " + util::rtrim(filename));
  return s;
}

// Linear interpolation, held at the end values outside the data.
double interpolate(const Spectrum& s, double w) {
  if (w <= s.wl.front()) return s.ed.front();
  if (w >= s.wl.back()) return s.ed.back();
  std::size_t i = 1;
  while (s.wl[i] < w) ++i;
  const double f = (w - s.wl[i - 1]) / (s.wl[i] - s.wl[i - 1]);
  return s.ed[i - 1] + f * (s.ed[i] - s.ed[i - 1]);
}

// Mean of the spectrum at whole nanometres across the band.
double band_mean(const Spectrum& s, double lo, double hi, double centre) {
  if (centre <= s.wl.front()) return s.ed.front();
  if (centre >= s.wl.back()) return s.ed.back();
  const int k0 = static_cast<int>(std::floor(lo)), k1 = static_cast<int>(hi + 0.5);
  double sum = 0.0;
  for (int k = k0; k <= k1; ++k) sum += interpolate(s, k);
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
    const Spectrum s = read_spectrum(filename);
    for (int i = 1; i <= rs.cmisc.nwave; ++i)
      m.irradat_ed(i) = band_mean(s, rs.cwave.waveb(i), rs.cwave.waveb(i + 1), rs.cwave.wave(i));
    print_band_table(rs);
    m.irradat_done = true;
  }
  return m.irradat_ed(rs.cmisc.jwave);
}

}  // namespace abyss
