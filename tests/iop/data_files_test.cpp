#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "control/errors.hpp"
#include "control/range_warnings.hpp"
#include "iop/data_files.hpp"
#include "iop_fixture.hpp"

using namespace abyss;
using abyss::testing::IopRun;

namespace {
int count_records(IopRun&, RunState& rs, const std::string& file) {
  std::ifstream unit;
  return getndat(rs, unit, 1, 10, 0, file);
}
bool has_line(const std::vector<std::string>& lines, const std::string& want) {
  return std::find(lines.begin(), lines.end(), want) != lines.end();
}
}  // namespace

class DataFiles : public IopRun {};

TEST_F(DataFiles, EndMarkerStopsTheCountButEndOfFileAlsoEndsTheData) {
  EXPECT_EQ(count_records(*this, rs, data_file("m.txt", "400 1\n500 2\n600 3\n-1 0\n")), 3);
  EXPECT_EQ(count_records(*this, rs, data_file("e.txt", "400 1\n500 2\n600 3\n")), 3);
  // Records after the marker are never seen.
  EXPECT_EQ(count_records(*this, rs, data_file("a.txt", "400 1\n-5 0\n500 2\n")), 1);
  auto lines = printout_lines();
  EXPECT_TRUE(has_line(lines, "          3 records read"));
  EXPECT_TRUE(has_line(lines, "          1 records read"));
}

TEST_F(DataFiles, HeaderEchoShowsTheFirstNprintRecords) {
  const std::string f = data_file("h.txt", "400 1\n-1 0\n");
  std::ifstream unit;
  EXPECT_EQ(getndat(rs, unit, -1, 10, 2, f), 1);
  auto lines = printout_lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "     The data file header records from " + f + " are:");
  EXPECT_EQ(lines[2], "        header record 1");
  EXPECT_EQ(lines[3], "        header record 2");
  EXPECT_EQ(lines[5], "          1 records read");
  EXPECT_TRUE(unit.is_open());  // left open for loaddat
}

TEST_F(DataFiles, MissingFileStopsThroughNofile) {
  std::ifstream unit;
  try {
    getndat(rs, unit, -1, 10, 0, "/nonexistent/dir/none.txt");
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.message(), "required data file /nonexistent/dir/none.txt not found");
  }
}

TEST_F(DataFiles, InterpolationClampsToTheEndValues) {
  VecD x(1, 3), y(1, 3);
  x(1) = 400; x(2) = 500; x(3) = 600;
  y(1) = 1; y(2) = 3; y(3) = 2;
  int hint = 1;
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 300.0, x, y), 1.0);
  EXPECT_EQ(hint, 1);
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 700.0, x, y), 2.0);
  EXPECT_EQ(hint, 2);
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 450.0, x, y), 2.0);  // hunting down from the remembered interval
  EXPECT_EQ(hint, 1);
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 575.0, x, y), 2.25);
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 500.0, x, y), 3.0);  // an abscissa itself
  hint = 99;  // a stale hint is clamped, not trusted
  EXPECT_DOUBLE_EQ(yinterp(hint, 3, 400.0, x, y), 1.0);
}

TEST_F(DataFiles, SingleRecordTableAnswersItsOneValueEverywhere) {
  const std::string f = data_file("one.txt", "550 0.25\n-1 0\n");
  VecD grid(1, 3), y1(1, 3), y2(1, 3);
  grid(1) = 300; grid(2) = 550; grid(3) = 900;
  double y0 = -1.0;
  getongrid1(rs, kSpectrum, 10, 0, 3, f, 440.0, y0, grid, y1, y2);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(y1(k), 0.25);
  EXPECT_DOUBLE_EQ(y0, 0.25);
}

TEST_F(DataFiles, GriddingFillsBothSpectraOfATypeTwoFile) {
  const std::string f = data_file("two.txt", "400 1 10\n600 3 30\n-1 0 0\n");
  VecD grid(1, 2), y1(1, 2), y2(1, 2);
  grid(1) = 500; grid(2) = 650;
  double y0 = 0.0;
  getongrid1(rs, kTwoSpectra, 10, 0, 2, f, 0.0, y0, grid, y1, y2);
  EXPECT_DOUBLE_EQ(y1(1), 2.0);
  EXPECT_DOUBLE_EQ(y2(1), 20.0);
  EXPECT_DOUBLE_EQ(y2(2), 30.0);
  EXPECT_DOUBLE_EQ(y0, 0.0);  // no reference wavelength asked for
}

// No tabulated quantity (absorption, scattering, concentration, reflectance,
// irradiance) can be negative: a negative value stops the run naming the file
// and the line, in any ordinate column.
TEST_F(DataFiles, NegativeSpectrumValueStopsTheRunNamingFileAndLine) {
  const std::string f = data_file("neg.txt", "400 0.5\n500 -0.25\n600 1\n-1 0\n");
  std::ifstream unit;
  int n = getndat(rs, unit, -1, 10, 0, f);
  const FatalError e = abyss::testing::stop_of([&] { loaddat(rs, unit, 10, n, kSpectrum, f); });
  EXPECT_EQ(e.routine(), "LoadDat");
  EXPECT_EQ(e.message(), "line 12 of " + f + ": negative, non-physical value -0.25 in column 2");
}

TEST_F(DataFiles, NegativeOrdinateInEitherColumnOfTypeTwoStopsTheRun) {
  for (const char* body : {"400 0.5 0.1\n500 0.75 -2\n-1 0 0\n", "400 0.5 0.1\n500 -0.75 2\n-1 0 0\n"}) {
    const std::string f = data_file("neg2.txt", body);
    std::ifstream unit;
    int n = getndat(rs, unit, -1, 10, 0, f);
    const FatalError e = abyss::testing::stop_of([&] { loaddat(rs, unit, 10, n, kTwoSpectra, f); });
    EXPECT_NE(e.message().find("line 12 of " + f + ": negative, non-physical value"), std::string::npos) << e.message();
  }
}

TEST_F(DataFiles, EqualAbscissasStopTheRun) {
  const std::string f = data_file("eq.txt", "400 1\n500 2\n500 3\n-1 0\n");
  std::ifstream unit;
  int n = getndat(rs, unit, -1, 10, 0, f);
  try {
    loaddat(rs, unit, 10, n, kSpectrum, f);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "LoadDat");
    EXPECT_EQ(e.message(), "Data abscissas not monotonically increasing.  Clean up your data and rerun.");
  }
}

TEST_F(DataFiles, GarbledRowBeforeTheEndIsAnErrorNotAnEarlyEnd) {
  // A bad first value used to end the table early with no message.
  const std::string f = data_file("garbled.txt", "400 1\n500 2\nx600 3\n700 4\n");
  std::ifstream unit;
  const FatalError e = abyss::testing::stop_of([&] { getndat(rs, unit, -1, 10, 0, f); });
  EXPECT_EQ(e.routine(), "GetNDat");
  EXPECT_EQ(e.message(), "line 13 of " + f + ": \"x600\" is not a decimal number");
  // A row that lacks its ordinate is caught when the records are read.
  const std::string g = data_file("short.txt", "400 1\n500 2\n600\n");
  int n = getndat(rs, unit, -1, 10, 0, g);
  const FatalError e2 = abyss::testing::stop_of([&] { loaddat(rs, unit, 10, n, kSpectrum, g); });
  EXPECT_EQ(e2.message(), "line 13 of " + g + ": 1 values where 2 are needed");
}

TEST_F(DataFiles, NearestRunWavelengthAndItsTieRule) {
  set_waves({400.0, 410.0, 420.0});
  int iw = 1;
  checkiwav(rs, iw, 418.0);
  EXPECT_EQ(iw, 3);
  checkiwav(rs, iw, 405.0);  // equidistant from 400 and 410: the lower index
  EXPECT_EQ(iw, 1);
  checkiwav(rs, iw, 1000.0);
  EXPECT_EQ(iw, 3);
  // Within 1.0e-6 nm of the remembered wavelength the index is kept.
  iw = 2;
  checkiwav(rs, iw, 410.0 + 0.9e-6);
  EXPECT_EQ(iw, 2);
  set_waves({400.0, 400.0000005});
  iw = 1;
  checkiwav(rs, iw, 400.0000005);  // another wavelength is nearer, but the remembered one is close enough
  EXPECT_EQ(iw, 1);
}

TEST_F(DataFiles, CountOfWavelengthsOfATwoDimensionalTable) {
  const std::string f = data_file("ac9.txt", "9\n0.5 1 2 3\n");
  std::ifstream unit(f);
  EXPECT_EQ(getnwavac(rs, unit, 10), 9);
}

TEST_F(DataFiles, LoadingRegistersAProfileThatStartsBelowTheSurface) {
  set_depths({0.0, 10.0, 50.0});
  const std::string f = data_file("prof.txt", "5 0.2\n100 0.1\n-1 0\n");
  std::ifstream unit;
  int n = getndat(rs, unit, -1, 10, 0, f);
  loaddat(rs, unit, 10, n, kProfile, f);
  ASSERT_EQ(rs.crangew.entries.size(), 1u);
  const auto& e = rs.crangew.entries[0];
  EXPECT_EQ(e.kind, 1);
  EXPECT_TRUE(e.flag[0]);
  EXPECT_FALSE(e.flag[1] || e.flag[2] || e.flag[3]);
  EXPECT_DOUBLE_EQ(e.zmin, 5.0);
}

// Every optical file of the data tree (spectra, profiles, bottom spectra)
// covers 350 to 750 nm or 0 to 100 m, with non-negative data and increasing
// abscissas.
TEST_F(DataFiles, EveryShippedDataFileLoadsWithoutWarnings) {
  set_waves({350.0, 450.0, 550.0, 650.0, 750.0});
  set_depths({0.0, 50.0, 100.0});
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, int>> files = {
      {"pureh2o_abs_scat.txt", kTwoSpectra},   {"astarchl_norm_ps81.txt", kSpectrum},
      {"astarchl_abs_ps81.txt", kSpectrum},    {"astarmineral.txt", kSpectrum},
      {"bstarmineral.txt", kSpectrum},         {"chlzprofile_gaussian.txt", kProfile},
      {"minzprofile_plume.txt", kProfile}};
  for (const auto& entry : fs::directory_iterator(data("botmrefl")))
    if (entry.path().extension() == ".txt") files.emplace_back("botmrefl/" + entry.path().filename().string(), kSpectrum);
  EXPECT_GE(files.size(), 12u);
  for (const auto& [name, type] : files) {
    SCOPED_TRACE(name);
    std::ifstream unit;
    const int n = getndat(rs, unit, -1, 10, 0, data(name));
    EXPECT_GE(n, 2);
    DataTable t = loaddat(rs, unit, 10, n, type, data(name));
    EXPECT_EQ(t.n, n);
  }
  EXPECT_TRUE(rs.crangew.entries.empty()) << rs.crangew.entries.front().name;
  EXPECT_EQ(printout().find("CheckDat"), std::string::npos);
}
