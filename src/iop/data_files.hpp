// Standard data files: the one plain-text layout of every tabulated input
// (spectra, depth profiles, bottom reflectances, sky tables), and the small
// family of routines that count, read, check and interpolate them.
//
// Layout: 10 header records (free text), then data records "x y" or
// "x y1 y2" read free-format, ended by a record whose first value is negative
// (conventionally -1) or by the end of the file. Abscissas are wavelengths in
// nm or geometric depths in m and must increase strictly.
#pragma once

#include <fstream>
#include <istream>
#include <string>

#include "util/arrays.hpp"

namespace abyss {
struct RunState;

// File-type flags of a standard data file.
enum DataFileType : int {
  kSpectrum = 0,     // x = wavelength (nm), y
  kProfile = 1,      // x = depth (m), y
  kTwoSpectra = 2,   // x = wavelength (nm), y1, y2
};

// One loaded table, 1-based: x(i), y1(i), y2(i) for i = 1..n (y2 only for type 2).
struct DataTable {
  int n = 0;
  VecD x, y1, y2;
};

// Opens `filename` on `unit` (a missing file stops the run), echoes the first
// nprint of the nheadr header records when nprint > 0, and counts the data
// records up to the end marker or the end of the file. A file that ends
// inside its header, an unreadable record before the end marker and a file
// without data records stop the run naming the file and the line.
// The unit is closed when iclose > 0, otherwise left open for loaddat.
int getndat(RunState& rs, std::ifstream& unit, int iclose, int nheadr, int nprint, const std::string& filename);

// Rewinds `unit`, skips the header and reads ndata records into the table.
// A record with fewer values than its type needs, a non-finite or negative
// ordinate (no tabulated quantity can be negative) and abscissas that do not
// increase stop the run ("LoadDat") naming the file and the line. Closes the
// unit and registers the table's abscissa range with the data-range warnings.
DataTable loaddat(RunState& rs, std::ifstream& unit, int nheadr, int ndata, int iftype, const std::string& filename);

// A whole standard data file read with the checks of getndat and loaddat,
// without printout (for readers that keep their own echo, and for tests).
// Errors go through herr(routine, ...).
DataTable read_standard_table(std::istream& in, int nheadr, int iftype, const std::string& filename,
                              const char* routine);

// Non-negativity checks: a negative datum is reported and replaced by zero.
void checkdat(RunState& rs, double x, double& y);
void checkdat2x(RunState& rs, double depth, double wave, double& datum);

// Linear interpolation in the table x(1..n), y(1..n) with the nearest end
// value outside it. ihint remembers the interval found last time; reset it to
// 1 before a new sweep.
double yinterp(int& ihint, int n, double xval, const VecD& x, const VecD& y);

// Interpolates a loaded table onto grid(1..ngrid): y1grid always, y2grid for
// type 2, and y0 at x0 when x0 > 0.
void griddat(int iftype, int ngrid, const DataTable& t, double x0, double& y0, const VecD& grid, VecD& y1grid,
             VecD& y2grid);

// Count, read, check and grid one file in a single call (unit 40 of old).
void getongrid1(RunState& rs, int iftype, int nheadr, int nprint, int ngrid, const std::string& filename, double x0,
                double& y0, const VecD& grid, VecD& y1grid, VecD& y2grid);

// Makes iwave the index of the run wavelength nearest to wavenm; a wavelength
// within 1.0e-6 nm of the remembered one keeps it; ties keep the lower index.
void checkiwav(const RunState& rs, int& iwave, double wavenm);

// Number of wavelengths of a two-dimensional depth-by-wavelength table: the
// integer on the first record after the header.
int getnwavac(RunState& rs, std::istream& unit, int nheadr);

}  // namespace abyss
