// Reading and checking the depth-by-wavelength tables of the ac-9 model.
#include <algorithm>
#include <cmath>
#include <fstream>

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/range_warnings.hpp"
#include "control/run_state.hpp"
#include "iop/ac9.hpp"
#include "iop/data_files.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

constexpr int kMaxWaves = 100;
const char* kRoutine = "abacbb";

// Writes the lines to the printout and the console, then stops.
[[noreturn]] void table_error(RunState& rs, const std::string& file, const std::string& detail,
                              const std::string& msg) {
  const std::string line = "Error in table " + util::rtrim(file) + ": " + detail;
  rs.pr() << "\n" << line << "\n";
  rs.con() << " " << line << "\n";
  herr(kRoutine, msg);
}

void echo_header(RunState& rs, std::istream& in, const std::string& file) {
  rs.pr() << "\n" << ff::X(5) << "The data file header records from " << util::rtrim(file) << " are:\n";
  for (int i = 1; i <= 10; ++i) {
    auto rec = util::read_name_record(in);
    if (!rec) table_error(rs, file, "the file ends inside the 10 header records", "ac-9 table header incomplete");
    if (i <= 2) rs.pr() << ff::X(8) << util::rtrim(*rec) << "\n";
  }
}

util::ListRecord read_numbers(RunState& rs, std::istream& in, std::size_t n, const std::string& file,
                              const std::string& what) {
  try {
    return util::read_list(in, n);
  } catch (const util::ListReadError& e) {
    table_error(rs, file, what + " holds something that is not a number (" + e.what() + ")", "ac-9 table unreadable");
  }
}

// The items of a record as numbers (absent items as 0); a token that is not
// a number stops the run.
std::vector<double> numbers_of(RunState& rs, const util::ListRecord& r, const std::string& file,
                               const std::string& what) {
  std::vector<double> x(std::max<std::size_t>(r.given(), 1), 0.0);
  try {
    for (std::size_t k = 0; k < r.given(); ++k) x[k] = r.real(k);
  } catch (const util::ListReadError& e) {
    table_error(rs, file, what + " holds something that is not a number (" + e.what() + ")", "ac-9 table unreadable");
  }
  return x;
}

void read_wavelengths(RunState& rs, std::istream& in, DepthWaveTable& t) {
  t.nwav = getnwavac(rs, in, 10);
  if (t.nwav < 1 || t.nwav > kMaxWaves)
    table_error(rs, t.file, fmt::format("{} wavelengths (1 to {} allowed)", t.nwav, kMaxWaves),
                "ac-9 table: bad number of wavelengths");
  const auto r = read_numbers(rs, in, static_cast<std::size_t>(t.nwav), t.file, "the wavelength record");
  if (r.given() < static_cast<std::size_t>(t.nwav))
    table_error(rs, t.file, fmt::format("{} wavelengths given where {} were announced", r.given(), t.nwav),
                "ac-9 table: wavelengths missing");
  const std::vector<double> x = numbers_of(rs, r, t.file, "the wavelength record");
  t.wave = VecD(1, t.nwav);
  for (int m = 1; m <= t.nwav; ++m) {
    t.wave(m) = x[static_cast<std::size_t>(m - 1)];
    if (t.wave(m) <= 0.0 || (m > 1 && !(t.wave(m) > t.wave(m - 1))))
      table_error(rs, t.file, fmt::format("wavelength {} ({:g} nm) does not increase from the one before", m, t.wave(m)),
                  "ac-9 table wavelengths not monotonically increasing");
  }
}

// Reads the depth records; returns the number of negative values set to zero.
int read_depths(RunState& rs, std::istream& in, DepthWaveTable& t, int nfields) {
  const std::size_t need = 1 + static_cast<std::size_t>(nfields * t.nwav);
  std::vector<double> z;
  std::vector<std::vector<double>> rows;
  int negatives = 0;
  for (;;) {
    const std::string what = fmt::format("data record {}", z.size() + 1);
    const auto r = read_numbers(rs, in, need, t.file, what);
    const std::vector<double> x = numbers_of(rs, r, t.file, what);
    if (r.at_eof() || !r.has(0) || x[0] < 0.0) break;
    const double depth = x[0];
    if (r.given() < need)
      table_error(rs, t.file, fmt::format("the record at depth {:g} m has {} values, {} are needed", depth, r.given(), need),
                  "ac-9 table: short data record");
    if (!z.empty() && !(depth > z.back()))
      table_error(rs, t.file, fmt::format("depth {:g} m follows depth {:g} m", depth, z.back()),
                  "ac-9 table depths not monotonically increasing");
    std::vector<double> row(need - 1);
    for (std::size_t k = 1; k < need; ++k) {
      double v = x[k];
      if (v < 0.0) ++negatives;
      checkdat2x(rs, depth, t.wave(static_cast<int>((k - 1) % static_cast<std::size_t>(t.nwav)) + 1), v);
      row[k - 1] = v;
    }
    z.push_back(depth);
    rows.push_back(std::move(row));
  }
  if (z.empty()) table_error(rs, t.file, "no data records", "ac-9 table: no data");
  t.nz = static_cast<int>(z.size());
  t.z = VecD(1, t.nz);
  t.v1.assign(static_cast<std::size_t>(t.nwav), VecD(1, t.nz));
  t.v2.assign(nfields > 1 ? static_cast<std::size_t>(t.nwav) : 0, VecD(1, t.nz));
  for (int i = 1; i <= t.nz; ++i) {
    const auto& row = rows[static_cast<std::size_t>(i - 1)];
    t.z(i) = z[static_cast<std::size_t>(i - 1)];
    for (int m = 0; m < t.nwav; ++m) {
      t.v1[static_cast<std::size_t>(m)](i) = row[static_cast<std::size_t>(m)];
      if (nfields > 1) t.v2[static_cast<std::size_t>(m)](i) = row[static_cast<std::size_t>(t.nwav + m)];
    }
  }
  return negatives;
}

void warn(RunState& rs, const std::string& line) {
  rs.con() << " " << line << "\n";
  rs.pr() << "\n" << ff::X(5) << line << "\n";
}

}  // namespace

DepthWaveTable read_depth_wave_table(RunState& rs, const std::string& file, int nfields) {
  DepthWaveTable t;
  t.file = file;
  std::ifstream in = ioshorten(file, kRoutine);
  echo_header(rs, in, file);
  read_wavelengths(rs, in, t);
  const int negatives = read_depths(rs, in, t, nfields);
  rs.pr() << "\n" << ff::X(5) << ff::I(t.nz, 6) << " depths at" << ff::I(t.nwav, 4) << " wavelengths read\n";
  if (negatives > 0)
    warn(rs, fmt::format("WARNING: {} negative values in {} were set to zero (CheckDat lines in the printout)",
                         negatives, util::rtrim(file)));
  rangecheck(rs, 1, t.z(1), t.z(t.nz), t.wave(1), t.wave(t.nwav), file);
  return t;
}

VecD at_wavelength(const DepthWaveTable& t, const std::vector<VecD>& v, double wavenm) {
  VecD out(1, t.nz), row(1, t.nwav);
  for (int i = 1; i <= t.nz; ++i) {
    for (int m = 1; m <= t.nwav; ++m) row(m) = v[static_cast<std::size_t>(m - 1)](i);
    int hint = 1;
    out(i) = yinterp(hint, t.nwav, wavenm, t.wave, row);
  }
  return out;
}

void require_same_wavelengths(RunState& rs, const DepthWaveTable& ac, const DepthWaveTable& bb) {
  bool same = ac.nwav == bb.nwav;
  for (int m = 1; same && m <= ac.nwav; ++m) same = std::abs(ac.wave(m) - bb.wave(m)) <= 0.5;
  if (same) return;
  auto list = [](const DepthWaveTable& t) {
    std::string s;
    for (int m = 1; m <= t.nwav; ++m) s += fmt::format(" {:g}", t.wave(m));
    return s;
  };
  const std::string l1 = "Error in sub abacbb: the backscattering-meter wavelengths do not match the ac-9 wavelengths",
                    l2 = "  ac-9 (" + util::rtrim(ac.file) + "):" + list(ac),
                    l3 = "  backscattering meter (" + util::rtrim(bb.file) + "):" + list(bb);
  rs.pr() << "\n" << l1 << "\n" << l2 << "\n" << l3 << "\n";
  rs.con() << " " << l1 << "\n " << l2 << "\n " << l3 << "\n";
  herr(kRoutine, "backscattering-meter and ac-9 wavelengths do not match");
}

int enforce_c_not_below_a(RunState& rs, DepthWaveTable& t) {
  int count = 0;
  std::string first;
  for (int m = 0; m < t.nwav; ++m)
    for (int i = 1; i <= t.nz; ++i) {
      double& a = t.v1[static_cast<std::size_t>(m)](i);
      double& c = t.v2[static_cast<std::size_t>(m)](i);
      if (c >= a) continue;
      if (count++ == 0)
        first = fmt::format("first at depth {:g} m and {:g} nm: a = {:.5f}, c = {:.5f} 1/m", t.z(i), t.wave(m + 1), a, c);
      c = a;
    }
  if (count > 0)
    warn(rs, fmt::format("WARNING (abacbb): c < a at {} entries of {} ({}); c is set to a there (no scattering)", count,
                         util::rtrim(t.file), first));
  return count;
}

int subtract_pure_water(RunState& rs, DepthWaveTable& t, const VecD& aw, const VecD& bw) {
  int count = 0;
  for (int m = 0; m < t.nwav; ++m)
    for (int i = 1; i <= t.nz; ++i) {
      double& a = t.v1[static_cast<std::size_t>(m)](i);
      double& c = t.v2[static_cast<std::size_t>(m)](i);
      a -= aw(m + 1);
      c -= aw(m + 1) + bw(m + 1);
      if (a < 0.0) ++count, a = 0.0;
      if (c < 0.0) ++count, c = 0.0;
    }
  if (count > 0)
    warn(rs, fmt::format("WARNING (abacbb): {} values of {} fall below pure water; they are set to zero", count,
                         util::rtrim(t.file)));
  return count;
}

}  // namespace abyss
