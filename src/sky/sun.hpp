// Sun position and the total-ozone climatology.
#pragma once

#include <ostream>

namespace abyss {
struct RunState;

// Solar zenith and azimuth (degrees; azimuth clockwise from north, (0, 360])
// for day of year jday, GMT hours, longitude (east +) and latitude (north +).
// raddeg is the degrees-per-radian constant. The acos-guard message goes to `printout`.
void sunang(int jday, double gmt, double raddeg, double rlon, double rlat, double& zenith, double& azimuth,
            std::ostream& printout);

// Monthly climatological total ozone (Dobson units) from the climatology file
// of the data directory; 300 with a message when the file cannot be read.
double get_o3_climat(RunState& rs, int jday, double rlat, double rlon);

}  // namespace abyss
