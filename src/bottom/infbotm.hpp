// The infinitely deep water column below the deepest grid depth.
#pragma once

namespace abyss {
struct RunState;
// Reflectance of the homogeneous semi-infinite water below the deepest depth,
// for mode l, into cbotbc; for l = 0 also the asymptotic radiance distribution.
void infbotm(RunState& rs, int l);
}  // namespace abyss
