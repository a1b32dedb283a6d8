// The phase-function library of a run: loaded on the first call of selpfbb
// and kept, with the remembered interpolation bracket, for the whole run.
#pragma once

#include <string>
#include <vector>

#include "util/arrays.hpp"

namespace abyss {

struct DpfLibrary {
  bool loaded = false;
  std::vector<std::string> names;   // valid member files, in list order
  std::vector<double> bb;           // their bb/b values, sorted ascending (index 0..nvalid-1)
  std::vector<int> perm;            // bb[j] belongs to names[perm[j]]
  std::vector<Mat> pt_lib, pr_lib;  // member arrays in sorted order, each nmu x M
  std::vector<std::string> titles;  // member titles in sorted order
  int ilo = -1, ihi = -1;           // remembered bracket (indices into bb), -1 before the first selection
};

}  // namespace abyss
