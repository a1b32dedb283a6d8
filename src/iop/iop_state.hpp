// Records of the IOP models: options read from the run input, and the tables
// and first-call flags of the models.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record cmodelopts: opts[1] IOP model code (record 1); from record 5:
// opts[2] concentration-model flag, opts[3] sky radiance model option,
// opts[4] sky irradiance model option, opts[5] chlorophyll component index,
// opts[6] CDOM component index. Index 0 unused.
struct ModelOpts {
  std::array<int, 7> opts{};
  int model() const { return opts[1]; }
  int conc_flag() const { return opts[2]; }
  int sky_rad_opt() const { return opts[3]; }
  int sky_irr_opt() const { return opts[4]; }
  int ichl() const { return opts[5]; }
  int icdom() const { return opts[6]; }
};

// Per-component options and parameters, index 1..mxcomp.
struct ComponentOpts {
  VecD constconc{1, mxcomp};  // cconstconc
  VecI conc_opt{1, mxcomp};   // cconc: 0 constant, 1 user routine, 2 profile file
  // castar: option, wave0 (nm), A, S (1/nm); castar2: file name
  VecI astar_opt{1, mxcomp};
  VecD astar_wave0{1, mxcomp}, astar_A{1, mxcomp}, astar_S{1, mxcomp};
  std::array<std::string, mxcomp + 1> astar_file;
  // cbstar: option ibs, wave0, B, X (concentration exponent), n, m, i; cbstar2: file name
  VecI bstar_opt{1, mxcomp};
  VecD bstar_wave0{1, mxcomp}, bstar_B{1, mxcomp}, bstar_X{1, mxcomp};
  VecD bstar_n{1, mxcomp}, bstar_m{1, mxcomp}, bstar_i{1, mxcomp};
  std::array<std::string, mxcomp + 1> bstar_file;
  // cbbopt: phase-function option, bb/b value, power-law reference wavelength, coefficient, exponent
  VecI pf_opt{1, mxcomp};
  VecD bbtob{1, mxcomp}, bb_wave0{1, mxcomp}, bb_coef{1, mxcomp}, bb_expo{1, mxcomp};
  int cbbcalc = 1;  // 1 while backscatter fractions are to be computed
  int abac9n = 0;   // cabac9n
};

// A specific-absorption or specific-scattering spectrum of one component:
// loaded (or announced) on first use, on the run's wavelength grid plus the
// value at the component's reference wavelength.
struct SpecificSpectrum {
  bool first_done = false;  // first-use printout written (and file loaded)
  VecD grid{1, mxwave};     // values at the run's band centres
  double at_wave0 = 0.0;    // file value interpolated exactly at wave0
  int iwave = 1;            // band index found last time
};

// A concentration profile read from a standard data file (depth in m).
struct ProfileData {
  bool loaded = false;
  int n = 0;
  VecD z, c;
  int hint = 1;
};

// Tables of the two-particle Case 1 model: the Bricaud et al. (1998)
// coefficients of particulate absorption on the run's wavelength grid.
struct NewCase1Tables {
  VecD ap{1, mxwave}, ep{1, mxwave};  // A_p and E_p at the band centres
  double ap440 = 0.0, ep440 = 0.0;    // at 440 nm (the CDOM reference)
  int iwave = 1;
  bool chl_range_warned = false;      // Chl outside 0.01-100 mg/m^3 reported
};

// A depth-by-wavelength table of an ac-9 or backscattering-meter file:
// v[m](i) is the value at wavelength wave[m] and depth z(i) (a, c or bb).
struct DepthWaveTable {
  std::string file;
  int nz = 0, nwav = 0;
  VecD z, wave;
  std::vector<VecD> v1, v2;  // per wavelength (index 0..nwav-1): a and c (ac-9), or bb (v1 only)
};

// The ac-9 model's tables and the profiles of the band in use (the tables
// interpolated to the band's wavelength at every tabulated depth).
struct Ac9State {
  DepthWaveTable ac, bb, cdom;
  bool have_bb = false, have_cdom = false;
  double wave_now = -1.0;
  VecD a_now, c_now, bb_now, ag_now;  // at the table depths, current wavelength
  int hint_ac = 1, hint_bb = 1, hint_cdom = 1;
  bool negative_particle_a_warned = false;
};

// First-call flags and loaded tables of the IOP models (cfrstcls and the
// models' own "loaded" flags).
struct IopFlags {
  bool abconst_done = false;
  bool abcase1_done = false;
  bool abcase2_done = false;
  bool abnewcase1_done = false;  // achlz takes a_chl from the two-particle model after its first call
  bool abacbb_done = false;
  NewCase1Tables newcase1;
  Ac9State ac9;

  // Specific absorption and scattering per component.
  std::array<SpecificSpectrum, mxcomp + 1> astar, bstar;

  // Concentration profiles: chlorophyll, CDOM (absorption at its reference
  // wavelength) and, per component, mineral particles.
  ProfileData chl, cdom;
  std::array<ProfileData, mxcomp + 1> minz;

  // Pure water on the run's wavelength grid, and the values of the band in use.
  bool purewater_loaded = false;
  VecD aw{1, mxwave}, bw{1, mxwave};
  int pw_iwave = 1;
  double pw_wave = -1.0, pw_a = 0.0, pw_b = 0.0;  // the Case models' current pure-water values

  // Chlorophyll absorption: astar at 440 nm for the normalised spectrum.
  bool achlz_first_done = false;
  double achlz_astar440 = 0.0;
  bool acdom_first_done = false;

  // Case 1 normalisation astar(2, 440 nm) and whether pigments absorb at all.
  double case1_astar440 = 0.0;
  bool case1_pigment_zero = false;
  bool case2_negative_b_warned = false;
};

// Record crangew: data files that do not cover the run's depths and wavelengths.
struct RangeWarnings {
  static constexpr int kMaxFiles = 18;
  struct Entry {
    int kind = 0;
    std::array<bool, 4> flag{};
    double zmin = 0, zmax = 0, wmin = 0, wmax = 0;
    std::string name;
  };
  std::vector<Entry> entries;
  int dropped = 0;  // registrations beyond kMaxFiles
};

}  // namespace abyss
