// Records of the derived quantities.
#pragma once

#include <array>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record ceospl: the depth-by-band store, one column per band. The
// logarithmic arrays hold -1000.0 where the irradiance was not positive.
struct BandStore {
  static constexpr double kLogOfNothing = -1000.0;
  int nz = 0;
  VecD z{1, mxz};
  Mat lneo_sum{mxz, mxwave};  // ln(Eou + Eod) at (depth k, band j)
  Mat lneo{mxz, mxwave};      // ln(Eo) of the irradiance record
  Mat ed{mxz, mxwave};        // Ed (linear)
};

// One radiance slice per depth level: element (r, s) is quad (r, s); level 0
// is in air just above the surface, levels 1..nz the grid depths.
using RadianceLevels = Vec<Mat>;

// Records cradif and cradir: quad-averaged radiances of the current band
// (W m^-2 sr^-1 nm^-1). In the polar cap (r = nmu) only s = 1 carries a value.
struct Radiances {
  RadianceLevels dif_up{0, mxz, Mat(mxmu, mxphi)};    // cradif, direction 1
  RadianceLevels dif_down{0, mxz, Mat(mxmu, mxphi)};  // cradif, direction 2
  RadianceLevels dir_down{0, mxz, Mat(mxmu, mxphi)};  // cradir downward (level 0 = incident sky)
  Mat dir_up_air{mxmu, mxphi};                        // cradir upward in air (surface-reflected sky)
  // cos(l phi(s)) and sin(l phi(s)), (l+1, s), built on the first synthesis of the run.
  bool trig_ready = false;
  Mat cosl{mxphi / 2 + 1, mxphi}, sinl{mxphi / 2 + 1, mxphi};
};

// Record cirrad: irradiances (W m^-2 nm^-1), mean cosines and reflectance,
// index 0 in air, 1..nz the grid depths. Undefined ratios hold NaN, which the
// writers print as the undefined-value marker.
struct Irradiances {
  VecD eou{0, mxz}, eod{0, mxz}, eu{0, mxz}, ed{0, mxz};
  VecD mubaru{0, mxz}, mubard{0, mxz}, mubar{0, mxz}, r{0, mxz}, eo{0, mxz};
};

// The seven K-functions of one depth pair, in printout order.
enum KIndex { kKou = 0, kKod, kKo, kKu, kKd, kKnet, kKLu, kNumK };

// Record ckxcl: K-functions of the selected depth pairs, per band.
struct KStore {
  std::vector<double> zmid;  // midpoint depth of each pair
  std::array<Mat, kNumK> k;  // (pair p = 1..npair, band j)
  KStore() { k.fill(Mat(mxz / 2, mxwave)); }
};

// Per-band values at the requested output depths kept for the whole-spectrum
// quantities and the spreadsheet files. Level 0 is in air, level i = 1..nout
// the i-th requested depth (grid index sel.pirrad[i-1]).
struct SpectralStore {
  int nout = 0;
  std::vector<bool> solved = std::vector<bool>(mxwave + 1, false);  // band j has data
  std::vector<bool> filled = std::vector<bool>(mxwave + 1, false);  // band j interpolated after the loop
  Mat ed{mxz + 1, mxwave}, eu{mxz + 1, mxwave}, eo{mxz + 1, mxwave};
  Mat lu{mxz + 1, mxwave};   // nadir-viewing upward radiance (polar cap); in air the total
  Mat c{mxz + 1, mxwave};    // beam attenuation (1/m); 0 in air
  VecD lw{1, mxwave};        // water-leaving radiance in air (polar cap)
  VecD ed_ratio{1, mxwave};  // sky Ed(diffuse)/Ed(direct)
  double& at(Mat& m, int level, int j) { return m(level + 1, j); }
  double at(const Mat& m, int level, int j) const { return m(level + 1, j); }
};

// Record cpar: PAR (micromol photons m^-2 s^-1) at level 0 (in air) and the
// requested depths, and K_PAR between consecutive requested depths.
struct ParRecord {
  bool attempted = false;  // par has run (after the band loop)
  bool computed = false;
  VecD par_eo{0, mxz}, par_ed{0, mxz};
  VecD epar_eo{0, mxz}, epar_ed{0, mxz};  // the same band sums in energy units, W m^-2
  std::vector<double> kpar, kpar_layer, zmid;  // per consecutive pair of requested depths
  double secchi_depth = 0.0;                   // m, 0 until computed
};

struct DerivedState {
  BandStore ceospl;
  Radiances rad;
  Irradiances cirrad;
  KStore ckxcl;
  SpectralStore spectrum;
  ParRecord cpar;
};

}  // namespace abyss
