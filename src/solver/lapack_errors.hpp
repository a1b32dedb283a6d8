// LAPACK failures as fatal errors of the run.
//
// LAPACK reports an illegal argument through the routine xerbla, whose
// library version prints a line and stops the process: the run would end with
// a success status, no ERROR line and no files closed. This system supplies
// its own xerbla, which raises the common fatal error instead. A non-zero
// `info` returned by a routine is turned into a fatal error with its meaning.
#pragma once

#include <string>

namespace abyss {

// The meaning of LAPACK's `info` for `routine` (a negative value names an
// illegal argument; a positive one the routine's own failure).
std::string lapack_info_meaning(const std::string& routine, int info);

// Ends the run through herr(caller, ...) when info is not zero.
void check_lapack(const std::string& caller, const std::string& routine, int info);

}  // namespace abyss
