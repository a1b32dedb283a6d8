// IOP dispatch: the model chosen in the run input answers every request for
// absorption and scattering.
#include "iop/abscat.hpp"

#include "control/errors.hpp"
#include "control/run_state.hpp"

namespace abyss {

IopValues abscat(RunState& rs, double depth, double wavenm, int ncomp) {
  switch (rs.cmodelopts.model()) {
    case 0: return abconst(rs, depth, wavenm, ncomp);
    case 1: return abcase1(rs, depth, wavenm, ncomp);
    case 2: return abcase2(rs, depth, wavenm, ncomp);
    case 3: return abacbb(rs, depth, wavenm, ncomp);
    case 4: return abnewcase1(rs, depth, wavenm, ncomp);
    default: return user_abscat(rs, depth, wavenm, ncomp);
  }
}

IopValues user_abscat(RunState&, double, double, int) { herr("user_abscat", "no IOP model specified"); }

}  // namespace abyss
