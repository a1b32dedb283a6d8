#include "solver/adding.hpp"

namespace abyss {

using dense::Sq;
using dense::Row;

PassState::PassState(int n, bool transmittance, bool sources)
    : R(n), T(transmittance ? Sq::identity(n) : Sq()), with_T(transmittance), with_sources(sources) {
  if (!sources) return;
  for (auto& s : S) s.assign(static_cast<std::size_t>(n), 0.0);
}

Sq interaction(const Sq& r, const Sq& t, const Sq& R) {
  const int n = R.n;
  Sq a = Sq::identity(n);
  dense::gemm(r, R, a, -1.0, 1.0);
  Sq y = t;
  dense::solve_left(std::move(a), y.data(), n, "adding");
  return y;
}

Sq interaction(const SlabRT& slab, const Sq& R) { return interaction(slab.r, slab.t, R); }

Row add_source(const Row& S, const Row& toward, const Row& away, const Sq& R, const Sq& Y) {
  Row x = S;
  dense::vxm(toward.data(), R, x.data(), true);
  Row out = away;
  dense::vxm(x.data(), Y, out.data(), true);
  return out;
}

void add_slab(PassState& st, const SlabOps& slab, bool downward) {
  // Downward the slab lies below R: light from R enters its top.
  const SlabRT& s = slab.rt;
  const Sq& r_near = downward ? s.r : s.r_below();
  const Sq& r_far = downward ? s.r_below() : s.r;
  const Sq& t_in = downward ? s.t : s.t_up();
  const Sq& t_out = downward ? s.t_up() : s.t;
  const Sq Y = interaction(r_near, t_in, st.R);
  if (st.with_sources) {
    for (int h = 0; h < 2; ++h) {
      const Row& toward = downward ? slab.em.up[h] : slab.em.dn[h];
      const Row& away = downward ? slab.em.dn[h] : slab.em.up[h];
      st.S[h] = add_source(st.S[h], toward, away, st.R, Y);
    }
  }
  Sq tr = dense::mul(t_out, st.R);
  Sq rnew = r_far;
  dense::gemm(tr, Y, rnew, 1.0, 1.0);
  st.R = std::move(rnew);
  if (st.with_T) st.T = dense::mul(st.T, Y);
}

}  // namespace abyss
