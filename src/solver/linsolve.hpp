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

// The message of a failed solver call: "Error on <which> call to SGEFS from <from>"
// with the indicator value.
void report_sgefs(std::ostream& os, const std::string& which, const std::string& from, int ind);

}  // namespace abyss
