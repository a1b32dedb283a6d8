// The inelastic share of the water-leaving radiance and of Eu just below the
// surface. The sources enter the amplitudes linearly, so the elastic-only
// light field of a band follows from the same operators with the source
// vectors left out; only the surface amplitudes are recomputed.
#include "control/run_state.hpp"
#include "solver/amplitudes.hpp"
#include "sources/sources.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

struct SurfaceValues {
  double lw = 0.0;  // nadir-viewing water-leaving radiance in air (polar cap)
  double eu = 0.0;  // upward plane irradiance just below the surface
};

SurfaceValues surface_values(const RunState& rs) {
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  SurfaceValues v;
  v.lw = rs.sol.air_parts.col(2)[nmu - 1];
  const double* up = rs.sol.cramp_up.col(1);
  for (int r = 1; r <= nmu; ++r)
    v.eu += (r == nmu ? 1 : nphi) * up[r - 1] * rs.cgrid.fmu(r) * rs.cgrid.omega(r);
  return v;
}

double share(double total, double elastic) { return total != 0.0 ? (total - elastic) / total : 0.0; }

}  // namespace

void inelastic_share(RunState& rs) {
  SolverState& sol = rs.sol;
  const SurfaceValues total = surface_values(rs);
  const Mat down = sol.cramp_down, up = sol.cramp_up, air = sol.air_parts;
  const int nsource = rs.cmisc.nsource;
  rs.cmisc.nsource = 0;
  ampw(rs);
  ampma(rs);
  rs.cmisc.nsource = nsource;
  const SurfaceValues elastic = surface_values(rs);
  sol.cramp_down = down;
  sol.cramp_up = up;
  sol.air_parts = air;
  SourceState& s = rs.src;
  s.lw_inel = total.lw - elastic.lw;
  s.eu_inel = total.eu - elastic.eu;
  const std::size_t j = static_cast<std::size_t>(rs.cmisc.jwave);
  if (j < s.lw_inel_band.size()) {
    s.lw_inel_band[j] = s.lw_inel;
    s.lw_total_band[j] = total.lw;
  }
  std::ostream& p = rs.pr();
  p << "\n Inelastic and internal sources at " << ff::F(rs.cmisc.wavenm, 6, 1) << " nm (total, elastic only, share of the total from the sources):\n"
    << "   Lw (nadir, W/m^2 sr nm)" << ff::PE(total.lw, 12, 4) << ff::PE(elastic.lw, 12, 4) << ff::F(share(total.lw, elastic.lw), 9, 4) << "\n"
    << "   Eu(0-) (W/m^2 nm)      " << ff::PE(total.eu, 12, 4) << ff::PE(elastic.eu, 12, 4) << ff::F(share(total.eu, elastic.eu), 9, 4) << "\n";
}

}  // namespace abyss
