// Measured water: pure water plus "everything else" from the absorption and
// attenuation profiles of an ac-9 (or ac-s) profiler, interpolated linearly
// in depth and wavelength. b of everything else is c - a. With
// phase-function option 2 its phase function is chosen at every depth for
// bb/b = bb / (c - a), bb from a backscattering-meter profile.
//
// Run options:
//   record 23 (ac-9 option) not 0: CDOM mode. The table of filtered water
//     (record 27) gives the CDOM absorption a_g; component 2 becomes the
//     particles (a - a_g, b = c - a) and component 3 is CDOM.
//   record 8, first entry (pure water), concentration option: 0 = the
//     tables are referenced to pure water (the usual ac-9 calibration: they
//     hold everything but water) and are used as they are; 1 = the tables
//     hold total a and c, and pure water is subtracted at the table
//     wavelengths.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/once_notes.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "iop/ac9.hpp"
#include "iop/components.hpp"
#include "iop/data_files.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

constexpr int kOther = 2, kCdom = 3;

bool cdom_mode(const RunState& rs) { return rs.comp.abac9n != 0; }
bool tables_hold_water(const RunState& rs) { return rs.comp.conc_opt(1) == 1; }

void require_water_option(RunState& rs) {
  const int opt = rs.comp.conc_opt(1);
  if (opt == 0 || opt == 1) return;
  rs.pr() << "\nError in sub abacbb:  the pure-water option (record 8, first entry) is" << ff::I(opt, 3)
          << "; it must be 0 (tables referenced to pure water) or 1 (tables hold total a and c)\n";
  herr("abacbb", "pure-water option must be 0 or 1");
}

void require_cdom_role(RunState& rs) {
  if (!cdom_mode(rs) || rs.cmodelopts.icdom() == kCdom) return;
  rs.pr() << "\nError in sub abacbb:  in CDOM mode the CDOM component (record 5) must be 3, not"
          << ff::I(rs.cmodelopts.icdom(), 2) << "\n";
  herr("abacbb", "component indices are not compatible");
}

void describe(RunState& rs) {
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  p << "\n" << i5 << "The IOP routine \"abacbb\" is being used:\n"
    << i5 << "Absorption and scattering coefficients from measured ac-9 absorption and attenuation profiles are used.\n"
    << i8 << "component 1 is pure water\n";
  if (cdom_mode(rs)) {
    p << i8 << "component 2 is particles: ac-9 a minus the filtered-water a, b = c - a\n"
      << i8 << "component 3 is CDOM: a from the ac-9 table of filtered water\n";
  } else {
    p << i8 << "component 2 is everything else: ac-9 a, b = c - a\n";
  }
  p << i5 << "The ac-9 a and c values are read from the file:\n" << i8 << util::rtrim(rs.files.ac9) << "\n";
  if (cdom_mode(rs)) p << i5 << "The filtered-water (CDOM) values are read from the file:\n" << i8 << util::rtrim(rs.files.ac9_cdom) << "\n";
  if (tables_hold_water(rs))
    p << i5 << "The tables hold total a and c: pure-water a and c are subtracted at the table wavelengths\n";
  else
    p << i5 << "The tables are referenced to pure water (they hold everything but water) and are used as they are\n";
  p << i5 << "(Linear interpolation in depth and wavelength between tabulated values; outside the tabulated\n"
    << i5 << " depths and wavelengths the nearest tabulated value is used: constant extrapolation)\n";
}

// Pure water at the table wavelengths, for the subtraction.
void remove_water(RunState& rs, DepthWaveTable& t) {
  VecD aw(1, t.nwav), bw(1, t.nwav);
  double unused = 0.0;
  getongrid1(rs, kTwoSpectra, 10, 0, t.nwav, rs.files.purewater, 0.0, unused, t.wave, aw, bw);
  subtract_pure_water(rs, t, aw, bw);
}

DepthWaveTable load_ac_table(RunState& rs, const std::string& file) {
  DepthWaveTable t = read_depth_wave_table(rs, file, 2);
  if (tables_hold_water(rs)) remove_water(rs, t);
  enforce_c_not_below_a(rs, t);
  return t;
}

bool file_exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(util::native_path(util::rtrim(name)), ec);
}

// The backscattering-meter table, when component 2 takes its phase function
// from it; without the file the constant bb/b of record 12 is used.
void load_backscatter(RunState& rs) {
  Ac9State& s = rs.iopflags.ac9;
  if (rs.comp.pf_opt(kOther) != 2) return;
  if (!file_exists(rs.files.bbmeter)) {
    const std::string line = fmt::format(
        "WARNING (abacbb): no backscattering-meter file {}; the phase function of component 2 is chosen for the "
        "constant bb/b = {:.4f} of record 12 at all depths",
        util::rtrim(rs.files.bbmeter), rs.comp.bbtob(kOther));
    rs.con() << " " << line << "\n";
    rs.pr() << "\n" << ff::X(5) << line << "\n";
    return;
  }
  s.bb = read_depth_wave_table(rs, rs.files.bbmeter, 1);
  require_same_wavelengths(rs, s.ac, s.bb);
  s.have_bb = true;
}

void first_call(RunState& rs, double wavenm, int ncomp) {
  describe(rs);
  require_ncomp(rs, "abacbb", ncomp, cdom_mode(rs) ? kCdom : kOther);
  require_geometric_depth(rs, "abacbb");
  require_water_option(rs);
  require_cdom_role(rs);
  pureh2o(rs, wavenm);
  Ac9State& s = rs.iopflags.ac9;
  s.ac = load_ac_table(rs, rs.files.ac9);
  if (cdom_mode(rs)) {
    s.cdom = load_ac_table(rs, rs.files.ac9_cdom);
    s.have_cdom = true;
  }
  load_backscatter(rs);
  for (int k = 1; k <= kOther; ++k) pntdpf(rs, k);
  rs.iopflags.abacbb_done = true;
}

// Profiles at the table depths for a new wavelength.
void set_wavelength(Ac9State& s, double wavenm) {
  if (wavenm == s.wave_now) return;
  s.a_now = at_wavelength(s.ac, s.ac.v1, wavenm);
  s.c_now = at_wavelength(s.ac, s.ac.v2, wavenm);
  if (s.have_bb) s.bb_now = at_wavelength(s.bb, s.bb.v1, wavenm);
  if (s.have_cdom) s.ag_now = at_wavelength(s.cdom, s.cdom.v1, wavenm);
  s.wave_now = wavenm;
  s.hint_ac = s.hint_bb = s.hint_cdom = 1;
}

// Particle absorption in CDOM mode: what the filtered water does not absorb.
double particle_absorption(RunState& rs, double a, double ag, double depth, double wavenm) {
  if (a >= ag) return a - ag;
  Ac9State& s = rs.iopflags.ac9;
  if (!s.negative_particle_a_warned) {
    const std::string line = fmt::format(
        "WARNING (abacbb): filtered-water a ({:.5f}) exceeds total a ({:.5f}) at {:g} m, {:g} nm; particle a is set "
        "to zero wherever this happens",
        ag, a, depth, wavenm);
    write_once(rs, OnceNote::negative_particle_a, " " + line + "\n", "\n" + ff::X(5) + line + "\n");
  }
  return 0.0;
}

// Chooses the phase function of component 2 for its bb/b at this depth.
PhaseChoice select_phase_function(RunState& rs, double depth, double b) {
  Ac9State& s = rs.iopflags.ac9;
  double& bbtob = rs.comp.bbtob(kOther);
  if (s.have_bb) {
    if (b <= 0.0) return {};  // nothing scatters here: the phase function does not matter
    bbtob = yinterp(s.hint_bb, s.bb.nz, depth, s.bb.z, s.bb_now) / b;
  }
  return selpfbb(rs, bbtob, kOther);
}

}  // namespace

IopValues abacbb(RunState& rs, double depth, double wavenm, int ncomp) {
  if (!rs.iopflags.abacbb_done) first_call(rs, wavenm, ncomp);
  Ac9State& s = rs.iopflags.ac9;
  set_wavelength(s, wavenm);
  const double a = yinterp(s.hint_ac, s.ac.nz, depth, s.ac.z, s.a_now);
  const double c = yinterp(s.hint_ac, s.ac.nz, depth, s.ac.z, s.c_now);
  const PureWater w = current_pure_water(rs, wavenm);
  IopValues v;
  v.a[1] = w.a;
  v.b[1] = w.b;
  v.b[kOther] = std::max(c - a, 0.0);
  if (s.have_cdom) {
    const double ag = yinterp(s.hint_cdom, s.cdom.nz, depth, s.cdom.z, s.ag_now);
    v.a[kCdom] = ag;
    v.a[kOther] = particle_absorption(rs, a, ag, depth, wavenm);
  } else {
    v.a[kOther] = a;
  }
  if (rs.comp.cbbcalc != 0 && rs.comp.pf_opt(kOther) == 2) v.pf[kOther] = select_phase_function(rs, depth, v.b[kOther]);
  const int n = s.have_cdom ? kCdom : kOther;
  for (int k = 1; k <= n; ++k) {
    v.atot += v.a[static_cast<std::size_t>(k)];
    v.btot += v.b[static_cast<std::size_t>(k)];
  }
  return v;
}

}  // namespace abyss
