// Specific absorption astar and specific scattering bstar of a component:
// tabulated spectra read from standard data files, or analytic models
// (exponential absorption, power-law or linear scattering, constants).
#include <cmath>

#include "control/run_state.hpp"
#include "iop/components.hpp"
#include "iop/data_files.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

std::string f64(double v) { return ff::F(v, 6, 4); }
std::string wl(double v) { return ff::F(v, 4, 0); }

// The list-directed report of an option this routine does not know.
void invalid_option(RunState& rs, const std::string& label, int icomp, int opt) {
  rs.pr() << " " << label << ff::ld(static_cast<long long>(icomp)) << " Invalid option"
          << ff::ld(static_cast<long long>(opt)) << "\n";
}

// Loads a component's spectrum file onto the run's wavelengths, and the value
// at its reference wavelength wave0 (exactly, not at the nearest band).
void load_spectrum(RunState& rs, SpecificSpectrum& s, const std::string& file, double wave0) {
  VecD unused(1, mxwave);
  getongrid1(rs, kSpectrum, 10, 0, rs.cmisc.nwave, file, wave0, s.at_wave0, rs.cwave.wave, s.grid, unused);
}

// A tabulated spectrum at wavenm: the exact reference value within 1.0e-4 nm
// of wave0, otherwise the value at the nearest run wavelength.
double tabulated(const RunState& rs, SpecificSpectrum& s, double wave0, double wavenm) {
  if (std::abs(wavenm - wave0) <= 1.0e-4) return s.at_wave0;
  checkiwav(rs, s.iwave, wavenm);
  return s.grid(s.iwave);
}

void astar_first_use(RunState& rs, int k) {
  const ComponentOpts& c = rs.comp;
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  const std::string& file = c.astar_file[static_cast<std::size_t>(k)];
  switch (c.astar_opt(k)) {
    case 0:
      p << "\n" << i5 << "Specific Absorption for component" << ff::I(k, 2) << " read in from file: " << util::rtrim(file) << "\n";
      load_spectrum(rs, rs.iopflags.astar[static_cast<std::size_t>(k)], file, c.astar_wave0(k));
      break;
    case 3:
      p << "\n" << i5 << "Absorption for component" << ff::I(k, 2) << " calculated from the Prieur-Sathyenranath-Morel model\n";
      load_spectrum(rs, rs.iopflags.astar[static_cast<std::size_t>(k)], file, c.astar_wave0(k));
      break;
    case 4:
      p << "\n" << i5 << "Specific Absorption for component" << ff::I(k, 2) << " calculated from an Exponential model:\n"
        << i8 << "astar(waven) = " << f64(c.astar_A(k)) << "* exp[ -" << f64(c.astar_S(k)) << "*(waven - "
        << wl(c.astar_wave0(k)) << ")]\n";
      break;
    case 6:
      p << "\n" << i5 << "Specific Absorption for component" << ff::I(k, 2) << "assumed constant:\n"
        << i8 << "astar = " << f64(c.astar_A(k)) << "\n";
      break;
    case -2: case -1: case 1: case 2: case 5:
      break;
    default:
      invalid_option(rs, "ASTAR: component #", k, c.astar_opt(k));
  }
}

// The "b = B X^(X) * ..." line of the power-law models (options 1 and 4).
std::string power_law_line(const ComponentOpts& c, int k, const std::string& lhs) {
  return lhs + " = " + f64(c.bstar_B(k)) + " X^(" + f64(c.bstar_X(k)) + ") * (" + wl(c.bstar_wave0(k)) + "/wavenm)^(" +
         f64(c.bstar_n(k)) + ")";
}

void bstar_first_use(RunState& rs, int k) {
  const ComponentOpts& c = rs.comp;
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  const std::string& file = c.bstar_file[static_cast<std::size_t>(k)];
  switch (c.bstar_opt(k)) {
    case 0:
      p << "\n" << i5 << "Specific scattering for component" << ff::I(k, 2) << " read in from file: " << util::rtrim(file) << "\n";
      load_spectrum(rs, rs.iopflags.bstar[static_cast<std::size_t>(k)], file, c.bstar_wave0(k));
      break;
    case 1:
      p << "\n" << i5 << "Scattering for component" << ff::I(k, 2) << " calculated using a Power Law model\n"
        << i8 << power_law_line(c, k, "b") << "\n";
      break;
    case 2:
      p << "\n" << i5 << "Scattering for component" << ff::I(k, 2) << " calculated using a Linear model:\n"
        << i8 << "b = " << f64(c.bstar_B(k)) << " X^(" << f64(c.bstar_X(k)) << ") * (m*wavenm + i)/(m*wave0 + i), where\n"
        << i8 << "wave0 = " << wl(c.bstar_wave0(k)) << ", m = " << f64(c.bstar_m(k)) << " and i = " << f64(c.bstar_i(k)) << "\n";
      break;
    case 3:
      p << "\n" << i5 << "Scattering for component" << ff::I(k, 2) << " assumed constant:\n"
        << i8 << "b = " << f64(c.bstar_B(k)) << "\n";
      break;
    case 4:
      p << "\n" << i5 << "Scattering for component" << ff::I(k, 2) << " calculated from b = c - a, using a Power Law model\n"
        << i8 << power_law_line(c, k, "c") << "\n";
      break;
    case -1:
      break;
    default:
      invalid_option(rs, "bstar: component #", k, c.bstar_opt(k));
  }
}

}  // namespace

double astar(RunState& rs, int icomp, double wavenm) {
  SpecificSpectrum& s = rs.iopflags.astar[static_cast<std::size_t>(icomp)];
  if (!s.first_done) {
    astar_first_use(rs, icomp);
    s.first_done = true;
  }
  const ComponentOpts& c = rs.comp;
  switch (c.astar_opt(icomp)) {
    case 0:
    case 3: return tabulated(rs, s, c.astar_wave0(icomp), wavenm);
    case 4: return c.astar_A(icomp) * std::exp(-c.astar_S(icomp) * (wavenm - c.astar_wave0(icomp)));
    case 6: return c.astar_A(icomp);
    default: return 1.0;
  }
}

double bstar(RunState& rs, int icomp, double wavenm) {
  SpecificSpectrum& s = rs.iopflags.bstar[static_cast<std::size_t>(icomp)];
  if (!s.first_done) {
    bstar_first_use(rs, icomp);
    s.first_done = true;
  }
  const ComponentOpts& c = rs.comp;
  const double B = c.bstar_B(icomp), w0 = c.bstar_wave0(icomp);
  switch (c.bstar_opt(icomp)) {
    case 0: return tabulated(rs, s, w0, wavenm);
    case 1:
    case 4: return B * std::pow(w0 / wavenm, c.bstar_n(icomp));
    case 2: {
      const double m = c.bstar_m(icomp), i = c.bstar_i(icomp);
      return B * (m * wavenm + i) / (m * w0 + i);
    }
    case 3: return B;
    case -1: return 0.0;
    default: return 1.0;
  }
}

}  // namespace abyss
