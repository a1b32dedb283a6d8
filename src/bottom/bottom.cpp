// Reflecting bottoms: the reflectance, the BRDF, its quad averaging and the
// per-mode bottom operator that starts the upward Riccati passes.
#include "bottom/bottom.hpp"

#include <cmath>
#include <string>

#include "bottom/infbotm.hpp"
#include "bottom/rgrid.hpp"
#include "control/run_state.hpp"
#include "util/fortran_format.hpp"

namespace abyss {

namespace {

void rbottom_first_call(RunState& rs, int ibotm) {
  std::ostream& p = rs.pr();
  if (ibotm == 1) {
    p << "\n     The bottom reflectance R is contant at all wavelengths with  the value: \n"
      << "          R = " << ff::F(rs.cmisc.rbottom, 6, 3) << "\n";
  } else {
    p << "\n     The bottom reflectance R is obtained from measured values read  from a file named:\n"
      << ff::X(5) << rs.files.bottom << "\n"
      << "  (Linear interpolation is used to define R at all wavelengths)\n";
    load_rgrid(rs);
  }
  rs.bot.rbottom_done = true;
}

}  // namespace

double rbottom(RunState& rs, int ibotm, double wavenm) {
  BottomState& b = rs.bot;
  if (!b.rbottom_done) {
    rbottom_first_call(rs, ibotm);
    return rs.cmisc.rbottom;
  }
  if (ibotm == 1) return rs.cmisc.rbottom;
  const double r = b.rgrid(band_index(rs, wavenm));
  if (wavenm != b.rbottom_wave) {
    rs.pr() << "\n     The bottom reflectance at wavelength" << ff::F(wavenm, 6, 1) << " nm is  R =" << ff::F(r, 6, 3)
            << "\n";
    b.rbottom_wave = wavenm;
  }
  rs.cmisc.rbottom = r;
  return r;
}

// Only the Lambertian bottom exists: the BRDF is R/pi whatever the directions.
double brdfbotm(RunState& rs, double, double, double) {
  BottomState& b = rs.bot;
  if (!b.brdf_done) {
    b.brdf_pi = rs.cmisc.surfgeom[0] > 0.0 ? rs.cmisc.surfgeom[0] : rs.cmisc.pi;
    b.brdf_type = rs.cmisc.ibotm;
    b.brdf_done = true;
  }
  return rbottom(rs, b.brdf_type, rs.cmisc.wavenm) / b.brdf_pi;
}

void pntbrdfbotm(RunState& rs) {
  rs.pr() << "\n     The bottom bidirectional reflectance distribution  function (BRDF) is Lambertian:\n"
          << "        BRDF(mu',phi',mu,phi) = R/pi\n";
}

// One sample per quad, at its centre. The reflected radiance in quad (j, s) is
// sum_i L_i BR(i, j, s), with the incident quads in azimuth band 1.
void qabrrf(RunState& rs) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const double twopi = 2.0 * rs.cmisc.pi;
  const Grid& g = rs.cgrid;
  const GridPhi& gp = rs.cgridphi;
  BottomState& b = rs.bot;
  std::fill(b.br.begin(), b.br.end(), 0.0);
  auto dphi = [&](int band) { return band == nmu ? twopi : twopi / nphi; };
  const double phi_in = gp.bndphi(nphi) + 0.5 * dphi(1);  // incident azimuth band 1 starts at bndphi(nphi)
  for (int j = 1; j <= nmu; ++j) {
    const double muj = g.bndmu(j - 1) + 0.5 * g.dmu(j);
    const int ns = (j == nmu) ? 1 : nphi;
    for (int i = 1; i <= nmu; ++i) {
      const double mui = g.bndmu(i - 1) + 0.5 * g.dmu(i);
      const double weight = g.dmu(j) * dphi(j) * g.dmu(i) * dphi(i) / g.omega(j);
      for (int s = 1; s <= ns; ++s) b.BR(i, j, s) = weight * brdfbotm(rs, mui, phi_in, muj) * mui;
    }
  }
}

void botmbc(RunState& rs, int l) {
  Mat& bc = rs.bot.cbotbc;
  if (rs.cmisc.ibotm == 0) {
    infbotm(rs, l);
    return;
  }
  bc.zero();
  if (rs.cmisc.ibotm < 0) return;
  BottomState& b = rs.bot;
  if (rs.cmisc.wavenm != b.br_wave) {
    qabrrf(rs);
    b.br_wave = rs.cmisc.wavenm;
  }
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  for (int j = 1; j < nmu; ++j)
    for (int i = 1; i < nmu; ++i) {
      double acc = 0.0;
      for (int s = 1; s <= nphi; ++s) acc += std::cos(l * rs.cgridphi.phi(s)) * b.BR(i, j, s);
      bc(i, j) = acc;
    }
  if (l != 0) return;  // the polar cap feeds only the azimuthally averaged mode
  for (int i = 1; i < nmu; ++i) {
    bc(i, nmu) = nphi * b.BR(i, nmu, 1);
    double acc = 0.0;
    for (int s = 1; s <= nphi; ++s) acc += b.BR(nmu, i, s);
    bc(nmu, i) = acc / nphi;
  }
  bc(nmu, nmu) = b.BR(nmu, nmu, 1);
}

void pntbc(RunState& rs) {
  const int ibotm = rs.cmisc.ibotm;
  std::ostream& p = rs.pr();
  if (ibotm == 0) {
    p << "\n     The water column is infinitely deep below the deepest output depth:  the water below\n"
      << "     that depth is homogeneous, with the IOPs found there.\n";
    return;
  }
  if (ibotm < 0) {
    p << "\n     No bottom boundary is applied (bottom type" << ff::I(ibotm, 3) << ").\n";
    return;
  }
  p << "\n     The bottom is an opaque reflecting surface at the deepest output depth.\n";
  rbottom(rs, ibotm, rs.cmisc.wavenm);
  pntbrdfbotm(rs);
}

}  // namespace abyss
