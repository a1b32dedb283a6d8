#include "grid/quad_partition.hpp"

#include <cmath>
#include <stdexcept>

#include "grid/grid_state.hpp"

namespace abyss {

void build_partition(const QuadPartition& q, Grid& g, GridPhi& gp) {
  if (q.nmu < 2 || q.nmu > mxmu || q.nphi < 2 || q.nphi > mxphi || q.nphi % 2 != 0)
    throw std::invalid_argument("quad partition out of range");
  const double pi = std::acos(-1.0);
  const double dtheta = 0.5 * pi / (q.nmu - 1);
  g.bndmu(0) = 0.0;
  for (int u = 1; u < q.nmu; ++u) {
    const double theta_up = 0.5 * pi - 0.5 * dtheta - (u - 1) * dtheta;  // zenith angle of the upper boundary
    g.bndmu(u) = std::cos(theta_up);
  }
  g.bndmu(q.nmu) = 1.0;
  for (int u = 1; u <= q.nmu; ++u) {
    g.dmu(u) = g.bndmu(u) - g.bndmu(u - 1);
    g.fmu(u) = 0.5 * (g.bndmu(u - 1) + g.bndmu(u));
    g.omega(u) = (u == q.nmu) ? 2.0 * pi * g.dmu(u) : g.dmu(u) * 2.0 * pi / q.nphi;
  }
  const double dphi = 2.0 * pi / q.nphi;
  for (int s = 1; s <= q.nphi; ++s) {
    gp.phi(s) = (s - 1) * dphi;
    gp.bndphi(s) = gp.phi(s) + 0.5 * dphi;
  }
  gp.bndphi(0) = gp.bndphi(q.nphi) - 2.0 * pi;
}

}  // namespace abyss
