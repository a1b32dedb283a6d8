#include "solver/adding.hpp"

namespace abyss {

using dense::Sq;
using dense::Row;

PassState::PassState(int n, bool transmittance, bool sources)
    : R(n), T(transmittance ? Sq::identity(n) : Sq()), with_T(transmittance), with_sources(sources) {
  if (!sources) return;
  for (auto& s : S) s.assign(static_cast<std::size_t>(n), 0.0);
}

Sq interaction(const SlabRT& slab, const Sq& R) {
  const int n = R.n;
  Sq a = Sq::identity(n);
  dense::gemm(slab.r, R, a, -1.0, 1.0);
  Sq y = slab.t;
  dense::solve_left(a, y.data(), n, "adding");
  return y;
}

Row add_source(const Row& S, const Row& toward, const Row& away, const Sq& R, const Sq& Y) {
  Row x = S;
  dense::vxm(toward.data(), R, x.data(), true);
  Row out = away;
  dense::vxm(x.data(), Y, out.data(), true);
  return out;
}

void add_slab(PassState& st, const SlabOps& slab, bool downward) {
  const Sq Y = interaction(slab.rt, st.R);
  if (st.with_sources) {
    for (int h = 0; h < 2; ++h) {
      const Row& toward = downward ? slab.em.up[h] : slab.em.dn[h];
      const Row& away = downward ? slab.em.dn[h] : slab.em.up[h];
      st.S[h] = add_source(st.S[h], toward, away, st.R, Y);
    }
  }
  Sq tr = dense::mul(slab.rt.t, st.R);
  Sq rnew = slab.rt.r;
  dense::gemm(tr, Y, rnew, 1.0, 1.0);
  st.R = std::move(rnew);
  if (st.with_T) st.T = dense::mul(st.T, Y);
}

}  // namespace abyss
