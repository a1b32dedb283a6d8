// Case 1 water after Morel and co-workers, with small and large particles:
// pure water, small particles (which carry the particulate absorption),
// large particles, and CDOM that covaries with the particles. Everything is
// driven by the chlorophyll concentration of component 2 (constant or a
// measured profile).
//
//   a_p(l)   = A_p(l) Chl^E_p(l)                   Bricaud et al. 1998, JGR 103:31033
//   a_CDOM(l) = 0.2 a_p(440) exp(-0.014 (l - 440))  ratio of Prieur and Sathyendranath 1981
//                                                   (L&O 26:671, as used by Morel 1988), slope of
//                                                   Bricaud, Morel and Prieur 1981 (L&O 26:43)
//   b_p(l)   = 0.416 Chl^0.766 (l/550)^nu           Loisel and Morel 1998, L&O 43:847;
//                                                   nu of Morel et al. 2002, Appl. Opt. 41:6289
//   b_small  = f b_p, b_large = (1 - f) b_p,  f = 0.5 - 0.25 log10 Chl  (Morel 1988)
//   bb/b     = 0.012 (small), 0.002 (large): bb_p/b_p = 0.002 + 0.01 f (Morel and Maritorena 2001)
#include <algorithm>
#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "iop/data_files.hpp"
#include "iop/newcase1.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {

double scattering_exponent(double chl) {
  if (chl > 2.0) return 0.0;
  return 0.5 * (std::log10(std::max(chl, 0.02)) - 0.3);
}

double small_particle_share(double chl) {
  if (chl <= 0.0) return 1.0;
  return std::clamp(0.5 - 0.25 * std::log10(chl), 0.0, 1.0);
}

TwoParticleIops two_particle_iops(double chl, double wavenm, double ap, double ep, double ap440, double ep440) {
  TwoParticleIops v;
  if (chl <= 0.0) return v;  // no particles, no CDOM that covaries with them
  v.a_p = ap * std::pow(chl, ep);
  v.a_cdom = 0.2 * ap440 * std::pow(chl, ep440) * std::exp(-0.014 * (wavenm - 440.0));
  v.nu = scattering_exponent(chl);
  v.b_p = 0.416 * std::pow(chl, 0.766) * std::pow(wavenm / 550.0, v.nu);
  v.f_small = small_particle_share(chl);
  v.b_small = v.f_small * v.b_p;
  v.b_large = v.b_p - v.b_small;
  return v;
}

namespace {

constexpr int kSmall = 2, kLarge = 3, kCdom = 4;

void require_roles(RunState& rs) {
  const int ichl = rs.cmodelopts.ichl(), icdom = rs.cmodelopts.icdom();
  if (ichl == kSmall && icdom == kCdom) return;
  rs.pr() << "\nError in sub abnewcase1:  the chlorophyll component is" << ff::I(ichl, 2)
          << " and the CDOM component is" << ff::I(icdom, 2) << " (record 5); they must be 2 and 4\n";
  herr("abnewcase1", "component indices are not compatible");
}

void load_coefficients(RunState& rs) {
  NewCase1Tables& t = rs.iopflags.newcase1;
  const std::string dir = rs.cdirnames.data;
  VecD unused{1, mxwave};
  getongrid1(rs, kSpectrum, 10, 2, rs.cmisc.nwave, dir + "ApDat", 440.0, t.ap440, rs.cwave.wave, t.ap, unused);
  getongrid1(rs, kSpectrum, 10, 2, rs.cmisc.nwave, dir + "EpDat", 440.0, t.ep440, rs.cwave.wave, t.ep, unused);
}

// Chlorophyll outside the range where the small-particle share is defined
// is used as it is, with the share held at 0 or 1: said once, on the console
// and in the printout.
void warn_chl_range(RunState& rs, double chl, double depth) {
  NewCase1Tables& t = rs.iopflags.newcase1;
  if (t.chl_range_warned || chl <= 0.0 || (chl >= kChlShareMin && chl <= kChlShareMax)) return;
  t.chl_range_warned = true;
  const std::string line = "WARNING (abnewcase1): Chl =" + ff::PE(chl, 10, 3) + " mg/m^3 at depth" + ff::F(depth, 8, 2) +
                           " m is outside 0.01-100 mg/m^3; the small-particle share is held at " +
                           (chl < kChlShareMin ? "1 (all small)" : "0 (all large)") + " there";
  rs.con() << " " << line << "\n";
  rs.pr() << "\n" << ff::X(5) << line << "\n";
}

void describe(RunState& rs) {
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  p << "\n" << i5 << "The IOP routine \"abnewcase1\" is being used:\n"
    << i5 << "Absorption and scattering coefficients for case 1 water (Morel et al. bio-optical models with small "
             "and large particles) are used.\n"
    << i8 << "component 1 is pure water\n"
    << i8 << "component 2 is small particles (they carry all particulate absorption)\n"
    << i8 << "component 3 is large particles\n"
    << i8 << "component 4 is CDOM that covaries with chlorophyll\n"
    << i5 << "a_p = A_p(wl) Chl^E_p(wl), A_p and E_p from the files ApDat and EpDat (Bricaud et al. 1998)\n"
    << i5 << "a_CDOM = 0.2 a_p(440) exp(-0.014 (wl - 440)) (Prieur and Sathyendranath 1981; Bricaud et al. 1981)\n"
    << i5 << "b_p = 0.416 Chl^0.766 (wl/550)^nu (Loisel and Morel 1998), nu = 0.5 (log10 Chl - 0.3) for "
             "0.02 <= Chl <= 2,\n"
    << i8 << "nu = 0 above Chl = 2, nu held at its Chl = 0.02 value below (Morel et al. 2002)\n"
    << i5 << "small-particle share of b_p: f = 0.5 - 0.25 log10 Chl, held within 0 and 1 (Morel 1988)\n"
    << i5 << "bb/b of small particles" << ff::F(kBbtobSmall, 7, 4) << ", of large particles"
    << ff::F(kBbtobLarge, 7, 4) << ": bb_p/b_p = 0.002 + 0.01 f (Morel and Maritorena 2001)\n"
    << i5 << "The phase functions of components 2 and 3 are the Fournier-Forand functions of these bb/b values;\n"
    << i5 << "the record 12 entries of components 2 to 4 are not used.\n";
}

void chl_table(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "Chlorophyll concentrations at the requested output depths\n\n"
    << ff::X(8) << "depth (m)    Chl (mg/m^3)    small share f    bb_p/b_p\n";
  for (int iz : rs.sel.pirrad) {
    const double z = rs.cgrid.z(iz);
    const double chl = chl_concentration(rs, kSmall, z);
    const double f = small_particle_share(chl);
    p << ff::X(5) << ff::F(z, 12, 3) << ff::F(chl, 16, 4) << ff::F(f, 17, 4)
      << ff::F(kBbtobLarge + (kBbtobSmall - kBbtobLarge) * f, 12, 5) << "\n";
  }
}

void first_call(RunState& rs, double wavenm, int ncomp) {
  describe(rs);
  require_ncomp(rs, "abnewcase1", ncomp, kCdom);
  require_geometric_depth(rs, "abnewcase1");
  require_roles(rs);
  load_coefficients(rs);
  pureh2o(rs, wavenm);
  ComponentOpts& c = rs.comp;
  // Each population keeps one phase function at every depth; only the
  // populations' shares change with chlorophyll.
  c.pf_opt(kSmall) = c.pf_opt(kLarge) = 1;
  c.bbtob(kSmall) = kBbtobSmall;
  c.bbtob(kLarge) = kBbtobLarge;
  c.pf_opt(kCdom) = -1;  // CDOM does not scatter
  c.bbtob(kCdom) = 0.0;
  for (int k = 1; k <= kLarge; ++k) pntdpf(rs, k);
  if (rs.cmisc.iprint >= 0) chl_table(rs);
  rs.iopflags.abnewcase1_done = true;
}

}  // namespace

IopValues abnewcase1(RunState& rs, double depth, double wavenm, int ncomp) {
  if (!rs.iopflags.abnewcase1_done) first_call(rs, wavenm, ncomp);
  NewCase1Tables& t = rs.iopflags.newcase1;
  checkiwav(rs, t.iwave, wavenm);
  const double chl = chl_concentration(rs, kSmall, depth);
  warn_chl_range(rs, chl, depth);
  const TwoParticleIops p = two_particle_iops(chl, wavenm, t.ap(t.iwave), t.ep(t.iwave), t.ap440, t.ep440);
  const PureWater w = current_pure_water(rs, wavenm);
  IopValues v;
  v.a[1] = w.a;
  v.b[1] = w.b;
  v.a[kSmall] = p.a_p;
  v.b[kSmall] = p.b_small;
  v.b[kLarge] = p.b_large;
  v.a[kCdom] = p.a_cdom;
  for (int k = 1; k <= kCdom; ++k) {
    v.atot += v.a[static_cast<std::size_t>(k)];
    v.btot += v.b[static_cast<std::size_t>(k)];
  }
  return v;
}

}  // namespace abyss
