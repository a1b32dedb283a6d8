// Cost of the inelastic sources (not a test): a 60-band Case 1 run (5 nm bands
// from 400 to 700 nm, Chl 0.5 mg/m^3, 10 output depths to 50 m, infinitely
// deep) with Raman scattering, chlorophyll and CDOM fluorescence on, against
// the same run without them, both through the engine executable in the same
// process of this benchmark. Prints the wall and CPU times and their ratio;
// a second pair adds the dynamic bottom depth, which deepens the grid.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string input(const std::string& sources, int dynz) {
  std::string bands;
  for (int w = 400; w <= 700; w += 5) bands += std::to_string(w) + " ";
  return "1 400.0 700.0 0.02 488.0 2.6e-4 " + std::to_string(dynz) +
         "\nInelastic benchmark\nbench\n0 0 0 0 0 1\n0 0 0 2 0\n2 3\n0.0 0.5 0.0\n"
         "0 0 440.0 0.0 0.0\n0 3 440.0 0.06 0.014\n0 0 440.0 0.0 0.0\n"
         "unused.txt\nastarchl_norm_ps81.txt\nunused.txt\n-1 0.0 0.0 0.0 0.0 0.0\n1 0.3 0.62 1.0 550.0 0.0\n"
         "unused.txt\nunused.txt\n0 0.0 0.0 0.0 0.0\n1 0.012 0.0 0.0 0.0\npure_water.dpf\npetzold_avg_particle.dpf\n"
         "60\n" + bands + "\n" + sources + "\n1 5 30.0 0.0 1.25 0.3 1.0\n172 35.0 -60.0 1013.25 1 80 1.5 15 5 300\n"
         "5.0 1.34 20.0 35.0\n0 0.0\n0 10 0.0 1.0 2.0 5.0 10.0 15.0 20.0 30.0 40.0 50.0\npureh2o_abs_scat.txt\n0\n"
         "unused.txt\nunused.txt\nunused.txt\nunused.txt\nunused.txt\nreef_sand.txt\nunused.txt\nchlzprofile_gaussian.txt\n"
         "unused.txt\nunused.txt\n";
}

double child_cpu() {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_utime.tv_sec + 1e-6 * ru.ru_utime.tv_usec + ru.ru_stime.tv_sec + 1e-6 * ru.ru_stime.tv_usec;
}

struct Timing {
  double wall, cpu;
};

Timing run(const fs::path& root, const fs::path& exe, const std::string& text) {
  std::ofstream(root / "input.txt") << text;
  const std::string cmd = "cd '" + (root / "run").string() + "' && '" + exe.string() + "' < '" +
                          (root / "input.txt").string() + "' > '" + (root / "console.txt").string() + "' 2>&1";
  const double c0 = child_cpu();
  const auto t0 = std::chrono::steady_clock::now();
  const int st = std::system(cmd.c_str());
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) std::fprintf(stderr, "run failed, see %s\n", (root / "console.txt").c_str());
  return {wall, child_cpu() - c0};
}

}  // namespace

int main() {
  const fs::path build = fs::canonical("/proc/self/exe").parent_path();
  const fs::path exe = build / "abyssolver", data = build.parent_path() / "data";
  const fs::path root = fs::temp_directory_path() / ("abyss_inel_bench_" + std::to_string(::getpid()));
  fs::create_directories(root / "run");
  fs::create_directory_symlink(data, root / "data");
  for (int dynz : {0, 1}) {
    const Timing off = run(root, exe, input("0 0 0 0 2", dynz));
    const Timing on = run(root, exe, input("0 1 1 1 2", dynz));
    std::printf("dynamic depth %s: without sources %.1f s wall (%.1f s CPU); Raman + chlorophyll + CDOM fluorescence "
                "%.1f s wall (%.1f s CPU); ratio %.2f (CPU %.2f)\n",
                dynz ? "on " : "off", off.wall, off.cpu, on.wall, on.cpu, on.wall / off.wall, on.cpu / off.cpu);
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
