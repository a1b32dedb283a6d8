// IOP models this build does not contain: the ac-9 model (measured a and c
// tables) and the two-particle Case 1 model. Choosing one stops the run with
// a message that says so, instead of computing with made-up properties.
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"

namespace abyss {
namespace {
[[noreturn]] void unavailable(RunState& rs, const std::string& routine, int code) {
  rs.pr() << "\n     The IOP model " << code << " (routine \"" << routine
          << "\") is not available in this build; choose model 0, 1 or 2 in record 1.\n";
  herr(routine, "IOP model not available in this build");
}
}  // namespace

IopValues abacbb(RunState& rs, double, double, int) { unavailable(rs, "abacbb", 3); }
IopValues abnewcase1(RunState& rs, double, double, int) { unavailable(rs, "abnewcase1", 4); }

}  // namespace abyss
