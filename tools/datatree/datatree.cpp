// Builds the optical part of the data tree (data/*.txt, data/botmrefl/*.txt)
// as standard data files from the public source tables of the shared data
// sources folder. Run by hand; its outputs are committed:
//
//   build/datatree <datasrc folder> <repository data folder>
//
// Every output has 10 header records (content, units, source, citation,
// licence, processing), the data records, and the end record "-1 0".
// Where the sources lack a dataset, a published analytic model is evaluated
// and the header says which.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace {

namespace fs = std::filesystem;
using Header = std::array<std::string, 10>;
using Row = std::vector<double>;

// Numeric rows of a source table: '#' lines are provenance, the first other
// line names the columns; non-numeric columns (source flags) are dropped.
std::vector<Row> read_table(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::vector<Row> rows;
  std::string line;
  bool names_seen = false;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!names_seen) {
      names_seen = true;
      continue;
    }
    std::istringstream ss(line);
    Row r;
    std::string tok;
    while (ss >> tok) {
      try {
        std::size_t used = 0;
        double v = std::stod(tok, &used);
        if (used == tok.size()) r.push_back(v);
      } catch (const std::exception&) {
      }
    }
    if (!r.empty()) rows.push_back(r);
  }
  return rows;
}

// Column c of the rows as a function of column 0, linear in log-log space
// (for the smooth power-law spectra of molecular scattering).
double loglog(const std::vector<Row>& t, std::size_t c, double x) {
  for (std::size_t i = 1; i < t.size(); ++i) {
    if (x <= t[i][0]) {
      const double x0 = t[i - 1][0], x1 = t[i][0];
      const double f = std::log(x / x0) / std::log(x1 / x0);
      return std::exp((1.0 - f) * std::log(t[i - 1][c]) + f * std::log(t[i][c]));
    }
  }
  throw std::runtime_error(fmt::format("{} nm lies beyond the scattering table", x));
}

std::string num(double v) { return fmt::format("{:.6g}", v); }
std::string abscissa(double x) { return fmt::format("{:g}", x); }

void write_file(const fs::path& file, const Header& h, const std::vector<Row>& rows) {
  std::ofstream out(file);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  for (const auto& line : h) {
    if (line.size() > 120) throw std::runtime_error("header record longer than 120 characters in " + file.string());
    out << line << "\n";
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i > 0 && !(rows[i][0] > rows[i - 1][0])) throw std::runtime_error("abscissas not increasing in " + file.string());
    out << abscissa(rows[i][0]);
    for (std::size_t c = 1; c < rows[i].size(); ++c) {
      if (rows[i][c] < 0.0) throw std::runtime_error("negative datum in " + file.string());
      out << " " << num(rows[i][c]);
    }
    out << "\n";
  }
  out << (rows.empty() || rows[0].size() < 3 ? "-1 0\n" : "-1 0 0\n");
  std::cout << file.string() << ": " << rows.size() << " records\n";
}

// Pure seawater: absorption of the composite Smith & Baker / Pope & Fry table,
// scattering of Zhang, Hu & He (2009) at 20 C and 35 PSU on the same grid.
void pure_water(const fs::path& src, const fs::path& out) {
  auto abs = read_table(src / "pure_water_abs_composite_200_800.txt");
  auto sca = read_table(src / "pure_seawater_scattering_zhh2009.txt");
  std::vector<Row> rows;
  for (const auto& r : abs)
    if (r[0] >= 300.0 && r[0] <= 800.0) rows.push_back({r[0], r[1], loglog(sca, 2, r[0])});
  write_file(out / "pureh2o_abs_scat.txt",
             {"Pure seawater absorption a_w and molecular scattering b_w, 300-800 nm (type 2: wavelength, a, b)",
              "Columns: wavelength (nm), a_w (1/m), b_w (1/m)",
              "a_w: Smith & Baker 1981 (300-370, 730-800 nm); Pope & Fry 1997 (380-720 nm; 710, 720 nm believed PF97)",
              "  Smith, Baker 1981, Appl. Opt. 20:177; Pope, Fry 1997, Appl. Opt. 36:8710 (Table 3)",
              "b_w: Zhang, Hu, He 2009, Opt. Express 17:5698, pure seawater T = 20 C, S = 35 PSU, evaluated from",
              "  the published equations (10 nm table, log-log interpolated to the a_w grid); backscatter b_bw = b_w/2",
              "Licence: published scientific data (facts); compiled for Abyssolver by tools/datatree",
              "Note: step at 370/380 nm where the source changes from Smith & Baker to Pope & Fry",
              "Sanity: a_w(440) = 0.00635, a_w(550) = 0.0565, a_w(700) = 0.624 1/m; b_w(550) = 0.00171 1/m",
              "Data records follow; the record -1 0 0 ends the data"},
             rows);
}

// Prieur & Sathyendranath (1981) normalised pigment absorption, extended to
// 350-750 nm so that runs over that range need no clamping: 350-390 nm hold
// the 400 nm value; 710-750 nm follow a Gaussian tail of the red chlorophyll
// band (centre 675 nm) whose width is fitted to the 690 and 700 nm values.
std::vector<Row> ps81_extended(const fs::path& src) {
  auto ps = read_table(src / "phyto_astar_norm_prieur_sathyendranath1981.txt");
  const double a690 = ps[ps.size() - 2][1], a700 = ps.back()[1];
  const double centre = 675.0;
  const double two_s2 = ((700.0 - centre) * (700.0 - centre) - (690.0 - centre) * (690.0 - centre)) / std::log(a690 / a700);
  auto tail = [&](double w) {
    return a700 * std::exp(-((w - centre) * (w - centre) - (700.0 - centre) * (700.0 - centre)) / two_s2);
  };
  std::vector<Row> rows;
  for (double w = 350.0; w < 400.0; w += 10.0) rows.push_back({w, ps.front()[1]});
  for (const auto& r : ps) rows.push_back({r[0], r[1]});
  for (double w = 710.0; w <= 750.0; w += 10.0) rows.push_back({w, tail(w)});
  return rows;
}

void pigment_absorption(const fs::path& src, const fs::path& out) {
  const std::vector<Row> norm = ps81_extended(src);
  const std::string ext1 = "350-390 nm: 400 nm value held (not P&S data); 710-750 nm: Gaussian tail of the red Chl-a band",
                    ext2 = "  (centre 675 nm, width fitted to the 690 and 700 nm values; not P&S data)";
  const std::string cite = "Prieur, Sathyendranath 1981, Limnol. Oceanogr. 26:671; shape used by Morel 1988, JGR 93:10749";
  const std::string lic = "Licence: published scientific data (facts); compiled for Abyssolver by tools/datatree";
  write_file(out / "astarchl_norm_ps81.txt",
             {"Normalised chlorophyll-specific absorption of phytoplankton astar(wavelength)/astar(440), 350-750 nm",
              "Columns: wavelength (nm), astar/astar(440) (dimensionless, 1 at 440 nm)", cite,
              "Digital source: two independent open-source transcriptions, identical over 400-700 nm (10 nm)", ext1, ext2,
              lic, "Use: astar option 3 with wave0 = 440 (a = 0.06 astar/astar(440) Chl^0.65), or the Case 1 model",
              "", "Data records follow; the record -1 0 ends the data"},
             norm);
  std::vector<Row> abs;
  for (const auto& r : norm) abs.push_back({r[0], 0.06 * r[1]});
  write_file(out / "astarchl_abs_ps81.txt",
             {"Chlorophyll-specific absorption of phytoplankton astar(wavelength) at Chl = 1 mg/m^3, 350-750 nm",
              "Columns: wavelength (nm), astar (m^2 per mg Chl)", cite,
              "astar = 0.06 x the normalised P&S spectrum (Morel 1988: astar(440) = 0.06 Chl^-0.35, here Chl = 1)", ext1,
              ext2, lic, "Use: astar option 0 (a = astar Chl, linear in Chl)", "",
              "Data records follow; the record -1 0 ends the data"},
             abs);
}

// Mineral particles: no digital species spectra exist in the sources, so the
// parameterised models of the literature are evaluated (WASI defaults for
// absorption, Babin et al. 2003b for scattering).
void mineral(const fs::path& out) {
  const double a440 = 0.041, S = 0.011, b555 = 0.5, gamma = 0.5;
  std::vector<Row> a, b;
  for (double w = 300.0; w <= 800.0; w += 5.0) {
    a.push_back({w, a440 * std::exp(-S * (w - 440.0))});
    b.push_back({w, b555 * std::pow(w / 555.0, -gamma)});
  }
  const std::string lic = "Licence: published model parameters; evaluated for Abyssolver by tools/datatree";
  const std::string gap = "No measured mineral-species spectra were available; this is a parameterised model, not data";
  write_file(out / "astarmineral.txt",
             {"Mass-specific absorption of mineral (non-algal) particles, 300-800 nm (analytic model)",
              "Columns: wavelength (nm), astar (m^2/g)",
              "Model: astar = 0.041 exp(-0.011 (wavelength - 440)) m^2/g",
              "astar(440) = 0.041 m^2/g: WASI default (Gege), commonly attributed to Babin et al. 2003, JGR 108(C7):3211",
              "S = 0.011 1/nm: Bricaud et al. 1998, JGR 103:31033 (non-algal particles, 0.011 +- 0.0025)", gap, lic,
              "Use: astar option 0 for the mineral component (a = astar C, C in g/m^3)", "",
              "Data records follow; the record -1 0 ends the data"},
             a);
  write_file(out / "bstarmineral.txt",
             {"Mass-specific scattering of mineral particles, 300-800 nm (analytic model)",
              "Columns: wavelength (nm), bstar (m^2/g)",
              "Model: bstar = 0.5 (wavelength/555)^-0.5 m^2/g",
              "bstar(555) = 0.5 m^2/g: Babin et al. 2003b, Limnol. Oceanogr. 48:843 (mean of coastal case 2 waters)",
              "Spectral exponent 0.5: as used with that value in open ocean-colour models (Babin et al. report weak slopes)",
              gap, lic, "Use: bstar option 0 for the mineral component (b = bstar C^X, usually X = 1)", "",
              "Data records follow; the record -1 0 ends the data"},
             b);
}

// Example concentration profiles (analytic, depth 0-200 m every 2 m).
void profiles(const fs::path& out) {
  const double pi = 3.14159265358979323846;
  std::vector<Row> chl, min;
  for (double z = 0.0; z <= 200.0; z += 2.0) {
    // Shifted Gaussian of Lewis et al. 1983 / Platt et al. 1988: background
    // 0.2 mg/m^3 with a deep maximum at 40 m (sigma 10 m, h = 20 mg/m^2).
    chl.push_back({z, 0.2 + 20.0 / (10.0 * std::sqrt(2.0 * pi)) * std::exp(-(z - 40.0) * (z - 40.0) / (2.0 * 10.0 * 10.0))});
    // A surface plume of suspended minerals over a clear background.
    min.push_back({z, 0.5 + 4.0 * std::exp(-z / 5.0)});
  }
  const std::string lic = "Licence: analytic example, public domain; generated by tools/datatree";
  write_file(out / "chlzprofile_gaussian.txt",
             {"Example chlorophyll profile with a deep chlorophyll maximum (analytic), 0-200 m",
              "Columns: depth (m), Chl (mg/m^3)",
              "Model: Chl(z) = B0 + h/(sigma sqrt(2 pi)) exp(-(z - zm)^2/(2 sigma^2)) (shifted Gaussian)",
              "B0 = 0.2 mg/m^3, h = 20 mg/m^2, zm = 40 m, sigma = 10 m: Chl = 0.2 at the surface, 1.0 at 40 m",
              "Form: Lewis, Cullen, Platt 1983, JGR 88:2565; Platt, Sathyendranath et al. 1988, Deep-Sea Res. 35:855",
              "Illustrative values, not a measurement", lic, "Use: chlorophyll concentration option 2", "",
              "Data records follow; the record -1 0 ends the data"},
             chl);
  write_file(out / "minzprofile_plume.txt",
             {"Example mineral-particle concentration profile: surface plume (analytic), 0-200 m",
              "Columns: depth (m), mineral concentration (g/m^3)", "Model: C(z) = 0.5 + 4.0 exp(-z / 5 m)",
              "A river plume of suspended sediment (4.5 g/m^3 at the surface) over clear shelf water",
              "Illustrative values, not a measurement", "", lic, "Use: mineral concentration option 2", "",
              "Data records follow; the record -1 0 ends the data"},
             min);
}

// Bottom reflectances of a reef set, one substrate per file, 350-900 nm.
void bottoms(const fs::path& src, const fs::path& out) {
  auto t = read_table(src / "bottom_reflectance_reef_asner_biooptics.txt");
  struct Sub {
    std::size_t col;
    std::string file, name, origin;
    double wmax;  // macroalgae turns negative (noise) beyond 850 nm
  };
  const std::vector<Sub> subs = {
      {1, "reef_sand.txt", "carbonate sand (mean of 24 in-water spectra)", "G. Asner, Hawaiian reefs (ASD HandHeld-2)", 900},
      {2, "reef_coral.txt", "live coral (mean of 101 in-water spectra)", "G. Asner, Hawaiian reefs (ASD HandHeld-2)", 900},
      {3, "reef_cca.txt", "crustose coralline algae (mean of 751 in-water spectra)", "G. Asner, Hawaiian reefs (ASD)", 900},
      {4, "reef_macroalgae.txt", "macroalgae (mean of 102 in-water spectra)", "G. Asner, Hawaiian reefs (ASD HandHeld-2)", 850},
      {5, "seagrass_zostera.txt", "seagrass Zostera marina, Wismar Bay, measured in air", "Schnalzger 2017 (WASI 6)", 900},
  };
  for (const auto& s : subs) {
    std::vector<Row> rows;
    int clipped = 0;
    double wlo = 0.0, whi = 0.0;
    for (const auto& r : t) {
      if (r[0] < 350.0 || r[0] > s.wmax) continue;
      double v = r[s.col];
      if (v < 0.0) {
        if (clipped++ == 0) wlo = r[0];
        whi = r[0];
        v = 0.0;
      }
      rows.push_back({r[0], v});
    }
    write_file(out / "botmrefl" / s.file,
               {"Bottom irradiance reflectance R_b: " + s.name + fmt::format(", 350-{:g} nm", s.wmax),
                "Columns: wavelength (nm), R_b (dimensionless); Lambertian BRDF = R_b/pi", "Measurements: " + s.origin,
                "Source: github.com/CMLandOcean/bio_optics, bio_optics/data/R_b.txt (commit a984676a)",
                "Citation: Koenig, Hondula, Jamalinia, Dai, Vaughn, Asner 2023, bio_optics package; Gege 2021, WASI 6",
                "Licence: Apache-2.0, (c) 2023 Center for Global Discovery and Conservation Science, Arizona State Univ.",
                "Spectra smoothed by the source (Savitzky-Golay); reliable 400-900 nm",
                clipped > 0 ? fmt::format("{} negative values between {:g} and {:g} nm (smoothing artefacts) set to 0 here", clipped, wlo, whi)
                            : std::string("No values changed"),
                "", "Data records follow; the record -1 0 ends the data"},
               rows);
  }
}


// Bricaud et al. (1998) total-particle absorption a_p = A_p Chl^E_p: the A_p
// and E_p columns of the source table (400-700 nm, 2 nm), extended to
// 350-750 nm the same way as the pigment spectrum above: below 400 nm both
// coefficients hold their 400 nm values; above 700 nm A_p follows a Gaussian
// tail of the red chlorophyll band (centre 675 nm, width fitted to the 690
// and 700 nm values) and E_p holds its 700 nm value.
struct Bricaud {
  std::vector<Row> A, E;  // (wavelength, value)
};

double bricaud_tail(const std::vector<Row>& t, std::size_t col, double w) {
  auto at = [&](double x) {
    for (const auto& r : t)
      if (r[0] == x) return r[col];
    throw std::runtime_error(fmt::format("no {} nm row in the Bricaud table", x));
  };
  const double a690 = at(690.0), a700 = at(700.0), centre = 675.0;
  const double two_s2 = ((700.0 - centre) * (700.0 - centre) - (690.0 - centre) * (690.0 - centre)) / std::log(a690 / a700);
  return a700 * std::exp(-((w - centre) * (w - centre) - (700.0 - centre) * (700.0 - centre)) / two_s2);
}

Bricaud bricaud_extended(const std::vector<Row>& t, std::size_t colA, std::size_t colE) {
  Bricaud b;
  for (double w = 350.0; w < 400.0; w += 2.0) {
    b.A.push_back({w, t.front()[colA]});
    b.E.push_back({w, t.front()[colE]});
  }
  for (const auto& r : t) {
    b.A.push_back({r[0], r[colA]});
    b.E.push_back({r[0], r[colE]});
  }
  for (double w = 702.0; w <= 750.0; w += 2.0) {
    b.A.push_back({w, bricaud_tail(t, colA, w)});
    b.E.push_back({w, t.back()[colE]});
  }
  return b;
}

const std::string kBricaudCite = "Bricaud, Morel, Babin, Allali, Claustre 1998, JGR 103(C13):31033, doi:10.1029/98JC02712";
const std::string kBricaudDigital = "Digital table: NASA OBPG bricaud_1998_aph.txt (Werdell 2013, US Gov. work) via BrandonSmithJ/MDN";
const std::string kBricaudExt1 = "400-700 nm: source values (2 nm). 350-398 nm: 400 nm values held (not Bricaud data);";
const std::string kBricaudExt2 = "  702-750 nm: A_p Gaussian tail of the red band (centre 675, fitted to 690/700), E_p held";

void bricaud_coefficients(const fs::path& src, const fs::path& out) {
  const Bricaud b = bricaud_extended(read_table(src / "bricaud1998_aph_AE.txt"), 1, 2);
  const std::string lic = "Licence: published scientific results (facts), US Government work; compiled by tools/datatree";
  write_file(out / "ApDat",
             {"Bricaud et al. 1998 coefficient A_p of total particulate absorption a_p = A_p Chl^E_p, 350-750 nm",
              "Columns: wavelength (nm), A_p (m^-1 at Chl = 1 mg/m^3)", kBricaudCite, kBricaudDigital, kBricaudExt1,
              kBricaudExt2, lic, "Use: two-particle Case 1 IOP model (abnewcase1), with EpDat",
              "Sanity: A_p(440) = 0.052019", "Data records follow; the record -1 0 ends the data"},
             b.A);
  write_file(out / "EpDat",
             {"Bricaud et al. 1998 exponent E_p of total particulate absorption a_p = A_p Chl^E_p, 350-750 nm",
              "Columns: wavelength (nm), E_p (dimensionless)", kBricaudCite, kBricaudDigital, kBricaudExt1, kBricaudExt2,
              lic, "Use: two-particle Case 1 IOP model (abnewcase1), with ApDat", "Sanity: E_p(440) = 0.634965",
              "Data records follow; the record -1 0 ends the data"},
             b.E);
}

// Example field profile for the ac-9 IOP model: a coastal station 0-30 m with
// a particle layer at mid-depth, as an ac-9 (9 wavelengths, pure-water
// referenced a and c) and a backscattering meter at the same wavelengths
// would record it. Built from published component models, not measured:
//   Chl(z) = 0.8 + 2.5 g(z), mineral C(z) = 0.6 + 1.5 g(z), g = exp(-(z-15)^2/(2 2.5^2));
//   a_ph = A_ph Chl^E_ph (Bricaud et al. 1998), b_ph = 0.416 Chl^0.766 (550/l)^0.5 (Loisel & Morel 1998);
//   a_min = 0.041 C exp(-0.011 (l-440)), b_min = 0.5 C (l/555)^-0.5 (Babin et al. 2003b, Bricaud et al. 1998);
//   a_g = 0.25 (1 - z/60) exp(-0.015 (l-440)) (CDOM, Bricaud, Morel, Prieur 1981 slope range);
//   bb = 0.006 b_ph + 0.019 b_min (Ulloa et al. 1994 phytoplankton; Petzold average particle 0.018).
// A third table is the same ac-9 behind a 0.2 um filter (the CDOM mode of the
// ac-9 model): a = c = a_g, dissolved matter absorbing but not scattering.
void ac9_example(const fs::path& src, const fs::path& out) {
  const auto t = read_table(src / "bricaud1998_aph_AE.txt");
  const Bricaud ph = bricaud_extended(t, 3, 4);
  auto interp = [](const std::vector<Row>& v, double w) {
    for (std::size_t i = 1; i < v.size(); ++i)
      if (w <= v[i][0]) return v[i - 1][1] + (w - v[i - 1][0]) / (v[i][0] - v[i - 1][0]) * (v[i][1] - v[i - 1][1]);
    return v.back()[1];
  };
  const std::vector<double> waves = {412, 440, 488, 510, 532, 555, 650, 676, 715};
  std::vector<std::string> ac, bb, filtered;
  for (double z = 0.0; z <= 30.0; z += 1.0) {
    const double g = std::exp(-(z - 15.0) * (z - 15.0) / (2.0 * 2.5 * 2.5));
    const double chl = 0.8 + 2.5 * g, cmin = 0.6 + 1.5 * g;
    std::string la = abscissa(z), lc, lb = abscissa(z), lg;
    for (double w : waves) {
      const double aph = interp(ph.A, w) * std::pow(chl, interp(ph.E, w));
      const double bph = 0.416 * std::pow(chl, 0.766) * std::pow(550.0 / w, 0.5);
      const double amin = 0.041 * cmin * std::exp(-0.011 * (w - 440.0)), bmin = 0.5 * cmin * std::pow(w / 555.0, -0.5);
      const double ag = 0.25 * (1.0 - z / 60.0) * std::exp(-0.015 * (w - 440.0));
      const double a = aph + amin + ag;
      la += fmt::format(" {:.5f}", a);
      lc += fmt::format(" {:.5f}", a + bph + bmin);
      lb += fmt::format(" {:.6f}", 0.006 * bph + 0.019 * bmin);
      lg += fmt::format(" {:.5f}", ag);
    }
    ac.push_back(la + lc);
    bb.push_back(lb);
    filtered.push_back(abscissa(z) + lg + lg);
  }
  std::string wl;
  for (double w : waves) wl += (wl.empty() ? abscissa(w) : fmt::format(" {}", abscissa(w)));
  const std::string model1 = "Chl = 0.8 + 2.5 g, C_min = 0.6 + 1.5 g (g/m^3), g = exp(-(z-15)^2/12.5): layer at 15 m",
                    lic = "Licence: synthetic example, public domain; generated by tools/datatree";
  auto write_table = [&](const fs::path& f, const Header& h, const std::vector<std::string>& rows) {
    std::ofstream o(f);
    if (!o) throw std::runtime_error("cannot write " + f.string());
    for (const auto& line : h) {
      if (line.size() > 120) throw std::runtime_error("header record longer than 120 characters in " + f.string());
      o << line << "\n";
    }
    o << waves.size() << "\n" << wl << "\n";
    for (const auto& r : rows) o << r << "\n";
    o << "-1\n";
    std::cout << f.string() << ": " << rows.size() << " depths\n";
  };
  write_table(out / "ac9_coastal_layer.txt",
              {"Example ac-9 profile: coastal station with a mid-depth particle layer, 0-30 m, 9 wavelengths (synthetic)",
               "Layout: nwav; the nwav wavelengths (nm); then per depth: z (m), a(1..nwav), c(1..nwav) (1/m); -1 ends",
               "Pure-water referenced (water removed, as after the usual ac-9 calibration): a and c of all but water",
               model1, "a = Bricaud 1998 a_ph + 0.041 C exp(-0.011(l-440)) + 0.25 (1 - z/60) exp(-0.015(l-440))",
               "c = a + 0.416 Chl^0.766 (550/l)^0.5 (Loisel & Morel 1998) + 0.5 C (l/555)^-0.5 (Babin et al. 2003b)",
               "Illustrative values computed from published models, not a measurement", lic,
               "Use: IOP model 3 (abacbb), record 25", "Data records follow"},
              ac);
  write_table(out / "hs_coastal_layer.txt",
              {"Example backscattering-meter profile matching ac9_coastal_layer.txt, 0-30 m, 9 wavelengths (synthetic)",
               "Layout: nwav; the nwav wavelengths (nm); then per depth: z (m), bb(1..nwav) (1/m, particles); -1 ends",
               "bb = 0.006 b_ph + 0.019 b_min: phytoplankton bb/b 0.006 (Ulloa et al. 1994, Appl. Opt. 33:7070),",
               "  minerals 0.019 (near Petzold's average particle, 0.018; Twardowski et al. 2001, JGR 106:14129)", model1,
               "b_ph, b_min as in ac9_coastal_layer.txt", "Illustrative values computed from published models", lic,
               "Use: IOP model 3 (abacbb) with phase-function option 2, record 26", "Data records follow"},
              bb);
  write_table(out / "ac9_coastal_filtered.txt",
              {"Example ac-9 profile of 0.2 um filtered water matching ac9_coastal_layer.txt, 0-30 m (synthetic)",
               "Layout: nwav; the nwav wavelengths (nm); then per depth: z (m), a(1..nwav), c(1..nwav) (1/m); -1 ends",
               "Pure-water referenced like ac9_coastal_layer.txt: what passes the filter is CDOM only",
               "a = c = a_g = 0.25 (1 - z/60) exp(-0.015(l-440)): dissolved matter absorbs and does not scatter",
               "CDOM slope 0.015 1/nm within the range of Bricaud, Morel & Prieur 1981 (Limnol. Oceanogr. 26:43)",
               "a_g is the CDOM term of ac9_coastal_layer.txt, so particles = that table minus this one",
               "Illustrative values computed from published models, not a measurement", lic,
               "Use: IOP model 3 (abacbb) in CDOM mode (record 23 not 0), record 27", "Data records follow"},
              filtered);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: datatree <datasrc folder> <data folder>\n";
    return 2;
  }
  try {
    const fs::path src = argv[1], out = argv[2];
    fs::create_directories(out / "botmrefl");
    pure_water(src, out);
    pigment_absorption(src, out);
    mineral(out);
    profiles(out);
    bottoms(src, out);
    bricaud_coefficients(src, out);
    ac9_example(src, out);
  } catch (const std::exception& e) {
    std::cerr << "datatree: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
