// Bioluminescence: an isotropic source S(z, lambda) tabulated in the run's
// bioluminescence data file. The file is a standard data file holding a
// depth-by-wavelength table: after the ten header records, the number of
// wavelengths, the wavelengths (nm), then one record per depth (m) with the
// source at each wavelength (W m^-3 nm^-1), ended by a negative depth or the
// end of the file. Outside the table the source is zero.
#include <algorithm>
#include <fstream>
#include <string>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/range_warnings.hpp"
#include "control/run_state.hpp"
#include "iop/data_files.hpp"
#include "sources/sources.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

constexpr int kHeader = 10;

BioTable read_bio_table(RunState& rs, std::ifstream& in, const std::string& file) {
  BioTable t;
  const int nw = getnwavac(rs, in, kHeader);
  if (nw < 1) herr("s0biosub", "the bioluminescence file " + util::rtrim(file) + " holds no wavelengths");
  try {
    auto w = util::read_list(in, static_cast<std::size_t>(nw));
    for (int i = 0; i < nw; ++i) t.wave.push_back(w.real(static_cast<std::size_t>(i)));
    while (true) {
      auto r = util::read_list(in, static_cast<std::size_t>(nw + 1));
      if (r.at_eof() || !r.has(0) || r.real(0) < 0.0) break;
      const double z = r.real(0);
      if (!t.z.empty() && !(z > t.z.back()))
        herr("s0biosub", "depths of the bioluminescence file are not increasing");
      t.z.push_back(z);
      for (int i = 0; i < nw; ++i) {
        double s = r.real(static_cast<std::size_t>(i + 1));
        checkdat2x(rs, z, t.wave[static_cast<std::size_t>(i)], s);
        t.s.push_back(s);
      }
      if (r.hit_eof) break;
    }
  } catch (const util::ListReadError& e) {
    herr("s0biosub", "the bioluminescence file " + util::rtrim(file) + " is not readable: " + e.what());
  }
  for (std::size_t i = 1; i < t.wave.size(); ++i)
    if (!(t.wave[i] > t.wave[i - 1])) herr("s0biosub", "wavelengths of the bioluminescence file are not increasing");
  if (t.z.empty()) herr("s0biosub", "the bioluminescence file " + util::rtrim(file) + " holds no depths");
  return t;
}

// Index i with x[i] <= v <= x[i+1] and the weight of x[i+1]; false outside.
bool bracket(const std::vector<double>& x, double v, std::size_t& i, double& t) {
  if (x.size() == 1) {
    i = 0;
    t = 0.0;
    return v == x[0];
  }
  if (v < x.front() || v > x.back()) return false;
  i = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), v) - x.begin());
  i = std::min(std::max<std::size_t>(i, 1), x.size() - 1) - 1;
  t = (v - x[i]) / (x[i + 1] - x[i]);
  return true;
}

}  // namespace

double bio_source(const BioTable& t, double z, double wavenm) {
  std::size_t iz = 0, iw = 0;
  double tz = 0.0, tw = 0.0;
  if (!bracket(t.z, z, iz, tz) || !bracket(t.wave, wavenm, iw, tw)) return 0.0;
  const std::size_t nw = t.wave.size();
  const std::size_t iz1 = std::min(iz + 1, t.z.size() - 1), iw1 = std::min(iw + 1, nw - 1);
  auto s = [&](std::size_t a, std::size_t b) { return t.s[a * nw + b]; };
  return (1 - tz) * ((1 - tw) * s(iz, iw) + tw * s(iz, iw1)) + tz * ((1 - tw) * s(iz1, iw) + tw * s(iz1, iw1));
}

void s0biosub(RunState& rs) {
  std::ostream& p = rs.pr();
  const std::string& file = rs.src.bio_file;
  std::ifstream in = ioshorten(file, "s0biosub");
  p << "\n" << ff::X(5) << "The bioluminescence source S(z, wavelength) is read from " << util::rtrim(file)
    << "\n" << ff::X(5) << "The data file header records are:\n";
  std::string line;
  for (int i = 0; i < kHeader && std::getline(in, line); ++i) p << ff::X(8) << util::rtrim(line) << "\n";
  BioTable t = read_bio_table(rs, in, file);
  const std::size_t nz = t.z.size(), nw = t.wave.size();
  p << "\n" << ff::X(5) << ff::I(static_cast<int>(nz), 4) << " depths from " << ff::F(t.z.front(), 7, 2) << " to "
    << ff::F(t.z.back(), 7, 2) << " m and" << ff::I(static_cast<int>(nw), 4) << " wavelengths from "
    << ff::F(t.wave.front(), 6, 1) << " to " << ff::F(t.wave.back(), 6, 1) << " nm\n"
    << ff::X(5) << "Isotropic emission; the source is zero outside the table\n";
  double smax = 0.0;
  for (double v : t.s) smax = std::max(smax, v);
  p << ff::X(5) << "Largest source value " << ff::PE(smax, 10, 3) << " W/(m^3 nm)\n";
  rangecheck(rs, 0, t.z.front(), t.z.back(), t.wave.front(), t.wave.back(), file);
  rs.src.biotab = std::move(t);
}

}  // namespace abyss
