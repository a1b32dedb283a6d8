// Quad-averaged sky radiance of the current band.
#pragma once

namespace abyss {
struct RunState;
void qasky(RunState& rs);
}  // namespace abyss
