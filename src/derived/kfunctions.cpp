// Irradiance and radiance K-functions and path functions between the paired
// grid depths (k, k+1) selected for the printout.
#include <array>

#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// The seven quantities whose K-functions are reported at level k, in KIndex order.
std::array<double, kNumK> k_quantities(const RunState& rs, int k) {
  const Irradiances& e = rs.der.cirrad;
  const double enet = e.ed(k) - e.eu(k);
  const double lu = rs.der.rad.dif_up(k)(rs.cmisc.nmu, 1);  // nadir-viewing radiance
  return {e.eou(k), e.eod(k), e.eo(k), e.eu(k), e.ed(k), enet, lu};
}

// K-functions of the pair (k, k+1). Enet <= 0 (upward flux at least the
// downward) leaves K_net undefined, as does any non-positive quantity.
std::array<double, kNumK> k_pair(const RunState& rs, int k) {
  const std::array<double, kNumK> up = k_quantities(rs, k), lo = k_quantities(rs, k + 1);
  const double z1 = rs.cgrid.z(k), z2 = rs.cgrid.z(k + 1);
  std::array<double, kNumK> kv{};
  for (int i = 0; i < kNumK; ++i) kv[static_cast<std::size_t>(i)] = k_between(up[i], lo[i], z1, z2);
  return kv;
}

void print_k_header(RunState& rs, bool long_form) {
  std::ostream& p = rs.pr();
  p << "\n K-functions (units of 1/meter) at " << ff::F(rs.cmisc.wavenm, 6, 1)
    << " nm (these are accurate local values only when zupper and zlower are closely spaced)\n\n";
  p << "    zupper    zlower         z    ";
  if (long_form)
    p << "Kou(z)    Kod(z)    Ko(z)     Ku(z)     Kd(z)    Knet(z)    KLu(z)\n";
  else
    p << "Ko(z)     Ku(z)     Kd(z)    Knet(z)    KLu(z)\n";
}

}  // namespace

void kfcn(RunState& rs) {
  const bool long_form = rs.cmisc.iprint < 0;
  KStore& st = rs.der.ckxcl;
  const int j = rs.cmisc.jwave;
  print_k_header(rs, long_form);
  st.zmid.clear();
  int pair = 0;
  for (int k : rs.sel.pkfcn) {
    if (k + 1 > rs.cmisc.nz) continue;
    const std::array<double, kNumK> kv = k_pair(rs, k);
    const double z1 = rs.cgrid.z(k), z2 = rs.cgrid.z(k + 1);
    st.zmid.push_back(0.5 * (z1 + z2));
    ++pair;
    for (int i = 0; i < kNumK; ++i) st.k[static_cast<std::size_t>(i)](pair, j) = kv[static_cast<std::size_t>(i)];
    std::string row = ff::F(z1, 10, 3) + ff::F(z2, 10, 3) + ff::F(0.5 * (z1 + z2), 10, 3);
    for (int i = long_form ? kKou : kKo; i < kNumK; ++i) row += field(ff::F, kv[static_cast<std::size_t>(i)], 10, 4);
    rs.pr() << row << "\n";
  }
}

namespace {

struct PathValues {
  double lplus, lminus, pathplus, pathminus, kplus, kminus;
};

// Radiance K-functions and path functions of quad (u, s) between grid depths k and k+1.
PathValues path_values(const RunState& rs, int u, int s, int k) {
  const double dz = rs.cgrid.z(k + 1) - rs.cgrid.z(k);
  const double d1 = total_down(rs, k, u, s), d2 = total_down(rs, k + 1, u, s);
  const double u1 = rs.der.rad.dif_up(k)(u, s), u2 = rs.der.rad.dif_up(k + 1)(u, s);
  const double lp = 0.5 * (d1 + d2), lm = 0.5 * (u1 + u2);
  const double dlp = (d2 - d1) / dz, dlm = (u2 - u1) / dz;
  const double c = 0.5 * (rs.ciop.c(k) + rs.ciop.c(k + 1));
  const double mu = rs.cgrid.fmu(u);
  return {lp, lm, mu * dlp + c * lp, c * lm - mu * dlm, guarded_ratio(-dlp, lp), guarded_ratio(-dlm, lm)};
}

void print_path_header(RunState& rs) {
  rs.pr()
      << "\n Radiances, Path Functions, and Radiance K-Functions\n"
      << "     (Valid only for closely spaced depths)\n"
      << "     PATHF is the path function dL/dr + c L: the radiance gained per metre of path by scattering\n"
      << "     (and internal sources) into the viewing direction, W/(m^3 sr nm)\n"
      << "     + labels the downward-travelling (direction theta), - the upward-travelling (180 - theta) radiance\n\n"
      << "  I  J  Theta   Phi  zupper zlower    z      RAD+       RAD-      PATHF+     PATHF-       K+       K-\n";
}

}  // namespace

void kradpath(RunState& rs) {
  const std::array<int, 6>& kr = rs.sel.krad;
  if (kr[2] <= 0 || kr[5] <= 0) return;
  print_path_header(rs);
  const int nmu = rs.cmisc.nmu, nphi = rs.cmisc.nphi;
  for (int u = kr[0]; u <= kr[1] && u <= nmu; u += kr[2]) {
    for (int s = kr[3]; s <= kr[4] && s <= nphi; s += kr[5]) {
      if (u == nmu && s > 1) continue;  // the cap is one quad, carried by s = 1
      for (int k : rs.sel.pkfcn) {
        if (k + 1 > rs.cmisc.nz) continue;
        const PathValues v = path_values(rs, u, s, k);
        const double z1 = rs.cgrid.z(k), z2 = rs.cgrid.z(k + 1);
        rs.pr() << ff::I(u, 3) << ff::I(s, 3) << ff::F(band_theta_deg(rs, u), 7, 1)
                << ff::F(rs.cgridphi.phi(s) * rs.cmisc.raddeg, 6, 1) << ff::F(z1, 8, 2) << ff::F(z2, 7, 2)
                << ff::F(0.5 * (z1 + z2), 7, 2) << field(ff::PE, v.lplus, 11, 3) << field(ff::PE, v.lminus, 11, 3)
                << field(ff::PE, v.pathplus, 11, 3) << field(ff::PE, v.pathminus, 11, 3) << field(ff::F, v.kplus, 9, 4)
                << field(ff::F, v.kminus, 9, 4) << "\n";
      }
      rs.pr() << "\n";
    }
  }
}

}  // namespace abyss
