#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include "../derived/band_fixture.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/radiance.hpp"
#include "output/writers.hpp"
#include "util/fortran_format.hpp"

using namespace abyss;
using abyss::testing::BandRun;
using abyss::testing::read_lines;

namespace {

// Two bands solved through radanal with every output file requested; the
// radiance is uniform with band-dependent value and decays with depth.
void run_two_bands(BandRun& b, double par_upper = 420.0) {
  RunState& rs = *b.rs;
  rs.cmisc.i2 = rs.cmisc.i3 = rs.cmisc.i4 = rs.cmisc.i5 = 1;
  rs.cmisc.r1 = 400.0;
  rs.cmisc.r2 = par_upper;
  for (int j = 1; j <= 2; ++j) {
    b.set_band(j);
    rs.sky.ed_diffuse(j) = 0.2 * j;
    rs.sky.ed_direct(j) = 0.8;
    auto zk = [&](int k) { return rs.cgrid.z(k); };
    b.set_isotropic([j](int) { return 1.0 * j; }, [](int) { return 0.05; },
                    [&, j](int k, int) { return 0.9 * j * std::exp(-0.1 * zk(k)); },
                    [&](int k, int) { return 0.04 * std::exp(-0.1 * zk(k)); });
    radanal(rs);
  }
  par(rs);
  wrtxcelm(rs);
  closeall(rs);
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

// Spreadsheet tables by name: header row then data rows, all tab-separated.
std::map<std::string, std::vector<std::vector<std::string>>> sheet_tables(const std::vector<std::string>& lines,
                                                                          std::size_t start) {
  std::map<std::string, std::vector<std::vector<std::string>>> t;
  for (std::size_t i = start; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i].rfind("BAND\t", 0) == 0 || lines[i].find("CALCULATED") != std::string::npos)
      continue;
    const std::string name = split(lines[i], '\t')[0];
    auto& rows = t[name];
    for (++i; i < lines.size() && !lines[i].empty(); ++i) rows.push_back(split(lines[i], '\t'));
  }
  return t;
}

}  // namespace

TEST(OutputRadianceFile, HeaderOnceRowsAppendedPerBandFixedColumns) {
  BandRun b("rad0", 6, 12, 6, {0.0, 5.0}, 2);
  b.rs->cmisc.i5 = 1;
  run_two_bands(b);
  const std::vector<std::string> l = read_lines(b.path("Ltest.txt"));
  ASSERT_GT(l.size(), 9u);
  EXPECT_EQ(l[0], "ABYSSOLVER Run Title: test run rad0");
  EXPECT_EQ(l[1], "Parameters: nz, ntheta, nphi, nlambda =     2   12   12    2");
  EXPECT_EQ(l[2], "Radiance distribution L(z,theta,phi,lambda)");
  EXPECT_EQ(l[3], "The radiance is the total (direct + diffuse) radiance in W m^-2 sr^-1 nm^-1");
  EXPECT_EQ(l[4], "depth = -1.0 labels values in air (just above the sea surface)");
  EXPECT_EQ(l[5], "theta and phi are the directions of photon travel");
  EXPECT_EQ(l[6], "theta = 0 is downwelling; theta = 180 is upwelling");
  EXPECT_EQ(l[7], "   depth   theta    phi   lambda     radiance");
  EXPECT_EQ(l[8], "    [m]    [deg]   [deg]   [nm]   [W/(m^2 sr nm)]");
  const std::size_t per_band = 3 * 2 * 6 * 12;  // (air + 2 depths) x 2 hemispheres x nmu x nphi
  ASSERT_EQ(l.size(), 9 + 2 * per_band);
  for (std::size_t i = 9; i < l.size(); ++i) {
    ASSERT_EQ(l[i].size(), 47u) << l[i];
    EXPECT_EQ(l[i].find("ABYSSOLVER"), std::string::npos);
  }
  // First rows: the cap in air, downward, every azimuth band, the sky radiance.
  EXPECT_EQ(l[9], "   -1.00     0.0     0.0   405.0    1.00000E+00");
  EXPECT_EQ(l[10], "   -1.00     0.0    30.0   405.0    1.00000E+00");
  EXPECT_EQ(l[9 + 12].substr(8, 8), "    18.0");  // band 5 spans 9..27 degrees
  // Upward in air: horizon band first, the cap (180) last.
  EXPECT_EQ(l[9 + 72].substr(0, 16), "   -1.00    94.5");
  EXPECT_EQ(l[9 + 143].substr(0, 24), "   -1.00   180.0   330.0");
  // Second band appended after the first.
  EXPECT_EQ(l[9 + per_band], "   -1.00     0.0     0.0   415.0    2.00000E+00");
  // Depth rows of 5 m: downward total 0.9*2*exp(-0.5) for band 2.
  EXPECT_EQ(l[9 + per_band + 2 * 144], "    5.00     0.0     0.0   415.0    1.09176E+00");
}

TEST(OutputDigitalFile, BlocksAndTablesParseWithTheirRowCounts) {
  BandRun b("dig0", 6, 12, 6, {0.0, 5.0}, 2);
  run_two_bands(b);
  const std::vector<std::string> l = read_lines(b.path("Dtest.txt"));
  ASSERT_FALSE(l.empty());
  EXPECT_EQ(l[0], "# ABYSSOLVER digital output");
  std::size_t i = 0;
  while (i < l.size() && l[i][0] == '#') ++i;
  int bands = 0;
  std::map<std::string, int> tables;
  while (i < l.size()) {
    std::istringstream head(l[i++]);
    std::string word, wl;
    int j = 0;
    double wave = 0;
    head >> word >> j >> wl >> wave;
    ASSERT_EQ(word, "BAND");
    EXPECT_EQ(wave, j == 1 ? 405.0 : 415.0);
    ++bands;
    while (l[i].rfind("TABLE ", 0) == 0) {
      std::istringstream t(l[i++]);
      std::string kw, name;
      int rows = 0;
      t >> kw >> name >> rows;
      const std::size_t ncol = split(l[i++], ' ').size();
      for (int r = 0; r < rows; ++r, ++i) {
        std::istringstream row(l[i]);
        std::size_t n = 0;
        for (std::string f; row >> f; ++n)
          if (f != "n/a") {
            EXPECT_NO_THROW((void)std::stod(f)) << l[i];
          }
        EXPECT_EQ(n, ncol) << name << ": " << l[i];
      }
      ++tables[name];
      if (name == "irradiance") {
        // In air, band j: Ed = pi * j (uniform sky of radiance j).
        std::istringstream air(l[i - static_cast<std::size_t>(rows)]);
        std::vector<std::string> f{std::istream_iterator<std::string>(air), {}};
        EXPECT_NEAR(std::stod(f[8]), std::acos(-1.0) * j, 1e-5);
      }
    }
    ASSERT_EQ(l[i++], "END_BAND " + std::to_string(j));
  }
  EXPECT_EQ(bands, 2);
  EXPECT_EQ(tables["irradiance"], 2);
  EXPECT_EQ(tables["kfunction"], 2);
  EXPECT_EQ(tables["radiance_in_air"], 2);
}

TEST(OutputSpreadsheets, SingleAndMultiTablesParseWithValues) {
  BandRun b("xls0", 6, 12, 6, {0.0, 5.0}, 2);
  run_two_bands(b);
  const std::vector<std::string> m = read_lines(b.path("Mtest.txt"));
  ASSERT_GT(m.size(), 3u);
  EXPECT_EQ(m[0], "ABYSSOLVER multi-wavelength spreadsheet");
  EXPECT_EQ(m[1], "title\ttest run xls0");
  auto t = sheet_tables(m, 3);
  for (const char* q : {"Ed", "Eu", "Eo", "Lu", "Lw", "Rrs", "R", "Kd", "Ku", "Ko", "Kou", "Kod", "Knet", "KLu",
                        "Ed_diffuse/Ed_direct", "PAR", "KPAR"})
    ASSERT_TRUE(t.count(q)) << q;
  const auto& ed = t["Ed"];
  ASSERT_EQ(ed.size(), 3u);  // header + 2 bands
  EXPECT_EQ(ed[0], (std::vector<std::string>{"wavelength_nm", "air", "0.000", "5.000"}));
  EXPECT_EQ(ed[1][0], "405.00");
  EXPECT_NEAR(std::stod(ed[2][1]), 2.0 * std::acos(-1.0), 1e-5);
  EXPECT_NEAR(std::stod(ed[2][3]), 1.8 * std::acos(-1.0) * std::exp(-0.5), 1e-5);
  EXPECT_NEAR(std::stod(t["Kd"][1][1]), 0.1, 1e-6);
  EXPECT_EQ(t["Kd"][0].size(), 3u);  // two depth pairs
  EXPECT_NEAR(std::stod(t["Ed_diffuse/Ed_direct"][2][1]), 0.5, 1e-12);
  // Rrs = Lw / Ed(air): water-leaving radiance 0.05 - 0 reflected sky, Ed = pi.
  EXPECT_NEAR(std::stod(t["Rrs"][1][1]), 0.05 / std::acos(-1.0), 1e-8);
  EXPECT_EQ(t["PAR"][1][0], "PAR(Eo)");
  EXPECT_EQ(t["KPAR"][2][0], "K_PAR(Eo,layer-averaged)");
  for (const auto& [name, rows] : t)
    for (const auto& r : rows) EXPECT_EQ(r.size(), rows[0].size()) << name;

  const std::vector<std::string> s = read_lines(b.path("Stest.txt"));
  ASSERT_GT(s.size(), 3u);
  EXPECT_EQ(s[0], "ABYSSOLVER single-wavelength spreadsheet");
  EXPECT_EQ(std::count(s.begin(), s.end(), "BAND\t2\t415.00"), 1);
  auto st = sheet_tables(s, 3);
  EXPECT_EQ(st["Ed"].size(), 4u);  // per band appended: its header row and its one row
  EXPECT_EQ(st.count("PAR"), 0u);
}

TEST(OutputSpreadsheets, MultiFileKeepsTheFinishedBandsDuringTheRun) {
  BandRun b("xls2", 6, 12, 6, {0.0}, 3);
  b.rs->cmisc.i4 = 1;
  for (int j = 1; j <= 2; ++j) {
    b.set_band(j);
    b.set_uniform(1.0);
    radanal(*b.rs);
  }
  const std::vector<std::string> m = read_lines(b.path("Mtest.txt"));
  auto t = sheet_tables(m, 3);
  ASSERT_EQ(t["Eo"].size(), 3u);  // header + the two bands finished
  EXPECT_EQ(t["Eo"][2][0], "415.00");
  EXPECT_EQ(m[m.size() - 2], "PAR NOT YET CALCULATED: THE RUN HAS NOT FINISHED ITS BANDS");
}

TEST(OutputSpreadsheets, ParNotCalculatedLinesInMultiFile) {
  BandRun b("xls1", 6, 12, 6, {0.0}, 2);
  run_two_bands(b, 700.0);  // the bands end at 420 nm: PAR not computable
  const std::string m = abyss::testing::read_text(b.path("Mtest.txt"));
  EXPECT_NE(m.find("\nPAR NOT CALCULATED FOR THIS RUN\n\nKPAR NOT CALCULATED FOR THIS RUN\n"), std::string::npos);
}

TEST(OutputRadianceFile, RadianceFieldMatchesTheGeneralEditorAtEveryExponent) {
  BandRun b("rad1", 4, 4, 2, {1.0}, 1);
  const double values[] = {0.0, 1.234565e-3, 9.999996e4, 2.5e-120, 3.0e-99};
  for (double v : values) {
    b.set_uniform(v);
    b.rs->cmisc.i5 = 1;
    synhl(*b.rs);
    writerad(*b.rs);
  }
  b.close_all_outputs();
  const std::vector<std::string> l = read_lines(b.path("Ltest.txt"));
  const std::size_t per_band = 2 * 2 * 4 * 4;
  ASSERT_EQ(l.size(), 9 + 5 * per_band);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(l[9 + i * per_band].substr(32), ff::PE(values[i], 15, 5)) << values[i];
}

TEST(OutputRadianceFile, UncreatableFileStopsTheRunNamingIt) {
  BandRun b("rad2", 4, 4, 2, {1.0}, 1);
  b.rs->out.radiance_name = b.path("no_such_dir/Lx.txt");
  b.set_uniform(1.0);
  synhl(*b.rs);
  try {
    writerad(*b.rs);
    FAIL() << "no error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "writerad");
    EXPECT_EQ(e.message(), "cannot create output file " + b.path("no_such_dir/Lx.txt"));
  }
}
