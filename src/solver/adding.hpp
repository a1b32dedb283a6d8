// Adding (interaction) rules: a pass grows by one slab at a time.
//
// A pass holds R, the reflectance of everything already passed (seen from the
// side where the next slab is added), T, the transmittance from where the pass
// started (downward pass only), and the source vectors S (light leaving toward
// the new slab, one per half). Adding a slab with reflectance r_near (light
// coming from R's side) and r_far (from the other side), transmittances t_in
// (away from R) and t_out (toward R), and emission s_toward (toward R) and
// s_away (away from it):
//   Y  = (I - r_near R)^-1 t_in,
//   R' = r_far + t_out R Y,   T' = T Y,   S' = (S + s_toward R) Y + s_away.
// Row vectors of radiance amplitudes multiply from the left. The downward pass
// (R(zeta,w), T(w,zeta), S1d, S2d) adds slabs below; the upward passes
// (R(zeta,m), S1u, S2u) add slabs above.
#pragma once

#include "solver/slab_ops.hpp"

namespace abyss {

struct PassState {
  dense::Sq R, T;
  bool with_T = false, with_sources = false;
  dense::Row S[2];
  PassState(int n, bool transmittance, bool sources);
};

// Y = (I - r R)^-1 t for light entering a slab (reflectance r, transmittance
// t for that side) that faces the reflectance R.
dense::Sq interaction(const dense::Sq& r, const dense::Sq& t, const dense::Sq& R);
// The same for light from above (r, t); for a slab that looks the same from
// both sides this serves either direction.
dense::Sq interaction(const SlabRT& slab, const dense::Sq& R);
// S' = (S + s_toward R) Y + s_away.
dense::Row add_source(const dense::Row& S, const dense::Row& toward, const dense::Row& away, const dense::Sq& R,
                      const dense::Sq& Y);
// Adds a slab to the pass; `downward`: the slab lies below what the pass holds.
void add_slab(PassState& st, const SlabOps& slab, bool downward);

}  // namespace abyss
