// The clear-sky model's spectral data base.
#include "sky/radtranx_dbase.hpp"

#include <cmath>
#include <istream>
#include <sstream>

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {

namespace {

constexpr const char* kRoutine = "RADTRANX";
constexpr long kMaxLines = 100000;

void skip_comments(std::istream& in) {
  std::string line;
  while (in.peek() == '#') std::getline(in, line);
}

[[noreturn]] void bad_dbase(const std::string& filename, const std::string& what) {
  herr(kRoutine, "clear-sky data base " + util::rtrim(filename) + ": " + what);
}

long read_count(std::istream& in, const std::string& filename) {
  const util::ListRecord r = util::read_list(in, 1);
  if (!r.has(0)) bad_dbase(filename, "the count of data lines is missing");
  const long n = r.integer(0);
  if (n < 1 || n > kMaxLines) bad_dbase(filename, fmt::format("the count of data lines {} is out of range", n));
  return n;
}

// One data line; the wavelengths must be whole nanometres in steps of one,
// so that a band average is a plain mean of table rows.
void read_row(std::istream& in, const std::string& filename, long i, long n, RadtranxTable& t) {
  // One line per wavelength: a short line is an error of that line, not the
  // start of a record that runs on into the next wavelength.
  std::string text;
  std::getline(in, text);
  std::istringstream line(text);
  const util::ListRecord r = util::read_list(line, 6);
  const std::string where = fmt::format("data line {} of {}", i + 1, n);
  if (r.given() < 6 || !r.has(0) || !r.has(1) || !r.has(2) || !r.has(3) || !r.has(4))
    bad_dbase(filename, where + ": six values expected (wavelength, H0, a_oz, a_o2, a_wv, source)");
  const double wl = r.real(0);
  if (i == 0) {
    if (wl != std::floor(wl)) bad_dbase(filename, where + fmt::format(": wavelength {} is not a whole nm", wl));
    t.first_nm = static_cast<int>(wl);
  } else if (wl != t.first_nm + static_cast<double>(i)) {
    bad_dbase(filename, where + fmt::format(": wavelength {} found, {} expected (1-nm steps)", wl, t.first_nm + i));
  }
  const double v[4] = {r.real(1), r.real(2), r.real(3), r.real(4)};
  for (double x : v)
    if (!(x >= 0.0)) bad_dbase(filename, where + fmt::format(": negative value {} at {} nm", x, wl));
  t.h0.push_back(v[0]);
  t.aoz.push_back(v[1]);
  t.ao2.push_back(v[2]);
  t.awv.push_back(v[3]);
}

}  // namespace

RadtranxTable read_radtranx_dbase(const std::string& filename) {
  std::ifstream in = ioshorten(filename, kRoutine);
  RadtranxTable t;
  try {
    skip_comments(in);
    const long n = read_count(in, filename);
    for (long i = 0; i < n; ++i) {
      if (in.peek() == std::char_traits<char>::eof())
        bad_dbase(filename, fmt::format("the file ends after {} of {} data lines", i, n));
      read_row(in, filename, i, n, t);
    }
  } catch (const util::ListReadError& e) {
    bad_dbase(filename, fmt::format("after {} data lines: {}", t.h0.size(), e.what()));
  }
  return t;
}

rtx::Spectral radtranx_spectral(const RadtranxTable& t, double wl_nm) {
  const double x = wl_nm - t.first_nm;
  const std::size_t last = t.h0.size() - 1;
  std::size_t i = static_cast<std::size_t>(std::floor(x));
  if (i >= last) i = last == 0 ? 0 : last - 1;
  const double f = last == 0 ? 0.0 : x - static_cast<double>(i);
  auto lin = [&](const std::vector<double>& v) {
    if (f == 0.0) return v[i];
    if (f == 1.0) return v[i + 1];
    return v[i] + f * (v[i + 1] - v[i]);
  };
  return {wl_nm, lin(t.h0), lin(t.aoz), lin(t.ao2), lin(t.awv)};
}

}  // namespace abyss
