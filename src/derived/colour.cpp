// CIE 1931 chromaticity and (il)luminance of Ed, Eu, Lu and Lw.
#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/spectral.hpp"
#include "derived/undefined.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

// Tristimulus integrals over the bands whose centre lies in 360..780 nm.
template <class Quantity>
Chromaticity colour_of(const RunState& rs, const std::vector<int>& bands, Quantity q) {
  double X = 0.0, Y = 0.0, Z = 0.0;
  for (int j : bands) {
    const double w = rs.cwave.wave(j);
    if (w < 360.0 || w > 780.0) continue;
    const std::array<double, 3> cmf = cie_cmf(w);
    const double e = band_width(rs, j) * q(j);
    X += e * cmf[0];
    Y += e * cmf[1];
    Z += e * cmf[2];
  }
  return chromaticity(X, Y, Z);
}

std::string cell(const Chromaticity& c) {
  return field(ff::F, c.x, 8, 4) + field(ff::F, c.y, 8, 4) + field(ff::PE, c.Y, 11, 3);
}

std::string level_row(const RunState& rs, const std::vector<int>& bands, int i) {
  std::string row = cell(colour_at(rs, bands, i, ColourOf::Ed));
  row += cell(colour_at(rs, bands, i, ColourOf::Eu));
  row += cell(colour_at(rs, bands, i, ColourOf::Lu));
  if (i == 0) row += cell(colour_at(rs, bands, i, ColourOf::Lw));
  return row;
}

}  // namespace

Chromaticity colour_at(const RunState& rs, const std::vector<int>& bands, int i, ColourOf q) {
  const SpectralStore& sp = rs.der.spectrum;
  switch (q) {
    case ColourOf::Ed:
      return colour_of(rs, bands, [&](int j) { return sp.at(sp.ed, i, j); });
    case ColourOf::Eu:
      return colour_of(rs, bands, [&](int j) { return sp.at(sp.eu, i, j); });
    case ColourOf::Lu:
      return colour_of(rs, bands, [&](int j) { return sp.at(sp.lu, i, j); });
    case ColourOf::Lw:
      break;
  }
  return colour_of(rs, bands, [&](int j) { return sp.lw(j); });
}

void ciexyy(RunState& rs) {
  const std::vector<int> bands = complete_spectrum(rs);
  std::ostream& o = rs.pr();
  o << "\n CIE 1931 chromaticity coordinates (x,y) and (il)luminance Y for selected quantities.  Output is (x,y,Y).\n"
    << " Y is illuminance in lm/m^2 for Ed and Eu; Y is luminance in lm/(m^2 sr) for Lu and Lw\n\n";
  o << "  depth" << ff::A("Ed", 27) << ff::A("Eu", 27) << ff::A("Lu", 27) << ff::A("Lw", 27) << "\n";
  o << " in air" << level_row(rs, bands, 0) << "\n";
  for (int i = 1; i <= rs.der.spectrum.nout; ++i)
    o << ff::F(rs.cgrid.z(rs.sel.pirrad[static_cast<std::size_t>(i - 1)]), 7, 2) << level_row(rs, bands, i) << "\n";
}

}  // namespace abyss
