// The single- and multi-wavelength spreadsheet files: one tab-separated table
// per quantity, rows by wavelength and columns by depth.
#include "output/spreadsheet.hpp"

#include <cstdio>
#include <functional>

#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "output/open_output.hpp"
#include "output/writers.hpp"
#include "util/names.hpp"

namespace abyss {

std::string sheet_number(double v) {
  if (is_undefined(v)) return kUndefinedMarker;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6E", v);
  return buf;
}

std::string fixed_number(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

namespace {

std::string depth_label(double z) { return fixed_number(z, 3); }
std::string wave_label(double w) { return fixed_number(w, 2); }

using Cell = std::function<double(int j, int col)>;

// Title line, header row, one row per band, blank line.
void table(std::ostream& os, const std::string& name, const std::string& what, const std::vector<std::string>& cols,
           const RunState& rs, const std::vector<int>& bands, const Cell& cell) {
  os << name << "\t" << what << "\n"
     << "wavelength_nm";
  for (const std::string& c : cols) os << "\t" << c;
  os << "\n";
  for (int j : bands) {
    os << wave_label(rs.cwave.wave(j));
    for (int c = 0; c < static_cast<int>(cols.size()); ++c) os << "\t" << sheet_number(cell(j, c));
    os << "\n";
  }
  os << "\n";
}

std::vector<std::string> level_columns(const RunState& rs) {
  std::vector<std::string> cols{"air"};
  for (int k : rs.sel.pirrad) cols.push_back(depth_label(rs.cgrid.z(k)));
  return cols;
}

std::vector<std::string> pair_columns(const RunState& rs) {
  std::vector<std::string> cols;
  for (double z : rs.der.ckxcl.zmid) cols.push_back(depth_label(z));
  return cols;
}

}  // namespace

void write_band_tables(std::ostream& os, const RunState& rs, const std::vector<int>& bands) {
  const SpectralStore& sp = rs.der.spectrum;
  const std::vector<std::string> lev = level_columns(rs), pairs = pair_columns(rs);
  const std::vector<std::string> air{"air"}, sky{"sky"};
  auto level = [&sp](const Mat& m) { return [&sp, pm = &m](int j, int c) { return sp.at(*pm, c, j); }; };
  table(os, "Ed", "downward plane irradiance [W m^-2 nm^-1]", lev, rs, bands, level(sp.ed));
  table(os, "Eu", "upward plane irradiance [W m^-2 nm^-1]", lev, rs, bands, level(sp.eu));
  table(os, "Eo", "scalar irradiance [W m^-2 nm^-1]", lev, rs, bands, level(sp.eo));
  table(os, "Lu", "nadir-viewing (upwelling) radiance, in air the total [W m^-2 sr^-1 nm^-1]", lev, rs, bands,
        level(sp.lu));
  table(os, "Lw", "water-leaving radiance [W m^-2 sr^-1 nm^-1]", air, rs, bands, [&](int j, int) { return sp.lw(j); });
  table(os, "Rrs", "remote-sensing reflectance Lw/Ed in air [1/sr]", air, rs, bands,
        [&](int j, int) { return guarded_ratio(sp.lw(j), sp.at(sp.ed, 0, j)); });
  if (rs.cmisc.nsource > 0 && !rs.src.lw_total_band.empty()) {
    // The share of Lw due to the internal sources, and Lw without them.
    auto share = [&rs](int j) {
      const std::size_t i = static_cast<std::size_t>(j);
      return guarded_ratio(rs.src.lw_inel_band[i], rs.src.lw_total_band[i]);
    };
    table(os, "Lw_elastic", "water-leaving radiance without the internal sources [W m^-2 sr^-1 nm^-1]", air, rs, bands,
          [&](int j, int) { return sp.lw(j) * (1.0 - share(j)); });
    table(os, "Lw_source_share", "share of Lw due to Raman, fluorescence and bioluminescence [dimensionless]", air, rs,
          bands, [&](int j, int) { return share(j); });
  }
  table(os, "R", "irradiance reflectance Eu/Ed [dimensionless]", lev, rs, bands,
        [&](int j, int c) { return guarded_ratio(sp.at(sp.eu, c, j), sp.at(sp.ed, c, j)); });
  static const char* const knames[kNumK] = {"Kou", "Kod", "Ko", "Ku", "Kd", "Knet", "KLu"};
  for (int i : {kKd, kKu, kKo, kKou, kKod, kKnet, kKLu})
    table(os, knames[i], "K-function at the midpoint depth of each pair [1/m]", pairs, rs, bands,
          [&, i](int j, int c) { return rs.der.ckxcl.k[static_cast<std::size_t>(i)](c + 1, j); });
  table(os, "Ed_diffuse/Ed_direct", "ratio of the sky's diffuse to direct irradiance [dimensionless]", sky, rs, bands,
        [&](int j, int) { return sp.ed_ratio(j); });
}

void write_par_tables(std::ostream& os, const RunState& rs) {
  const ParRecord& p = rs.der.cpar;
  if (!p.attempted) {  // the file is being rewritten band by band
    os << "PAR NOT YET CALCULATED: THE RUN HAS NOT FINISHED ITS BANDS\n\n";
    return;
  }
  if (!p.computed) {
    os << "PAR NOT CALCULATED FOR THIS RUN\n\nKPAR NOT CALCULATED FOR THIS RUN\n\n";
    return;
  }
  const std::vector<std::string> lev = level_columns(rs);
  os << "PAR\tphotosynthetically available radiation [umol photons m^-2 s^-1]\nquantity";
  for (const std::string& c : lev) os << "\t" << c;
  os << "\nPAR(Eo)";
  for (int i = 0; i < static_cast<int>(lev.size()); ++i) os << "\t" << sheet_number(p.par_eo(i));
  os << "\nPAR(Ed)";
  for (int i = 0; i < static_cast<int>(lev.size()); ++i) os << "\t" << sheet_number(p.par_ed(i));
  os << "\n\nKPAR\tK-function of PAR from Eo at the midpoint of consecutive depths [1/m]\nquantity";
  for (double z : p.zmid) os << "\t" << depth_label(z);
  os << "\nK_PAR(Eo)";
  for (double k : p.kpar) os << "\t" << sheet_number(k);
  os << "\nK_PAR(Eo,layer-averaged)";
  for (double k : p.kpar_layer) os << "\t" << sheet_number(k);
  os << "\n\n";
}

void storxcel(RunState& rs) {
  SpectralStore& sp = rs.der.spectrum;
  const Irradiances& e = rs.der.cirrad;
  const int j = rs.cmisc.jwave, nmu = rs.cmisc.nmu;
  sp.nout = static_cast<int>(rs.sel.pirrad.size());
  for (int i = 0; i <= sp.nout; ++i) {
    const int k = i == 0 ? 0 : rs.sel.pirrad[static_cast<std::size_t>(i - 1)];
    sp.at(sp.ed, i, j) = e.ed(k);
    sp.at(sp.eu, i, j) = e.eu(k);
    sp.at(sp.eo, i, j) = e.eo(k);
    sp.at(sp.lu, i, j) = total_up(rs, k, nmu, 1);
    sp.at(sp.c, i, j) = k == 0 ? 0.0 : rs.ciop.c(k);
  }
  sp.lw(j) = rs.der.rad.dif_up(0)(nmu, 1);
  sp.ed_ratio(j) = guarded_ratio(rs.sky.ed_diffuse(j), rs.sky.ed_direct(j));
  sp.solved[static_cast<std::size_t>(j)] = true;
  // The multi-wavelength file is rewritten with every band finished so far.
  if (rs.cmisc.i4 != 0) wrtxcelm(rs);
}

void wrtxcels(RunState& rs) {
  OutputState& o = rs.out;
  if (!o.single.is_open()) {
    open_output(o.single, o.single_name, "wrtxcels");
    o.single << "ABYSSOLVER single-wavelength spreadsheet\ntitle\t" << util::rtrim(rs.ctitle) << "\n\n";
  }
  o.single << "BAND\t" << rs.cmisc.jwave << "\t" << wave_label(rs.cmisc.wavenm) << "\n\n";
  write_band_tables(o.single, rs, {rs.cmisc.jwave});
  flush_output(o.single, o.single_name, "wrtxcels");
}

void wrtxcelm(RunState& rs) {
  std::vector<int> bands;
  for (int j = 1; j <= rs.cmisc.nwave; ++j)
    if (rs.der.spectrum.solved[static_cast<std::size_t>(j)]) bands.push_back(j);
  std::ofstream m;
  open_output(m, rs.out.multi_name, "wrtxcelm");
  m << "ABYSSOLVER multi-wavelength spreadsheet\ntitle\t" << util::rtrim(rs.ctitle) << "\n\n";
  write_band_tables(m, rs, bands);
  write_par_tables(m, rs);
  flush_output(m, rs.out.multi_name, "wrtxcelm");
}

}  // namespace abyss
