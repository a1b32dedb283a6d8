#include "phase/dpf_file.hpp"

#include "control/errors.hpp"
#include "control/limits.hpp"
#include "phase/quad_average.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"

namespace abyss::phase {

namespace {
[[noreturn]] void bad_record(const std::string& routine, const std::string& name, const std::string& what) {
  herr(routine, "cannot read " + what + " of DPF file " + name);
}

void write_array(std::ostream& os, const Mat& m, int nmu, int M) {
  for (int I = 1; I <= M; ++I) ff::write_e_block(os, m.col(I), static_cast<std::size_t>(nmu));
}

void read_array(std::istream& in, Mat& m, int nmu, int M, const std::string& name, const std::string& routine,
                const char* which) {
  for (int I = 1; I <= M; ++I) {
    std::vector<double> v;
    try {
      v = util::read_fixed_reals(in, static_cast<std::size_t>(nmu), 10, 13);
    } catch (const util::ListReadError&) {
      bad_record(routine, name, std::string(which) + " column " + std::to_string(I));
    }
    for (int r = 1; r <= nmu; ++r) {
      const double x = v[static_cast<std::size_t>(r - 1)];
      // A phase function is a probability density: never negative.
      if (x < 0.0)
        herr(routine, "negative value " + ff::ld(x) + " in " + which + " column " + std::to_string(I) + ", row " +
                          std::to_string(r) + " of DPF file " + name);
      m(r, I) = x;
    }
  }
}
// A header that contradicts itself or physics names the file: the quad
// counts must be a partition this system can hold, the column count (when
// given) must be the one the counts imply, and a backscatter fraction lies in
// [0, 0.5] (0.5 for scattering as symmetric as pure water's).
void check_header(const DpfHeader& h, const std::string& name, const std::string& routine) {
  if (h.nmu < 2 || h.nmu > mxmu || h.nphi < 2 || h.nphi > mxphi || h.nphi % 2 != 0)
    herr(routine, "record 2 of DPF file " + name + ": nmu =" + ff::I(h.nmu, 4) + ", nphi =" + ff::I(h.nphi, 4) +
                      " is not a quad partition");
  const long M = static_cast<long>(h.nmu) * (h.nphi / 2 + 1);
  if (h.int_value != 0 && h.int_value != M)
    herr(routine, "record 2 of DPF file " + name + ": the column count" + ff::I(h.int_value, 6) +
                      " contradicts nmu and nphi (" + std::to_string(M) + ")");
  if (!(h.bbtob >= 0.0 && h.bbtob <= 0.5))
    herr(routine, "record 3 of DPF file " + name + ": bb/b =" + ff::ld(h.bbtob) + " is outside [0, 0.5]");
}

}  // namespace

void write_dpf(std::ostream& os, const DpfHeader& h, const DpfArrays& d) {
  os << h.title << '\n';
  os << ff::F(h.real_value, 6, 2) << ff::I(h.nmu, 3) << ff::I(h.nphi, 3) << ff::I(h.type, 3) << ff::I(h.int_value, 12)
     << '\n';
  os << " bb/b ratio =" << ff::F(h.bbtob, 10, 5) << '\n';
  write_array(os, d.pt, d.nmu, d.ncol());
  write_array(os, d.pr, d.nmu, d.ncol());
}

DpfHeader read_dpf_header(std::istream& in, const std::string& name, const std::string& routine) {
  DpfHeader h;
  const auto title = util::read_name_record(in);
  if (!title) bad_record(routine, name, "the title (record 1)");
  h.title = *title;
  std::string line;
  try {
    if (!std::getline(in, line)) throw util::ListReadError("end of file");
    const auto f = util::split_fixed(line, {6, 3, 3, 3, 12});
    h.real_value = f[0].find_first_not_of(' ') == std::string::npos ? 0.0 : util::parse_real(f[0]);
    h.nmu = static_cast<int>(util::parse_integer(f[1]));
    h.nphi = static_cast<int>(util::parse_integer(f[2]));
    h.type = static_cast<int>(util::parse_integer(f[3]));
    h.int_value = f[4].find_first_not_of(' ') == std::string::npos ? 0 : util::parse_integer(f[4]);
  } catch (const util::ListReadError&) {
    bad_record(routine, name, "the quad identification (record 2)");
  }
  try {
    if (!std::getline(in, line)) throw util::ListReadError("end of file");
    h.bbtob = util::parse_real(util::split_fixed(line, {13, 10})[1]);
  } catch (const util::ListReadError&) {
    bad_record(routine, name, "the bb/b value (record 3)");
  }
  check_header(h, name, routine);
  return h;
}

void read_dpf_arrays(std::istream& in, int nmu, int M, Mat& pt, Mat& pr, const std::string& name,
                     const std::string& routine) {
  read_array(in, pt, nmu, M, name, routine, "transmission-type");
  read_array(in, pr, nmu, M, name, routine, "reflection-type");
}

}  // namespace abyss::phase
