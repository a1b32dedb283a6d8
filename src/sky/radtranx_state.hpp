// What the clear-sky irradiance model keeps for the life of a run: its
// spectral data base, read on the first call, and the sun and ozone it
// settled on then.
#pragma once

#include <string>
#include <vector>

namespace abyss {

// The 1-nm spectral data base "RADTRANX_dbase.txt": row i holds wavelength
// first_nm + i.
struct RadtranxTable {
  int first_nm = 0;
  std::vector<double> h0;   // extraterrestrial irradiance at 1 AU (W m^-2 nm^-1)
  std::vector<double> aoz;  // ozone absorption ((atm-cm)^-1)
  std::vector<double> ao2;  // oxygen / mixed-gas coefficient
  std::vector<double> awv;  // water-vapour coefficient
  int last_nm() const { return first_nm + static_cast<int>(h0.size()) - 1; }
};

struct RadtranxState {
  bool first_call = true;
  RadtranxTable table;
  double ozone_du = 0.0;                // total ozone used (DU)
  bool ozone_from_climatology = false;  // record 18 gave none
  double computed_zenith = 0.0;         // from sunang when the zenith input is -99 (deg)
};

}  // namespace abyss
