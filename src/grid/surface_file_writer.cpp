#include "grid/surface_file_writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <cmath>
#include <fstream>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <mutex>
#include <thread>

#include "grid/surface_amplitudes.hpp"
#include "util/fortran_format.hpp"

namespace abyss {

std::string surface_file_name(int index_milli, int wind) {
  return "surfwind_" + ff::I(index_milli, 4) + "." + ff::I(wind, wind < 10 ? 1 : 2);
}

namespace {

// Header integers (record 3): 1 nmu, 2 nphi, 3 lmax, 4 quads per hemisphere,
// 5 index (thousandths), 6 wind (m/s), 7 method (0 exact level surface,
// 1 facet ray tracing), 8 strata per quad side, 9 hits followed, 10 operator
// order, 11 partition type, 12 slope strata per component of a ray's first
// facet, 17 random seed.
std::array<long long, 30> header_integers(const QuadSpace& qs, const QuadPartition& part, int index_milli,
                                          int wind, const RaySampling& rays) {
  const AmplitudeLayout lay(qs);
  std::array<long long, 30> h{};
  h[0] = lay.nmu;
  h[1] = lay.nphi;
  h[2] = lay.lmax;
  h[3] = qs.size();
  h[4] = index_milli;
  h[5] = wind;
  h[6] = wind > 0 ? 1 : 0;
  h[7] = wind > 0 ? rays.strata : 0;
  h[8] = wind > 0 ? rays.max_hits : 0;
  h[9] = lay.nhat();
  h[10] = part.type;
  h[11] = wind > 0 ? rays.slope_strata : 0;
  h[16] = wind > 0 ? static_cast<long long>(rays.seed % 100000000000ULL) : 0;
  return h;
}

// Header doubles: 1 pi, 2 polar-angle width of the bands (rad), 3 azimuthal
// width of the quads (rad), 4 index of refraction, 5 wind speed (m/s),
// 6-7 upwind and crosswind slope variances.
std::array<double, 30> header_doubles(const QuadPartition& part, int index_milli, int wind) {
  const SlopeVariances v = cox_munk_variances(wind);
  std::array<double, 30> d{};
  d[0] = std::numbers::pi;
  d[1] = 0.5 * std::numbers::pi / (part.nmu - 1);
  d[2] = 2.0 * std::numbers::pi / part.nphi;
  d[3] = 0.001 * index_milli;
  d[4] = wind;
  d[5] = v.upwind;
  d[6] = v.crosswind;
  return d;
}

void write_header(std::ostream& os, const QuadSpace& qs, const QuadPartition& part, int index_milli, int wind,
                  const RaySampling& rays) {
  const double n = 0.001 * index_milli;
  os << "Abyssolver sea surface: n = " << ff::F(n, 5, 3) << ", U = " << ff::F(wind, 5, 2) << " m/s, "
     << (wind > 0 ? "Cox-Munk facets (ray traced)" : "level surface (exact Fresnel)") << ", " << part.nmu << " x "
     << part.nphi << " quads\n";
  const auto id = part.quadid();
  os << ff::F(wind, 6, 2) << ff::I(id[0], 3) << ff::I(id[1], 3) << ff::I(id[2], 3) << ff::I(index_milli, 12) << '\n';
  const auto h = header_integers(qs, part, index_milli, wind, rays);
  for (int i = 0; i < 30; ++i) {
    const int w = i < 16 ? 5 : i == 16 ? 12 : i < 20 ? 5 : 2;
    os << ff::I(h[static_cast<std::size_t>(i)], w);
  }
  os << '\n';
  const auto d = header_doubles(part, index_milli, wind);
  ff::write_e_block(os, d.data(), d.size());
}

void write_grid(std::ostream& os, const QuadSpace& qs) {
  const Grid& g = qs.grid();
  const GridPhi& gp = qs.gridphi();
  const auto nmu = static_cast<std::size_t>(qs.nmu()), nphi = static_cast<std::size_t>(qs.nphi());
  ff::write_e_block(os, &g.fmu(1), nmu);
  ff::write_e_block(os, &gp.phi(1), nphi);
  ff::write_e_block(os, &g.bndmu(1), nmu);
  ff::write_e_block(os, &gp.bndphi(1), nphi);
  ff::write_e_block(os, &g.omega(1), nmu);
  ff::write_e_block(os, &g.dmu(1), nmu);
}

}  // namespace

void write_surface_file(std::ostream& os, const QuadPartition& part, int index_milli, int wind,
                        const RaySampling& rays) {
  const QuadSpace qs(part);
  const QuadOperators ops = surface_operators(qs, 0.001 * index_milli, wind, rays);
  const std::array<Mat, 8> slots = amplitude_slots(qs, ops);
  write_header(os, qs, part, index_milli, wind, rays);
  write_grid(os, qs);
  const int nh = AmplitudeLayout(qs).nhat();
  for (const Mat& m : slots)
    for (int j = 1; j <= nh; ++j) ff::write_e_block(os, m.col(j), static_cast<std::size_t>(nh));
}

std::vector<int> default_indices() {
  std::vector<int> v;
  for (int m = 1325; m <= 1370; m += 5) v.push_back(m);
  return v;
}

std::vector<int> default_winds() { return {0, 1, 2, 4, 6, 8, 10, 12, 15}; }

void write_wind_list(const std::filesystem::path& file, const std::vector<int>& winds) {
  std::ofstream os(file);
  for (int w : winds) os << ff::I(w, 3) << '\n';
  if (!os) throw std::runtime_error("cannot write " + file.string());
}

void write_index_list(const std::filesystem::path& file, const std::vector<int>& indices) {
  std::ofstream os(file);
  for (int m : indices) os << m << '\n';
  if (!os) throw std::runtime_error("cannot write " + file.string());
}

std::filesystem::path write_surface_file_to(const std::filesystem::path& dir, const QuadPartition& part,
                                            int index_milli, int wind, const RaySampling& rays) {
  const auto file = dir / surface_file_name(index_milli, wind);
  // Runs that need the same missing file at once each write their own
  // temporary and rename it: a file that exists is always complete.
  const auto tag = std::to_string(::getpid()) + "." + std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()) % 1000000);
  const auto tmp = std::filesystem::path(file.string() + ".part" + tag);
  {
    std::ofstream os(tmp);
    write_surface_file(os, part, index_milli, wind, rays);
    if (!os) {
      std::error_code ec;
      std::filesystem::remove(tmp, ec);
      throw std::runtime_error("cannot write " + tmp.string());
    }
  }
  std::filesystem::rename(tmp, file);
  return file;
}

void write_on_demand_marker(const std::filesystem::path& dir, const QuadPartition& part) {
  std::ofstream os(dir / kOnDemandMarker);
  os << part.nmu << ' ' << part.nphi << '\n';
  if (!os) throw std::runtime_error("cannot write " + (dir / kOnDemandMarker).string());
}

std::optional<QuadPartition> on_demand_partition(const std::filesystem::path& dir) {
  std::ifstream in(dir / kOnDemandMarker);
  QuadPartition part;
  if (!in || !(in >> part.nmu >> part.nphi)) return std::nullopt;
  if (part.nmu < 2 || part.nphi < 2 || part.nphi % 2 != 0) return std::nullopt;
  return part;
}

namespace {

bool is_current(const std::filesystem::path& file, const SurfaceSetOptions& opt) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return false;
  if (opt.reference.empty() || !std::filesystem::exists(opt.reference, ec)) return true;
  return std::filesystem::last_write_time(file) >= std::filesystem::last_write_time(opt.reference);
}

bool computed_now(const SurfaceSetOptions& opt, int index_milli, int wind) {
  return std::find(opt.computed_now.begin(), opt.computed_now.end(), std::pair{index_milli, wind}) !=
         opt.computed_now.end();
}

void write_one(const SurfaceSetOptions& opt, int index_milli, int wind) {
  write_surface_file_to(opt.dir, opt.part, index_milli, wind, opt.rays);
}

}  // namespace

int generate_surface_set(const SurfaceSetOptions& opt) {
  std::filesystem::create_directories(opt.dir);
  write_wind_list(opt.dir / "windlist.txt", opt.winds);
  write_index_list(opt.dir / "nlist.txt", opt.indices);
  std::error_code ec;
  if (opt.on_demand)
    write_on_demand_marker(opt.dir, opt.part);
  else
    std::filesystem::remove(opt.dir / kOnDemandMarker, ec);
  std::vector<std::pair<int, int>> jobs;
  for (int m : opt.indices)
    for (int w : opt.winds)
      if (opt.on_demand && w != 0 && !computed_now(opt, m, w)) {
        // Left for the runs that need them; one an older generator made goes,
        // so that it is computed again as it is now.
        const auto kept = opt.dir / surface_file_name(m, w);
        if (std::filesystem::exists(kept, ec) && !is_current(kept, opt)) std::filesystem::remove(kept, ec);
      } else if (!opt.update_only || !is_current(opt.dir / surface_file_name(m, w), opt)) jobs.emplace_back(m, w);
  // Wind-blown files cost far more than level ones: hand them out first.
  std::stable_sort(jobs.begin(), jobs.end(), [](auto a, auto b) { return a.second > b.second; });
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex fail_lock;
  auto worker = [&] {
    for (std::size_t k = next++; k < jobs.size(); k = next++) {
      try {
        write_one(opt, jobs[k].first, jobs[k].second);
      } catch (...) {
        std::lock_guard<std::mutex> g(fail_lock);
        failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < std::max(1, opt.threads); ++t) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  return static_cast<int>(jobs.size());
}

}  // namespace abyss
