// Records of the inelastic and internal sources.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// What the inelastic sources need of one solved band at the grid depths
// k = 1..nz (index k-1): the scalar irradiance Eo, the six second moments
// M_ij = Int Omega_i Omega_j L dOmega of the radiance (xx, yy, zz, xy, xz, yz;
// z downward, x along azimuth 0) for the Raman phase function, and the
// absorption of the chlorophyll and CDOM components that excite fluorescence.
struct Excitation {
  bool solved = false;
  int nz = 0;
  std::vector<double> eo, a_chl, a_cdom;
  std::vector<std::array<double, 6>> m;
};

// One source of the band being solved as a smooth function of depth: the
// source vectors of the Riccati equations (radiance source per unit optical
// depth divided by the band's mu, as the solver takes them) at the grid depths,
// for modes l = 0..nmodes-1. Between grid depths the amplitudes follow the
// reference value `ref` (positive where light is present) log-linearly, so an
// exponential profile is exact, and the shape relative to it linearly.
struct SourceProfile {
  int nmu = 0, nmodes = 1;
  std::vector<double> z;    // grid depths (m)
  std::vector<double> ref;  // reference amplitude per depth
  // amplitudes per depth: [((l*2 + half)*2 + hemi)*mxmu + u-1], half 0 cos / 1 sin, hemi 0 up / 1 down
  std::vector<double> amp;
  std::size_t stride() const { return static_cast<std::size_t>(nmodes) * 4 * mxmu; }
};

// The bioluminescence table S(z, lambda) (W m^-3 nm^-1) of the run's data file.
struct BioTable {
  std::vector<double> z, wave;
  std::vector<double> s;  // s[iz * nwave + iw]
};

struct SourceState {
  // csource0: bioluminescence, chlorophyll fluorescence, CDOM fluorescence, Raman (index 1..4)
  std::array<int, 5> flags{};
  int ichl = 0;                 // cindexchl: chlorophyll component used by fluorescence
  int icdom = 0;                // absorption column of the IOP model that is CDOM (0: none)
  std::string bio_file;         // csourcebdata
  // csourceh: sigma1..sigma4 at the current depth and mode, index 1..nmu
  std::array<VecD, 5> sigma{VecD{}, VecD{1, mxmu}, VecD{1, mxmu}, VecD{1, mxmu}, VecD{1, mxmu}};
  bool bio() const { return flags[1] != 0; }
  bool chlfl() const { return flags[2] != 0; }
  bool cdomfl() const { return flags[3] != 0; }
  bool raman() const { return flags[4] != 0; }
  bool inelastic() const { return chlfl() || cdomfl() || raman(); }

  // Band-to-band redistribution (wrfdisc), process p = 2 chlorophyll, 3 CDOM,
  // 4 Raman: F[p](j', j) in 1/nm, the emitted spectral power density in band j
  // per unit of exciting power (b Eo times band width) in band j', averaged
  // over both bands and including the energy factor lambda'/lambda and the
  // quantum efficiency.
  std::array<Mat, 5> redist;
  VecD b_raman{1, mxwave};      // Raman scattering coefficient at each band centre (1/m)
  int nz_grid = 0;              // depths of the full grid (with the dynamic-depth extension)
  std::vector<Excitation> excite;  // per band 1..nwave (index j)
  BioTable biotab;
  // Inelastic part of the water-leaving radiance and of Eu just below the
  // surface in the current band (total minus the elastic-only solution).
  double lw_inel = 0.0, eu_inel = 0.0;
  std::vector<double> lw_inel_band, lw_total_band;  // per band (index j), for the outputs
};

}  // namespace abyss
