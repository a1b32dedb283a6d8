// Records of the inelastic and internal sources.
#pragma once

#include <array>
#include <string>

#include "control/limits.hpp"
#include "util/arrays.hpp"

namespace abyss {

struct SourceState {
  // csource0: bioluminescence, chlorophyll fluorescence, CDOM fluorescence, Raman (index 1..4)
  std::array<int, 5> flags{};
  int ichl = 0;                 // cindexchl: chlorophyll component used by fluorescence
  std::string bio_file;         // csourcebdata
  // csourceh: sigma1..sigma4 at the current depth and mode, index 1..nmu
  std::array<VecD, 5> sigma{VecD{}, VecD{1, mxmu}, VecD{1, mxmu}, VecD{1, mxmu}, VecD{1, mxmu}};
  bool bio() const { return flags[1] != 0; }
  bool chlfl() const { return flags[2] != 0; }
  bool cdomfl() const { return flags[3] != 0; }
  bool raman() const { return flags[4] != 0; }
  bool inelastic() const { return chlfl() || cdomfl() || raman(); }
};

}  // namespace abyss
