// IOP dispatch: the model chosen in the run input answers every request for
// absorption and scattering.
#include "iop/abscat.hpp"

#include <algorithm>

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

std::vector<double> profile_node_depths(const RunState& rs) {
  std::vector<double> z;
  auto add = [&](const ProfileData& p) {
    if (!p.loaded) return;
    for (int i = 1; i <= p.n; ++i) z.push_back(p.z(i));
  };
  add(rs.iopflags.chl);
  add(rs.iopflags.cdom);
  for (const ProfileData& p : rs.iopflags.minz) add(p);
  // The ac-9 model interpolates its instrument tables linearly in depth too.
  const Ac9State& ac9 = rs.iopflags.ac9;
  for (const DepthWaveTable* t : {&ac9.ac, &ac9.bb, &ac9.cdom})
    for (int i = 1; i <= t->nz; ++i) z.push_back(t->z(i));
  std::sort(z.begin(), z.end());
  z.erase(std::unique(z.begin(), z.end()), z.end());
  return z;
}

IopValues user_abscat(RunState&, double, double, int) { herr("user_abscat", "no IOP model specified"); }

}  // namespace abyss
