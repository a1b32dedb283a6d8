#include "solver/dense.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "control/errors.hpp"

extern "C" {
void dgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc);
void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb, int* info);
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

void solve_left(Sq A, double* B, int m, const char* who) {
  const int n = A.n;
  std::vector<int> ipiv(static_cast<std::size_t>(n));
  int info = 0;
  dgesv_(&n, &m, A.data(), &n, ipiv.data(), B, &n, &info);
  if (info != 0) herr(who, "singular matrix in the slab operators (LAPACK info = " + std::to_string(info) + ")");
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
