// Clear-sky spectral irradiance just above the sea surface, averaged over a
// band: Gregg and Carder (1990) with the Navy aerosol and the Kasten and
// Czeplak cloud correction.
//
// The sun and atmosphere come from record 18 (rs.cgcirr1), the sun's zenith
// and the cloud cover from the sky record (rs.csky), the current wind from
// record 19. The first call reads the data base, settles the sun (sunang
// when the zenith is given as -99) and the ozone (the climatology when
// record 18 gives none), checks the inputs and describes the model in the
// printout.
#include "sky/radtranx.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "sky/radtranx_dbase.hpp"
#include "sky/radtranx_model.hpp"
#include "sky/sun.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {

namespace {

constexpr const char* kRoutine = "RADTRANX";
constexpr double kZenithFlag = -99.0;

int day_of_year(const ClearSkyInput& in) { return static_cast<int>(in.jday); }

// Record 18 values outside the model's domain stop the run: the Navy
// aerosol knows air-mass types 1 to 10 only, a zero visibility or pressure
// has no meaning, and the sun position and the ozone lookup need a real
// place on Earth.
void check_inputs(RunState& rs) {
  const ClearSkyInput& in = rs.cgcirr1;
  auto fail = [&](const std::string& what, double v) {
    rs.pr() << "\n ERROR in the clear-sky atmosphere (record 18/19): " << what << " =" << ff::ld(v) << "\n";
    herr(kRoutine, "invalid " + what + " for the clear-sky irradiance model");
  };
  if (day_of_year(in) < 1 || day_of_year(in) > 366) fail("day of year", in.jday);
  if (!(std::abs(in.rlat) <= 90.0)) fail("latitude (deg)", in.rlat);
  if (!(std::abs(in.rlon) <= 360.0)) fail("longitude (deg)", in.rlon);
  if (!(in.pressure > 0.0)) fail("surface pressure (mb)", in.pressure);
  if (!(in.am >= 1.0 && in.am <= 10.0)) fail("air-mass type (1 to 10)", in.am);
  if (!(in.rh >= 0.0 && in.rh <= 100.0)) fail("relative humidity (%)", in.rh);
  if (!(in.wv >= 0.0)) fail("precipitable water (cm)", in.wv);
  if (!(in.vis > 0.0)) fail("visibility (km)", in.vis);
  if (!(in.wsm >= 0.0)) fail("24-hour mean wind speed (m/s)", in.wsm);
  if (!(rs.cmisc.windspd >= 0.0)) fail("wind speed (m/s)", rs.cmisc.windspd);
}

bool zenith_is_computed(const RunState& rs) { return rs.csky.suntheta == kZenithFlag; }

double zenith(const RunState& rs) { return zenith_is_computed(rs) ? rs.rtx.computed_zenith : rs.csky.suntheta; }

void settle_sun(RunState& rs) {
  if (!zenith_is_computed(rs)) return;
  double az = 0.0;
  sunang(day_of_year(rs.cgcirr1), rs.csky.gmt, rs.cmisc.raddeg, rs.cgcirr1.rlon, rs.cgcirr1.rlat,
         rs.rtx.computed_zenith, az, rs.pr());
}

// The climatology is monthly, so day 366 (31 December of a leap year) is
// asked as day 365.
void settle_ozone(RunState& rs) {
  const ClearSkyInput& in = rs.cgcirr1;
  rs.rtx.ozone_from_climatology = !(in.ro3 > 0.0);
  rs.rtx.ozone_du = rs.rtx.ozone_from_climatology ? get_o3_climat(rs, std::min(day_of_year(in), 365), in.rlat, in.rlon)
                                                  : in.ro3;
}

rtx::AerosolInput aerosol_input(const RunState& rs) {
  const ClearSkyInput& in = rs.cgcirr1;
  return {in.am, std::min(in.rh, rtx::kMaxRh), in.wsm, rs.cmisc.windspd, in.vis};
}

// "        label......field unit": labels padded to 28 characters.
std::string labelled(const std::string& label, const std::string& field, const std::string& unit) {
  std::string s = ff::X(8) + label;
  s.resize(std::max<std::size_t>(s.size(), 36), ' ');
  s += field;
  if (!unit.empty()) s += " " + unit;
  return s + "\n";
}

std::string value_line(const std::string& label, double v, int w, int d, const std::string& unit) {
  return labelled(label, ff::F(v, w, d), unit);
}

void describe(RunState& rs) {
  const ClearSkyInput& in = rs.cgcirr1;
  const RadtranxState& st = rs.rtx;
  const rtx::Aerosol aer = rtx::navy_aerosol(aerosol_input(rs));
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "The clear-sky irradiance is computed with the Gregg and Carder (1990) maritime model\n"
    << ff::X(5) << "(RADTRANX), the Navy aerosol model and the Kasten and Czeplak (1980) cloud correction.\n"
    << ff::X(8) << "Spectral data base: " << util::rtrim(rs.gcifname) << " (" << st.table.first_nm << " to "
    << st.table.last_nm() << " nm, 1-nm steps)\n";
  p << labelled("day of year", ff::I(day_of_year(in), 10), "");
  p << value_line("solar zenith angle", zenith(rs), 10, 2,
                  zenith_is_computed(rs) ? "deg (computed from day, GMT, latitude and longitude)" : "deg");
  p << value_line("surface pressure", in.pressure, 10, 2, "mb");
  p << value_line("air-mass type", in.am, 10, 2, "");
  p << value_line("relative humidity", std::min(in.rh, rtx::kMaxRh), 10, 2, "%");
  p << value_line("precipitable water", in.wv, 10, 2, "cm");
  p << value_line("visibility", in.vis, 10, 2, "km");
  p << value_line("wind speed", rs.cmisc.windspd, 10, 2, "m/s");
  p << value_line("24-hour mean wind speed", in.wsm, 10, 2, "m/s");
  p << value_line("total ozone", st.ozone_du, 10, 2,
                  st.ozone_from_climatology ? "DU (from the ozone climatology)" : "DU (given)");
  p << value_line("cloud fraction", std::clamp(rs.csky.cloud, 0.0, 1.0), 10, 2, "");
  p << value_line("aerosol Angstrom exponent", aer.alpha, 10, 4, "");
  p << value_line("aerosol optical depth 550nm", aer.tau550, 10, 4, "");
  p << value_line("aerosol s.s. albedo", aer.omega, 10, 4, "");
  p << value_line("aerosol asymmetry", aer.g, 10, 4, "");
  if (zenith(rs) >= 90.0) p << ff::X(8) << "The sun is below the horizon: the clear-sky irradiances are zero.\n";
}

void first_call(RunState& rs) {
  check_inputs(rs);
  rs.rtx.table = read_radtranx_dbase(rs.gcifname);
  settle_sun(rs);
  settle_ozone(rs);
  describe(rs);
  rs.rtx.first_call = false;
}

// Whole nanometres inside [wl1, wl2], both ends included, so that the
// samples sit symmetrically about the centre of a band with whole or half
// nm limits (a 1-nm band 549.5..550.5 is the single value at 550). A band
// too narrow to hold a whole nm takes the value at its centre.
struct Samples {
  double first = 0.0, last = 0.0;  // 1-nm steps from first to last
};

Samples band_samples(double wl1, double wl2) {
  constexpr double eps = 1.0e-9;
  const double k1 = std::ceil(wl1 - eps), k2 = std::floor(wl2 + eps);
  if (k2 >= k1) return {k1, k2};
  const double c = 0.5 * (wl1 + wl2);
  return {c, c};
}

void check_band(const RunState& rs, double wl1, double wl2, const Samples& s) {
  const RadtranxTable& t = rs.rtx.table;
  if (s.first >= t.first_nm && s.last <= t.last_nm()) return;
  herr(kRoutine, fmt::format("band {:.1f} to {:.1f} nm lies outside the clear-sky data base ({} to {} nm)", wl1, wl2,
                             t.first_nm, t.last_nm()));
}

// Band average of the spectral model with the sun at zenith angle theta.
rtx::Irradiance band_average(const RunState& rs, double theta, double wl1, double wl2) {
  const Samples s = band_samples(wl1, wl2);
  check_band(rs, wl1, wl2, s);
  const rtx::Aerosol aer = rtx::navy_aerosol(aerosol_input(rs));
  const rtx::Geometry geo = rtx::geometry(theta, rs.cgcirr1.pressure, aer);
  const rtx::Gases gas{rs.rtx.ozone_du / 1000.0, rs.cgcirr1.wv};
  const double distance = rtx::earth_sun_factor(day_of_year(rs.cgcirr1));
  rtx::Irradiance sum;
  int n = 0;
  for (double wl = s.first; wl <= s.last; wl += 1.0, ++n) {
    rtx::Spectral sp = radtranx_spectral(rs.rtx.table, wl);
    sp.h0 *= distance;
    const rtx::Irradiance e = rtx::cloud_correction(rtx::clear_sky(sp, geo, aer, gas), rs.csky.cloud);
    sum.diffuse += e.diffuse;
    sum.direct += e.direct;
  }
  return {sum.direct / n, sum.diffuse / n};
}

void print_band(RunState& rs, double wl1, double wl2, const rtx::Irradiance& e) {
  rs.pr() << ff::X(8) << "Clear-sky irradiances of the band" << ff::F(wl1, 7, 1) << " to" << ff::F(wl2, 7, 1)
          << " nm [W/(m^2 nm)]:\n"
          << ff::X(11) << "Ed(diffuse) =" << ff::PE(e.diffuse, 11, 3) << ff::X(3) << "Ed(direct) ="
          << ff::PE(e.direct, 11, 3) << "\n";
}

}  // namespace

void radtranx(RunState& rs, double wl1, double wl2, double& ed_diffuse, double& ed_direct) {
  const bool first = rs.rtx.first_call;
  if (first) first_call(rs);
  const double theta = zenith(rs);
  // The air-mass laws break down below the horizon: no light there.
  const rtx::Irradiance e = theta >= 90.0 ? rtx::Irradiance{} : band_average(rs, theta, wl1, wl2);
  if (first) print_band(rs, wl1, wl2, e);
  ed_diffuse = e.diffuse;
  ed_direct = e.direct;
}

}  // namespace abyss
