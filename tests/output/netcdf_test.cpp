// The NetCDF run file, written by the real executable with "netcdf = yes":
// its dimensions, its agreement with the text outputs, its CF metadata, and
// that nothing non-finite reaches it.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "support/run_input.hpp"

using abyss::testing::read_file;
using abyss::testing::read_lines;
using abyss::testing::ScratchRun;

namespace {

constexpr double kFill = 9.9692099683868690e+36;

std::string example(const std::string& name) {
  return abyss::testing::on_coarse_grid(read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/" + name + ".txt"));
}

struct NcFile {
  int id = -1;
  explicit NcFile(const std::filesystem::path& p) { EXPECT_EQ(nc_open(p.c_str(), NC_NOWRITE, &id), NC_NOERR) << p; }
  ~NcFile() {
    if (id >= 0) nc_close(id);
  }
  std::size_t dim(const char* name) const {
    int d = -1;
    std::size_t n = 0;
    EXPECT_EQ(nc_inq_dimid(id, name, &d), NC_NOERR) << name;
    nc_inq_dimlen(id, d, &n);
    return n;
  }
  int var(const char* name) const {
    int v = -1;
    EXPECT_EQ(nc_inq_varid(id, name, &v), NC_NOERR) << name;
    return v;
  }
  std::vector<double> values(const char* name) const {
    const int v = var(name);
    int nd = 0;
    nc_inq_varndims(id, v, &nd);
    std::vector<int> dims(static_cast<std::size_t>(nd));
    nc_inq_vardimid(id, v, dims.data());
    std::size_t n = 1;
    for (int d : dims) {
      std::size_t len = 0;
      nc_inq_dimlen(id, d, &len);
      n *= len;
    }
    std::vector<double> out(n);
    EXPECT_EQ(nc_get_var_double(id, v, out.data()), NC_NOERR) << name;
    return out;
  }
  std::string text_att(int varid, const char* name) const {
    std::size_t n = 0;
    if (nc_inq_attlen(id, varid, name, &n) != NC_NOERR) return {};
    std::string s(n, '\0');
    nc_get_att_text(id, varid, name, s.data());
    return s;
  }
};

// A run of an example with the NetCDF option; the scratch tree lives as long as the object.
struct NetcdfRun {
  ScratchRun run;
  std::string input, console;
  int status = -1;
  std::filesystem::path nc, out;
  // text: the run-input file to use instead of the example `name` (same root name).
  NetcdfRun(const std::string& name, const std::string& options = "netcdf = yes\n", const std::string& text = "") {
    input = (text.empty() ? example(name) : text) + options;
    status = run.run_exe(input, console);
    out = run.root() / "output" / "Abyssolver";
    nc = out / "digital" / (name + ".nc");
  }
};

// Values of the tab-separated table `name` of an M file, by row.
std::vector<std::vector<std::string>> sheet_table(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(name + "\t", 0) != 0) continue;
    for (i += 2; i < lines.size() && !lines[i].empty(); ++i) {
      std::vector<std::string> cells;
      std::stringstream ss(lines[i]);
      for (std::string c; std::getline(ss, c, '\t');) cells.push_back(c);
      rows.push_back(cells);
    }
    break;
  }
  return rows;
}

// The text files print 7 significant digits.
void expect_printed(double nc, const std::string& text, const std::string& what) {
  if (text == "n/a") {
    EXPECT_EQ(nc, kFill) << what;
    return;
  }
  const double t = std::stod(text);
  EXPECT_NEAR(nc, t, 5e-7 * std::abs(t) + 1e-300) << what;
}

}  // namespace

TEST(NetcdfFile, DefaultExampleMatchesTheSpreadsheetAndRadianceFiles) {
  NetcdfRun r("case1_default");
  ASSERT_EQ(r.status, 0) << r.console;
  NcFile f(r.nc);
  ASSERT_GE(f.id, 0);
  EXPECT_EQ(f.dim("depth"), 5u);  // air and four output depths
  EXPECT_EQ(f.dim("wavelength"), 6u);
  EXPECT_EQ(f.dim("phi"), 24u);
  const std::size_t nth = f.dim("theta"), nphi = f.dim("phi");
  const auto m = read_lines(r.out / "excel" / "Mcase1_default.txt");
  for (const char* q : {"Ed", "Eu", "Eo", "Lu"}) {
    const auto rows = sheet_table(m, q);
    const auto v = f.values(q);  // (depth, wavelength)
    ASSERT_EQ(rows.size(), 6u) << q;
    for (std::size_t j = 0; j < 6; ++j)
      for (std::size_t i = 0; i < 5; ++i) expect_printed(v[i * 6 + j], rows[j][i + 1], std::string(q));
  }
  for (const char* q : {"Lw", "Rrs"}) {
    const auto rows = sheet_table(m, q);
    const auto v = f.values(q);
    for (std::size_t j = 0; j < 6; ++j) {
      expect_printed(v[j], rows[j][1], q);                          // in air
      for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(v[i * 6 + j], kFill) << q;  // defined only in air
    }
  }
  const auto kd = sheet_table(m, "Kd");
  const auto kv = f.values("Kd");
  const std::size_t np = f.dim("kdepth");
  for (std::size_t j = 0; j < 6; ++j)
    for (std::size_t p = 0; p < np; ++p) expect_printed(kv[p * 6 + j], kd[j][p + 1], "Kd");
  const auto par = sheet_table(m, "PAR");
  const auto pv = f.values("PAR_Eo");
  for (std::size_t i = 0; i < 5; ++i) expect_printed(pv[i], par[0][i + 1], "PAR_Eo");
  // Every row of the radiance file (printed with 5 decimals) is the same value in L.
  const auto l = read_lines(r.out / "digital" / "Lcase1_default.txt");
  const auto L = f.values("L");  // (depth, theta, phi, wavelength)
  const auto depth = f.values("depth"), theta = f.values("theta"), phi = f.values("phi"), wave = f.values("wavelength");
  std::size_t checked = 0;
  for (std::size_t row = 9; row < l.size(); ++row) {
    std::istringstream in(l[row]);
    double z, th, ph, w, val;
    in >> z >> th >> ph >> w >> val;
    auto nearest = [](const std::vector<double>& c, double x) {
      std::size_t b = 0;
      for (std::size_t i = 1; i < c.size(); ++i)
        if (std::abs(c[i] - x) < std::abs(c[b] - x)) b = i;
      return b;
    };
    const std::size_t i = nearest(depth, z), t = nearest(theta, th), s = nearest(phi, ph), j = nearest(wave, w);
    ASSERT_NEAR(theta[t], th, 0.051);
    EXPECT_NEAR(L[((i * nth + t) * nphi + s) * 6 + j], val, 5e-6 * std::abs(val) + 1e-300) << l[row];
    ++checked;
  }
  EXPECT_EQ(checked, 5u * nth * nphi * 6u);
  int complete = 0;
  nc_get_att_int(f.id, NC_GLOBAL, "run_complete", &complete);
  EXPECT_EQ(complete, 1);
  EXPECT_EQ(f.text_att(NC_GLOBAL, "run_input"), r.input);
  EXPECT_EQ(f.text_att(NC_GLOBAL, "run_options"), "partition = 10x24\nnetcdf = yes\n");
}

TEST(NetcdfFile, EveryVariableHasUnitsAndEveryCellCoordinateBounds) {
  NetcdfRun r("case2_coastal");
  ASSERT_EQ(r.status, 0) << r.console;
  NcFile f(r.nc);
  int nvars = 0;
  nc_inq_nvars(f.id, &nvars);
  ASSERT_GT(nvars, 40);
  for (int v = 0; v < nvars; ++v) {
    char name[NC_MAX_NAME + 1];
    nc_inq_varname(f.id, v, name);
    EXPECT_FALSE(f.text_att(v, "units").empty()) << name;
    nc_type type;
    nc_inq_vartype(f.id, v, &type);
    if (type != NC_DOUBLE) continue;
    for (double x : f.values(name)) ASSERT_TRUE(std::isfinite(x)) << name;  // undefined values are the fill value
  }
  for (const char* c : {"wavelength", "theta", "phi", "kdepth", "par_layer"}) {
    const std::string b = f.text_att(f.var(c), "bounds");
    ASSERT_EQ(b, std::string(c) + "_bnds");
    const auto centre = f.values(c), bounds = f.values(b.c_str());
    ASSERT_EQ(bounds.size(), 2 * centre.size());
    for (std::size_t i = 0; i < centre.size(); ++i) {
      EXPECT_LE(bounds[2 * i], centre[i] + 1e-9) << c;
      EXPECT_GE(bounds[2 * i + 1], centre[i] - 1e-9) << c;
      if (i > 0) {
        EXPECT_GT(centre[i], centre[i - 1]) << c;  // monotonic coordinates
      }
    }
  }
  EXPECT_EQ(f.text_att(f.var("Ed"), "standard_name"), "downwelling_radiative_flux_per_unit_wavelength_in_sea_water");
  EXPECT_EQ(f.text_att(NC_GLOBAL, "Conventions"), "CF-1.8");
  // Four components, their IOPs adding up to the totals at every water level.
  const auto a = f.values("a"), ac = f.values("a_component");
  const std::size_t nlev = f.dim("depth"), nw = f.dim("wavelength"), nc = f.dim("component");
  ASSERT_EQ(nc, 4u);
  for (std::size_t i = 1; i < nlev; ++i)
    for (std::size_t j = 0; j < nw; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < nc; ++k) sum += ac[(k * nlev + i) * nw + j];
      EXPECT_NEAR(sum, a[i * nw + j], 1e-12 * a[i * nw + j]);
    }
}

TEST(NetcdfFile, NotWrittenUnlessAsked) {
  NetcdfRun r("constant_single", "");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_FALSE(std::filesystem::exists(r.nc));
}

TEST(NetcdfFile, SingleBandRunWithoutPar) {
  NetcdfRun r("constant_single");
  ASSERT_EQ(r.status, 0) << r.console;
  NcFile f(r.nc);
  EXPECT_EQ(f.dim("wavelength"), 1u);
  for (double x : f.values("PAR_Eo")) EXPECT_EQ(x, kFill);  // one band at 550 nm does not cover 400-700 nm
  EXPECT_EQ(f.values("secchi_depth")[0], kFill);
  const auto ed = f.values("Ed");
  EXPECT_GT(ed[0], 0.0);
  EXPECT_EQ(f.values("Ed_cie_x")[0], kFill);
}

// With internal sources the file carries, per band, Lw and Rrs without them
// and their share of Lw, the same values as the multi-wavelength spreadsheet.
TEST(NetcdfFile, InelasticShareMatchesTheSpreadsheet) {
  // The example with 20 nm bands from 380 to 700 nm, to keep the test short.
  std::string input = example("raman_chlfl_clear");
  const std::string bands = "40\n350 360 370 380 390 400 410 420 430 440 450 460 470 480 490 500 510 520 530 540 550 "
                            "560 570 580 590 600 610 620 630 640 650 660 670 680 690 700 710 720 730 740 750\n";
  ASSERT_NE(input.find(bands), std::string::npos);
  input.replace(input.find(bands), bands.size(), "16\n380 400 420 440 460 480 500 520 540 560 580 600 620 640 660 680 700\n");
  NetcdfRun r("raman_chlfl_clear", "netcdf = yes\n", input);
  ASSERT_EQ(r.status, 0) << r.console;
  NcFile f(r.nc);
  const std::size_t nw = f.dim("wavelength");
  ASSERT_EQ(nw, 16u);
  const auto m = read_lines(r.out / "excel" / "Mraman_chlfl_clear.txt");
  const auto elastic = sheet_table(m, "Lw_elastic"), share = sheet_table(m, "Lw_source_share");
  ASSERT_EQ(elastic.size(), nw);
  ASSERT_EQ(share.size(), nw);
  const auto lw_el = f.values("Lw_elastic"), sh = f.values("Lw_source_share"), rrs_el = f.values("Rrs_elastic");
  const auto lw = f.values("Lw"), rrs = f.values("Rrs");  // (depth, wavelength): air is row 0
  double largest = 0.0;
  for (std::size_t j = 0; j < nw; ++j) {
    expect_printed(lw_el[j], elastic[j][1], "Lw_elastic");
    expect_printed(sh[j], share[j][1], "Lw_source_share");
    EXPECT_NEAR(lw_el[j], lw[j] * (1.0 - sh[j]), 1e-12 * lw[j]);
    EXPECT_NEAR(rrs_el[j], rrs[j] * (1.0 - sh[j]), 1e-12 * rrs[j]);
    EXPECT_GE(sh[j], 0.0);
    EXPECT_LT(sh[j], 1.0);
    largest = std::max(largest, sh[j]);
  }
  EXPECT_GT(largest, 0.1);  // Raman in the green and chlorophyll fluorescence at 685 nm
  for (const char* q : {"Lw_elastic", "Rrs_elastic", "Lw_source_share"}) {
    const int v = f.var(q);
    EXPECT_FALSE(f.text_att(v, "units").empty()) << q;
    EXPECT_FALSE(f.text_att(v, "long_name").empty()) << q;
  }
  EXPECT_EQ(f.text_att(f.var("Lw_source_share"), "units"), "1");
  // An elastic run has no such variables.
  NetcdfRun e("constant_single");
  ASSERT_EQ(e.status, 0) << e.console;
  NcFile g(e.nc);
  int id = -1;
  EXPECT_EQ(nc_inq_varid(g.id, "Lw_source_share", &id), NC_ENOTVAR);
}
