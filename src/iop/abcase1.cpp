// Case 1 water after Gordon and Morel: pure water, pigmented particles whose
// absorption and scattering follow the chlorophyll concentration, and CDOM
// that covaries with chlorophyll.
#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

void chl_table(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "Chlorophyll concentrations at the requested output depths\n\n"
    << ff::X(8) << "depth (m)    Chl (mg/m^3)\n";
  for (int iz : rs.sel.pirrad) {
    const double z = rs.cgrid.z(iz);
    p << ff::X(5) << ff::F(z, 12, 3) << ff::F(abmodel(rs, z)[2], 16, 4) << "\n";
  }
}

void first_call(RunState& rs, int ncomp) {
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  p << "\n" << i5 << "The IOP routine \"abcase1\" is being used:\n"
    << i5 << "Absorption and scattering coefficients for case 1 water (Gordon and Morel bio-optical models) are used.\n"
    << i8 << "component 1 is pure water\n"
    << i8 << "component 2 is pigmented particles\n"
    << i8 << "component 3 is CDOM that covaries with chlorophyll\n";
  pureh2o(rs, rs.cmisc.wavenm);
  pntdpf(rs, 1);
  require_ncomp(rs, "abcase1", ncomp, 2);
  require_geometric_depth(rs, "abcase1");
  IopFlags& f = rs.iopflags;
  f.case1_astar440 = astar_at_440(rs, 2);
  f.case1_pigment_zero = f.case1_astar440 == 0.0;
  pntdpf(rs, 2);
  if (rs.cmisc.iprint >= 0) chl_table(rs);
  f.abcase1_done = true;
}

}  // namespace

void require_ncomp(RunState& rs, const std::string& routine, int ncomp, int want) {
  if (ncomp == want) return;
  rs.pr() << "\nError in sub " << routine << ":  ncomp =" << ff::I(ncomp, 2) << " must equal" << ff::I(want, 2)
          << " for this version\n";
  herr(routine, "# components is not compatible");
}

void require_geometric_depth(RunState& rs, const std::string& routine) {
  if (rs.cmisc.iop == 0) return;
  rs.pr() << "\nError in sub " << routine << ":  called with optical depth: iop =" << ff::I(rs.cmisc.iop, 2) << "\n";
  herr(routine, "depth type is not compatible");
}

IopValues abcase1(RunState& rs, double depth, double wavenm, int ncomp) {
  if (!rs.iopflags.abcase1_done) first_call(rs, ncomp);
  const IopFlags& f = rs.iopflags;
  const double chl = abmodel(rs, depth)[2];
  const double chl65 = std::pow(chl, 0.65);
  const PureWater w = current_pure_water(rs, wavenm);
  IopValues v;
  v.a[1] = w.a;
  v.b[1] = w.b;
  // Pigment absorption (Morel 1988 with the Prieur-Sathyendranath shape):
  // a*(440) = 0.06 Chl^-0.35, spectral shape astar(wavenm)/astar(440).
  v.a[2] = f.case1_pigment_zero ? 0.0 : 0.06 * (astar(rs, 2, wavenm) / f.case1_astar440) * chl65;
  // Yellow matter: 20 % of the pigment absorption at 440 nm, slope 0.014/nm.
  v.a[3] = 0.012 * chl65 * std::exp(-0.014 * (wavenm - 440.0));
  // Particle scattering (Gordon and Morel 1983): b(550) = 0.30 Chl^0.62, 1/wavelength.
  v.b[2] = 0.3 * std::pow(chl, 0.62) * (550.0 / wavenm);
  v.atot = v.a[1] + v.a[2] + v.a[3];
  v.btot = v.b[1] + v.b[2];
  return v;
}

}  // namespace abyss
