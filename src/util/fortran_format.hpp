// Fortran-style edit descriptors for the fixed-width printout and data files.
//
// Every table the engine writes is specified by Fortran field widths, so the
// writers compose lines from these helpers instead of printf: they reproduce
// Fortran's rounding (correct decimal rounding of the binary value), the
// dropping of the optional leading zero when the field is tight, the exponent
// forms of E editing, and the all-asterisks field on overflow.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace abyss::ff {

std::string I(long long v, int w);            // Iw
std::string F(double v, int w, int d);        // Fw.d
std::string E(double v, int w, int d);        // Ew.d   (0.ddddE+ee)
std::string PE(double v, int w, int d);       // 1PEw.d (d.dddE+ee)
std::string ES(double v, int w, int d);       // ESw.d  (same digits as 1PE)
std::string A(const std::string& s, int w);   // Aw: right-justified when shorter, truncated when longer
std::string X(int n);                         // nX: n blanks
std::string ld(double v);                     // list-directed real: a blank then the shortest round-trip text
std::string ld(long long v);                  // list-directed integer: right-justified in 12

// Writes n values as records of `per_record` fields Ew.d, each followed by one
// blank (the 10(E12.6,1X) layout of the surface and phase-function files).
void write_e_block(std::ostream& os, const double* v, std::size_t n, int per_record = 10, int w = 12,
                   int d = 6);

}  // namespace abyss::ff
