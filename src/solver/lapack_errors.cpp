#include "solver/lapack_errors.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "control/errors.hpp"

namespace abyss {

std::string lapack_info_meaning(const std::string& routine, int info) {
  std::string r = routine;
  std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (info < 0) return r + " parameter number " + std::to_string(-info) + " had an illegal value";
  if (r == "DGETRF")
    return r + ": the matrix is exactly singular (zero pivot U(" + std::to_string(info) + "," + std::to_string(info) + "))";
  if (r == "DGEEV")
    return r + ": the QR algorithm failed to compute all eigenvalues (" + std::to_string(info) +
           " did not converge); the matrix is probably not finite or badly scaled";
  return r + " returned info = " + std::to_string(info);
}

void check_lapack(const std::string& caller, const std::string& routine, int info) {
  if (info != 0) herr(caller, lapack_info_meaning(routine, info));
}

}  // namespace abyss

// Replaces the library's xerbla, which would stop the process. Called from
// Fortran with the routine name as a blank-padded character argument whose
// length comes last.
extern "C" void xerbla_(const char* srname, const int* info, std::size_t len) {
  std::string name(srname, std::min<std::size_t>(len, 16));
  name.erase(name.find_last_not_of(' ') + 1);
  abyss::herr("xerbla", abyss::lapack_info_meaning(name, -std::abs(*info)));
}
