// Standard data files: counting, reading, checking and interpolation.
#include "iop/data_files.hpp"

#include <algorithm>
#include <cmath>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/range_warnings.hpp"
#include "control/run_state.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

void rewind(std::istream& in) {
  in.clear();
  in.seekg(0);
}

// Skips the header records; the first nprint of them go to the printout.
void skip_header(RunState* rs, std::istream& in, int nheadr, int nprint) {
  for (int i = 1; i <= nheadr; ++i) {
    auto rec = util::read_name_record(in, util::kNameLen);
    if (!rec) return;
    if (rs != nullptr && i <= nprint) rs->pr() << ff::X(8) << util::rtrim(*rec) << "\n";
  }
}

// First value of the next data record, or nothing at the end of the data
// (end of file, an unreadable record, or the negative end marker).
bool next_record_counts(std::istream& in) {
  try {
    auto r = util::read_list(in, 1);
    if (!r.has(0)) return false;
    return r.real(0) >= 0.0;
  } catch (const util::ListReadError&) {
    return false;
  }
}

// Reads one data record into slot i; false when the read fails.
bool read_record(std::istream& in, int iftype, DataTable& t, int i) {
  const std::size_t want = iftype == kTwoSpectra ? 3 : 2;
  try {
    auto r = util::read_list(in, want);
    if (r.given() < want) return false;
    for (std::size_t k = 0; k < want; ++k)
      if (!r.has(k)) return false;
    t.x(i) = r.real(0);
    t.y1(i) = r.real(1);
    if (iftype == kTwoSpectra) t.y2(i) = r.real(2);
    return true;
  } catch (const util::ListReadError&) {
    return false;
  }
}

[[noreturn]] void not_increasing() {
  herr("LoadDat", "Data abscissas not monotonically increasing.  Clean up your data and rerun.");
}

// Keeps only the first n records of a table that ended early.
void shrink(DataTable& t, int n) {
  DataTable s{n, VecD(1, std::max(n, 1)), VecD(1, std::max(n, 1)), VecD(1, std::max(n, 1))};
  for (int i = 1; i <= n; ++i) {
    s.x(i) = t.x(i);
    s.y1(i) = t.y1(i);
    s.y2(i) = t.y2(i);
  }
  t = std::move(s);
}

void register_range(RunState& rs, int iftype, const DataTable& t, const std::string& filename) {
  if (t.n < 1) return;
  if (iftype == kProfile) {
    rangecheck(rs, 1, t.x(1), t.x(t.n), 0.0, 0.0, filename);
  } else {
    rangecheck(rs, 1, 0.0, 0.0, t.x(1), t.x(t.n), filename);
  }
}

}  // namespace

int getndat(RunState& rs, std::ifstream& unit, int iclose, int nheadr, int nprint, const std::string& filename) {
  unit = ioshorten(filename, "GetNDat");
  if (nprint > 0)
    rs.pr() << "\n" << ff::X(5) << "The data file header records from " << util::rtrim(filename) << " are:\n";
  skip_header(&rs, unit, nheadr, nprint);
  int ndata = 0;
  while (next_record_counts(unit)) ++ndata;
  rs.pr() << "\n" << ff::X(5) << ff::I(ndata, 6) << " records read\n";
  if (iclose > 0) unit.close();
  return ndata;
}

DataTable loaddat(RunState& rs, std::ifstream& unit, int nheadr, int ndata, int iftype, const std::string& filename) {
  const int cap = std::max(ndata, 1);
  DataTable t{ndata, VecD(1, cap), VecD(1, cap), VecD(1, cap)};
  rewind(unit);
  skip_header(nullptr, unit, nheadr, 0);
  int nread = 0;
  for (int i = 1; i <= ndata; ++i) {
    if (!read_record(unit, iftype, t, i)) break;
    nread = i;
    if (iftype == kTwoSpectra) {
      checkdat2x(rs, t.y1(i), t.x(i), t.y2(i));
    } else {
      checkdat(rs, t.x(i), t.y1(i));
    }
    if (i > 1 && t.x(i - 1) >= t.x(i)) not_increasing();
  }
  unit.close();
  // A file shorter than its count keeps what was read; the interpolation
  // then works on those records only.
  if (nread < ndata) shrink(t, nread);
  register_range(rs, iftype, t, filename);
  return t;
}

void checkdat(RunState& rs, double x, double& y) {
  if (y >= 0.0) return;
  rs.pr() << "\nCheckDat: Error in data read from file\n"
          << "negative, non-physical data at abscissa value:" << ff::ld(x) << "\n"
          << "Datum set to zero.\n";
  y = 0.0;
}

void checkdat2x(RunState& rs, double depth, double wave, double& datum) {
  if (datum >= 0.0) return;
  rs.pr() << "\nCheckDat: Error in data read from file\n"
          << "negative, non-physical data at depth:" << ff::ld(depth) << "\n"
          << "and wavelength:" << ff::ld(wave) << "\n"
          << "Datum set to zero.\n";
  datum = 0.0;
}

double yinterp(int& ihint, int n, double xval, const VecD& x, const VecD& y) {
  int j = ihint;
  if (n != 1) j = std::clamp(j, 1, n - 1);
  j = std::clamp(j, 1, n);
  // Hunt from the hint for b, the first index with x(b) >= xval.
  if (xval <= x(j)) {
    while (j > 1 && xval <= x(j - 1)) --j;
  } else {
    while (j <= n && xval > x(j)) ++j;
  }
  const int b = j;
  if (b == 1) {
    ihint = 1;
    return y(1);
  }
  if (b > n) {
    ihint = std::max(n - 1, 1);
    return y(n);
  }
  ihint = b - 1;
  const double t = (xval - x(b - 1)) / (x(b) - x(b - 1));
  return (1.0 - t) * y(b - 1) + t * y(b);
}

void griddat(int iftype, int ngrid, const DataTable& t, double x0, double& y0, const VecD& grid, VecD& y1grid,
             VecD& y2grid) {
  if (t.n < 1) return;
  int hint = 1;
  for (int k = 1; k <= ngrid; ++k) y1grid(k) = yinterp(hint, t.n, grid(k), t.x, t.y1);
  if (x0 > 0.0) {
    hint = 1;
    y0 = yinterp(hint, t.n, x0, t.x, t.y1);
  }
  if (iftype == kTwoSpectra) {
    hint = 1;
    for (int k = 1; k <= ngrid; ++k) y2grid(k) = yinterp(hint, t.n, grid(k), t.x, t.y2);
  }
}

void getongrid1(RunState& rs, int iftype, int nheadr, int nprint, int ngrid, const std::string& filename, double x0,
                double& y0, const VecD& grid, VecD& y1grid, VecD& y2grid) {
  std::ifstream unit40;
  const int ndata = getndat(rs, unit40, -1, nheadr, nprint, filename);
  DataTable t = loaddat(rs, unit40, nheadr, ndata, iftype, filename);
  griddat(iftype, ngrid, t, x0, y0, grid, y1grid, y2grid);
}

void checkiwav(const RunState& rs, int& iwave, double wavenm) {
  const int nwave = rs.cmisc.nwave;
  if (iwave >= 1 && iwave <= nwave && std::abs(wavenm - rs.cwave.wave(iwave)) <= 1.0e-6) return;
  iwave = 1;
  double best = 10000.0;
  for (int i = 1; i <= nwave; ++i) {
    const double d = std::abs(wavenm - rs.cwave.wave(i));
    if (d < best) {
      best = d;
      iwave = i;
    }
  }
}

int getnwavac(RunState& rs, std::istream& unit, int nheadr) {
  rewind(unit);
  skip_header(nullptr, unit, nheadr, 0);
  try {
    auto r = util::read_list(unit, 1);
    if (r.has(0)) return static_cast<int>(r.integer(0));
  } catch (const util::ListReadError&) {
  }
  rs.pr() << "\n" << ff::X(5) << "The record after the header does not hold the number of wavelengths\n";
  herr("getnwavac", "number of wavelengths not readable");
}

}  // namespace abyss
