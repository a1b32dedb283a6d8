// Records of the run control: counts, flags, current values, band grid, names.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Record cmisc: counts, flags and current values of the run.
struct Misc {
  int nmu = 0, nphi = 0, lmax = 0;  // quad partition (from the surface file)
  int nz = 0;                        // depths of the solver grid (doubled output depths)
  int iop = 0;                       // 1 = optical depth, otherwise geometric depth
  int ncomp = 0, nwave = 0;
  int nsource = 0;                   // sum of the four source flags
  int nhat = 0;                      // surface-operator order N = nmu*(lmax+1)
  int jwave = 1;                     // current band index
  int ibotm = 0;                     // bottom type: 0 infinitely deep
  int nradcount = 17;                // read by the radiance-file writer
  int iprint = 0;                    // i1: printout option (negative: long tables)
  int i2 = 0, i3 = 0, i4 = 0, i5 = 0;  // digital, single-, multi-wavelength spreadsheet, radiance-file flags
  int nconc = 0;
  int izero = 0;
  int nwskip = 1;
  int idynz = 0;                     // 1 = dynamic infinitely-deep-bottom depth
  std::array<double, 6> surfgeom{};  // three pairs of surface-file geometry doubles (first = pi)
  double relerr = 1.0e-4, abserr = 1.0e-3;
  double dzetamax = 5.0;             // largest optical-depth step of the downward pass
  double dprint = 0.01;              // offset of the paired grid depth (initprintout)
  double aconst = -1.0, bconst = -1.0;  // single-wavelength constant IOPs
  double wavenm = 0.0;               // current wavelength (nm)
  double rbottom = 0.0;              // bottom reflectance
  double windspd = 0.0;              // wind speed (m/s)
  double zcur = 0.0;                 // geometric depth of the latest IOP evaluation (named in phase-function warnings)
  double raman_xsec = 0.0;           // r5 (1/m)
  double raman_wave0 = 0.0;          // r4 (nm)
  double chl_qe = 0.0;               // r3
  double r1 = 5.0, r2 = 0.0;         // PAR wavelength limits (nm)
  double temp = 0.0, salinity = 0.0, refr = 0.0;
  double pi = 3.14159265358979323846;
  double degrad = 3.14159265358979323846 / 180.0;  // radians per degree
  double raddeg = 180.0 / 3.14159265358979323846;  // degrees per radian
};

// Record cwave: band centres and boundaries (nm), 1-based.
struct WaveGrid {
  VecD wave{1, mxwave};
  VecD waveb{1, mxwave + 1};
};

// The data files named in the run input, one field per role, so that a file
// means the same thing wherever it is read. Names are complete paths (the
// default directory already put in front). Reading order of the records:
// 13 (phase functions), 22, 24-29, 30 (profiles), 31; record 32, the
// bioluminescence file, belongs to the sources.
struct FileNames {
  std::array<std::string, mxcomp + 1> dpf;      // record 13: discretized phase function per component (1..ncomp)
  std::string purewater;                        // record 22: pure-water a and b (type 2)
  std::string skydata;                          // record 24: sky irradiance data file
  std::string ac9;                              // record 25: ac-9 a and c depth-by-wavelength table
  std::string bbmeter;                          // record 26: backscattering-meter (HYDROSCAT) bb table
  std::string ac9_cdom;                         // record 27: ac-9 table of filtered water (CDOM mode)
  std::string spare;                            // record 28: read, not used by any model
  std::string bottom;                           // record 29: bottom reflectance spectrum
  std::array<std::string, mxcomp + 1> profile;  // record 30: concentration profile per component (1..ncomp)
  std::string extra;                            // record 31: read, not used by any model
};

// Printout selections built by initprintout.
struct PrintSelections {
  std::vector<int> pirrad;  // cpirrad: indices of the requested output depths in the grid
  std::vector<int> pkfcn;   // cpkfcn: index k of the upper depth of each K-function pair (k, k+1)
  std::array<int, 6> krad{};  // ckrad: first, last, step of mu band I and of azimuth band J
  int ncomp_print = 0;      // component columns printed in the IOP tables
};

}  // namespace abyss
