// Plane and scalar irradiances, mean cosines and reflectance of the band.
#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "solver/sun_beam.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

struct HemisphereSums {
  double scalar = 0.0, plane = 0.0;
};

// Integrals of the quad-averaged radiance over one hemisphere: omega(r) is the
// solid angle of one quad (the whole cap for r = nmu, whose s > 1 entries are 0).
template <class Radiance>
HemisphereSums hemisphere(const RunState& rs, Radiance L) {
  HemisphereSums h;
  for (int r = 1; r <= rs.cmisc.nmu; ++r) {
    double ring = 0.0;
    for (int s = 1; s <= rs.cmisc.nphi; ++s) ring += L(r, s);
    h.scalar += ring * rs.cgrid.omega(r);
    h.plane += ring * rs.cgrid.fmu(r) * rs.cgrid.omega(r);
  }
  return h;
}

void irradiances_at(RunState& rs, int k) {
  Irradiances& e = rs.der.cirrad;
  const HemisphereSums dn = hemisphere(rs, [&](int r, int s) { return total_down(rs, k, r, s); });
  const HemisphereSums up = hemisphere(rs, [&](int r, int s) { return total_up(rs, k, r, s); });
  // The sun's beam is held in its quad at the quad-centre cosine; its scalar
  // irradiance is that of its own direction (its plane irradiance is exact).
  e.eod(k) = dn.scalar + beam_scalar_correction(rs, k);
  e.ed(k) = dn.plane;
  e.eou(k) = up.scalar;
  e.eu(k) = up.plane;
  e.eo(k) = e.eod(k) + e.eou(k);
  e.mubard(k) = guarded_ratio(e.ed(k), e.eod(k));
  e.mubaru(k) = guarded_ratio(e.eu(k), e.eou(k));
  e.mubar(k) = guarded_ratio(e.ed(k) - e.eu(k), e.eo(k));
  e.r(k) = guarded_ratio(e.eu(k), e.ed(k));
}

std::string irr_row(const RunState& rs, int k, bool long_form) {
  const Irradiances& e = rs.der.cirrad;
  std::string row;
  if (long_form) row += field(ff::PE, e.eou(k), 12, 4) + field(ff::PE, e.eod(k), 12, 4);
  row += field(ff::PE, e.eo(k), 12, 4) + field(ff::PE, e.eu(k), 12, 4) + field(ff::PE, e.ed(k), 12, 4);
  row += field(ff::F, e.mubaru(k), 9, 4) + field(ff::F, e.mubard(k), 9, 4) + field(ff::F, e.mubar(k), 9, 4);
  row += field(ff::PE, e.r(k), 12, 4);
  return row;
}

void print_irradiances(RunState& rs) {
  std::ostream& p = rs.pr();
  const bool long_form = rs.cmisc.iprint < 0;
  p << "\n Irradiances (units of W/m^2 nm), Mean Cosines (Mubars), and Irradiance Reflectance at "
    << ff::F(rs.cmisc.wavenm, 6, 1) << " nm\n\n";
  p << "   iz   zeta   z(m)";
  if (long_form) p << ff::A("Eou", 12) << ff::A("Eod", 12);
  p << ff::A("Eo", 12) << ff::A("Eu", 12) << ff::A("Ed", 12) << "   MUBARu   MUBARd    MUBAR" << ff::A("R = Eu/Ed", 12)
    << "\n";
  p << "    in air" << ff::X(9) << irr_row(rs, 0, long_form) << "\n";
  for (int k = 1; k <= rs.cmisc.nz; ++k)
    p << ff::I(k, 5) << ff::F(rs.cgrid.zeta(k), 7, 3) << ff::F(rs.cgrid.z(k), 7, 2) << irr_row(rs, k, long_form)
      << "\n";
}

}  // namespace

void irrad(RunState& rs) {
  for (int k = 0; k <= rs.cmisc.nz; ++k) irradiances_at(rs, k);
  print_irradiances(rs);
}

}  // namespace abyss
