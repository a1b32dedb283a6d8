// The surface loader: picks the one, two or four sea-surface files that
// bracket the band's index of refraction and the run's wind speed, reads the
// quad partition and the eight amplitude operators, and interpolates the
// operators bilinearly in index and wind speed.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include <fmt/format.h>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "grid/surface.hpp"
#include "grid/surface_file_writer.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {

namespace {
constexpr int kMaxIndices = 100;
constexpr int kMaxWinds = 50;
constexpr int kFieldWidth = 13;  // E12.6 plus the separating blank
}  // namespace

// Quan and Fry (1995), Appl. Opt. 34, 3477: index of refraction of sea water
// from salinity, temperature and wavelength.
double surfn(double lambda, double S, double T) {
  return 1.31405 + (1.779e-4 - 1.05e-6 * T + 1.6e-8 * T * T) * S - 2.02e-6 * T * T +
         (15.868 + 0.01155 * S - 0.00423 * T) / lambda - 4382.0 / (lambda * lambda) +
         1.1455e6 / (lambda * lambda * lambda);
}

void getrefr(RunState& rs, double lambda, double& n, bool& unchanged) {
  SurfaceLoader& st = rs.surfload;
  const double nconst = rs.cmisc.refr;
  n = nconst > 0.0 ? nconst : surfn(lambda, rs.cmisc.salinity, rs.cmisc.temp);
  unchanged = false;
  if (!st.first) {
    rs.pr() << "Index of refraction at this wavelength is " << ff::F(n, 5, 3) << '\n';
    unchanged = nconst > 0.0 || std::lround(1000.0 * n) == std::lround(1000.0 * st.nlast);
  }
  st.first = false;
  st.nlast = n;
}

namespace {

std::string surface_dir(const RunState& rs) { return util::rtrim(rs.cdirnames.surfaces); }

void read_index_list(RunState& rs) {
  const std::string name = surface_dir(rs) + "nlist.txt";
  std::ifstream in = ioshorten(name, "CHECKREFR");
  std::vector<int>& list = rs.surfload.nlist;
  list.clear();
  int line = 0;
  try {
    while (static_cast<int>(list.size()) < kMaxIndices) {
      ++line;
      const util::ListRecord rec = util::read_list(in, 1);
      if (rec.at_eof() || !rec.has(0)) break;
      const long v = rec.integer(0);
      if (v == -1) break;
      // Thousandths of an index of refraction of water; the file names hold four digits.
      if (v < 1000 || v > 2000)
        herr("CHECKREFR", fmt::format("line {} of {}: {} is not an index of refraction in thousandths (1000 to 2000)",
                                      line, name, v));
      list.push_back(static_cast<int>(v));
    }
  } catch (const util::ListReadError& e) {
    herr("CHECKREFR", fmt::format("bad record at line {} of {}: {}", line, name, e.what()));
  }
  if (list.empty()) herr("CHECKREFR", "no index of refraction listed in " + name);
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  rs.surfload.nlist_loaded = true;
}

}  // namespace

namespace {

// An index of refraction outside the surface set is moved to the nearest end
// of the set; the printout and the console say which value is used.
void refraction_moved_warning(RunState& rs, double asked, double used) {
  const std::string line = fmt::format(
      " WARNING:  The index of refraction {:.4f} is outside the available surface files; n = {:.3f} will be used.",
      asked, used);
  rs.con() << line << '\n';
  rs.pr() << line << '\n';
}

}  // namespace

// Bracketing choice: nA is the largest listed value not above 1000 n and nB
// the next one; a listed NINT(1000 n) is used alone; outside the listed range
// n moves to the nearest end value. A single listed value fixes n for the run.
void checkrefr(RunState& rs, double& n, int& nA, int& nB) {
  if (!rs.surfload.nlist_loaded) read_index_list(rs);
  const std::vector<int>& list = rs.surfload.nlist;
  if (list.size() == 1) {
    n = 0.001 * list.front();
    rs.cmisc.refr = n;
  }
  const double x = 1000.0 * n;
  const int m = static_cast<int>(std::lround(x));
  if (x <= list.front() || x >= list.back() || std::binary_search(list.begin(), list.end(), m)) {
    nA = nB = x <= list.front() ? list.front() : x >= list.back() ? list.back() : m;
    if (nA != m) {
      refraction_moved_warning(rs, n, 0.001 * nA);
      n = 0.001 * nA;
      // A constant index is the one the whole run uses: the printout's surface
      // section and the outputs' attributes show the value actually used.
      if (rs.cmisc.refr > 0.0) rs.cmisc.refr = n;
    }
    return;
  }
  auto it = std::upper_bound(list.begin(), list.end(), x);  // first listed value above x
  nB = *it;
  nA = *(it - 1);
}

namespace {

std::vector<int> read_wind_list(const std::string& path) {
  std::ifstream in = ioshorten(path, "SLCTSURF");
  std::vector<int> winds;
  std::string line;
  int lineno = 0;
  auto bad = [&](const std::string& what) {
    herr("SLCTSURF", fmt::format("line {} of {}: {}", lineno, path, what));
  };
  try {
    while (static_cast<int>(winds.size()) < kMaxWinds && std::getline(in, line)) {
      ++lineno;
      const std::string field = util::rtrim(line.substr(0, std::min<std::size_t>(3, line.size())));
      if (field.find_first_not_of(' ') == std::string::npos) continue;
      const long v = util::parse_integer(field);
      if (v == -1) break;
      // Whole m/s written in one or two digits in the file names; the
      // blending picks neighbours, so the list must be strictly increasing.
      if (v < 0 || v > 99) bad(fmt::format("wind speed {} m/s is outside 0 to 99", v));
      if (!winds.empty() && v <= winds.back())
        bad(fmt::format("wind speed {} m/s does not increase on {} m/s", v, winds.back()));
      winds.push_back(static_cast<int>(v));
    }
  } catch (const util::ListReadError& e) {
    bad(e.what());
  }
  if (winds.empty()) herr("SLCTSURF", "no wind speed listed in " + path);
  return winds;
}

void wind_warning(RunState& rs, double U, const char* what, int used) {
  const std::string line =
      " WARNING:  The requested wind speed of U =" + ff::F(U, 8, 3) + what + ff::I(used, 3) + " will be used.";
  rs.pr() << line << "\n";
  rs.con() << line << "\n";
}

}  // namespace

void slctsurf(RunState& rs, int& i1, int& i2, bool& single, double& w, double U, const std::string& windlist) {
  const std::vector<int> winds = read_wind_list(windlist);
  single = true;
  w = 0.0;
  if (U < winds.front()) {
    wind_warning(rs, U, " is less than the minimum available speed.  U =", winds.front());
    i1 = i2 = winds.front();
    return;
  }
  if (U > winds.back()) {
    wind_warning(rs, U, " is greater than the maximum available speed.  U =", winds.back());
    i1 = i2 = winds.back();
    return;
  }
  if (U == winds.front()) {
    i1 = i2 = winds.front();
    return;
  }
  const auto k = std::lower_bound(winds.begin(), winds.end(), U) - winds.begin();
  i1 = winds[static_cast<std::size_t>(k - 1)];
  i2 = winds[static_cast<std::size_t>(k)];
  const double wU = (U - i1) / (i2 - i1);
  if (wU < 0.001) {
    i2 = i1;
  } else if (wU > 0.999) {
    i1 = i2;
  } else {
    single = false;
    w = wU;
  }
}

void readhat(std::istream& in, int N, Mat& A) {
  for (int j = 1; j <= N; ++j) {
    const std::vector<double> col = util::read_fixed_reals(in, static_cast<std::size_t>(N), 10, kFieldWidth);
    std::copy(col.begin(), col.end(), A.col(j));
  }
}

void gethat(int N, double w, Mat& A, const Mat& B) {
  for (int j = 1; j <= N; ++j)
    for (int i = 1; i <= N; ++i) A(i, j) = (1.0 - w) * A(i, j) + w * B(i, j);
}

namespace {

// One open surface file with its header.
struct SurfaceFile {
  std::string name;
  std::ifstream in;
  std::string title;
  double wind = 0.0;
  std::array<int, 3> quadid{};
  std::array<long, 30> ints{};
  std::array<double, 30> dbl{};
  int nmu() const { return static_cast<int>(ints[0]); }
  int nphi() const { return static_cast<int>(ints[1]); }
  int lmax() const { return static_cast<int>(ints[2]); }
  int nhat() const { return static_cast<int>(ints[9]); }
};

long field_integer(const std::string& f) {
  return f.find_first_not_of(' ') == std::string::npos ? 0 : util::parse_integer(f);
}

std::string header_line(SurfaceFile& f) {
  std::string line;
  if (!std::getline(f.in, line)) throw util::ListReadError("file ends inside the header");
  return line;
}

void read_header(SurfaceFile& f) {
  f.title = util::read_name_record(f.in).value_or("");
  const auto r2 = util::split_fixed(header_line(f), {6, 3, 3, 3, 12});
  f.wind = util::parse_real(r2[0]);
  for (int i = 0; i < 3; ++i) f.quadid[static_cast<std::size_t>(i)] = static_cast<int>(field_integer(r2[1 + i]));
  std::vector<int> widths(16, 5);
  widths.push_back(12);
  widths.insert(widths.end(), 3, 5);
  widths.insert(widths.end(), 10, 2);
  const auto r3 = util::split_fixed(header_line(f), widths);
  for (std::size_t i = 0; i < 30; ++i) f.ints[i] = field_integer(r3[i]);
  const auto d = util::read_fixed_reals(f.in, 30, 10, kFieldWidth);
  std::copy(d.begin(), d.end(), f.dbl.begin());
}

void check_limits(RunState& rs, const SurfaceFile& f) {
  auto over = [&](const char* what, int v, const char* lim, int mx, const char* msg) {
    const std::string line = std::string(" ") + what + " =" + ff::I(v, 3) + " gt " + lim + " =" + ff::I(mx, 3);
    rs.con() << line << '\n';
    rs.pr() << line << '\n';
    herr("LOADSURFACE", msg);
  };
  if (f.nmu() > mxmu) over("nmu", f.nmu(), "mxmu", mxmu, "increase mu LIMIT in UI");
  if (f.nphi() > mxphi) over("nphi", f.nphi(), "mxphi", mxphi, "increase phi LIMIT in UI");
  if (f.nmu() < 2 || f.nphi() < 2 || f.nhat() < 1 || f.nhat() > mxhat)
    herr("LOADSURFACE", "bad partition in the header of " + f.name);
}

// Wraps a read of file data so that a malformed file names itself.
template <class F>
void guarded(const SurfaceFile& f, F&& read) {
  try {
    read();
  } catch (const util::ListReadError& e) {
    herr("LOADSURFACE", "bad data in surface file " + f.name + ": " + e.what());
  }
}

// A set made with surfgen --on-demand holds its level-surface files only; a
// wind-blown file it lists is computed here on first use (seconds on a fine
// partition) and kept in the set, with a note that says so.
void make_if_on_demand(RunState& rs, const std::string& name, int index_milli, int wind) {
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) return;
  const std::filesystem::path dir = surface_dir(rs);
  const auto part = on_demand_partition(dir);
  if (!part) return;  // a complete set: the open reports the missing file
  const std::string line = fmt::format(
      " NOTE:  Surface file {} ({} x {} quads) is computed on first use and kept in {} for later runs.",
      std::filesystem::path(name).filename().string(), part->nmu, part->nphi, surface_dir(rs));
  rs.con() << line << '\n';
  rs.pr() << line << '\n';
  try {
    write_surface_file_to(dir, *part, index_milli, wind);
  } catch (const std::exception& e) {
    herr("LOADSURFACE", fmt::format("cannot compute surface file {}: {}", name, e.what()));
  }
}

// Opens one file and checks its header; `ref` (when given) is the first file,
// whose operator order this one must share. A file of the second index also
// tells the screen why it cannot be interpolated.
void open_surface(RunState& rs, SurfaceFile& f, int index_milli, int wind, const SurfaceFile* ref,
                  bool second_index = false) {
  make_if_on_demand(rs, f.name, index_milli, wind);
  f.in = ioshorten(f.name, "LOADSURFACE");
  guarded(f, [&] { read_header(f); });
  check_limits(rs, f);
  // The header's wind speed must be the one the file is named and listed for.
  if (!(std::abs(f.wind - wind) <= 0.005))
    herr("LOADSURFACE", fmt::format("line 2 of surface file {}: the header gives a wind speed of {:g} m/s, the file is "
                                    "named and listed for {} m/s",
                                    f.name, f.wind, wind));
  if (ref && f.nhat() != ref->nhat()) {
    if (second_index) rs.con() << "ERR: Trying to iterate between two files that have different dimensions!\n";
    herr("LOADSURFACE", "Surface files have different dimens");
  }
}

std::vector<double> read_array(SurfaceFile& f, int n) {
  return util::read_fixed_reals(f.in, static_cast<std::size_t>(n), 10, kFieldWidth);
}

// The quad partition must be one: centres and boundaries inside (0, 1] and
// increasing, solid angles positive.
void check_grid(const SurfaceFile& f, const std::vector<double>& fmu, const std::vector<double>& bndmu,
                const std::vector<double>& omega) {
  double below = 0.0;
  for (std::size_t u = 0; u < fmu.size(); ++u) {
    if (!(fmu[u] > below && bndmu[u] >= fmu[u] && bndmu[u] <= 1.0 + 1e-9 && omega[u] > 0.0))
      herr("LOADSURFACE", fmt::format("surface file {}: the quad partition of mu band {} is not a partition", f.name, u + 1));
    below = bndmu[u];
  }
}

// The six grid arrays; stored into the run state for the first file, read
// past for the others.
void read_grid(RunState& rs, SurfaceFile& f, bool store) {
  const int nmu = f.nmu(), nphi = f.nphi();
  const auto fmu = read_array(f, nmu);
  const auto phi = read_array(f, nphi);
  const auto bndmu = read_array(f, nmu);
  const auto bndphi = read_array(f, nphi);
  const auto omega = read_array(f, nmu);
  const auto dmu = read_array(f, nmu);
  check_grid(f, fmu, bndmu, omega);
  if (!store) return;
  Grid& g = rs.cgrid;
  GridPhi& gp = rs.cgridphi;
  g.bndmu(0) = 0.0;
  for (int u = 1; u <= nmu; ++u) {
    const auto k = static_cast<std::size_t>(u - 1);
    g.fmu(u) = fmu[k];
    g.bndmu(u) = bndmu[k];
    g.omega(u) = omega[k];
    g.dmu(u) = dmu[k];
  }
  for (int s = 1; s <= nphi; ++s) {
    gp.phi(s) = phi[static_cast<std::size_t>(s - 1)];
    gp.bndphi(s) = bndphi[static_cast<std::size_t>(s - 1)];
  }
  gp.bndphi(0) = gp.bndphi(nphi) - 2.0 * std::numbers::pi;
}

std::string file_path(const RunState& rs, int index_milli, int wind) {
  return surface_dir(rs) + surface_file_name(index_milli, wind);
}

void ensure_slots(SurfaceOps& surf) {
  for (Mat& m : surf.slot)
    if (m.ld() != mxhat) m = Mat(mxhat, mxhat);
}

void load_first(RunState& rs, SurfaceFile& f) {
  guarded(f, [&] {
    read_grid(rs, f, true);
    for (Mat& m : rs.surf.slot) readhat(f.in, f.nhat(), m);
  });
  rs.surf.quadid = f.quadid;
  rs.surf.title = f.title;
}

// Second wind file of the first index: slot <- (1 - wU) slot + wU file.
void blend_wind(RunState& rs, SurfaceFile& f, double wU, Mat& scratch) {
  guarded(f, [&] {
    read_grid(rs, f, false);
    for (Mat& m : rs.surf.slot) {
      readhat(f.in, f.nhat(), scratch);
      gethat(f.nhat(), wU, m, scratch);
    }
  });
}

// Files of the second index (one or two winds), blended in wind first and
// then into the slots with the index weight.
void blend_index(RunState& rs, const SurfaceFile& first, int nB, double wn, Mat& a, Mat& b) {
  const SurfaceLoader& st = rs.surfload;
  SurfaceFile f1, f2;
  f1.name = file_path(rs, nB, st.iw1);
  f2.name = file_path(rs, nB, st.iw2);
  auto open_checked = [&](SurfaceFile& f) {
    open_surface(rs, f, nB, &f == &f1 ? st.iw1 : st.iw2, &first, true);
    guarded(f, [&] { read_grid(rs, f, false); });
  };
  open_checked(f1);
  if (!st.single_w) open_checked(f2);
  const int N = first.nhat();
  for (Mat& m : rs.surf.slot) {
    guarded(f1, [&] { readhat(f1.in, N, a); });
    if (!st.single_w) {
      guarded(f2, [&] { readhat(f2.in, N, b); });
      gethat(N, st.wU, a, b);
    }
    gethat(N, wn, m, a);
  }
}

void copy_counts(RunState& rs, const SurfaceFile& f) {
  rs.cmisc.nmu = f.nmu();
  rs.cmisc.nphi = f.nphi();
  rs.cmisc.lmax = f.lmax();
  rs.cmisc.nhat = f.nhat();
  rs.cmisc.surfgeom.fill(0.0);
  for (std::size_t i = 0; i < 3; ++i) rs.cmisc.surfgeom[i] = f.dbl[i];
}

}  // namespace

void loadsurface(RunState& rs, double U, double lambda) {
  double n = 0.0;
  bool unchanged = false;
  getrefr(rs, lambda, n, unchanged);
  if (unchanged) return;
  SurfaceLoader& st = rs.surfload;
  checkrefr(rs, n, st.nA, st.nB);
  st.single_n = st.nA == st.nB;
  st.wn = st.single_n ? 0.0 : (1000.0 * n - st.nA) / (st.nB - st.nA);
  slctsurf(rs, st.iw1, st.iw2, st.single_w, st.wU, U, surface_dir(rs) + "windlist.txt");
  ensure_slots(rs.surf);

  SurfaceFile first;
  first.name = file_path(rs, st.nA, st.iw1);
  open_surface(rs, first, st.nA, st.iw1, nullptr);
  load_first(rs, first);
  Mat a, b;
  if (!st.single_w || !st.single_n) a = Mat(mxhat, mxhat);
  if (!st.single_w) {
    SurfaceFile second;
    second.name = file_path(rs, st.nA, st.iw2);
    open_surface(rs, second, st.nA, st.iw2, &first);
    blend_wind(rs, second, st.wU, a);
  }
  if (!st.single_n) {
    if (!st.single_w) b = Mat(mxhat, mxhat);
    blend_index(rs, first, st.nB, st.wn, a, b);
  }
  copy_counts(rs, first);
}

}  // namespace abyss
