// Sun position from date, time and place, and the monthly total-ozone
// climatology used by the clear-sky irradiance model.
#include "sky/sun.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "control/run_state.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"

namespace abyss {

// Declination and equation of time as Fourier series in the day angle
// (Spencer-type fits), then the spherical-astronomy zenith and azimuth.
void sunang(int jday, double gmt, double raddeg, double rlon, double rlat, double& zenith, double& azimuth,
            std::ostream& printout) {
  constexpr double kInvYear = 1.0 / 365.0;
  const double d = 360.0 * (jday - 1) * kInvYear / raddeg;
  double decl = 0.396372 - 22.91327 * std::cos(d) + 4.02543 * std::sin(d) - 0.387205 * std::cos(2.0 * d) +
                0.051967 * std::sin(2.0 * d) - 0.154527 * std::cos(3.0 * d) + 0.084798 * std::sin(3.0 * d);
  decl /= raddeg;
  // Equation of time (degrees) plus the hour angle of mean solar time.
  double hour = 0.004297 + 0.107029 * std::cos(d) - 1.837877 * std::sin(d) - 0.837378 * std::cos(2.0 * d) -
                2.342824 * std::sin(2.0 * d) + (gmt - 12.0) * 15.0 + rlon;
  if (hour > 180.0) hour -= 360.0;
  if (hour < -180.0) hour += 360.0;
  const double lat = rlat / raddeg;
  hour /= raddeg;
  double cosz = std::sin(lat) * std::sin(decl) + std::cos(lat) * std::cos(decl) * std::cos(hour);
  if (std::abs(cosz) > 1.1) {
    printout << " Error in acos argument in sun zenith" << ff::ld(cosz) << "\n";
  } else if (std::abs(cosz) > 1.0) {
    cosz = cosz > 0.0 ? 1.0 : -1.0;
  }
  zenith = std::acos(cosz) * raddeg;
  const double pi = 4.0 * std::atan2(1.0, 1.0);
  azimuth = (pi + std::atan2(std::cos(decl) * std::sin(hour),
                             std::cos(decl) * std::cos(hour) * std::sin(lat) - std::sin(decl) * std::cos(lat))) *
            raddeg;
}

namespace {

// Cumulative day counts at the end of each month (day 366 closes December).
constexpr std::array<int, 12> kMonthEnd{31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 366};

// The last day of each month falls into the following month, as the
// climatology was built with this mapping.
int month_of_day(int jday) {
  int m = 1 + jday / 31;
  while (m <= 12 && jday >= kMonthEnd[static_cast<std::size_t>(m - 1)]) ++m;
  return m;
}

struct OzoneCell {
  double latmin, latmax, lonmin, lonmax;
  std::array<double, 12> monthly;
};

std::optional<OzoneCell> read_cell(std::istream& in) {
  util::ListRecord r = util::read_list(in, 16);
  if (r.given() < 16) return std::nullopt;
  OzoneCell c{r.real(0), r.real(1), r.real(2), r.real(3), {}};
  for (std::size_t i = 0; i < 12; ++i) c.monthly[i] = r.real(4 + i);
  return c;
}

// Latitude bands hold 36 longitude cells each, in file order; lower bounds
// are inclusive, and the last band and cell also take latitude 90 and
// longitude 180.
std::optional<OzoneCell> find_cell(std::istream& in, double rlat, double rlon) {
  while (auto c = read_cell(in)) {
    if (!(rlat >= c->latmin && (rlat < c->latmax || c->latmax >= 90.0))) {
      for (int i = 0; i < 35; ++i) util::read_list(in, 0);
      continue;
    }
    if (rlon >= c->lonmin && (rlon < c->lonmax || c->lonmax >= 180.0)) return c;
  }
  return std::nullopt;
}

double fallback(RunState& rs, const std::string& path, const std::string& why) {
  rs.pr() << " ERROR in get_o3_climat: " << path << why << "; use 300\n";
  return 300.0;
}

}  // namespace

double get_o3_climat(RunState& rs, int jday, double rlat, double rlon) {
  const std::string path = rs.cdirnames.data + "TOMS_O3.txt";
  // Inputs the cells cannot hold are brought onto the globe first: day 366
  // of a leap year is taken as the last day of December, latitude is clamped
  // to the poles and longitude wrapped into [-180, 180].
  jday = std::clamp(jday, 1, 365);
  rlat = std::clamp(rlat, -90.0, 90.0);
  rlon = std::remainder(rlon, 360.0);
  std::ifstream in(path);
  std::array<std::string, 4> header;
  for (auto& h : header)
    if (!in || !std::getline(in, h)) return fallback(rs, path, " not found");
  rs.pr() << "\n";
  for (int i = 0; i < 3; ++i) rs.pr() << header[static_cast<std::size_t>(i)] << "\n";
  try {
    auto cell = find_cell(in, rlat, rlon);
    if (!cell) return fallback(rs, path, " has no cell for this position");
    return cell->monthly[static_cast<std::size_t>(month_of_day(jday) - 1)];
  } catch (const util::ListReadError&) {
    return fallback(rs, path, " cannot be read");
  }
}

}  // namespace abyss
