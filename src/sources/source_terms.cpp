#include "sources/source_terms.hpp"

#include <string>

#include "control/errors.hpp"
#include "control/run_state.hpp"

namespace abyss {

void source_term(const RunState& rs, int which, int l, double depth, SourceAmps& out) {
  static const char* const kName[] = {"", "bioluminescence", "chlorophyll fluorescence", "CDOM fluorescence",
                                      "Raman scattering"};
  const auto& fn = rs.sol.source_fn[static_cast<std::size_t>(which)];
  if (!fn) herr("sumshat", std::string("the ") + kName[which] + " source is not available in this version");
  out = SourceAmps{};
  fn(rs, l, depth, out);
}

}  // namespace abyss
