// Dynamic depth of the infinitely deep bottom.
#pragma once

namespace abyss {
struct RunState;
// band 0: initialization (grid extension); band j > 0: before the solve of band j.
void getdynz(RunState& rs, int band);
}  // namespace abyss
