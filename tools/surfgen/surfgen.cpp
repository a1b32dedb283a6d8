// surfgen: generates the sea-surface operator files of the data tree.
//
//   surfgen [--out DIR] [--partition NMUxNPHI] [--indices LIST] [--winds LIST]
//           [--threads N] [--strata N] [--update] [--on-demand [--now LIST]]
//   surfgen --check [--indices LIST] [--winds LIST] [--strata N]
//
// LIST is comma-separated; indices may be written as 1.340 or as 1340
// (thousandths). Without options the default set (1.325 to 1.370 in steps of
// 0.005, winds 0 to 15 m/s, 10 x 24 quads) goes to data/surfaces/Abyssolver/.
// --update rewrites only files that are missing or older than this program.
// --on-demand writes the lists and the level-surface files only: each
// wind-blown file is computed by the first run that needs it and kept (a
// 20 x 24 file takes about 8 s, the whole set of them 11 CPU minutes).
// --now INDEX:WIND,... computes those wind-blown files of an on-demand set all
// the same (the ones the shipped runs need).
// --check writes no files: it compares the traced operators with a direct
// quadrature of the single facet interaction (Cox-Munk slope density,
// Fresnel reflectance, projected area) for suns at 30 and 60 degrees, at the
// first listed index (default 1.340) and the listed winds (default 2, 6,
// 10 m/s), and for upwelling light refracted into the grazing band.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "grid/glint_quadrature.hpp"
#include "grid/surface_file_writer.hpp"

namespace {

std::vector<double> parse_list(const std::string& text) {
  std::vector<double> v;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) {
    std::size_t used = 0;
    v.push_back(std::stod(item, &used));
    if (used != item.size()) throw std::invalid_argument("bad list item '" + item + "'");
  }
  if (v.empty()) throw std::invalid_argument("empty list");
  return v;
}

std::vector<int> parse_indices(const std::string& text) {
  std::vector<int> out;
  for (double x : parse_list(text)) {
    const int m = static_cast<int>(std::lround(x < 10.0 ? 1000.0 * x : x));
    if (m < 1000 || m > 9999) throw std::invalid_argument("index of refraction out of range: " + std::to_string(x));
    out.push_back(m);
  }
  return out;
}

std::vector<int> parse_winds(const std::string& text) {
  std::vector<int> out;
  for (double x : parse_list(text)) {
    if (x < 0.0 || x > 99.0 || x != std::floor(x))
      throw std::invalid_argument("wind speeds must be whole m/s from 0 to 99");
    out.push_back(static_cast<int>(x));
  }
  return out;
}

// "1.340:4,1.340:6": index and wind of each wind-blown file an on-demand set
// computes now.
std::vector<std::pair<int, int>> parse_files_now(const std::string& text) {
  std::vector<std::pair<int, int>> out;
  std::stringstream ss(text);
  for (std::string item; std::getline(ss, item, ',');) {
    const auto colon = item.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("--now takes INDEX:WIND pairs, e.g. 1.340:4,1.340:6");
    out.emplace_back(parse_indices(item.substr(0, colon)).at(0), parse_winds(item.substr(colon + 1)).at(0));
  }
  return out;
}

abyss::QuadPartition parse_partition(const std::string& text) {
  abyss::QuadPartition p;
  const auto x = text.find('x');
  if (x == std::string::npos) throw std::invalid_argument("partition must be NMUxNPHI, e.g. 10x24");
  p.nmu = std::stoi(text.substr(0, x));
  p.nphi = std::stoi(text.substr(x + 1));
  return p;
}

void usage() {
  std::cerr << "usage: surfgen [--out DIR] [--partition NMUxNPHI] [--indices LIST] [--winds LIST]\n"
               "               [--threads N] [--strata N] [--update]\n"
               "               [--on-demand [--now INDEX:WIND,...]]\n"
               "       surfgen --check [--indices LIST] [--winds LIST] [--strata N]\n";
}

struct Options {
  abyss::SurfaceSetOptions set;
  bool check = false;
  bool winds_given = false, indices_given = false;
};

Options parse_args(int argc, char** argv) {
  Options o;
  abyss::SurfaceSetOptions& opt = o.set;
  opt.dir = "data/surfaces/Abyssolver";
  opt.indices = abyss::default_indices();
  opt.winds = abyss::default_winds();
  opt.threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
      return argv[++i];
    };
    if (a == "--out") opt.dir = value();
    else if (a == "--partition") opt.part = parse_partition(value());
    else if (a == "--indices") opt.indices = parse_indices(value()), o.indices_given = true;
    else if (a == "--winds") opt.winds = parse_winds(value()), o.winds_given = true;
    else if (a == "--check") o.check = true;
    else if (a == "--threads") opt.threads = std::stoi(value());
    else if (a == "--strata") opt.rays.strata = std::stoi(value());
    else if (a == "--update") opt.update_only = true;
    else if (a == "--on-demand") opt.on_demand = true;
    else if (a == "--now") opt.computed_now = parse_files_now(value());
    else throw std::invalid_argument("unknown option " + a);
  }
  std::sort(opt.indices.begin(), opt.indices.end());
  std::sort(opt.winds.begin(), opt.winds.end());
  if (opt.rays.strata < 1) throw std::invalid_argument("--strata must be positive");
  const auto listed = [](const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); };
  for (const auto& [m, w] : opt.computed_now)
    if (!listed(opt.indices, m) || !listed(opt.winds, w))
      throw std::invalid_argument("--now " + std::to_string(m) + ":" + std::to_string(w) +
                                  ": not an index and wind of the set");
  return o;
}

std::string fixed(double x, int prec) {
  std::ostringstream os;
  os.setf(std::ios::fixed);
  os.precision(prec);
  os << x;
  return os.str();
}

std::string quad_name(const abyss::QuadSpace& qs, int q) {
  const int u = qs.band_of(q);
  if (u == qs.nmu()) return "cap";
  return "u" + std::to_string(u) + "/s" + std::to_string(qs.azimuth_of(q));
}

// Prints the traced operators against the single-interaction quadrature.
void run_check(const Options& o) {
  const abyss::QuadSpace qs(o.set.part);
  const double n = 0.001 * (o.indices_given ? o.set.indices.front() : 1340);
  const std::vector<int> winds = o.winds_given ? o.set.winds : std::vector<int>{2, 6, 10};
  std::cout << "Sun glint, n = " << fixed(n, 3) << ": traced / quadrature (single = single interactions only)\n"
            << "   U  sun  elements  worst single  worst full (steep)  brightest quad/single/full"
               "  reflected single/full  65-90 deg single/full\n";
  for (int w : winds) {
    if (w <= 0) continue;
    for (double sun : {30.0, 60.0}) {
      const auto c = abyss::check_sun_glint(qs, n, w, sun, o.set.rays);
      std::cout << ' ' << std::setw(3) << w << ' ' << std::setw(4) << sun << ' ' << std::setw(9) << c.elements << ' '
                << std::setw(13) << fixed(c.worst_single, 4) << ' ' << std::setw(11) << fixed(c.worst_full, 4) << " (" << fixed(c.worst_full_steep, 4) << ")  "
                << std::setw(8) << quad_name(qs, c.brightest_quadrature) << ' ' << std::setw(8)
                << quad_name(qs, c.brightest_single) << ' ' << std::setw(8) << quad_name(qs, c.brightest_full) << "  "
                << std::setw(10) << fixed(c.reflected_single, 4) << ' ' << std::setw(10) << fixed(c.reflected_full, 4)
                << "  " << std::setw(10) << fixed(c.grazing_single, 4) << ' ' << std::setw(10)
                << fixed(c.grazing_full, 4) << '\n';
    }
  }
  std::cout << "Upwelling light refracted into the air's band next to the horizon: traced / quadrature\n"
            << "   U  theta  quadrature fraction  single  full\n";
  for (int w : winds) {
    if (w <= 0) continue;
    for (double theta : {50.0, 60.0}) {
      const auto t = abyss::check_grazing_transmission(qs, n, w, theta, o.set.rays);
      std::cout << ' ' << std::setw(3) << w << ' ' << std::setw(6) << theta << ' ' << std::setw(20)
                << fixed(t.quadrature, 6) << ' ' << std::setw(7) << fixed(t.single, 4) << ' ' << std::setw(5)
                << fixed(t.full, 4) << '\n';
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options o = parse_args(argc, argv);
    if (o.check) {
      run_check(o);
      return 0;
    }
    abyss::SurfaceSetOptions& opt = o.set;
    opt.reference = std::filesystem::canonical("/proc/self/exe");
    const auto t0 = std::chrono::steady_clock::now();
    const int written = abyss::generate_surface_set(opt);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::cout << "surfgen: " << written << " surface files written to " << opt.dir.string() << " in " << secs
              << " s (" << opt.part.nmu << " x " << opt.part.nphi << " quads, " << opt.threads << " threads)\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "surfgen: " << e.what() << '\n';
    usage();
    return 1;
  }
}
