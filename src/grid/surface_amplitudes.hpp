// Surface operators in Fourier-amplitude space.
//
// The engine carries radiances as azimuthal Fourier amplitudes: the sky
// analysis turns quad radiances L(u, s) into cosine and sine amplitudes,
// the synthesis sum_l a cos(l phi) + b sin(l phi) turns them back. With
// amplitudes as row vectors, the amplitude operator of a quad operator M is
// Synthesis * M * Analysis. Its cosine block acts on cosine amplitudes, its
// sine block on sine amplitudes; the surface is symmetric about the wind
// axis, so cosines never feed sines.
#pragma once

#include <array>

#include "grid/surface_optics.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Amplitude element numbers (1-based): cosine of mode l, band u at l*nmu + u,
// sine at nhat + l*nmu + u, nhat = nmu*(lmax+1).
struct AmplitudeLayout {
  int nmu = 0, nphi = 0, lmax = 0;
  explicit AmplitudeLayout(const QuadSpace& qs) : nmu(qs.nmu()), nphi(qs.nphi()), lmax(qs.nphi() / 2) {}
  int nhat() const { return nmu * (lmax + 1); }
  int cos_index(int l, int u) const { return l * nmu + u; }
  int sin_index(int l, int u) const { return nhat() + l * nmu + u; }
};

// Analysis (quads x 2 nhat) and synthesis (2 nhat x quads) matrices.
Mat analysis_matrix(const QuadSpace& qs);
Mat synthesis_matrix(const QuadSpace& qs);

// The eight file slots (each nhat x nhat): 1-2 transmission air->water,
// 3-4 reflection water->water, 5-6 transmission water->air, 7-8 reflection
// air->air; odd slots the cosine block, even slots the sine block.
std::array<Mat, 8> amplitude_slots(const QuadSpace& qs, const QuadOperators& ops);

}  // namespace abyss
