// Absorption by chlorophyll-bearing particles and by CDOM, pure water, the
// backscatter-fraction power law, and the user hooks of the absorbers.
#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "iop/components.hpp"
#include "iop/data_files.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

void achlz_first_call(RunState& rs, int ichl) {
  if (rs.comp.conc_opt(ichl) == 0)
    rs.pr() << "\n" << ff::X(5) << "The Chlorophyll concentration is constant with depth with a value of"
            << ff::F(rs.comp.constconc(ichl), 8, 3) << " mg/m^3\n";
  // The normalised (Prieur-Sathyendranath) spectrum is scaled by its value
  // at 440 nm, taken once.
  if (rs.comp.astar_opt(ichl) == 3) rs.iopflags.achlz_astar440 = astar_at_440(rs, ichl);
  rs.iopflags.achlz_first_done = true;
}

void acdom_first_call(RunState& rs, int icdom) {
  std::ostream& p = rs.pr();
  const std::string i5 = ff::X(5);
  if (icdom > 0) {
    const ComponentOpts& c = rs.comp;
    if (c.astar_opt(icdom) == -2) {
      p << "\n" << i5 << "CDOM absorption will covary with chlorophyll according to a Case 1 model\n";
    } else if (c.conc_opt(icdom) == 0) {
      p << "\n" << i5 << "The CDOM absorption at each wavelength is constant with depth with a value of "
        << ff::F(c.constconc(icdom), 8, 2) << " (1/m)\n";
    } else if (c.conc_opt(icdom) == 1) {
      p << "\n" << i5 << "A subroutine will be called to provide aCDOM as a function of depth and wavelength\n";
    }
  }
  rs.iopflags.acdom_first_done = true;
}

// CDOM absorption from a model that computes every component itself (the
// two-particle Case 1 model, or the ac-9 model in its CDOM mode).
double acdom_from_model(RunState& rs, int icdom, double depth, double wavenm) {
  const int saved = rs.comp.cbbcalc;
  rs.comp.cbbcalc = 0;  // only a is wanted: no phase-function selection
  IopValues v = abscat(rs, depth, wavenm, 3);
  rs.comp.cbbcalc = saved;
  return v.a[static_cast<std::size_t>(std::max(icdom, 1))];
}

}  // namespace

double chl_concentration(RunState& rs, int ichl, double depth) {
  switch (rs.comp.conc_opt(ichl)) {
    case 0: return rs.comp.constconc(ichl);
    case 2: return chlzdata(rs, ichl, depth);
    default:
      rs.pr() << "\n achlz: chlorophyll component" << ff::ld(static_cast<long long>(ichl)) << "\n";
      herr("achlz", "OPTION not supported");
  }
}

double astar_at_440(RunState& rs, int icomp) {
  const double v = astar(rs, icomp, 440.0);
  if (std::abs(v) >= 1.0e-7) return v;
  rs.pr() << "\n" << ff::X(5) << "Astar for component" << ff::I(icomp, 2) << " is zero at reference wavelength 440 nm.\n"
          << ff::X(5) << "(used to normalize absorption)\n"
          << ff::X(5) << "The pigment absorption is set to zero at all depths and wavelengths.\n";
  return 0.0;
}

double achlz(RunState& rs, double depth, double wavenm) {
  const int ichl = rs.cmodelopts.ichl();
  if (ichl <= 0) return 0.0;
  if (rs.comp.conc_opt(ichl) == 1) return user_achlz(rs, depth, wavenm);
  if (rs.cmodelopts.model() == 4 && rs.iopflags.abnewcase1_done)
    return abnewcase1(rs, depth, wavenm, rs.cmisc.ncomp).a[2];
  if (!rs.iopflags.achlz_first_done) achlz_first_call(rs, ichl);
  const double chl = chl_concentration(rs, ichl, depth);
  if (rs.comp.astar_opt(ichl) != 3) return astar(rs, ichl, wavenm) * chl;
  const double a440 = rs.iopflags.achlz_astar440;
  if (a440 == 0.0) return 0.0;
  // Morel's nonlinear pigment absorption: a*(440) = 0.06 Chl^-0.35.
  return 0.06 * (astar(rs, ichl, wavenm) / a440) * std::pow(chl, 0.65);
}

double acdomsub(RunState& rs, double depth, double wavenm) {
  const int icdom = rs.cmodelopts.icdom(), model = rs.cmodelopts.model();
  if (icdom <= 0 && model != 1) return 0.0;
  if (!rs.iopflags.acdom_first_done) acdom_first_call(rs, icdom);
  if (model == 4 || (model == 3 && rs.comp.abac9n != 0)) return acdom_from_model(rs, icdom, depth, wavenm);
  // Case 1: yellow matter absorbs 20 % of the pigments at 440 nm, with an
  // exponential slope of 0.014 per nm (Bricaud, Morel and Prieur 1981).
  if (model == 1) return 0.2 * achlz(rs, depth, 440.0) * std::exp(-0.014 * (wavenm - 440.0));
  const ComponentOpts& c = rs.comp;
  if (c.astar_opt(icdom) == -2) {
    const double w0 = c.astar_wave0(icdom);
    return c.astar_A(icdom) * achlz(rs, depth, w0) * std::exp(-c.astar_S(icdom) * (wavenm - w0));
  }
  double ref = 0.0;  // CDOM absorption at the reference wavelength (1/m)
  switch (c.conc_opt(icdom)) {
    case 0: ref = c.constconc(icdom); break;
    case 1: return user_acdomsub(rs, depth, wavenm);
    case 2: ref = cdomdata(rs, icdom, depth); break;
    default:
      rs.pr() << "\n acdomsub: CDOM component" << ff::ld(static_cast<long long>(icdom)) << "\n";
      herr("acdomsub", "OPTION not supported");
  }
  return astar(rs, icdom, wavenm) * ref;
}

PureWater pureh2o(RunState& rs, double wavenm) {
  IopFlags& f = rs.iopflags;
  if (!f.purewater_loaded) {
    const std::string& file = rs.files.purewater;
    rs.pr() << "\n" << ff::X(5) << "Pure water a and b values are obtained from the file:\n"
            << ff::X(8) << util::rtrim(file) << "\n"
            << ff::X(5) << "(Linear interpolation is used to define values at all wavelengths)\n";
    double unused = 0.0;
    getongrid1(rs, kTwoSpectra, 10, 2, rs.cmisc.nwave, file, 0.0, unused, rs.cwave.wave, f.aw, f.bw);
    f.purewater_loaded = true;
  }
  checkiwav(rs, f.pw_iwave, wavenm);
  PureWater w{f.aw(f.pw_iwave), f.bw(f.pw_iwave), 0.0};
  w.c = w.a + w.b;
  return w;
}

PureWater current_pure_water(RunState& rs, double wavenm) {
  IopFlags& f = rs.iopflags;
  if (wavenm != f.pw_wave) {
    PureWater w = pureh2o(rs, wavenm);
    f.pw_a = w.a;
    f.pw_b = w.b;
    f.pw_wave = wavenm;
  }
  return {f.pw_a, f.pw_b, f.pw_a + f.pw_b};
}

void bfcalc(RunState& rs, int icomp, double wavenm, double& bbtob) {
  const ComponentOpts& c = rs.comp;
  bbtob = c.bb_coef(icomp) * std::pow(c.bb_wave0(icomp) / wavenm, c.bb_expo(icomp));
  selpfbb(rs, bbtob, icomp);
}

double user_achlz(RunState&, double, double) { herr("user_achlz", "subroutine not specified"); }
double user_acdomsub(RunState&, double, double) { herr("user_acdomsub", "subroutine not specified"); }

}  // namespace abyss
