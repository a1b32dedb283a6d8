// Dense inverses by LU factorization with a reciprocal-condition estimate.
#pragma once

#include <iosfwd>
#include <string>

namespace abyss {

// Inverse of A (n x n, leading dimension lda; A is overwritten by its LU
// factors) into ainv (leading dimension ldinv). Returns the indicator of the
// classic general-solver interface: the estimated number of correct decimal
// digits (>= 0), or -10 when A is singular or so ill-conditioned that the
// inverse has no significant digits.
int lu_inverse(double* a, int lda, int n, double* ainv, int ldinv);

// The 1-norm (largest column sum of magnitudes) of A, n x n, leading dimension lda.
double one_norm(const double* a, int lda, int n);

// LU factors of A (n x n, n <= 32, leading dimension lda) with partial
// pivoting, in place; the row exchanges into piv. Returns false on a zero pivot.
bool small_lu_factor(double* a, int lda, int n, int* piv);

// Solves x A = b for the row vector x (A^T x^T = b^T) from the factors of
// small_lu_factor; b is overwritten by x.
void small_lu_solve_row(const double* lu, int lda, int n, const int* piv, double* b);

// The message of a failed solver call: "Error on <which> call to SGEFS from <from>"
// with the indicator value.
void report_sgefs(std::ostream& os, const std::string& which, const std::string& from, int ind);

}  // namespace abyss
