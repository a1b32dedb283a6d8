// Quad-averaged radiance incident onto the sea surface: the diffuse sky of
// the radiance model, scaled to the diffuse irradiance of the irradiance
// model, plus the direct sun placed as a whole into the quad that holds it.
#include "sky/qasky.hpp"

#include <cmath>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "sky/sky_models.hpp"
#include "sky/sun.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// Quad values in the direction of view (looking towards azimuth s), before
// the 180-degree turn into the direction of travel.
struct ViewedSky {
  Mat value{mxmu, mxphi};
  double eint = 0.0;  // plane irradiance of the unscaled sky
};

// Sun position from date, time and place (sky given by date and time).
void compute_sun_position(RunState& rs) {
  Sky& s = rs.csky;
  const int jday = static_cast<int>(s.jday);
  double zenith = 0.0, azimuth = 0.0;
  sunang(jday, s.gmt, rs.cmisc.raddeg, s.rlon, s.rlat, zenith, azimuth, rs.pr());
  s.suntheta = zenith;
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "The sun's zenith angle is computed from\n"
    << ff::X(10) << "day of year =" << ff::I(jday, 4) << ",  GMT =" << ff::F(s.gmt, 6, 2) << " hours,\n"
    << ff::X(10) << "latitude =" << ff::F(s.rlat, 8, 3) << " deg,  longitude =" << ff::F(s.rlon, 9, 3) << " deg\n"
    << "\n" << ff::X(5) << "The computed solar zenith angle is" << ff::F(zenith, 7, 2) << " degrees\n"
    << ff::X(5) << "The computed solar azimuth angle is" << ff::F(azimuth, 7, 2) << " degrees (clockwise from north)\n"
    << ff::X(5) << "The computed solar azimuth angle is not used by Abyssolver, \n"
    << ff::X(5) << "which places the sun at 0.00 degrees azimuth relative to the downwind direction.\n";
  if (zenith > 90.0) herr("QASKY", "computed solar zenith angle > 90 deg");
}

// One point at the centre of every quad; the cap is the mean of four
// azimuths at its centre cosine.
ViewedSky view_sky(RunState& rs, double& sunzen, double sunaz) {
  const Grid& g = rs.cgrid;
  const GridPhi& gp = rs.cgridphi;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const double pi = rs.cmisc.pi, dphi = 2.0 * pi / nphi;
  ViewedSky v;
  for (int r = 1; r < nmu; ++r) {
    const double viewzen = std::acos(g.bndmu(r - 1) + 0.5 * g.dmu(r));
    for (int s = 1; s <= nphi; ++s) {
      const double viewaz = (s == 1 ? gp.bndphi(nphi) : gp.bndphi(s - 1)) + 0.5 * dphi;
      const double L = skyrad(rs, sunzen, sunaz, viewzen, viewaz);
      v.value(r, s) = dphi * (g.dmu(r) * L) / g.omega(r);
      v.eint += v.value(r, s) * g.fmu(r) * g.omega(r);
    }
  }
  const double capzen = std::acos(g.bndmu(nmu - 1) + 0.5 * g.dmu(nmu));
  double sum = 0.0;
  for (int k = 0; k < 4; ++k) sum += g.dmu(nmu) * skyrad(rs, sunzen, sunaz, capzen, 0.5 * pi * k);
  v.value(nmu, 1) = 0.25 * 2.0 * pi * sum / g.omega(nmu);
  v.eint += v.value(nmu, 1) * g.fmu(nmu) * g.omega(nmu);
  return v;
}

struct Quad {
  int r = 1, s = 1;
};

// The quad that holds the sun (zenith and azimuth in degrees). A sun on a
// band boundary belongs to the band whose lower zenith limit it is.
Quad sun_quad(const RunState& rs, double zen_deg, double az_deg) {
  const Grid& g = rs.cgrid;
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  const double raddeg = rs.cmisc.raddeg;
  Quad q;
  if (zen_deg < std::acos(g.bndmu(1)) * raddeg) {
    q.r = nmu;
    for (int k = 2; k <= nmu; ++k) {
      if (zen_deg >= std::acos(g.bndmu(k)) * raddeg && zen_deg < std::acos(g.bndmu(k - 1)) * raddeg) {
        q.r = k;
        break;
      }
    }
  }
  if (q.r == nmu) return q;
  double az = az_deg + 360.0;
  az -= 360.0 * std::floor(az / 360.0);
  for (int s = 1; s <= nphi; ++s) {
    if (rs.cgridphi.bndphi(s) * raddeg > az) {
      q.s = s;
      break;
    }
  }
  return q;
}

void print_sun_quad(RunState& rs, const Quad& q) {
  const Grid& g = rs.cgrid;
  const double raddeg = rs.cmisc.raddeg;
  const double centre = q.r == rs.cmisc.nmu ? 0.0
                                            : 0.5 * (std::acos(g.bndmu(q.r - 1)) + std::acos(g.bndmu(q.r))) * raddeg;
  rs.pr() << "\n" << ff::X(5) << "The sun is placed in quad Q(r,s) = Q(" << ff::I(q.r, 2) << "," << ff::I(q.s, 2)
          << ") centered at (theta, phi) = (" << ff::F(centre, 6, 3) << "," << ff::F(rs.cgridphi.phi(q.s) * raddeg, 7, 3)
          << ")\n";
}

// Light seen looking towards azimuth s' travels towards s' + 180 degrees.
void store_by_travel_direction(RunState& rs, const ViewedSky& v) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  for (int r = 1; r < nmu; ++r) {
    for (int s = 1; s <= nphi; ++s) {
      int sp = (nphi / 2 + s) % nphi;
      if (sp == 0) sp = nphi;
      rs.sky.radsky(r, s) = v.value(r, sp);
    }
  }
  rs.sky.radsky(nmu, 1) = v.value(nmu, 1);
}

}  // namespace

void qasky(RunState& rs) { qasky(rs, &skyirrad); }

void qasky(RunState& rs, SkyIrradianceModel irradiance) {
  // A run gets its partition from the surface loader, which stops the run
  // when it cannot provide one; until then there is no sky to average.
  if (rs.cmisc.nmu == 0) return;
  if (rs.cmisc.nmu < 2 || rs.cmisc.nphi < 2 || rs.cmisc.nmu > mxmu || rs.cmisc.nphi > mxphi)
    herr("QASKY", "the quad partition is not usable for the sky");
  SkyModelState& m = rs.sky.models;
  const bool first = !m.qasky_done;
  if (first && rs.csky.iskyflag == 3) compute_sun_position(rs);
  double sunzen = rs.csky.suntheta * rs.cmisc.degrad;
  const double sunaz = rs.csky.sunphi * rs.cmisc.degrad;

  ViewedSky v = view_sky(rs, sunzen, sunaz);
  // csky holds the zenith in degrees as given (or as lowered at sunset), so
  // a sun given exactly on a band boundary is compared without rounding.
  const Quad sun = sun_quad(rs, rs.csky.suntheta, rs.csky.sunphi);
  if (first) print_sun_quad(rs, sun);

  double ed_diffuse = 0.0, ed_direct = 0.0;
  irradiance(rs, sunzen, sunaz, ed_diffuse, ed_direct);
  if (v.eint <= 0.0 && ed_diffuse > 0.0)
    rs.pr() << "\n" << ff::X(5) << "WARNING: the sky radiance model is zero over the whole sky;"
            << " the diffuse sky irradiance is lost.\n";
  const double f = v.eint > 0.0 ? ed_diffuse / v.eint : 0.0;
  for (int r = 1; r < rs.cmisc.nmu; ++r)
    for (int s = 1; s <= rs.cmisc.nphi; ++s) v.value(r, s) *= f;
  v.value(rs.cmisc.nmu, 1) *= f;
  // The sun's quad carries exactly Ed(direct) of plane irradiance.
  v.value(sun.r, sun.s) += ed_direct / (rs.cgrid.omega(sun.r) * rs.cgrid.fmu(sun.r));

  store_by_travel_direction(rs, v);
  rs.sky.sun_r = sun.r;
  rs.sky.sun_value = ed_direct / (rs.cgrid.omega(sun.r) * rs.cgrid.fmu(sun.r));
  if (sun.r == rs.cmisc.nmu) {
    rs.sky.sun_s = 1;
  } else {
    rs.sky.sun_s = (rs.cmisc.nphi / 2 + sun.s) % rs.cmisc.nphi;  // the inverse of the storage shift
    if (rs.sky.sun_s == 0) rs.sky.sun_s = rs.cmisc.nphi;
  }
  rs.sky.ed_diffuse(rs.cmisc.jwave) = ed_diffuse;
  rs.sky.ed_direct(rs.cmisc.jwave) = ed_direct;
  m.qasky_done = true;
}

}  // namespace abyss
