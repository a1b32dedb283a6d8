// The radiative-transfer solve of the current band.
#pragma once

namespace abyss {
struct RunState;
void radamps(RunState& rs);
}  // namespace abyss
