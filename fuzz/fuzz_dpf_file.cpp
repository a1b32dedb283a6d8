// Discretized phase-function files: header, then the two arrays of the size
// the header gives. Any input must give arrays or a fatal error.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "control/errors.hpp"
#include "phase/dpf_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    const abyss::phase::DpfHeader h = abyss::phase::read_dpf_header(in, "fuzz.dpf", "fuzz");
    const int M = h.nmu * (h.nphi / 2 + 1);
    abyss::Mat pt(h.nmu, M), pr(h.nmu, M);
    abyss::phase::read_dpf_arrays(in, h.nmu, M, pt, pr, "fuzz.dpf", "fuzz");
    for (int j = 1; j <= M; ++j)
      for (int i = 1; i <= h.nmu; ++i)
        if (!(std::isfinite(pt(i, j)) && pt(i, j) >= 0.0 && std::isfinite(pr(i, j)) && pr(i, j) >= 0.0))
          __builtin_trap();
  } catch (const abyss::FatalError&) {
  }
  return 0;
}
