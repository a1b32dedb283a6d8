// Sky radiance shapes and sky irradiance models. The radiance models give only
// the angular shape of the diffuse sky; the quad-averaging rescales it to the
// diffuse irradiance of the irradiance model.
#include "sky/sky_models.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "sky/radtranx.hpp"
#include "util/fortran_format.hpp"

namespace abyss {

// The sky irradiance data file is the first of the five data-file names of
// records 24 to 28 of the run input.
const std::string& sky_data_file(const RunState& rs) { return rs.files.skydata; }

// ---------------------------------------------------------------- cosine sky

// Ed(diffuse) = Rsky Edtotl, the rest arrives as the direct sun.
void cosirrad(RunState& rs, double, double, double& ed_diffuse, double& ed_direct) {
  const Sky& s = rs.csky;
  SkyModelState& m = rs.sky.models;
  if (!m.cosirrad_done) {
    rs.pr() << "\n" << ff::X(5) << "The sky irradiance is specified by the user:\n"
            << ff::X(10) << "Ed(total) = Ed(sun) + Ed(sky) =" << ff::PE(s.Edtotl, 11, 3) << " W/(m^2 nm)\n"
            << ff::X(10) << "Rsky = Ed(sky)/Ed(total) =" << ff::F(s.Rsky, 6, 3) << "\n";
    m.cosirrad_done = true;
  }
  ed_diffuse = s.Rsky * s.Edtotl;
  ed_direct = (1.0 - s.Rsky) * s.Edtotl;
}

// Cardioidal sky L0 (1 + C cos theta); L0 makes its plane irradiance
// 2 pi L0 (C/3 + 1/2) equal the diffuse irradiance Rsky Edtotl.
double cosrad(RunState& rs, double, double, double viewzen, double) {
  const Sky& s = rs.csky;
  SkyModelState& m = rs.sky.models;
  if (!m.cosrad_done) {
    m.cosrad_L0 = s.Rsky * s.Edtotl / (2.0 * rs.cmisc.pi * (s.C / 3.0 + 0.5));
    rs.pr() << "\n" << ff::X(5) << "The sky radiance distribution is the cosine sky L(theta) = L0*(1 + C*cos(theta))\n"
            << ff::X(10) << "with C =" << ff::F(s.C, 7, 3) << " and L0 =" << ff::PE(m.cosrad_L0, 11, 3)
            << " W/(m^2 sr nm)\n";
    m.cosrad_done = true;
  }
  return m.cosrad_L0 * (1.0 + s.C * std::cos(viewzen));
}

// ------------------------------------------------- Harrison and Coombes sky

namespace {

void hcnrad_first_call(RunState& rs, double& sunzen) {
  Sky& s = rs.csky;
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "The sky radiance distribution is the Harrison and Coombes model\n"
    << ff::X(5) << "for a cloud fraction of" << ff::F(s.cloud, 6, 2) << "\n";
  // A value moved is said on the console as well as in the printout.
  auto warn = [&](const std::string& line) {
    p << "\n" << ff::X(5) << line << "\n";
    rs.con() << ff::X(5) << line << "\n";
  };
  if (s.cloud < 0.0) {
    warn("WARNING: CLOUD fraction less than zero!  Set to zero.");
    s.cloud = 0.0;
  } else if (s.cloud > 1.0) {
    warn("WARNING: CLOUD fraction greater than one!  Set to one.");
    s.cloud = 1.0;
  }
  // The clear-sky term has a 1/cos(sun zenith) and no meaning once the sun
  // has set: move the sun to 89 degrees.
  const double pi = 4.0 * std::atan2(1.0, 1.0);
  if (sunzen >= 0.5 * pi) {
    sunzen *= 89.0 / 90.0;
    s.suntheta = sunzen * rs.cmisc.raddeg;
    p << "\n" << ff::X(5) << "The Harrison and Coombes sky radiance model cannot be evaluated at sunset.\n"
      << ff::X(5) << "The solar zenith angle has been adjusted to a position of " << ff::F(s.suntheta, 6, 2)
      << " degrees.\n";
    rs.con() << ff::X(5) << "WARNING: the solar zenith angle has been adjusted to " << ff::F(s.suntheta, 6, 2)
             << " degrees (the Harrison and Coombes sky cannot be evaluated at sunset).\n";
  }
  rs.sky.models.hcnrad_done = true;
}

}  // namespace

// Semi-empirical sky radiance of Harrison and Coombes (1988): a clear-sky
// term with the circumsolar peak and horizon brightening, and an overcast
// term, mixed by the cloud fraction.
double hcnrad(RunState& rs, double& sunzen, double sunaz, double viewzen, double viewaz) {
  if (!rs.sky.models.hcnrad_done) hcnrad_first_call(rs, sunzen);
  const double cts = std::cos(sunzen), ct = std::cos(viewzen);
  double cospsi = cts * ct + std::sqrt(1.0 - cts * cts) * std::sqrt(1.0 - ct * ct) * std::cos(sunaz - viewaz);
  cospsi = std::clamp(cospsi, -1.0, 1.0);  // rounding near the sun
  const double psi = std::acos(cospsi);
  const double clear = (1.63 + 53.7 * std::exp(-5.49 * psi) + 2.04 * cospsi * cospsi * cts) *
                       (1.0 - std::exp(-0.19 / ct)) * (1.0 - std::exp(-0.53 / cts));
  const double overcast = 0.45 + 0.12 * sunzen + 0.43 * ct + 0.72 * std::exp(-1.88 * psi);
  const double cloud = rs.csky.cloud;
  return cloud * overcast + (1.0 - cloud) * clear;
}

// ------------------------------------------------------------ user hooks

double user_skyrad(RunState&, double, double, double, double) { herr("user_skyrad", "subroutine not specified"); }

void user_skyirrad(RunState&, double, double, double&, double&) { herr("user_skyirrad", "subroutine not specified"); }

// ------------------------------------------------------------- dispatch

double skyrad(RunState& rs, double& sunzen, double sunaz, double viewzen, double viewaz) {
  switch (rs.cmodelopts.sky_rad_opt()) {
    case 0: return cosrad(rs, sunzen, sunaz, viewzen, viewaz);
    case 1: return hcnrad(rs, sunzen, sunaz, viewzen, viewaz);
    default: return user_skyrad(rs, sunzen, sunaz, viewzen, viewaz);
  }
}

namespace {

// Measured total irradiance split into diffuse and direct parts in the
// proportion of the clear-sky model.
void datafile_with_model_ratio(RunState& rs, double& ed_diffuse, double& ed_direct) {
  const double ed_total = irradat(rs, sky_data_file(rs));
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "Gregg and Carder values used to get the ratio of diffuse to direct irradiance\n";
  const int j = rs.cmisc.jwave;
  radtranx(rs, rs.cwave.waveb(j), rs.cwave.waveb(j + 1), ed_diffuse, ed_direct);
  SkyModelState& m = rs.sky.models;
  if (!m.datafile_done) {
    m.datafile_done = true;
    return;
  }
  const double sum = ed_direct + ed_diffuse;
  const double g = sum > 0.0 ? ed_direct / sum : 0.0;
  ed_direct = g * ed_total;
  ed_diffuse = ed_total - g * ed_total;
  p << ff::X(5) << "Ratio of direct to total Irradiance as calculated from the Gregg and Carder model:"
    << ff::F(g, 6, 3) << "\n"
    << "\n" << ff::X(5) << "Sky spectral irradiances used by Abyssolver for this run (from datafile and G&C ratio):\n"
    << ff::X(10) << "Ed(diffuse) =" << ff::PE(ed_diffuse, 11, 3) << "\n"
    << ff::X(10) << "Ed(direct) =" << ff::PE(ed_direct, 11, 3) << "\n"
    << ff::X(10) << "Ed(total) =" << ff::PE(ed_total, 11, 3) << "\n";
}

}  // namespace

void skyirrad(RunState& rs, double sunzen, double sunaz, double& ed_diffuse, double& ed_direct) {
  if (rs.cmodelopts.sky_rad_opt() == 0) return cosirrad(rs, sunzen, sunaz, ed_diffuse, ed_direct);
  if (rs.cmodelopts.sky_irr_opt() == 1) return datafile_with_model_ratio(rs, ed_diffuse, ed_direct);
  const int j = rs.cmisc.jwave;
  radtranx(rs, rs.cwave.waveb(j), rs.cwave.waveb(j + 1), ed_diffuse, ed_direct);
}

}  // namespace abyss
