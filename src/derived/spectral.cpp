// Tables of the human eye's spectral response, and the whole-spectrum helpers.
#include "derived/spectral.hpp"

#include <cmath>

#include "control/run_state.hpp"
#include "derived/undefined.hpp"

namespace abyss {
namespace {

// CIE photopic luminosity function V(lambda) at 380, 390, ..., 770 nm,
// rounded to four decimals.
constexpr std::array<double, 40> kPhotopic = {
    0.0,   0.0001, 0.0004, 0.0012, 0.004,  0.0116, 0.023,  0.038,  0.06,   0.091,  0.139,  0.208, 0.323, 0.503,
    0.71,  0.862,  0.954,  0.995,  0.995,  0.952,  0.87,   0.757,  0.631,  0.503,  0.381,  0.265, 0.175, 0.107,
    0.061, 0.032,  0.017,  0.0082, 0.0041, 0.0021, 0.0011, 0.0005, 0.0003, 0.0001, 0.0001, 0.0};

// CIE 1931 2-degree standard colorimetric observer: xbar, ybar, zbar at
// 360, 370, ..., 780 nm (43 wavelengths). Source: CIE 015:2004 / ISO 11664-1
// tables of the 1931 standard observer, digital copy of the CVRL (UCL) file
// ciexyz31.csv, taken at its 10-nm nodes.
constexpr std::array<std::array<double, 4>, 43> kCie1931 = {{
    {{360, 0.0001299, 3.917e-06, 0.0006061}},
    {{370, 0.0004149, 1.239e-05, 0.001946}},
    {{380, 0.001368, 3.9e-05, 0.006450001}},
    {{390, 0.004243, 0.00012, 0.02005001}},
    {{400, 0.01431, 0.000396, 0.06785001}},
    {{410, 0.04351, 0.00121, 0.2074}},
    {{420, 0.13438, 0.004, 0.6456}},
    {{430, 0.2839, 0.0116, 1.3856}},
    {{440, 0.34828, 0.023, 1.74706}},
    {{450, 0.3362, 0.038, 1.77211}},
    {{460, 0.2908, 0.06, 1.6692}},
    {{470, 0.19536, 0.09098, 1.28764}},
    {{480, 0.09564, 0.13902, 0.8129501}},
    {{490, 0.03201, 0.20802, 0.46518}},
    {{500, 0.0049, 0.323, 0.272}},
    {{510, 0.0093, 0.503, 0.1582}},
    {{520, 0.06327, 0.71, 0.07824999}},
    {{530, 0.1655, 0.862, 0.04216}},
    {{540, 0.2904, 0.954, 0.0203}},
    {{550, 0.4334499, 0.9949501, 0.008749999}},
    {{560, 0.5945, 0.995, 0.0039}},
    {{570, 0.7621, 0.952, 0.0021}},
    {{580, 0.9163, 0.87, 0.001650001}},
    {{590, 1.0263, 0.757, 0.0011}},
    {{600, 1.0622, 0.631, 0.0008}},
    {{610, 1.0026, 0.503, 0.00034}},
    {{620, 0.8544499, 0.381, 0.00019}},
    {{630, 0.6424, 0.265, 4.999999e-05}},
    {{640, 0.4479, 0.175, 2e-05}},
    {{650, 0.2835, 0.107, 0}},
    {{660, 0.1649, 0.061, 0}},
    {{670, 0.0874, 0.032, 0}},
    {{680, 0.04677, 0.017, 0}},
    {{690, 0.0227, 0.00821, 0}},
    {{700, 0.01135916, 0.004102, 0}},
    {{710, 0.005790346, 0.002091, 0}},
    {{720, 0.002899327, 0.001047, 0}},
    {{730, 0.001439971, 0.00052, 0}},
    {{740, 0.0006900786, 0.0002492, 0}},
    {{750, 0.0003323011, 0.00012, 0}},
    {{760, 0.0001661505, 6e-05, 0}},
    {{770, 8.307527e-05, 3e-05, 0}},
    {{780, 4.150994e-05, 1.499e-05, 0}},
}};

}  // namespace

double interp_uniform(const double* y, int n, double x0, double step, double x) {
  const double t = (x - x0) / step;
  if (t < 0.0 || t > n - 1) return 0.0;
  const int i = std::min(static_cast<int>(t), n - 2);
  const double f = t - i;
  return (1.0 - f) * y[i] + f * y[i + 1];
}

double photopic(double wavenm) {
  return interp_uniform(kPhotopic.data(), static_cast<int>(kPhotopic.size()), 380.0, 10.0, wavenm);
}

std::array<double, 3> cie_cmf(double wavenm) {
  std::array<double, 3> out{};
  for (std::size_t q = 0; q < 3; ++q) {
    std::array<double, 43> col{};
    for (std::size_t i = 0; i < col.size(); ++i) col[i] = kCie1931[i][q + 1];
    out[q] = interp_uniform(col.data(), static_cast<int>(col.size()), 360.0, 10.0, wavenm);
  }
  return out;
}

Chromaticity chromaticity(double X, double Y, double Z) {
  const double sum = X + Y + Z;
  return {guarded_ratio(X, sum), guarded_ratio(Y, sum), kLumensPerWatt * Y};
}

double band_width(const RunState& rs, int j) { return rs.cwave.waveb(j + 1) - rs.cwave.waveb(j); }

namespace {

void interpolate_band(SpectralStore& sp, const RunState& rs, int j, int jl, int ju) {
  const double w = ju == jl ? 0.0 : (rs.cwave.wave(j) - rs.cwave.wave(jl)) / (rs.cwave.wave(ju) - rs.cwave.wave(jl));
  auto mix = [w](double a, double b) { return (1.0 - w) * a + w * b; };
  for (Mat* m : {&sp.ed, &sp.eu, &sp.eo, &sp.lu, &sp.c})
    for (int i = 0; i <= sp.nout; ++i) sp.at(*m, i, j) = mix(sp.at(*m, i, jl), sp.at(*m, i, ju));
  sp.lw(j) = mix(sp.lw(jl), sp.lw(ju));
  sp.ed_ratio(j) = mix(sp.ed_ratio(jl), sp.ed_ratio(ju));
  sp.filled[static_cast<std::size_t>(j)] = true;
}

}  // namespace

std::vector<int> complete_spectrum(RunState& rs) {
  SpectralStore& sp = rs.der.spectrum;
  const int nwave = rs.cmisc.nwave;
  std::vector<int> solved;
  for (int j = 1; j <= nwave; ++j)
    if (sp.solved[static_cast<std::size_t>(j)]) solved.push_back(j);
  if (solved.empty()) return {};
  std::vector<int> all;
  std::size_t next = 0;
  for (int j = 1; j <= nwave; ++j) {
    while (next < solved.size() && solved[next] < j) ++next;
    if (!sp.solved[static_cast<std::size_t>(j)] && !sp.filled[static_cast<std::size_t>(j)]) {
      const int ju = next < solved.size() ? solved[next] : solved.back();
      const int jl = next > 0 ? solved[next - 1] : solved.front();
      interpolate_band(sp, rs, j, jl, ju);
    }
    all.push_back(j);
  }
  return all;
}

}  // namespace abyss
