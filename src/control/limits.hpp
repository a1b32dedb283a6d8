// Dimension limits of a run. Every count read from input is checked against
// these; arrays of the run state are sized by them.
#pragma once

namespace abyss {

constexpr int mxwave = 150;  // wavelength bands
constexpr int mxcomp = 5;    // IOP components and concentration entries
constexpr int mxz = 400;     // depths of the solver grid (at most 200 requested)
constexpr int mxmu = 32;     // polar-angle bands
constexpr int mxphi = 24;    // azimuthal bands
constexpr int mxhat = mxmu * (mxphi / 2 + 1);  // 416: leading dimension of surface operators
constexpr int mxamp = 2 * mxhat;               // 832: cosine then sine amplitudes
constexpr int kRootLen = 32;                   // output root name

}  // namespace abyss
