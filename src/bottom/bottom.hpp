// Bottom boundary: description printout and the per-mode operator.
#pragma once

namespace abyss {
struct RunState;
void pntbc(RunState& rs);        // writes the bottom description (BOTTOM BOUNDARY section)
void botmbc(RunState& rs, int l);  // bottom reflectance operator of mode l into cbotbc
}  // namespace abyss
