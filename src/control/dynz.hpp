// Dynamic depth of the infinitely deep bottom.
#pragma once

#include <vector>

namespace abyss {
struct RunState;
// band 0: initialization (grid extension); band j > 0: before the solve of band j.
void getdynz(RunState& rs, int band);

// Merges bottom depths closer than 0.1 m: returns the distinct depths in
// increasing order and, in `group`, each input depth's 0-based index in that
// list. A merged group is represented by its deepest member, so no band's
// bottom moves up.
std::vector<double> merge_bottom_depths(const std::vector<double>& depths, std::vector<int>& group);
}  // namespace abyss
