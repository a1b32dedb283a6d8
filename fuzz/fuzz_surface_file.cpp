// Sea-surface operator files and their lists. The first byte picks the file
// the rest of the input becomes: 0 a surface file (read by loadsurface with a
// fixed index and wind list), 1 "windlist.txt" (slctsurf), 2 "nlist.txt"
// (checkrefr). Any input must give operators or a fatal error.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "fuzz_support.hpp"
#include "grid/surface.hpp"

namespace {

abyss::RunState& state() {
  static auto rs = [] {
    auto p = std::make_unique<abyss::RunState>();
    p->cdirnames.surfaces = (abyss::fuzz::scratch_dir() / "surf").string() + "/";
    std::filesystem::create_directories(abyss::fuzz::scratch_dir() / "surf");
    p->console = &abyss::fuzz::null_stream();
    p->printout.open(abyss::fuzz::scratch_dir() / "printout.txt");
    p->cmisc.refr = 1.34;
    return p;
  }();
  return *rs;
}

void write_text(const std::string& name, const std::string& text) {
  std::ofstream(abyss::fuzz::scratch_dir() / "surf" / name, std::ios::trunc) << text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  abyss::RunState& rs = state();
  rs.surfload = abyss::SurfaceLoader{};
  rs.printout.seekp(0);  // keep the printout small
  const int which = data[0] % 3;
  const auto dir = abyss::fuzz::scratch_dir() / "surf";
  try {
    if (which == 0) {
      write_text("nlist.txt", "1340\n");
      write_text("windlist.txt", "  5\n");
      abyss::fuzz::write_file(dir / "surfwind_1340.5", data + 1, size - 1);
      abyss::loadsurface(rs, 5.0, 500.0);
      // Accepted operators are finite.
      for (int j = 1; j <= rs.cmisc.nhat; ++j)
        for (int i = 1; i <= rs.cmisc.nhat; ++i)
          if (!std::isfinite(rs.surf.slot[0](i, j))) __builtin_trap();
    } else if (which == 1) {
      abyss::fuzz::write_file(dir / "windlist.txt", data + 1, size - 1);
      int i1 = 0, i2 = 0;
      bool single = false;
      double w = 0.0;
      abyss::slctsurf(rs, i1, i2, single, w, 7.5, (dir / "windlist.txt").string());
      if (!(w >= 0.0 && w <= 1.0) || i1 > i2) __builtin_trap();
    } else {
      abyss::fuzz::write_file(dir / "nlist.txt", data + 1, size - 1);
      double n = 1.3391;
      int nA = 0, nB = 0;
      abyss::checkrefr(rs, n, nA, nB);
      if (nA > nB || nA < 1000 || nB > 2000) __builtin_trap();
    }
  } catch (const abyss::FatalError&) {
  }
  return 0;
}
