// Choice of each component's discretized phase function: from the library of
// Fournier-Forand DPF files by linear interpolation in bb/b, and the printout
// of how every component's phase function is chosen.
#include <algorithm>
#include <cmath>
#include <numeric>

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "phase/dpf.hpp"
#include "phase/dpf_file.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {

namespace {

constexpr const char* kRoutine = "SELPFBB";

std::string choose_line(int icomp) {
  return ff::X(5) + "The phase function for component" + ff::I(icomp, 3) + " will be chosen to have a bb/b ratio";
}

// The names of "pfbblist.txt", up to the end of the file or the first blank record.
std::vector<std::string> read_pfbblist(RunState& rs) {
  const std::string path = util::rtrim(rs.cdirnames.phasefun) + "pfbblist.txt";
  std::ifstream in = ioshorten(path, kRoutine);
  std::vector<std::string> records;
  while (auto rec = util::read_name_record(in)) records.push_back(*rec);
  if (records.empty()) {
    rs.pr() << ' ' << path << '\n';
    herr(kRoutine, "no valid filenames in pfbblist.txt");
  }
  std::vector<std::string> names;
  for (const std::string& r : records) {
    if (r.find_first_not_of(' ') == std::string::npos) break;
    names.push_back(r);
  }
  return names;
}

void quad_mismatch(RunState& rs, const char* what, const std::string& name) {
  rs.pr() << ff::X(5) << "Error in SELPFBB: surfwind and DPF files must have the\n"
          << ff::X(5) << "same spatial quads!\n"
          << ff::X(5) << "The " << what << " quads read from phase function " << name << '\n'
          << ff::X(5) << " do not match the surfwind file\n";
}

// Checks a member's quads against the sea-surface file's; false when it must be skipped.
bool quads_match(RunState& rs, const phase::DpfHeader& h, const std::string& name) {
  const auto& id = rs.surf.quadid;
  if (h.nmu != id[0]) quad_mismatch(rs, "MU", name);
  if (h.nphi != id[1]) quad_mismatch(rs, "PHI", name);
  if (h.type != id[2]) quad_mismatch(rs, "TYPE", name);
  if (h.nmu == id[0] && h.nphi == id[1]) return true;
  rs.pr() << " Quads of DPF file do not match surfwind.\n"
          << " Ignoring " << name << '\n'
          << " Will attempt to read and use other FF files\n";
  return false;
}

// A library member named for its backscatter fraction ("..bb0.0183.dpf")
// must carry that fraction in its header: the list is sorted and bracketed by
// the header values, so a member under the wrong name would be blended
// silently at the wrong place.
void check_name_against_header(const std::string& name, double bbtob) {
  const auto at = name.rfind("bb");
  const auto dot = name.rfind(".dpf");
  if (at == std::string::npos || dot == std::string::npos || dot <= at + 2) return;
  double named = 0.0;
  try {
    named = util::parse_real(name.substr(at + 2, dot - at - 2));
  } catch (const util::ListReadError&) {
    return;  // not a name that states a value
  }
  if (std::abs(named - bbtob) > 5.0e-6)
    herr(kRoutine, fmt::format("DPF file {} is named for bb/b = {:g} but its header gives bb/b = {:g}", name, named, bbtob));
}

void load_library(RunState& rs) {
  DpfLibrary& lib = rs.dpflib;
  const std::string dir = util::rtrim(rs.cdirnames.phasefun);
  std::vector<double> bb;
  for (const std::string& name : read_pfbblist(rs)) {
    std::ifstream in(util::native_path(dir + name));
    if (!in) {  // members that cannot be opened are skipped, and the skip is said
      const std::string line = " WARNING: phase-function library member " + name + " listed in pfbblist.txt cannot be opened; skipped";
      rs.con() << line << '\n';
      rs.pr() << line << '\n';
      continue;
    }
    const phase::DpfHeader h = phase::read_dpf_header(in, name, kRoutine);
    check_name_against_header(name, h.bbtob);
    if (!quads_match(rs, h, name)) continue;
    lib.names.push_back(name);
    bb.push_back(h.bbtob);
  }
  if (lib.names.empty()) herr(kRoutine, "no valid FF DPF files");
  if (lib.names.size() == 1) herr(kRoutine, "only 1 valid DPF file (cannot interp)");
  lib.perm.resize(bb.size());
  std::iota(lib.perm.begin(), lib.perm.end(), 0);
  std::stable_sort(lib.perm.begin(), lib.perm.end(), [&](int a, int b) { return bb[a] < bb[b]; });
  const int nmu = rs.cmisc.nmu, M = nmu * (rs.cmisc.nphi / 2 + 1);
  for (int p : lib.perm) {
    const std::string& name = lib.names[static_cast<std::size_t>(p)];
    std::ifstream in(util::native_path(dir + name));
    if (!in) nofile(kRoutine, dir + name);
    lib.titles.push_back(phase::read_dpf_header(in, name, kRoutine).title);
    lib.bb.push_back(bb[static_cast<std::size_t>(p)]);
    lib.pt_lib.emplace_back(nmu, M);
    lib.pr_lib.emplace_back(nmu, M);
    phase::read_dpf_arrays(in, nmu, M, lib.pt_lib.back(), lib.pr_lib.back(), name, kRoutine);
  }
  lib.loaded = true;
}

void warn_out_of_range(RunState& rs, double bbtob, int icomp, double used) {
  rs.pr() << '\n'
          << ff::X(5) << "*** warning ***  Requested bb/b value of " << ff::F(bbtob, 5, 3) << " for component # "
          << ff::I(icomp, 4) << " at depth " << ff::F(rs.cmisc.zcur, 6, 1) << " m \n"
          << ff::X(7) << " is outside of the range of available values.\n"
          << ff::X(8) << "The phase function with a bb/b value of " << ff::F(used, 5, 3) << " will be used instead.\n";
}

// Keeps the remembered bracket when it holds the request; otherwise finds the
// first member not below the (clamped) request. Returns the weight of ihi.
double bracket(DpfLibrary& lib, double bbtob) {
  const double target = std::min(lib.bb.back(), std::max(lib.bb.front(), bbtob));
  const bool kept = lib.ilo >= 0 && bbtob >= lib.bb[static_cast<std::size_t>(lib.ilo)] &&
                    bbtob <= lib.bb[static_cast<std::size_t>(lib.ihi)];
  if (!kept) {
    std::size_t j = 1;
    while (j + 1 < lib.bb.size() && lib.bb[j] < target) ++j;
    lib.ilo = static_cast<int>(j) - 1;
    lib.ihi = static_cast<int>(j);
  }
  const double lo = lib.bb[static_cast<std::size_t>(lib.ilo)], hi = lib.bb[static_cast<std::size_t>(lib.ihi)];
  return hi > lo ? (target - lo) / (hi - lo) : 0.0;  // equal neighbours: the lower member
}

}  // namespace

PhaseChoice selpfbb(RunState& rs, double bbtob, int icomp) {
  if (rs.cmisc.iprint > 0)
    rs.pr() << '\n'
            << choose_line(icomp) << " of " << ff::F(bbtob, 8, 4) << '\n'
            << ff::X(7) << " at a depth of " << ff::F(rs.cmisc.zcur, 8, 3) << " and wavelength "
            << ff::F(rs.cmisc.wavenm, 8, 1) << " nm\n";
  DpfLibrary& lib = rs.dpflib;
  if (!lib.loaded) load_library(rs);
  if (bbtob < lib.bb.front()) warn_out_of_range(rs, bbtob, icomp, lib.bb.front());
  if (bbtob > lib.bb.back()) warn_out_of_range(rs, bbtob, icomp, lib.bb.back());
  const double t = bracket(lib, bbtob);
  const Mat& ptlo = lib.pt_lib[static_cast<std::size_t>(lib.ilo)];
  const Mat& pthi = lib.pt_lib[static_cast<std::size_t>(lib.ihi)];
  const Mat& prlo = lib.pr_lib[static_cast<std::size_t>(lib.ilo)];
  const Mat& prhi = lib.pr_lib[static_cast<std::size_t>(lib.ihi)];
  const int nmu = rs.cmisc.nmu, M = nmu * (rs.cmisc.nphi / 2 + 1);
  rs.pf.origin[static_cast<std::size_t>(icomp)] = {lib.titles[static_cast<std::size_t>(lib.ilo)],
                                                    lib.titles[static_cast<std::size_t>(lib.ihi)], t};
  Mat& pt = rs.pf.pt[static_cast<std::size_t>(icomp)];
  Mat& pr = rs.pf.pr[static_cast<std::size_t>(icomp)];
  for (int I = 1; I <= M; ++I)
    for (int r = 1; r <= nmu; ++r) {
      pt(r, I) = (1.0 - t) * ptlo(r, I) + t * pthi(r, I);
      pr(r, I) = (1.0 - t) * prlo(r, I) + t * prhi(r, I);
    }
  return {lib.ilo, t, std::clamp(bbtob, lib.bb.front(), lib.bb.back())};
}

void check_pf_options(RunState& rs) {
  const int model = rs.cmodelopts.model();
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    if (rs.comp.pf_opt(k) != 2 || (model == 3 && k == 2)) continue;
    const std::string line =
        model == 3 ? fmt::format(" Phase-function option 2 (record 12) is given for component {}; in the ac-9 IOP model"
                                 " only component 2 (everything but water) takes its bb/b from the ac-9 and"
                                 " backscattering-meter data.", k)
                   : fmt::format(" Phase-function option 2 (record 12) is given for component {}, but it needs the"
                                 " ac-9 IOP model (model 3 in record 1); the run asks for IOP model {}.", k, model);
    rs.con() << line << '\n';
    if (rs.printout_ready()) rs.pr() << '\n' << line << '\n';
    herr("initial", "phase-function option 2 needs the ac-9 IOP model (3)");
  }
}

void pntdpf(RunState& rs, int icomp) {
  const ComponentOpts& c = rs.comp;
  switch (c.pf_opt(icomp)) {
    case 0: {
      const std::string& file = rs.files.dpf[static_cast<std::size_t>(icomp)];
      std::ifstream in = ioshorten(file, "PNTDPF");
      const std::string title = util::read_name_record(in).value_or("");
      rs.pr() << '\n'
              << ff::X(5) << "The phase function for component" << ff::I(icomp, 3) << " comes from a file titled\n"
              << ff::X(5) << title << '\n';
      break;
    }
    case 1:
      rs.pr() << '\n' << choose_line(icomp) << " of " << ff::F(c.bbtob(icomp), 8, 4) << '\n';
      break;
    case 2:
      // The ac-9 model's data files 1 and 2: attenuation/absorption and backscattering meter.
      rs.pr() << '\n'
              << choose_line(icomp) << " \n"
              << ff::X(8) << "as specified by ac-9 and HYDROSCAT data files: \n"
              << ff::X(10) << util::rtrim(rs.files.ac9) << "  and\n"
              << ff::X(10) << util::rtrim(rs.files.bbmeter) << '\n';
      break;
    case 3:
      rs.pr() << '\n'
              << ff::X(5) << "The phase function for component" << ff::I(icomp, 2) << " will be chosen to have a\n"
              << ff::X(8) << "bb/b ratio calculated by a Power Law model:\n"
              << ff::X(10) << "bb/b = " << ff::F(c.bb_coef(icomp), 6, 4) << " * (" << ff::F(c.bb_wave0(icomp), 4, 0)
              << "/wavenm)^(" << ff::F(c.bb_expo(icomp), 6, 4) << ")\n";
      break;
    default:
      break;
  }
}

}  // namespace abyss
