#include "solver/linsolve.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <ostream>
#include <vector>

#include "solver/lapack_errors.hpp"
#include "util/fortran_format.hpp"

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info);
void dgecon_(const char* norm, const int* n, const double* a, const int* lda, const double* anorm, double* rcond,
             double* work, int* iwork, int* info);
}

namespace abyss {

double one_norm(const double* a, int lda, int n) {
  double best = 0.0;
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += std::fabs(a[i + static_cast<std::size_t>(j) * lda]);
    best = std::max(best, s);
  }
  return best;
}

namespace {

// The indicator from the reciprocal condition number.
int digits_indicator(double rcond) {
  if (!(rcond > DBL_EPSILON)) return -10;
  return static_cast<int>(std::floor(std::log10(rcond / DBL_EPSILON)));
}

// Small orders (the per-mode blocks, n <= 32, inverted at every depth of every
// mode): written out, the factorization, the inverse and its exact 1-norm
// (so the condition number itself rather than an estimate) cost less than
// the library's general loops. A is overwritten by its LU factors.
int small_lu_inverse(double* a, int lda, int n, double* ainv, int ldinv) {
  const double anorm = one_norm(a, lda, n);
  auto at = [](double* m, int ld, int i, int j) -> double& { return m[i + static_cast<std::size_t>(j) * ld]; };
  int piv[32];
  if (!small_lu_factor(a, lda, n, piv)) return -10;
  double inorm = 0.0;
  for (int j = 0; j < n; ++j) {
    double* c = ainv + static_cast<std::size_t>(j) * ldinv;
    std::fill(c, c + n, 0.0);
    c[j] = 1.0;
    for (int k = 0; k < n; ++k) std::swap(c[k], c[piv[k]]);
    for (int k = 0; k < n; ++k)
      for (int i = k + 1; i < n; ++i) c[i] -= at(a, lda, i, k) * c[k];
    for (int k = n - 1; k >= 0; --k) {
      c[k] /= at(a, lda, k, k);
      for (int i = 0; i < k; ++i) c[i] -= at(a, lda, i, k) * c[k];
    }
    double col = 0.0;
    for (int i = 0; i < n; ++i) col += std::fabs(c[i]);
    inorm = std::max(inorm, col);
  }
  return digits_indicator(anorm > 0.0 && inorm > 0.0 ? 1.0 / (anorm * inorm) : 0.0);
}

}  // namespace

bool small_lu_factor(double* a, int lda, int n, int* piv) {
  auto at = [a, lda](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * lda]; };
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
    piv[k] = p;
    if (at(p, k) == 0.0) return false;
    if (p != k)
      for (int j = 0; j < n; ++j) std::swap(at(k, j), at(p, j));
    const double inv = 1.0 / at(k, k);
    for (int i = k + 1; i < n; ++i) at(i, k) *= inv;
    for (int j = k + 1; j < n; ++j) {
      const double akj = at(k, j);
      for (int i = k + 1; i < n; ++i) at(i, j) -= at(i, k) * akj;
    }
  }
  return true;
}

void small_lu_solve_row(const double* lu, int lda, int n, const int* piv, double* b) {
  // P A = L U, so A^T = U^T L^T P: solve U^T y = b, then L^T z = y, then x = P^T z.
  auto at = [lu, lda](int i, int j) { return lu[i + static_cast<std::size_t>(j) * lda]; };
  for (int j = 0; j < n; ++j) {
    double s = b[j];
    for (int i = 0; i < j; ++i) s -= at(i, j) * b[i];
    b[j] = s / at(j, j);
  }
  for (int j = n - 1; j >= 0; --j) {
    double s = b[j];
    for (int i = j + 1; i < n; ++i) s -= at(i, j) * b[i];
    b[j] = s;
  }
  for (int k = n - 1; k >= 0; --k)
    if (piv[k] != k) std::swap(b[k], b[piv[k]]);
}

int lu_inverse(double* a, int lda, int n, double* ainv, int ldinv) {
  if (n >= 1 && n <= 32 && lda >= n && ldinv >= n) return small_lu_inverse(a, lda, n, ainv, ldinv);
  const double anorm = one_norm(a, lda, n);
  std::vector<int> ipiv(static_cast<std::size_t>(n));
  int info = 0;
  dgetrf_(&n, &n, a, &lda, ipiv.data(), &info);
  if (info < 0) check_lapack("lu_inverse", "dgetrf", info);
  if (info != 0) return -10;
  std::vector<double> work(static_cast<std::size_t>(4 * n));
  std::vector<int> iwork(static_cast<std::size_t>(n));
  double rcond = 0.0;
  const char norm = '1';
  dgecon_(&norm, &n, a, &lda, &anorm, &rcond, work.data(), iwork.data(), &info);
  check_lapack("lu_inverse", "dgecon", info);
  if (!(rcond > DBL_EPSILON)) return -10;
  // The columns of the identity as right-hand sides, all solved with the same factors.
  for (int j = 0; j < n; ++j) {
    double* c = ainv + static_cast<std::size_t>(j) * ldinv;
    std::fill(c, c + n, 0.0);
    c[j] = 1.0;
  }
  const char trans = 'N';
  dgetrs_(&trans, &n, &n, a, &lda, ipiv.data(), ainv, &ldinv, &info);
  check_lapack("lu_inverse", "dgetrs", info);
  return digits_indicator(rcond);
}

void report_sgefs(std::ostream& os, const std::string& which, const std::string& from, int ind) {
  os << "\n Error on " << which << " call to SGEFS from " << from << ":  ind =" << ff::I(ind, 5) << "\n";
}

}  // namespace abyss
