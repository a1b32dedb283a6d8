#include "solver/dense.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "control/errors.hpp"

namespace abyss::dense {

Sq Sq::identity(int n) {
  Sq m(n);
  for (int i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

// Written out for the small orders here (n <= 32): the reference BLAS spends
// more on its general loops than on the 2 n^3 operations of a 10 x 10
// product, and the slab operators make hundreds of thousands of these per
// band. Column by column, C(:, j) accumulates A(:, k) B(k, j), the innermost
// loop running down contiguous columns. C must not share storage with A or B.
void gemm(const Sq& A, const Sq& B, Sq& C, double alpha, double beta) {
  const int n = A.n;
  const double* __restrict a = A.data();
  const double* __restrict b = B.data();
  double* __restrict c = C.data();
  for (int j = 0; j < n; ++j) {
    double* __restrict cj = c + static_cast<std::size_t>(j) * n;
    if (beta == 0.0) {
      for (int i = 0; i < n; ++i) cj[i] = 0.0;
    } else if (beta != 1.0) {
      for (int i = 0; i < n; ++i) cj[i] *= beta;
    }
    for (int k = 0; k < n; ++k) {
      const double bkj = alpha * b[k + static_cast<std::size_t>(j) * n];
      const double* __restrict ak = a + static_cast<std::size_t>(k) * n;
      for (int i = 0; i < n; ++i) cj[i] += ak[i] * bkj;
    }
  }
}

Sq mul(const Sq& A, const Sq& B) {
  Sq C(A.n);
  gemm(A, B, C);
  return C;
}

void vxm(const double* x, const Sq& M, double* y, bool accumulate) {
  const int n = M.n;
  for (int j = 0; j < n; ++j) {
    const double* col = M.data() + static_cast<std::size_t>(j) * n;
    double acc = accumulate ? y[j] : 0.0;
    for (int i = 0; i < n; ++i) acc += x[i] * col[i];
    y[j] = acc;
  }
}

// Gaussian elimination with partial pivoting, written out for the small orders
// here (n <= 32), where the library routine's blocking only adds overhead.
// The updates run down contiguous columns.
void solve_left(Sq A, double* __restrict B, int m, const char* who) {
  const int n = A.n;
  double* __restrict a = A.data();
  auto col = [n](double* x, int j) { return x + static_cast<std::size_t>(j) * n; };
  for (int k = 0; k < n; ++k) {
    double* __restrict ak = col(a, k);
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(ak[i]) > std::abs(ak[p])) p = i;
    if (ak[p] == 0.0) herr(who, "singular matrix in the slab operators");
    if (p != k) {
      for (int j = 0; j < n; ++j) std::swap(col(a, j)[k], col(a, j)[p]);
      for (int j = 0; j < m; ++j) std::swap(col(B, j)[k], col(B, j)[p]);
    }
    const double inv = 1.0 / ak[k];
    for (int i = k + 1; i < n; ++i) ak[i] *= inv;
    for (int j = k + 1; j < n; ++j) {
      double* __restrict aj = col(a, j);
      const double akj = aj[k];
      for (int i = k + 1; i < n; ++i) aj[i] -= ak[i] * akj;
    }
    for (int j = 0; j < m; ++j) {
      double* __restrict bj = col(B, j);
      const double bkj = bj[k];
      for (int i = k + 1; i < n; ++i) bj[i] -= ak[i] * bkj;
    }
  }
  for (int j = 0; j < m; ++j) {
    double* __restrict bj = col(B, j);
    for (int k = n - 1; k >= 0; --k) {
      const double* __restrict ak = col(a, k);
      const double x = bj[k] / ak[k];
      bj[k] = x;
      for (int i = 0; i < k; ++i) bj[i] -= ak[i] * x;
    }
  }
}

Sq solve_right(const Sq& B, const Sq& A, const char* who) {
  // X A = B  <=>  A^T X^T = B^T.
  const int n = A.n;
  Sq at(n), x(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      at(i, j) = A(j, i);
      x(i, j) = B(j, i);
    }
  solve_left(at, x.data(), n, who);
  Sq out(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) out(i, j) = x(j, i);
  return out;
}

double maxabs(const Row& v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::abs(x));
  return m;
}

}  // namespace abyss::dense
