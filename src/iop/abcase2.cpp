// Case 1 or Case 2 water as four components: pure water, chlorophyll-bearing
// particles, CDOM and mineral particles. Each component's absorption is its
// specific absorption times its concentration (the chlorophyll and CDOM
// absorbers through achlz and acdomsub, so that every option of those
// routines is available), and its scattering is bstar(wavelength) * C^X.
#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

constexpr int kChl = 2, kCdom = 3, kMineral = 4;

// The model fixes the roles of the components; the run input must name them
// the same way, since achlz and acdomsub find their components by index.
void require_roles(RunState& rs) {
  const int ichl = rs.cmodelopts.ichl(), icdom = rs.cmodelopts.icdom();
  if (ichl == kChl && icdom == kCdom) return;
  rs.pr() << "\nError in sub abcase2:  the chlorophyll component is" << ff::I(ichl, 2) << " and the CDOM component is"
          << ff::I(icdom, 2) << " (record 5); they must be 2 and 3\n";
  herr("abcase2", "component indices are not compatible");
}

// Scattering of particle component k with concentration conc: bstar * C^X,
// or, for option 4, the beam attenuation so computed minus the absorption.
double scattering(RunState& rs, int k, double wavenm, double conc, double a) {
  if (conc <= 0.0) return 0.0;  // no particles, no scattering (even with X = 0)
  const double v = bstar(rs, k, wavenm) * std::pow(conc, rs.comp.bstar_X(k));
  if (rs.comp.bstar_opt(k) != 4) return v;
  if (v >= a) return v - a;
  if (!rs.iopflags.case2_negative_b_warned) {
    rs.pr() << "\n" << ff::X(5) << "WARNING (abcase2): for component" << ff::I(k, 2) << " the attenuation c ="
            << ff::PE(v, 11, 3) << " is less than the absorption a =" << ff::PE(a, 11, 3) << " at"
            << ff::F(wavenm, 7, 1) << " nm;\n"
            << ff::X(5) << "b = c - a is set to zero wherever this happens.\n";
    rs.iopflags.case2_negative_b_warned = true;
  }
  return 0.0;
}

IopValues evaluate(RunState& rs, double depth, double wavenm) {
  const Concentrations conc = abmodel(rs, depth);
  const PureWater w = current_pure_water(rs, wavenm);
  IopValues v;
  v.a[1] = w.a;
  v.b[1] = w.b;
  v.a[kChl] = achlz(rs, depth, wavenm);
  v.a[kCdom] = acdomsub(rs, depth, wavenm);
  v.a[kMineral] = astar(rs, kMineral, wavenm) * conc[kMineral];
  for (int k = kChl; k <= kMineral; ++k) {
    const auto ks = static_cast<std::size_t>(k);
    v.b[ks] = scattering(rs, k, wavenm, conc[ks], v.a[ks]);
  }
  for (int k = 1; k <= kMineral; ++k) {
    v.atot += v.a[static_cast<std::size_t>(k)];
    v.btot += v.b[static_cast<std::size_t>(k)];
  }
  return v;
}

void concentration_table(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "Concentrations at the requested output depths\n\n"
    << ff::X(8) << "depth (m)    Chl (mg/m^3)   aCDOM ref (1/m)   mineral (g/m^3)\n";
  for (int iz : rs.sel.pirrad) {
    const double z = rs.cgrid.z(iz);
    const Concentrations c = abmodel(rs, z);
    p << ff::X(5) << ff::F(z, 12, 3) << ff::F(c[kChl], 16, 4) << ff::F(c[kCdom], 18, 4) << ff::F(c[kMineral], 18, 4)
      << "\n";
  }
}

void first_call(RunState& rs, double wavenm, int ncomp) {
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  p << "\n" << i5 << "The IOP routine \"abcase2\" is being used:\n"
    << i5 << "Absorption and scattering coefficients for case 1 or case 2 water (four-component model) are used.\n"
    << i8 << "component 1 is pure water\n"
    << i8 << "component 2 is chlorophyll-bearing particles\n"
    << i8 << "component 3 is CDOM\n"
    << i8 << "component 4 is mineral particles\n"
    << i5 << "Absorption a = astar(wavelength) * C; scattering b = bstar(wavelength) * C^X\n";
  require_ncomp(rs, "abcase2", ncomp, kMineral);
  require_geometric_depth(rs, "abcase2");
  require_roles(rs);
  pureh2o(rs, wavenm);
  pntdpf(rs, 1);
  // One evaluation at the surface writes each building block's description
  // (concentration sources, specific absorption and scattering) once.
  evaluate(rs, 0.0, wavenm);
  for (int k = kChl; k <= kMineral; ++k) {
    if (rs.comp.bstar_opt(k) != -1)
      p << "\n" << i5 << "Component" << ff::I(k, 2) << ": concentration exponent of scattering X ="
        << ff::F(rs.comp.bstar_X(k), 7, 4) << "\n";
    pntdpf(rs, k);
  }
  if (rs.cmisc.iprint >= 0) concentration_table(rs);
  rs.iopflags.abcase2_done = true;
}

}  // namespace

IopValues abcase2(RunState& rs, double depth, double wavenm, int ncomp) {
  if (!rs.iopflags.abcase2_done) first_call(rs, wavenm, ncomp);
  return evaluate(rs, depth, wavenm);
}

}  // namespace abyss
