// Helpers shared by the surface tests: a scratch directory of generated
// surface files and a run state pointed at it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "control/run_state.hpp"
#include "grid/surface_amplitudes.hpp"
#include "grid/surface_file_writer.hpp"

namespace abyss::testing_surface {

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("abyss_surface_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

inline QuadPartition partition(int nmu, int nphi) {
  QuadPartition p;
  p.nmu = nmu;
  p.nphi = nphi;
  return p;
}

// Generates a set into `dir` with few rays (enough for the properties tested).
inline void generate(const std::filesystem::path& dir, const QuadPartition& part, std::vector<int> indices,
                     std::vector<int> winds, int strata = 8) {
  SurfaceSetOptions opt;
  opt.dir = dir;
  opt.part = part;
  opt.indices = std::move(indices);
  opt.winds = std::move(winds);
  opt.rays.strata = strata;
  generate_surface_set(opt);
}

// A run state reading surfaces from `dir`, printout into a file of that
// directory and console into a string.
struct TestRun {
  std::unique_ptr<RunState> rs = std::make_unique<RunState>();
  std::ostringstream console;
  std::filesystem::path printout;
  TestRun(const ScratchDir& d, double nconst) {
    rs->cdirnames.surfaces = d.dir();
    rs->cmisc.refr = nconst;
    rs->console = &console;
    printout = d.path() / "printout.txt";
    rs->printout.open(printout);
  }
  std::string printed() {
    rs->printout.flush();
    std::ifstream in(printout);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

// Largest |element| of the cosine amplitude operators inside the Fourier-mode
// diagonal blocks (diag) and outside them (off): an operator that keeps the
// modes apart has off at rounding level.
struct ModeCoupling {
  double diag = 0.0, off = 0.0;
};
template <class Slots>
ModeCoupling mode_coupling(const Slots& slots, const AmplitudeLayout& lay) {
  ModeCoupling c;
  for (const auto& m : slots)
    for (int l = 0; l <= lay.lmax; ++l)
      for (int lt = 0; lt <= lay.lmax; ++lt)
        for (int u = 1; u <= lay.nmu; ++u)
          for (int ut = 1; ut <= lay.nmu; ++ut) {
            const double v = std::fabs(m(lay.cos_index(l, u), lay.cos_index(lt, ut)));
            double& slot = (l == lt) ? c.diag : c.off;
            slot = std::max(slot, v);
          }
  return c;
}

}  // namespace abyss::testing_surface
