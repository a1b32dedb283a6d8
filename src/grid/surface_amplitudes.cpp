#include "grid/surface_amplitudes.hpp"

#include <cmath>
#include <utility>
#include <vector>

namespace abyss {

Mat analysis_matrix(const QuadSpace& qs) {
  const AmplitudeLayout lay(qs);
  Mat a(qs.size(), 2 * lay.nhat());
  const GridPhi& gp = qs.gridphi();
  for (int u = 1; u < lay.nmu; ++u) {
    for (int s = 1; s <= lay.nphi; ++s) {
      const int q = qs.index(u, s);
      for (int l = 0; l <= lay.lmax; ++l) {
        // Modes 0 and lmax have no sine part and a weight of 1/nphi; the
        // others 1/lmax (the discrete Fourier series on nphi azimuths).
        const bool edge = (l == 0 || l == lay.lmax);
        const double c = edge ? 1.0 / lay.nphi : 1.0 / lay.lmax;
        a(q, lay.cos_index(l, u)) = c * std::cos(l * gp.phi(s));
        if (!edge) a(q, lay.sin_index(l, u)) = c * std::sin(l * gp.phi(s));
      }
    }
  }
  a(qs.cap(), lay.cos_index(0, lay.nmu)) = 1.0;  // the polar cap has only its mean
  return a;
}

Mat synthesis_matrix(const QuadSpace& qs) {
  const AmplitudeLayout lay(qs);
  Mat syn(2 * lay.nhat(), qs.size());
  const GridPhi& gp = qs.gridphi();
  for (int u = 1; u < lay.nmu; ++u) {
    for (int s = 1; s <= lay.nphi; ++s) {
      const int q = qs.index(u, s);
      for (int l = 0; l <= lay.lmax; ++l) {
        syn(lay.cos_index(l, u), q) = std::cos(l * gp.phi(s));
        // sin(0) and sin(lmax phi(s)) vanish at the quad centres: keep them exact zeros.
        if (l != 0 && l != lay.lmax) syn(lay.sin_index(l, u), q) = std::sin(l * gp.phi(s));
      }
    }
  }
  syn(lay.cos_index(0, lay.nmu), qs.cap()) = 1.0;
  return syn;
}

namespace {

// C = A * B for plain column-major matrices of the given sizes. Analysis and
// synthesis touch one mu band at a time, so most products are sparse: only
// the non-zero elements of A and B are visited.
Mat multiply(const Mat& a, const Mat& b, int rows, int inner, int cols) {
  std::vector<std::vector<std::pair<int, double>>> acol(static_cast<std::size_t>(inner) + 1);
  for (int k = 1; k <= inner; ++k)
    for (int i = 1; i <= rows; ++i)
      if (a(i, k) != 0.0) acol[static_cast<std::size_t>(k)].emplace_back(i, a(i, k));
  Mat c(rows, cols);
  for (int j = 1; j <= cols; ++j)
    for (int k = 1; k <= inner; ++k) {
      const double bkj = b(k, j);
      if (bkj == 0.0) continue;
      for (const auto& [i, aik] : acol[static_cast<std::size_t>(k)]) c(i, j) += aik * bkj;
    }
  return c;
}

// Cosine and sine diagonal blocks of Synthesis * M * Analysis.
void transform(const QuadSpace& qs, const Mat& syn, const Mat& ana, const Mat& m, Mat& cos_block, Mat& sin_block) {
  const int nq = qs.size();
  const int n2 = syn.ld();
  const int nh = n2 / 2;
  const Mat full = multiply(syn, multiply(m, ana, nq, nq, n2), n2, nq, n2);
  cos_block = Mat(nh, nh);
  sin_block = Mat(nh, nh);
  for (int j = 1; j <= nh; ++j)
    for (int i = 1; i <= nh; ++i) {
      cos_block(i, j) = full(i, j);
      sin_block(i, j) = full(nh + i, nh + j);
    }
}

}  // namespace

std::array<Mat, 8> amplitude_slots(const QuadSpace& qs, const QuadOperators& ops) {
  const Mat syn = synthesis_matrix(qs);
  const Mat ana = analysis_matrix(qs);
  std::array<Mat, 8> slot;
  transform(qs, syn, ana, ops.t_aw, slot[0], slot[1]);
  transform(qs, syn, ana, ops.r_wa, slot[2], slot[3]);
  transform(qs, syn, ana, ops.t_wa, slot[4], slot[5]);
  transform(qs, syn, ana, ops.r_aw, slot[6], slot[7]);
  return slot;
}

}  // namespace abyss
