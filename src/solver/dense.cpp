#include "solver/dense.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "control/errors.hpp"
#include "control/limits.hpp"

namespace abyss::dense {

Sq Sq::identity(int n) {
  Sq m(n);
  for (int i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

namespace {

// The kernels below take the order as a template argument for the orders the
// partitions use (9 and 10 at 10 x 24, 19 and 20 at 20 x 24; modes l > 0 leave
// out the cap): with the loop bounds known the compiler unrolls and vectorizes
// them. N = 0 takes the order at run time. The operations and their order are
// the same either way, so the results are too.
template <int N>
struct Gemm {
  static void run(int nrun, const double* __restrict a, const double* __restrict b, double* __restrict c,
                  double alpha, double beta) {
    const int n = N ? N : nrun;
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
};

// Calls kernel<N> for the orders with kernels of their own, else kernel<0>.
template <template <int> class K, class... Args>
void by_order(int n, Args&&... args) {
  switch (n) {
    case 9: return K<9>::run(n, args...);
    case 10: return K<10>::run(n, args...);
    case 19: return K<19>::run(n, args...);
    case 20: return K<20>::run(n, args...);
    default: return K<0>::run(n, args...);
  }
}

}  // namespace

// Written out for the small orders here (n <= 32): the reference BLAS spends
// more on its general loops than on the 2 n^3 operations of a 10 x 10
// product, and the slab operators make hundreds of thousands of these per
// band. Column by column, C(:, j) accumulates A(:, k) B(k, j), the innermost
// loop running down contiguous columns. C must not share storage with A or B.
void gemm(const Sq& A, const Sq& B, Sq& C, double alpha, double beta) {
  by_order<Gemm>(A.n, A.data(), B.data(), C.data(), alpha, beta);
}

Sq mul(const Sq& A, const Sq& B) {
  Sq C(A.n);
  gemm(A, B, C);
  return C;
}

namespace {

template <int N>
struct Vxm {
  static void run(int nrun, const double* __restrict x, const double* __restrict m, double* __restrict y, bool accumulate) {
    const int n = N ? N : nrun;
    for (int j = 0; j < n; ++j) {
      const double* __restrict col = m + static_cast<std::size_t>(j) * n;
      double acc = accumulate ? y[j] : 0.0;
      for (int i = 0; i < n; ++i) acc += x[i] * col[i];
      y[j] = acc;
    }
  }
};

}  // namespace

void vxm(const double* x, const Sq& M, double* y, bool accumulate) { by_order<Vxm>(M.n, x, M.data(), y, accumulate); }

namespace {

template <int N>
struct SolveLeft {
  static void run(int nrun, double* __restrict a, double* __restrict B, int m, const char* who) {
    const int n = N ? N : nrun;
    if (n > mxmu) herr(who, "matrix order beyond the limits of the small solve");
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
    // Back substitution with the reciprocals of the pivots (one division each
    // instead of one per right-hand side).
    double dinv[N ? N : mxmu];
    for (int k = 0; k < n; ++k) dinv[k] = 1.0 / col(a, k)[k];
    for (int j = 0; j < m; ++j) {
      double* __restrict bj = col(B, j);
      for (int k = n - 1; k >= 0; --k) {
        const double* __restrict ak = col(a, k);
        const double x = bj[k] * dinv[k];
        bj[k] = x;
        for (int i = 0; i < k; ++i) bj[i] -= ak[i] * x;
      }
    }
  }
};

}  // namespace

// Gaussian elimination with partial pivoting, written out for the small orders
// here (n <= 32), where the library routine's blocking only adds overhead.
// The updates run down contiguous columns.
void solve_left(Sq A, double* B, int m, const char* who) { by_order<SolveLeft>(A.n, A.data(), B, m, who); }

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
