// Photosynthetically available radiation and its K-function.
#include <cmath>

#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/spectral.hpp"
#include "derived/undefined.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

double level_depth(const RunState& rs, int i) { return rs.cgrid.z(rs.sel.pirrad[static_cast<std::size_t>(i - 1)]); }

bool band_in_par_range(const RunState& rs, int j) {
  return rs.cwave.wave(j) >= rs.cmisc.r1 && rs.cwave.wave(j) <= rs.cmisc.r2;
}

// PAR is computed only when the bands cover the whole PAR range: a partial
// coverage would silently understate it.
bool par_computable(const RunState& rs) {
  const Misc& m = rs.cmisc;
  if (m.nwave < 1 || !(m.r2 > m.r1)) return false;
  if (rs.cwave.waveb(1) > m.r1 || rs.cwave.waveb(m.nwave + 1) < m.r2) return false;
  for (int j = 1; j <= m.nwave; ++j)
    if (band_in_par_range(rs, j)) return true;
  return false;  // a range narrower than one band holds no band centre
}

// Quanta per band: 0.008358 * centre * width * E, micromol photons m^-2 s^-1.
double quanta(const RunState& rs, int j, double e) {
  return kQuantaPerWattNm * rs.cwave.wave(j) * band_width(rs, j) * e;
}

// Layer-averaged K_PAR between levels i and i+1. Each band decays
// exponentially inside the layer at its own rate K_j, so PAR(z) is a sum of
// exponentials; the layer average is the PAR lost in the layer divided by
// the depth integral of PAR, i.e. the PAR-weighted mean of the local
// -dPAR/dz / PAR over the layer. It differs from the two-point value when the
// spectrum narrows with depth. A band that is dark at either depth contributes
// its trapezoidal integral.
double kpar_layer(const RunState& rs, const std::vector<int>& bands, int i) {
  const SpectralStore& sp = rs.der.spectrum;
  const double dz = level_depth(rs, i + 1) - level_depth(rs, i);
  double lost = 0.0, integral = 0.0;
  for (int j : bands) {
    if (!band_in_par_range(rs, j)) continue;
    const double q1 = quanta(rs, j, sp.at(sp.eo, i, j)), q2 = quanta(rs, j, sp.at(sp.eo, i + 1, j));
    lost += q1 - q2;
    const double kj = k_between(q1, q2, 0.0, dz);
    if (is_undefined(kj))
      integral += 0.5 * (q1 + q2) * dz;
    else if (std::abs(kj * dz) < 1e-8)
      integral += q1 * dz;
    else
      integral += (q1 - q2) / kj;
  }
  return guarded_ratio(lost, integral);
}

void compute_par(RunState& rs, const std::vector<int>& bands) {
  ParRecord& p = rs.der.cpar;
  const SpectralStore& sp = rs.der.spectrum;
  for (int i = 0; i <= sp.nout; ++i) {
    p.par_eo(i) = p.par_ed(i) = p.epar_eo(i) = p.epar_ed(i) = 0.0;
    for (int j : bands)
      if (band_in_par_range(rs, j)) {
        p.par_eo(i) += quanta(rs, j, sp.at(sp.eo, i, j));
        p.par_ed(i) += quanta(rs, j, sp.at(sp.ed, i, j));
        p.epar_eo(i) += band_width(rs, j) * sp.at(sp.eo, i, j);
        p.epar_ed(i) += band_width(rs, j) * sp.at(sp.ed, i, j);
      }
  }
  p.kpar.clear();
  p.kpar_layer.clear();
  p.zmid.clear();
  for (int i = 1; i < sp.nout; ++i) {
    const double z1 = level_depth(rs, i), z2 = level_depth(rs, i + 1);
    p.zmid.push_back(0.5 * (z1 + z2));
    p.kpar.push_back(k_between(p.par_eo(i), p.par_eo(i + 1), z1, z2));
    p.kpar_layer.push_back(kpar_layer(rs, bands, i));
  }
  p.computed = true;
}

void print_par_profile(RunState& rs) {
  std::ostream& o = rs.pr();
  const ParRecord& p = rs.der.cpar;
  o << "\n PAR as a function of depth (mumol phot/m^2/s) \n"
    << " The wavelengths used for this PAR calculation are" << ff::F(rs.cmisc.r1, 7, 1) << " to"
    << ff::F(rs.cmisc.r2, 7, 1) << " nm\n\n"
    << "      depth(m)     PAR(from Eo)      PAR(from Ed)\n";
  o << ff::A("in air", 14) << field(ff::PE, p.par_eo(0), 17, 4) << field(ff::PE, p.par_ed(0), 18, 4) << "\n";
  for (int i = 1; i <= rs.der.spectrum.nout; ++i)
    o << ff::F(level_depth(rs, i), 14, 2) << field(ff::PE, p.par_eo(i), 17, 4) << field(ff::PE, p.par_ed(i), 18, 4)
      << "\n";
}

// Energy (W/m^2) or quantum (micromol/(m^2 s)) Eo of each band and level,
// in blocks of eight levels.
void print_eo_table(RunState& rs, const std::vector<int>& bands, const std::string& title, bool quantum) {
  std::ostream& o = rs.pr();
  const SpectralStore& sp = rs.der.spectrum;
  o << "\n" << title << (quantum ? " (mumol phot/m^2/s in each band)\n" : " (W/m^2 in each band)\n");
  for (int first = 0; first <= sp.nout; first += 8) {
    const int last = std::min(sp.nout, first + 7);
    o << "\n   wave(nm)";
    for (int i = first; i <= last; ++i) o << (i == 0 ? ff::A("in air", 12) : ff::F(level_depth(rs, i), 12, 2));
    o << "\n";
    for (int j : bands) {
      o << ff::F(rs.cwave.wave(j), 11, 1);
      for (int i = first; i <= last; ++i) {
        const double e = sp.at(sp.eo, i, j);
        o << ff::PE(quantum ? quanta(rs, j, e) : e * band_width(rs, j), 12, 4);
      }
      o << "\n";
    }
  }
}

void print_kpar(RunState& rs) {
  std::ostream& o = rs.pr();
  const ParRecord& p = rs.der.cpar;
  o << "\n K-function for PAR (units of 1/meter)\n\n"
    << "   zupper   zlower        z    K_PAR (from Eo)    K_PAR (from Eo, layer-averaged)\n";
  for (std::size_t n = 0; n < p.kpar.size(); ++n) {
    const int i = static_cast<int>(n) + 1;
    o << ff::F(level_depth(rs, i), 9, 2) << ff::F(level_depth(rs, i + 1), 9, 2) << ff::F(p.zmid[n], 9, 2)
      << field(ff::F, p.kpar[n], 19, 4) << field(ff::F, p.kpar_layer[n], 35, 4) << "\n";
  }
}

}  // namespace

void par(RunState& rs) {
  const std::vector<int> bands = complete_spectrum(rs);
  rs.der.cpar.attempted = true;
  rs.der.cpar.computed = false;
  if (bands.empty() || !par_computable(rs)) {
    rs.pr() << "\n PAR was not calculated for this run\n"
            << " (PAR is meaningful only for runs covering the near-UV and visible spectrum)\n"
            << " PAR range currently set to" << ff::F(rs.cmisc.r1, 7, 1) << " to" << ff::F(rs.cmisc.r2, 7, 1)
            << " nm\n";
    return;
  }
  compute_par(rs, bands);
  print_par_profile(rs);
  print_eo_table(rs, bands, "  Energy Eo as a function of depth and wavelength", false);
  print_eo_table(rs, bands, "  Quantum Eo as a function of depth and wavelength", true);
  print_kpar(rs);
}

}  // namespace abyss
