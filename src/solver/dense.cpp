#include "solver/dense.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "control/errors.hpp"

extern "C" {
void dgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc);
}

namespace abyss::dense {

Sq Sq::identity(int n) {
  Sq m(n);
  for (int i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

void gemm(const Sq& A, const Sq& B, Sq& C, double alpha, double beta) {
  const int n = A.n;
  dgemm_("N", "N", &n, &n, &n, &alpha, A.data(), &n, B.data(), &n, &beta, C.data(), &n);
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
void solve_left(Sq A, double* B, int m, const char* who) {
  const int n = A.n;
  double* a = A.data();
  auto at = [n](double* x, int i, int j) -> double& { return x[i + static_cast<std::size_t>(j) * n]; };
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(at(a, i, k)) > std::abs(at(a, p, k))) p = i;
    if (at(a, p, k) == 0.0) herr(who, "singular matrix in the slab operators");
    if (p != k) {
      for (int j = 0; j < n; ++j) std::swap(at(a, k, j), at(a, p, j));
      for (int j = 0; j < m; ++j) std::swap(at(B, k, j), at(B, p, j));
    }
    const double inv = 1.0 / at(a, k, k);
    for (int i = k + 1; i < n; ++i) at(a, i, k) *= inv;
    for (int j = k + 1; j < n; ++j) {
      const double akj = at(a, k, j);
      if (akj == 0.0) continue;
      for (int i = k + 1; i < n; ++i) at(a, i, j) -= at(a, i, k) * akj;
    }
    for (int j = 0; j < m; ++j) {
      const double bkj = at(B, k, j);
      if (bkj == 0.0) continue;
      for (int i = k + 1; i < n; ++i) at(B, i, j) -= at(a, i, k) * bkj;
    }
  }
  for (int j = 0; j < m; ++j)
    for (int k = n - 1; k >= 0; --k) {
      const double x = at(B, k, j) / at(a, k, k);
      at(B, k, j) = x;
      for (int i = 0; i < k; ++i) at(B, i, j) -= at(a, i, k) * x;
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
