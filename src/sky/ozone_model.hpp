// Total-ozone model of Van Heuklon (1979), Solar Energy 22, 63-68: a closed
// form in latitude, longitude and day of year fitted to the 1957-1975 ground
// network. It generates the monthly climatology file the clear-sky model reads.
#pragma once

namespace abyss {

// Total ozone (Dobson units) at latitude rlat (deg, north +), longitude rlon
// (deg, east +) on day of year `day` (fractional days allowed).
double vanheuklon_ozone(double rlat, double rlon, double day);

}  // namespace abyss
