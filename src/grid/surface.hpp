// Sea-surface operators and quad partition for a band.
#pragma once

#include <istream>
#include <string>

namespace abyss {
struct RunState;
class Mat;

// Loads (or keeps) the surface operators for wind speed U (m/s) at wavelength lambda (nm).
void loadsurface(RunState& rs, double U, double lambda);

// Index of refraction of sea water (Quan and Fry) at lambda (nm), salinity S (PSU), temperature T (deg C).
double surfn(double lambda, double S, double T);

// Index of refraction n for the band; `unchanged` is set when the operators
// already loaded stay valid.
void getrefr(RunState& rs, double lambda, double& n, bool& unchanged);

// Snaps n onto the indices listed in "nlist.txt": nA <= 1000 n <= nB
// (thousandths), nA == nB when one file suffices. A single-entry list fixes n
// for the whole run.
void checkrefr(RunState& rs, double& n, int& nA, int& nB);

// Wind files bracketing U from the list in `windlist` (a path): i1, i2 (m/s),
// `single` when only i1 is read, w the weight of i2.
void slctsurf(RunState& rs, int& i1, int& i2, bool& single, double& w, double U, const std::string& windlist);

// Reads an N x N operator (record j = column j) into the leading block of A.
void readhat(std::istream& in, int N, Mat& A);
// A <- (1 - w) A + w B over the leading N x N block.
void gethat(int N, double w, Mat& A, const Mat& B);

}  // namespace abyss
