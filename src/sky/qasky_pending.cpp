// Placeholder until the sky models land.
#include "sky/qasky.hpp"

namespace abyss {
void qasky(RunState&) {}
}  // namespace abyss
