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
namespace {

double one_norm(const double* a, int lda, int n) {
  double best = 0.0;
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += std::fabs(a[i + static_cast<std::size_t>(j) * lda]);
    best = std::max(best, s);
  }
  return best;
}

}  // namespace

int lu_inverse(double* a, int lda, int n, double* ainv, int ldinv) {
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
  return static_cast<int>(std::floor(std::log10(rcond / DBL_EPSILON)));
}

void report_sgefs(std::ostream& os, const std::string& which, const std::string& from, int ind) {
  os << "\n Error on " << which << " call to SGEFS from " << from << ":  ind =" << ff::I(ind, 5) << "\n";
}

}  // namespace abyss
