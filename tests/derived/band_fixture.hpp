// A run state for the derived-quantity and output tests: a real quad
// partition, a depth grid with printout pairs, and amplitudes set by hand.
#pragma once

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/run_state.hpp"
#include "grid/quad_partition.hpp"

namespace abyss::testing {

inline std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

struct BandRun {
  std::unique_ptr<RunState> rs = std::make_unique<RunState>();
  std::ostringstream console;
  std::filesystem::path dir;

  // Requested depths `zreq`, each paired with a grid depth 0.01 m below it
  // (grid index 2i-1 requested, 2i+... the pair partner), bands of 10 nm from w0.
  BandRun(const std::string& tag, int nmu, int nphi, int lmax, const std::vector<double>& zreq, int nwave = 1,
          double w0 = 400.0) {
    RunState& s = *rs;
    dir = std::filesystem::temp_directory_path() / ("abyss_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    s.console = &console;
    s.printout.open(dir / "Ptest.txt");
    s.ctitle = "test run " + tag;
    s.out.digital_name = (dir / "Dtest.txt").string();
    s.out.radiance_name = (dir / "Ltest.txt").string();
    s.out.single_name = (dir / "Stest.txt").string();
    s.out.multi_name = (dir / "Mtest.txt").string();
    build_partition(QuadPartition{nmu, nphi, 1}, s.cgrid, s.cgridphi);
    s.cmisc.nmu = nmu;
    s.cmisc.nphi = nphi;
    s.cmisc.lmax = lmax;
    s.cmisc.nhat = nmu * (lmax + 1);
    int k = 0;
    for (double z : zreq) {
      s.cgrid.z(++k) = z;
      s.cgrid.zeta(k) = z;
      s.sel.pirrad.push_back(k);
      s.sel.pkfcn.push_back(k);
      s.cgrid.z(++k) = z + 0.01;
      s.cgrid.zeta(k) = z + 0.01;
    }
    s.cmisc.nz = k;
    s.sel.krad = {0, 0, 1, 0, 0, 1};
    s.cmisc.nwave = nwave;
    for (int j = 1; j <= nwave + 1; ++j) s.cwave.waveb(j) = w0 + 10.0 * (j - 1);
    for (int j = 1; j <= nwave; ++j) s.cwave.wave(j) = w0 + 5.0 + 10.0 * (j - 1);
    set_band(1);
  }
  ~BandRun() {
    rs->printout.close();
    close_all_outputs();
    std::filesystem::remove_all(dir);
  }
  void close_all_outputs() {
    for (std::ofstream* f : {&rs->out.radfile, &rs->out.digital, &rs->out.single})
      if (f->is_open()) f->close();
  }
  void set_band(int j) {
    rs->cmisc.jwave = j;
    rs->cmisc.wavenm = rs->cwave.wave(j);
  }
  std::string printout() {
    rs->printout.flush();
    return read_text((dir / "Ptest.txt").string());
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  // Cosine amplitude a(u, l) / sine amplitude b(u, l) element of a column.
  int cos_index(int u, int l) const { return l * rs->cmisc.nmu + u; }
  int sin_index(int u, int l) const { return rs->cmisc.nhat + l * rs->cmisc.nmu + u; }

  // Azimuth-independent radiances: sky(u) incident in air, up_air(u) upward
  // in air, and down(k, u) / up(k, u) in water; no direct beam below the surface.
  void set_isotropic(const std::function<double(int u)>& sky, const std::function<double(int u)>& up_air,
                     const std::function<double(int k, int u)>& down, const std::function<double(int k, int u)>& up) {
    SolverState& sol = rs->sol;
    sol.cramp0.zero();
    sol.cramp_down.zero();
    sol.cramp_up.zero();
    for (int u = 1; u <= rs->cmisc.nmu; ++u) {
      const int i = cos_index(u, 0);
      sol.cramp0(i, 1) = sky(u);
      sol.cramp_down(i, 1) = sky(u);
      sol.cramp_down(i, 2) = up_air(u);
      for (int k = 1; k <= rs->cmisc.nz; ++k) {
        sol.cramp_down(i, k + 2) = down(k, u);
        sol.cramp_up(i, k) = up(k, u);
      }
    }
  }
  void set_uniform(double L) {
    auto c = [L](int) { return L; };
    auto ck = [L](int, int) { return L; };
    set_isotropic(c, c, ck, ck);
  }
};

}  // namespace abyss::testing
