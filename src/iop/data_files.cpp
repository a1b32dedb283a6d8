// Standard data files: counting, reading, checking and interpolation.
#include "iop/data_files.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>
#include <vector>

#include <fmt/format.h>

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

// Skips the header records; the first nprint of them go to the printout. A
// file that ends inside its header has no data and is not the file asked for.
void skip_header(RunState* rs, std::istream& in, int nheadr, int nprint, const std::string& filename,
                 const char* routine) {
  for (int i = 1; i <= nheadr; ++i) {
    auto rec = util::read_name_record(in, util::kNameLen);
    if (!rec)
      herr(routine, fmt::format("{} ends at line {}, inside its {} header records", util::rtrim(filename), i, nheadr));
    if (rs != nullptr && i <= nprint) rs->pr() << ff::X(8) << util::rtrim(*rec) << "\n";
  }
}

// The data records after the header, one a line; blank lines are skipped.
// A record that does not read as the numbers it needs is an error naming the
// file and the line, never a silent end of the table.
class DataLines {
 public:
  DataLines(std::istream& in, int nheadr, std::string filename, const char* routine)
      : in_(in), line_no_(nheadr), filename_(util::rtrim(filename)), routine_(routine) {}

  // The next data record with `want` values; nothing at end of file.
  std::optional<std::vector<double>> next(std::size_t want) {
    std::string line;
    while (std::getline(in_, line)) {
      ++line_no_;
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      std::istringstream ls(line);
      try {
        const util::ListRecord r = util::read_list(ls, want);
        if (r.has(0) && r.real(0) < 0.0) return std::vector<double>{r.real(0)};  // the end marker
        if (r.given() < want) fail(fmt::format("{} values where {} are needed", r.given(), want));
        std::vector<double> v(want);
        for (std::size_t k = 0; k < want; ++k) {
          if (!r.has(k)) fail(fmt::format("value {} is missing", k + 1));
          v[k] = r.real(k);
        }
        return v;
      } catch (const util::ListReadError& e) {
        fail(e.what());
      }
    }
    return std::nullopt;
  }
  [[noreturn]] void fail(const std::string& what) const {
    herr(routine_, fmt::format("line {} of {}: {}", line_no_, filename_, what));
  }
  int line() const { return line_no_; }

 private:
  std::istream& in_;
  int line_no_;
  std::string filename_;
  const char* routine_;
};

[[noreturn]] void not_increasing(RunState& rs, const DataLines& lines, const std::string& filename, double prev,
                                 double x) {
  const std::string detail = fmt::format(" LoadDat: line {} of {}: abscissa {:g} does not increase on {:g}",
                                         lines.line(), util::rtrim(filename), x, prev);
  rs.con() << detail << "\n";
  rs.pr() << "\n" << detail << "\n";
  herr("LoadDat", "Data abscissas not monotonically increasing.  Clean up your data and rerun.");
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
  skip_header(&rs, unit, nheadr, nprint, filename, "GetNDat");
  DataLines lines(unit, nheadr, filename, "GetNDat");
  int ndata = 0;
  while (auto rec = lines.next(1)) {
    if ((*rec)[0] < 0.0) break;
    ++ndata;
  }
  rs.pr() << "\n" << ff::X(5) << ff::I(ndata, 6) << " records read\n";
  if (ndata == 0) herr("GetNDat", "no data records in " + util::rtrim(filename));
  if (iclose > 0) unit.close();
  return ndata;
}

namespace {

// Ordinates of a record: absorption, scattering, concentrations, reflectances
// and irradiances cannot be negative.
void check_ordinates(const std::vector<double>& rec, const DataLines& lines) {
  for (std::size_t k = 1; k < rec.size(); ++k)
    if (rec[k] < 0.0) lines.fail(fmt::format("negative, non-physical value {:g} in column {}", rec[k], k + 1));
}

void store(DataTable& t, int i, const std::vector<double>& rec) {
  t.x(i) = rec[0];
  t.y1(i) = rec[1];
  if (rec.size() > 2) t.y2(i) = rec[2];
}

}  // namespace

DataTable loaddat(RunState& rs, std::ifstream& unit, int nheadr, int ndata, int iftype, const std::string& filename) {
  const int cap = std::max(ndata, 1);
  DataTable t{ndata, VecD(1, cap), VecD(1, cap), VecD(1, cap)};
  rewind(unit);
  skip_header(nullptr, unit, nheadr, 0, filename, "LoadDat");
  DataLines lines(unit, nheadr, filename, "LoadDat");
  const std::size_t want = iftype == kTwoSpectra ? 3 : 2;
  for (int i = 1; i <= ndata; ++i) {
    const auto rec = lines.next(want);
    if (!rec || (*rec)[0] < 0.0) lines.fail(fmt::format("the file changed while it was read ({} of {} records)", i - 1, ndata));
    check_ordinates(*rec, lines);
    store(t, i, *rec);
    if (i > 1 && t.x(i - 1) >= t.x(i)) not_increasing(rs, lines, filename, t.x(i - 1), t.x(i));
  }
  unit.close();
  register_range(rs, iftype, t, filename);
  return t;
}

DataTable read_standard_table(std::istream& in, int nheadr, int iftype, const std::string& filename,
                              const char* routine) {
  skip_header(nullptr, in, nheadr, 0, filename, routine);
  DataLines lines(in, nheadr, filename, routine);
  const std::size_t want = iftype == kTwoSpectra ? 3 : 2;
  std::vector<std::vector<double>> recs;
  while (auto rec = lines.next(want)) {
    if ((*rec)[0] < 0.0) break;
    check_ordinates(*rec, lines);
    if (!recs.empty() && !((*rec)[0] > recs.back()[0]))
      lines.fail(fmt::format("abscissa {:g} does not increase on {:g}", (*rec)[0], recs.back()[0]));
    recs.push_back(std::move(*rec));
  }
  if (recs.empty()) herr(routine, "no data records in " + util::rtrim(filename));
  const int n = static_cast<int>(recs.size());
  DataTable t{n, VecD(1, n), VecD(1, n), VecD(1, n)};
  for (int i = 1; i <= n; ++i) store(t, i, recs[static_cast<std::size_t>(i - 1)]);
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
  for (int i = 0; i < nheadr; ++i) util::read_name_record(unit, util::kNameLen);
  try {
    auto r = util::read_list(unit, 1);
    if (r.has(0)) return static_cast<int>(r.integer(0));
  } catch (const util::ListReadError&) {
  }
  rs.pr() << "\n" << ff::X(5) << "The record after the header does not hold the number of wavelengths\n";
  herr("getnwavac", "number of wavelengths not readable");
}

}  // namespace abyss
