// The clear-sky irradiance model as the sky branches call it: band averages
// from the committed data base, the regression values of the research note,
// clouds, guards, the first-call description and the failures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "sky/radtranx.hpp"
#include "sky/radtranx_dbase.hpp"
#include "sky/radtranx_model.hpp"
#include "sky/sun.hpp"

using namespace abyss;

namespace {

const std::string kDbase = std::string(ABYSS_SOURCE_DIR) + "/data/RADTRANX_dbase.txt";

class Radtranx : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("radtranx_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
    rs.printout.open(path_);
    rs.console = &con;
    rs.gcifname = kDbase;
    case_a();
  }
  void TearDown() override {
    rs.printout.close();
    std::filesystem::remove(path_);
  }
  // Case A of the note: 30 degrees, day 172, open ocean, 300 DU.
  void case_a() {
    rs.csky.suntheta = 30.0;
    rs.csky.cloud = 0.0;
    ClearSkyInput& g = rs.cgcirr1;
    g = {172, 35.0, -60.0, 1013.25, 1, 80, 1.5, 15, 5, 300, 0};
    rs.cmisc.windspd = 5.0;
  }
  // Case B: 60 degrees, day 355, AM 5, humid, windy, 350 DU.
  void case_b() {
    rs.csky.suntheta = 60.0;
    rs.cgcirr1 = {355, 35.0, -60.0, 1000.0, 5, 90, 3.0, 10, 8, 350, 0};
    rs.cmisc.windspd = 10.0;
  }
  rtx::Irradiance at(double wl) { return band(wl - 0.5, wl + 0.5); }
  rtx::Irradiance band(double wl1, double wl2) {
    rtx::Irradiance e;
    radtranx(rs, wl1, wl2, e.diffuse, e.direct);
    return e;
  }
  std::string printout() {
    rs.printout.flush();
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  FatalError fatal(double wl1 = 549.5, double wl2 = 550.5) {
    try {
      band(wl1, wl2);
    } catch (const FatalError& e) {
      return e;
    }
    ADD_FAILURE() << "no fatal error";
    return FatalError("", "");
  }

  RunState rs;
  std::ostringstream con;
  std::filesystem::path path_;
};

struct Row {
  double wl, ed_a, es_a, ed_b, es_b;
};

// Regression rows of the research note (its own evaluation of the same
// equations with the G&C 1-nm table; 1e-4 relative).
const Row kRows[] = {
    {350, 0.276594, 0.271274, 0.0498196, 0.208300}, {400, 0.667884, 0.421960, 0.162450, 0.358390},
    {443, 0.907889, 0.461044, 0.257725, 0.419945},  {490, 0.988740, 0.431408, 0.313275, 0.412838},
    {550, 1.010540, 0.389836, 0.346026, 0.379222},  {590, 0.907653, 0.330744, 0.302700, 0.301994},
    {687, 0.735466, 0.243941, 0.278041, 0.232505},  {700, 0.794722, 0.261086, 0.302357, 0.247845},
};

void expect_rel(double got, double want, double rel, const std::string& what) {
  EXPECT_NEAR(got, want, rel * std::abs(want)) << what;
}

}  // namespace

TEST_F(Radtranx, RegressionRowsCaseA) {
  for (const Row& r : kRows) {
    const rtx::Irradiance e = at(r.wl);
    expect_rel(e.direct, r.ed_a, 1e-4, "Ed " + std::to_string(r.wl));
    expect_rel(e.diffuse, r.es_a, 1e-4, "Es " + std::to_string(r.wl));
  }
  // Whole-band mean 400..700 nm (301 whole nm).
  const rtx::Irradiance m = band(400.0, 700.0);
  expect_rel(m.direct, 0.920898, 1e-4, "mean Ed");
  expect_rel(m.diffuse, 0.376058, 1e-4, "mean Es");
}

TEST_F(Radtranx, RegressionRowsCaseB) {
  case_b();
  for (const Row& r : kRows) {
    const rtx::Irradiance e = at(r.wl);
    expect_rel(e.direct, r.ed_b, 1e-4, "Ed " + std::to_string(r.wl));
    expect_rel(e.diffuse, r.es_b, 1e-4, "Es " + std::to_string(r.wl));
  }
  const rtx::Irradiance m = band(400.0, 700.0);
  expect_rel(m.direct, 0.309520, 1e-4, "mean Ed");
  expect_rel(m.diffuse, 0.357396, 1e-4, "mean Es");
}

// Without aerosol, ozone and water vapour, and where oxygen does not absorb,
// the beam loses only Rayleigh scattering: Ed = H0 D Tr cos(theta), with H0
// the data-base value and Tr written out here from its formula.
TEST_F(Radtranx, PureRayleighAtmosphereDirectBeam) {
  rs.cgcirr1.vis = 1e15;
  rs.cgcirr1.ro3 = 1e-12;
  rs.cgcirr1.wv = 0.0;
  const RadtranxTable t = read_radtranx_dbase(kDbase);
  const double theta = 30.0, mu0 = std::cos(theta * M_PI / 180.0);
  const double m = 1.0 / (mu0 + 0.15 * std::pow(93.885 - theta, -1.253));
  const double d = std::pow(1.0 + 0.0167 * std::cos(2.0 * M_PI * (172 - 3) / 365.0), 2);
  for (double wl : {400.0, 443.0, 550.0, 620.0}) {
    const std::size_t i = static_cast<std::size_t>(wl) - static_cast<std::size_t>(t.first_nm);
    ASSERT_EQ(t.ao2[i], 0.0) << wl;
    const double l = wl * 1e-3;
    const double tr = std::exp(-m / (std::pow(l, 4) * (115.6406 - 1.335 / (l * l))));
    const rtx::Irradiance e = at(wl);
    expect_rel(e.direct, t.h0[i] * d * tr * mu0, 1e-9, "Ed " + std::to_string(wl));
    // The sky is then pure Rayleigh: half of the scattered beam.
    expect_rel(e.diffuse, t.h0[i] * d * mu0 * 0.5 * (1.0 - std::pow(tr, 0.95)), 1e-9, "Es");
  }
}

TEST_F(Radtranx, CloudsFollowKastenCzeplak) {
  const rtx::Irradiance clear = at(550.0);
  rs.csky.cloud = 0.2;  // below a quarter the clear-sky split stays
  EXPECT_EQ(at(550.0).direct, clear.direct);
  rs.csky.cloud = 0.5;
  expect_rel(at(550.0).direct, 0.682960, 1e-4, "C 0.5 Ed");
  expect_rel(at(550.0).diffuse, 0.617917, 1e-4, "C 0.5 Es");
  rs.csky.cloud = 1.0;
  const rtx::Irradiance ovc = at(550.0);
  EXPECT_NEAR(ovc.direct, 0.0, 1e-15);
  EXPECT_NEAR(ovc.diffuse, 0.25 * (clear.direct + clear.diffuse), 1e-12);
  expect_rel(ovc.diffuse, 0.350093, 1e-4, "C 1 Es");
  rs.csky.cloud = 0.0;
  EXPECT_EQ(at(550.0).diffuse, clear.diffuse);
}

TEST_F(Radtranx, BandAverageIsTheMeanOfItsWholeNanometres) {
  const rtx::Irradiance b = band(400.0, 410.0);
  double ed = 0.0, es = 0.0;
  for (int k = 400; k <= 410; ++k) {
    const rtx::Irradiance e = at(k);
    ed += e.direct / 11.0;
    es += e.diffuse / 11.0;
  }
  EXPECT_NEAR(b.direct, ed, 1e-13);
  EXPECT_NEAR(b.diffuse, es, 1e-13);
  // A 1-nm band is the point value; half-nm limits pick the one whole nm.
  const rtx::Irradiance p = at(443.0);
  const rtx::Irradiance q = band(442.6, 443.4);
  EXPECT_EQ(p.direct, q.direct);
  // A band holding no whole nm takes its centre, between the neighbours.
  const rtx::Irradiance c = band(687.2, 687.8);
  const double lo = std::min(at(687.0).direct, at(688.0).direct), hi = std::max(at(687.0).direct, at(688.0).direct);
  EXPECT_GT(c.direct, lo);
  EXPECT_LT(c.direct, hi);
}

TEST_F(Radtranx, SunAtOrBelowTheHorizonGivesNoLight) {
  rs.csky.suntheta = 90.0;
  const rtx::Irradiance e = at(550.0);
  EXPECT_EQ(e.direct, 0.0);
  EXPECT_EQ(e.diffuse, 0.0);
  rs.csky.suntheta = 95.0;
  EXPECT_EQ(at(550.0).diffuse, 0.0);
  EXPECT_NE(printout().find("        The sun is below the horizon: the clear-sky irradiances are zero.\n"), std::string::npos);
  rs.csky.suntheta = 89.0;  // still a finite, positive sky just above it
  const rtx::Irradiance low = at(550.0);
  EXPECT_GT(low.diffuse, 0.0);
  EXPECT_TRUE(std::isfinite(low.direct));
}

TEST_F(Radtranx, SaturatedAirIsTreatedAs99Point9Percent) {
  rs.cgcirr1.rh = 100.0;
  const rtx::Irradiance wet = at(550.0);
  EXPECT_TRUE(std::isfinite(wet.direct) && wet.direct > 0.0);
  EXPECT_NE(printout().find("        relative humidity                99.90 %\n"), std::string::npos);
  rs.rtx = RadtranxState{};
  rs.cgcirr1.rh = 99.9;
  EXPECT_DOUBLE_EQ(at(550.0).direct, wet.direct);
}

TEST_F(Radtranx, PhysicalTrends) {
  const rtx::Irradiance base400 = at(400.0), base450 = at(450.0), base550 = at(550.0), base650 = at(650.0),
                        base700 = at(700.0);
  double prev = 1e9;
  for (double th : {0.0, 20.0, 40.0, 60.0, 80.0}) {  // lower sun, less direct light
    rs.csky.suntheta = th;
    EXPECT_LT(at(550.0).direct, prev) << th;
    prev = at(550.0).direct;
  }
  case_a();
  rs.cgcirr1.vis = 40.0;  // clearer air, stronger beam
  EXPECT_GT(at(550.0).direct, base550.direct);
  case_a();
  rs.cgcirr1.wv = 4.0;  // water vapour absorbs in its bands only
  EXPECT_LT(at(700.0).direct, base700.direct);
  EXPECT_EQ(at(450.0).direct, base450.direct);
  case_a();
  rs.cgcirr1.pressure = 2.0 * 1013.25;
  EXPECT_LT(at(400.0).direct, base400.direct);
  case_a();
  EXPECT_GT(base400.diffuse / (base400.diffuse + base400.direct), base650.diffuse / (base650.diffuse + base650.direct));
}

TEST_F(Radtranx, FirstCallDescribesTheModelOnce) {
  at(550.0);
  const std::string expected =
      "\n     The clear-sky irradiance is computed with the Gregg and Carder (1990) maritime model\n"
      "     (RADTRANX), the Navy aerosol model and the Kasten and Czeplak (1980) cloud correction.\n"
      "        Spectral data base: " + kDbase + " (300 to 1100 nm, 1-nm steps)\n"
      "        day of year                        172\n"
      "        solar zenith angle               30.00 deg\n"
      "        surface pressure               1013.25 mb\n"
      "        air-mass type                     1.00\n"
      "        relative humidity                80.00 %\n"
      "        precipitable water                1.50 cm\n"
      "        visibility                       15.00 km\n"
      "        wind speed                        5.00 m/s\n"
      "        24-hour mean wind speed           5.00 m/s\n"
      "        total ozone                     300.00 DU (given)\n"
      "        cloud fraction                    0.00\n"
      "        aerosol Angstrom exponent       0.2174\n"
      "        aerosol optical depth 550nm     0.2607\n"
      "        aerosol s.s. albedo             0.9928\n"
      "        aerosol asymmetry               0.7892\n"
      "        Clear-sky irradiances of the band  549.5 to  550.5 nm [W/(m^2 nm)]:\n"
      "           Ed(diffuse) =  3.898E-01   Ed(direct) =  1.011E+00\n";
  EXPECT_EQ(printout(), expected);
  band(400.0, 410.0);
  EXPECT_EQ(printout(), expected);  // later bands compute silently
  EXPECT_EQ(rs.rtx.ozone_du, 300.0);
  EXPECT_FALSE(rs.rtx.ozone_from_climatology);
}

TEST_F(Radtranx, MissingDataBaseStopsTheRun) {
  rs.gcifname = "/nonexistent/RADTRANX_dbase.txt";
  const FatalError e = fatal();
  EXPECT_EQ(e.routine(), "RADTRANX");
  EXPECT_EQ(e.message(), "required data file /nonexistent/RADTRANX_dbase.txt not found");
}

TEST_F(Radtranx, BadDataBaseLinesAreNamed) {
  const std::filesystem::path bad = path_.string() + ".db";
  auto fail_with = [&](const std::string& text) {
    std::ofstream(bad) << text;
    rs.gcifname = bad.string();
    rs.rtx = RadtranxState{};
    const FatalError e = fatal();
    EXPECT_EQ(e.routine(), "RADTRANX");
    return e.message();
  };
  const std::string pre = "clear-sky data base " + bad.string() + ": ";
  EXPECT_EQ(fail_with("# sources\n3\n549 1 0 0 0 1\n551 1 0 0 0 1\n550 1 0 0 0 1\n"),
            pre + "data line 2 of 3: wavelength 551 found, 550 expected (1-nm steps)");
  EXPECT_EQ(fail_with("# sources\n3\n549 1 0 0 0 1\n550 1 0 0 0 1\n"), pre + "the file ends after 2 of 3 data lines");
  EXPECT_EQ(fail_with("# sources\n2\n549 1 0 0\n550 1 0 0 0 1\n"),
            pre + "data line 1 of 2: six values expected (wavelength, H0, a_oz, a_o2, a_wv, source)");
  EXPECT_EQ(fail_with("# sources\n2\n549 1 0 -0.1 0 1\n550 1 0 0 0 1\n"),
            pre + "data line 1 of 2: negative value -0.1 at 549 nm");
  EXPECT_EQ(fail_with("# sources\n"), pre + "the count of data lines is missing");
  EXPECT_NE(fail_with("# sources\n2\n549 1 x 0 0 1\n").find(pre + "after 0 data lines: "), std::string::npos);
  std::filesystem::remove(bad);
}

TEST_F(Radtranx, InvalidAtmosphereStopsTheRun) {
  rs.cgcirr1.am = 0.0;
  const FatalError e = fatal();
  EXPECT_EQ(e.routine(), "RADTRANX");
  EXPECT_EQ(e.message(), "invalid air-mass type (1 to 10) for the clear-sky irradiance model");
  EXPECT_NE(printout().find("\n ERROR in the clear-sky atmosphere (record 18/19): air-mass type (1 to 10) = 0\n"),
            std::string::npos);
  case_a();
  rs.cgcirr1.vis = 0.0;
  EXPECT_EQ(fatal().message(), "invalid visibility (km) for the clear-sky irradiance model");
  case_a();
  rs.cgcirr1.rlat = 95.0;
  EXPECT_EQ(fatal().message(), "invalid latitude (deg) for the clear-sky irradiance model");
}

TEST_F(Radtranx, BandOutsideTheDataBaseStopsTheRun) {
  const FatalError e = fatal(1200.0, 1210.0);
  EXPECT_EQ(e.message(), "band 1200.0 to 1210.0 nm lies outside the clear-sky data base (300 to 1100 nm)");
}

// The committed data base is the generator's splice of the two source
// tables: G&C's values unchanged inside 350..700 nm (but the mended ozone
// slip at 468 nm), and it covers at least 300..1000 nm.
TEST_F(Radtranx, DataBaseHoldsTheGreggCarderTable) {
  const RadtranxTable t = read_radtranx_dbase(kDbase);
  EXPECT_LE(t.first_nm, 300);
  EXPECT_GE(t.last_nm(), 1000);
  std::ifstream in(std::string(ABYSS_SOURCE_DIR) + "/tools/rtxdbase/gregg_carder1990_atm_1nm_350_700.txt");
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    double wl, h0, aoz, ao2, awv;
    if (line.empty() || line[0] == '#' || !(std::istringstream(line) >> wl >> h0 >> aoz >> ao2 >> awv)) continue;
    const std::size_t i = static_cast<std::size_t>(wl) - static_cast<std::size_t>(t.first_nm);
    EXPECT_EQ(t.h0[i], h0) << wl;
    EXPECT_EQ(t.aoz[i], wl == 468 ? 0.007 : aoz) << wl;
    EXPECT_EQ(t.ao2[i], ao2) << wl;
    EXPECT_EQ(t.awv[i], awv) << wl;
    ++rows;
  }
  EXPECT_EQ(rows, 351);
}

TEST_F(Radtranx, ZenithFlagMinus99UsesTheSunPosition) {
  rs.csky.suntheta = -99.0;
  rs.csky.gmt = 15.0;  // 11:00 local solar time near 60 W, day 172, 35 N
  double z = 0.0, a = 0.0;
  std::ostringstream os;
  sunang(172, 15.0, rs.cmisc.raddeg, -60.0, 35.0, z, a, os);
  const rtx::Irradiance e = at(550.0);
  EXPECT_EQ(rs.rtx.computed_zenith, z);
  rs.rtx = RadtranxState{};
  rs.csky.suntheta = z;
  EXPECT_EQ(at(550.0).direct, e.direct);
  EXPECT_NE(printout().find("deg (computed from day, GMT, latitude and longitude)\n"), std::string::npos);
}

TEST_F(Radtranx, NoOzoneGivenUsesTheClimatology) {
  rs.cgcirr1.ro3 = 0.0;
  const double o3 = get_o3_climat(rs, 172, 35.0, -60.0);
  at(550.0);
  EXPECT_TRUE(rs.rtx.ozone_from_climatology);
  EXPECT_EQ(rs.rtx.ozone_du, o3);
  EXPECT_NE(printout().find(" DU (from the ozone climatology)\n"), std::string::npos);
}

// Outside 350..700 nm the data base is the SPCTRAL2 table; at its own
// wavelengths the interpolation must return the tabulated values.
TEST_F(Radtranx, DataBaseOutsideGreggCarderIsSpctral2) {
  const RadtranxTable t = read_radtranx_dbase(kDbase);
  std::ifstream in(std::string(ABYSS_SOURCE_DIR) + "/tools/rtxdbase/spectrl2_bird_riordan_122wl.txt");
  std::string line;
  int nodes = 0;
  while (std::getline(in, line)) {
    double wl, et, awv, aoz, amix;
    if (line.empty() || line[0] == '#' || !(std::istringstream(line) >> wl >> et >> awv >> aoz >> amix)) continue;
    if ((wl >= 350 && wl <= 700) || wl != std::floor(wl) || wl < t.first_nm || wl > t.last_nm()) continue;
    const std::size_t i = static_cast<std::size_t>(wl) - static_cast<std::size_t>(t.first_nm);
    EXPECT_NEAR(t.h0[i], et, 5e-5) << wl;
    EXPECT_NEAR(t.aoz[i], aoz, 1e-6 * aoz) << wl;
    EXPECT_NEAR(t.ao2[i], amix, 1e-6 * amix) << wl;
    EXPECT_NEAR(t.awv[i], awv, 1e-6 * awv) << wl;
    ++nodes;
  }
  EXPECT_GE(nodes, 30);
}
