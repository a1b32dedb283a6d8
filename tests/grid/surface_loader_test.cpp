// The surface loader against files written by the generator: exact read
// back, energy closure of the operators as loaded, interpolation, wind and
// index selection, reload rules and the fatal exits.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>

#include "control/errors.hpp"
#include "grid/surface.hpp"
#include "grid/surface_amplitudes.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "surface_test_util.hpp"

namespace abyss {
namespace {

using testing_surface::generate;
using testing_surface::partition;
using testing_surface::ScratchDir;
using testing_surface::TestRun;

// The value a file holds for v: E12.6 text read back.
double as_written(double v) { return util::parse_real(ff::E(v, 12, 6)); }

// Expects loadsurface to stop with `routine` and `message`.
void expect_fatal(TestRun& run, double U, const std::string& routine, const std::string& message) {
  try {
    loadsurface(*run.rs, U, 500.0);
    FAIL() << "no fatal error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), routine);
    EXPECT_EQ(e.message(), message);
  }
}

// Largest relative energy defect over the source bands, mode 0, of the
// loaded operators: light from air (slots 1 and 7) and from water (5 and 3).
double energy_defect(const RunState& rs) {
  const int nmu = rs.cmisc.nmu;
  auto quads = [&](int u) { return u == nmu ? 1 : rs.cmisc.nphi; };
  auto power = [&](int u) { return rs.cgrid.fmu(u) * rs.cgrid.omega(u) * quads(u); };
  double worst = 0.0;
  for (auto [a, b] : {std::pair{0, 6}, std::pair{4, 2}})
    for (int u = 1; u <= nmu; ++u) {
      double out = 0.0;
      for (int ut = 1; ut <= nmu; ++ut) out += (rs.surf.slot[a](u, ut) + rs.surf.slot[b](u, ut)) * power(ut);
      worst = std::max(worst, std::fabs(out / power(u) - 1.0));
    }
  return worst;
}

TEST(SurfaceLoader, ReadsBackWhatTheGeneratorWrote) {
  ScratchDir d;
  const QuadPartition part = partition(10, 24);
  generate(d.path(), part, {1340}, {0});
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 0.0, 500.0);
  const RunState& rs = *run.rs;
  EXPECT_EQ(rs.cmisc.nmu, 10);
  EXPECT_EQ(rs.cmisc.nphi, 24);
  EXPECT_EQ(rs.cmisc.lmax, 12);
  EXPECT_EQ(rs.cmisc.nhat, 130);
  EXPECT_EQ(rs.surf.quadid, (std::array<int, 3>{10, 24, 1}));
  EXPECT_EQ(rs.cmisc.surfgeom[0], as_written(std::numbers::pi));
  const QuadSpace qs(part);
  const auto slots = amplitude_slots(qs, surface_operators(qs, 1.34, 0.0));
  for (int k = 0; k < 8; ++k)
    for (int j = 1; j <= 130; ++j)
      for (int i = 1; i <= 130; ++i) ASSERT_EQ(rs.surf.slot[k](i, j), as_written(slots[k](i, j))) << k;
  EXPECT_EQ(rs.cgrid.bndmu(0), 0.0);
  for (int u = 1; u <= 10; ++u) {
    EXPECT_EQ(rs.cgrid.fmu(u), as_written(qs.grid().fmu(u)));
    EXPECT_EQ(rs.cgrid.bndmu(u), as_written(qs.grid().bndmu(u)));
    EXPECT_EQ(rs.cgrid.omega(u), as_written(qs.grid().omega(u)));
    EXPECT_EQ(rs.cgrid.dmu(u), as_written(qs.grid().dmu(u)));
  }
  for (int s = 1; s <= 24; ++s) EXPECT_EQ(rs.cgridphi.phi(s), as_written(qs.gridphi().phi(s)));
  EXPECT_NEAR(rs.cgridphi.bndphi(0), -std::numbers::pi / 24.0, 1e-5);  // 2 pi less the written bndphi(nphi)
  EXPECT_LT(energy_defect(rs), 1e-5);
}

TEST(SurfaceLoader, WindBlownOperatorsConserveEnergyAsLoaded) {
  ScratchDir d;
  generate(d.path(), partition(10, 24), {1340}, {10}, 12);
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 10.0, 500.0);
  EXPECT_LT(energy_defect(*run.rs), 1e-3);
}

TEST(SurfaceLoader, FinerPartitionLoads) {
  ScratchDir d;
  generate(d.path(), partition(20, 24), {1340}, {0});
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 0.0, 500.0);
  EXPECT_EQ(run.rs->cmisc.nhat, 260);
  EXPECT_NEAR(run.rs->cgrid.bndmu(19), std::cos(0.25 * std::numbers::pi / 19.0), 1e-6);  // cap of half a band
  EXPECT_LT(energy_defect(*run.rs), 1e-5);
}

// Slot 1 after loading the given index and wind from `d`.
Mat loaded_slot(const ScratchDir& d, double n, double U, int k = 0) {
  TestRun run(d, n);
  loadsurface(*run.rs, U, 500.0);
  return run.rs->surf.slot[static_cast<std::size_t>(k)];
}

TEST(SurfaceLoader, BilinearInIndexAndWind) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1330, 1340}, {0, 5}, 6);
  const Mat a0 = loaded_slot(d, 1.330, 0.0, 6), a5 = loaded_slot(d, 1.330, 5.0, 6);
  const Mat b0 = loaded_slot(d, 1.340, 0.0, 6), b5 = loaded_slot(d, 1.340, 5.0, 6);
  const Mat mix = loaded_slot(d, 1.336, 2.0, 6);
  const double wn = 0.6, wU = 0.4;
  double spread = 0.0;
  for (int j = 1; j <= 20; ++j)
    for (int i = 1; i <= 20; ++i) {
      const double a = (1 - wU) * a0(i, j) + wU * a5(i, j), b = (1 - wU) * b0(i, j) + wU * b5(i, j);
      EXPECT_NEAR(mix(i, j), (1 - wn) * a + wn * b, 1e-12);
      spread = std::max(spread, std::fabs(a5(i, j) - b0(i, j)));
    }
  EXPECT_GT(spread, 1e-3);  // the four files differ, so the weights matter
}

TEST(SurfaceLoader, WindSelectionAndWarnings) {
  ScratchDir d;
  write_wind_list(d.path() / "windlist.txt", {2, 5, 10});
  TestRun run(d, 1.34);
  const std::string list = d.dir() + "windlist.txt";
  int i1 = 0, i2 = 0;
  bool single = false;
  double w = -1.0;
  slctsurf(*run.rs, i1, i2, single, w, 1.0, list);
  EXPECT_TRUE(single);
  EXPECT_EQ(i1, 2);
  slctsurf(*run.rs, i1, i2, single, w, 12.5, list);
  EXPECT_TRUE(single);
  EXPECT_EQ(i1, 10);
  EXPECT_EQ(run.printed(),
            " WARNING:  The requested wind speed of U =   1.000 is less than the minimum available speed.  U =  2 "
            "will be used.\n"
            " WARNING:  The requested wind speed of U =  12.500 is greater than the maximum available speed.  U = 10 "
            "will be used.\n");
  const std::string warned = run.printed();
  slctsurf(*run.rs, i1, i2, single, w, 6.0, list);
  EXPECT_FALSE(single);
  EXPECT_EQ(i1, 5);
  EXPECT_EQ(i2, 10);
  EXPECT_DOUBLE_EQ(w, 0.2);
  slctsurf(*run.rs, i1, i2, single, w, 5.0, list);  // a listed speed: that file alone
  EXPECT_TRUE(single);
  EXPECT_EQ(i1, 5);
  slctsurf(*run.rs, i1, i2, single, w, 5.004, list);  // weight below 0.001
  EXPECT_TRUE(single);
  EXPECT_EQ(i1, 5);
  slctsurf(*run.rs, i1, i2, single, w, 2.0, list);
  EXPECT_TRUE(single);
  EXPECT_EQ(i1, 2);
  EXPECT_EQ(run.printed(), warned);  // no further warnings
}

TEST(SurfaceLoader, SingleWindEntryWarnsUnlessEqual) {
  ScratchDir d;
  write_wind_list(d.path() / "windlist.txt", {5});
  TestRun run(d, 1.34);
  int i1 = 0, i2 = 0;
  bool single = false;
  double w = 0.0;
  slctsurf(*run.rs, i1, i2, single, w, 5.0, d.dir() + "windlist.txt");
  EXPECT_EQ(run.printed(), "");
  slctsurf(*run.rs, i1, i2, single, w, 7.0, d.dir() + "windlist.txt");
  EXPECT_EQ(i1, 5);
  EXPECT_NE(run.printed().find("greater than the maximum available speed.  U =  5 will be used."), std::string::npos);
}

TEST(SurfaceLoader, IndexOfRefractionOfSeaWater) {
  // Sea water, 35 PSU, 20 deg C, sodium D line: 1.3394 (Quan and Fry's data).
  EXPECT_NEAR(surfn(589.3, 35.0, 20.0), 1.3394, 2e-4);
  EXPECT_GT(surfn(400.0, 35.0, 20.0), surfn(700.0, 35.0, 20.0));  // normal dispersion
  EXPECT_GT(surfn(500.0, 35.0, 20.0), surfn(500.0, 0.0, 20.0));   // salt raises n
}

TEST(SurfaceLoader, SingleIndexListFixesTheIndex) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  TestRun run(d, 0.0);
  run.rs->cmisc.temp = 20.0;
  run.rs->cmisc.salinity = 35.0;
  loadsurface(*run.rs, 0.0, 400.0);
  EXPECT_DOUBLE_EQ(run.rs->cmisc.refr, 1.340);
  EXPECT_EQ(run.rs->surfload.nA, 1340);
  std::filesystem::remove(d.path() / surface_file_name(1340, 0));
  loadsurface(*run.rs, 0.0, 700.0);  // constant now: no reload, so the missing file is not noticed
  EXPECT_NE(run.printed().find("Index of refraction at this wavelength is 1.340\n"), std::string::npos);
}

TEST(SurfaceLoader, NoReloadForTheSameThousandth) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1330, 1340, 1350}, {0});
  TestRun run(d, 0.0);
  loadsurface(*run.rs, 0.0, 600.0);
  const double n600 = surfn(600.0, 0.0, 0.0);
  EXPECT_EQ(std::lround(1000 * n600), std::lround(1000 * surfn(601.0, 0.0, 0.0)));
  EXPECT_EQ(run.rs->surfload.nA, 1330);
  EXPECT_EQ(run.rs->surfload.nB, 1340);
  for (int m : {1330, 1340, 1350}) std::filesystem::remove(d.path() / surface_file_name(m, 0));
  loadsurface(*run.rs, 0.0, 601.0);
  EXPECT_EQ(run.printed(), "Index of refraction at this wavelength is " + ff::F(surfn(601.0, 0.0, 0.0), 5, 3) + "\n");
  // A band whose index rounds differently reloads (and now finds no file).
  expect_fatal(run, 0.0, "LOADSURFACE",
               "required data file " + d.dir() + "surfwind_1330.0 not found");
}

TEST(SurfaceLoader, ConstantIndexLoadsOnce) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 0.0, 400.0);
  std::filesystem::remove(d.path() / "nlist.txt");
  loadsurface(*run.rs, 0.0, 700.0);
  EXPECT_EQ(run.printed(), "Index of refraction at this wavelength is 1.340\n");
}

TEST(SurfaceLoader, MissingFilesStopWithRoutineNames) {
  ScratchDir d;
  TestRun run(d, 1.34);
  expect_fatal(run, 0.0, "CHECKREFR", "required data file " + d.dir() + "nlist.txt not found");
  write_index_list(d.path() / "nlist.txt", {1340});
  TestRun run2(d, 1.34);
  expect_fatal(run2, 0.0, "SLCTSURF", "required data file " + d.dir() + "windlist.txt not found");
  write_wind_list(d.path() / "windlist.txt", {0, 10});
  TestRun run3(d, 1.34);
  expect_fatal(run3, 10.0, "LOADSURFACE", "required data file " + d.dir() + "surfwind_1340.10 not found");
}

// A set made for use on demand holds its level files; the first run that needs a
// wind-blown file computes it (with a note on the console and in the
// printout), later runs read it, and it is the file the full generator writes.
TEST(SurfaceLoader, OnDemandSetComputesAWindBlownFileOnFirstUse) {
  ScratchDir d;
  SurfaceSetOptions opt;
  opt.dir = d.path();
  opt.part = partition(3, 4);
  opt.indices = {1340};
  opt.winds = {0, 4, 6};
  opt.on_demand = true;
  EXPECT_EQ(generate_surface_set(opt), 1);  // the level file only
  ASSERT_TRUE(on_demand_partition(d.path()));
  EXPECT_EQ(on_demand_partition(d.path())->nmu, 3);
  EXPECT_FALSE(std::filesystem::exists(d.path() / "surfwind_1340.4"));
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 4.0, 500.0);
  const std::string note = " NOTE:  Surface file surfwind_1340.4 (3 x 4 quads) is computed on first use and kept in " +
                           d.dir() + " for later runs.\n";
  EXPECT_EQ(run.console.str(), note);
  EXPECT_NE(run.printed().find(note), std::string::npos);
  ASSERT_TRUE(std::filesystem::exists(d.path() / "surfwind_1340.4"));
  for (const auto& e : std::filesystem::directory_iterator(d.path()))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();  // no temporary left
  std::ostringstream direct;
  write_surface_file(direct, opt.part, 1340, 4);
  std::ifstream in(d.path() / "surfwind_1340.4");
  std::stringstream kept;
  kept << in.rdbuf();
  EXPECT_EQ(kept.str(), direct.str());
  const Mat loaded = run.rs->surf.slot[0];
  TestRun again(d, 1.34);
  loadsurface(*again.rs, 4.0, 500.0);
  EXPECT_EQ(again.console.str(), "");
  EXPECT_EQ(again.rs->surf.slot[0](3, 5), loaded(3, 5));
  // Updating the set after the generator changed removes the kept file, so
  // that the next run computes it as the generator does now.
  const auto reference = d.path() / "generator";
  std::ofstream(reference) << "newer";
  std::filesystem::last_write_time(d.path() / "surfwind_1340.4",
                                   std::filesystem::last_write_time(reference) - std::chrono::hours(1));
  opt.update_only = true;
  opt.reference = reference;
  generate_surface_set(opt);
  EXPECT_FALSE(std::filesystem::exists(d.path() / "surfwind_1340.4"));
  // A complete set (no marker) reports a missing file as before.
  std::filesystem::remove(d.path() / kOnDemandMarker);
  TestRun run3(d, 1.34);
  expect_fatal(run3, 6.0, "LOADSURFACE", "required data file " + d.dir() + "surfwind_1340.6 not found");
}

// The files an on-demand set is told to compute now are there at once, with
// the level files; the other wind-blown files wait for their first run.
TEST(SurfaceLoader, OnDemandSetComputesTheFilesAskedForNow) {
  ScratchDir d;
  SurfaceSetOptions opt;
  opt.dir = d.path();
  opt.part = partition(3, 4);
  opt.indices = {1330, 1340};
  opt.winds = {0, 4, 6};
  opt.on_demand = true;
  opt.computed_now = {{1340, 6}};
  EXPECT_EQ(generate_surface_set(opt), 3);  // two level files and 1.340 at 6 m/s
  EXPECT_TRUE(std::filesystem::exists(d.path() / "surfwind_1340.6"));
  for (const char* waiting : {"surfwind_1340.4", "surfwind_1330.4", "surfwind_1330.6"})
    EXPECT_FALSE(std::filesystem::exists(d.path() / waiting)) << waiting;
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 6.0, 500.0);
  EXPECT_EQ(run.console.str(), "");  // read, not computed
  // Kept as it is by an update with the generator unchanged.
  opt.update_only = true;
  EXPECT_EQ(generate_surface_set(opt), 0);
}

// Rewrites header integer `k` (1-based) of a surface file.
void patch_header_integer(const std::filesystem::path& file, int k, int value) {
  std::ifstream in(file);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  const std::size_t line3 = text.find('\n', text.find('\n') + 1) + 1;
  text.replace(line3 + static_cast<std::size_t>(5 * (k - 1)), 5, ff::I(value, 5));
  std::ofstream(file) << text;
}

TEST(SurfaceLoader, PartitionBeyondLimitsStops) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  const auto file = d.path() / surface_file_name(1340, 0);
  patch_header_integer(file, 1, 40);
  TestRun run(d, 1.34);
  expect_fatal(run, 0.0, "LOADSURFACE", "increase mu LIMIT in UI");
  EXPECT_EQ(run.console.str(), " nmu = 40 gt mxmu = 32\n");
  EXPECT_EQ(run.printed(), " nmu = 40 gt mxmu = 32\n");
  patch_header_integer(file, 1, 4);
  patch_header_integer(file, 2, 30);
  TestRun run2(d, 1.34);
  expect_fatal(run2, 0.0, "LOADSURFACE", "increase phi LIMIT in UI");
  EXPECT_EQ(run2.console.str(), " nphi = 30 gt mxphi = 24\n");
}

TEST(SurfaceLoader, TruncatedFileNamesItself) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  const auto file = d.path() / surface_file_name(1340, 0);
  std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
  TestRun run(d, 1.34);
  expect_fatal(run, 0.0, "LOADSURFACE",
               "bad data in surface file " + file.string() + ": file ends before all values were read");
}

TEST(SurfaceLoader, FilesOfDifferentOrderStop) {
  ScratchDir d;
  generate(d.path(), partition(6, 8), {1340}, {5}, 4);
  generate(d.path(), partition(4, 8), {1330, 1340}, {0});
  write_wind_list(d.path() / "windlist.txt", {0, 5});
  TestRun wind(d, 1.34);
  expect_fatal(wind, 2.5, "LOADSURFACE", "Surface files have different dimens");
  generate(d.path(), partition(6, 8), {1330}, {0});
  write_index_list(d.path() / "nlist.txt", {1330, 1340});
  TestRun index(d, 1.335);
  expect_fatal(index, 0.0, "LOADSURFACE", "Surface files have different dimens");
  EXPECT_EQ(index.console.str(), "ERR: Trying to iterate between two files that have different dimensions!\n");
}

}  // namespace
}  // namespace abyss
