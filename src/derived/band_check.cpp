#include "derived/band_check.hpp"

#include <cmath>

#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/run_state.hpp"

namespace abyss {
namespace {

bool finite_slice(const Mat& m, int nmu, int nphi) {
  for (int s = 1; s <= nphi; ++s)
    for (int r = 1; r <= nmu; ++r)
      if (!std::isfinite(m(r, s))) return false;
  return true;
}

}  // namespace

std::optional<BandFault> first_nonfinite(const Radiances& rad, const Irradiances& e, int nz, int nmu, int nphi) {
  for (int k = 0; k <= nz; ++k) {
    if (!finite_slice(rad.dif_up(k), nmu, nphi)) return BandFault{k, "upward diffuse radiance"};
    if (!finite_slice(rad.dif_down(k), nmu, nphi)) return BandFault{k, "downward diffuse radiance"};
    if (!finite_slice(rad.dir_down(k), nmu, nphi)) return BandFault{k, "downward direct radiance"};
    if (!std::isfinite(e.ed(k))) return BandFault{k, "Ed"};
    if (!std::isfinite(e.eu(k))) return BandFault{k, "Eu"};
    if (!std::isfinite(e.eod(k))) return BandFault{k, "Eod"};
    if (!std::isfinite(e.eou(k))) return BandFault{k, "Eou"};
  }
  if (!finite_slice(rad.dir_up_air, nmu, nphi)) return BandFault{0, "surface-reflected sky radiance"};
  return std::nullopt;
}

void require_finite_band(const RunState& rs) {
  const Misc& m = rs.cmisc;
  const auto fault = first_nonfinite(rs.der.rad, rs.der.cirrad, m.nz, m.nmu, m.nphi);
  if (!fault) return;
  const std::string where =
      fault->level == 0 ? std::string("in air") : fmt::format("at depth {:.4g} m (grid depth {})", rs.cgrid.z(fault->level), fault->level);
  herr("radanal", fmt::format("non-finite {} in band {} ({:.1f} nm) {}; nothing of this band is written", fault->what,
                              m.jwave, m.wavenm, where));
}

}  // namespace abyss
