// The discretized phase-function (DPF) file: title; (F6.2, 3I3, I12) with a
// real header value, nmu, nphi, the quad-partition type code and an integer
// header value; (13X, F10.5) with the function's bb/b; then the
// transmission-type and the reflection-type arrays, each as M column blocks of
// nmu values in 10(E12.6,1X) records, every block starting a new record
// (M = nmu (nphi/2 + 1), column I = (s-1) nmu + u).
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "util/arrays.hpp"

namespace abyss::phase {

struct DpfArrays;

struct DpfHeader {
  std::string title;
  double real_value = 0.0;  // written by this system's generator: the Junge slope of Fournier-Forand members, else 0
  int nmu = 0, nphi = 0, type = 0;
  long int_value = 0;       // written by this system's generator: M, the number of columns of each array
  double bbtob = 0.0;
};

void write_dpf(std::ostream& os, const DpfHeader& h, const DpfArrays& d);

// Reads records 1 to 3. A record that cannot be read ends the run through
// herr(routine, ...) naming the file and the record.
DpfHeader read_dpf_header(std::istream& in, const std::string& name, const std::string& routine);
// Reads the two arrays (nmu rows, M columns each) into the leading block of pt and pr.
void read_dpf_arrays(std::istream& in, int nmu, int M, Mat& pt, Mat& pr, const std::string& name,
                     const std::string& routine);

}  // namespace abyss::phase
