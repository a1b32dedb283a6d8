// The band-to-band redistribution matrices of the inelastic processes, built
// once before the band loop, and the notes on exciting light the run lacks.
#include <cmath>
#include <functional>

#include "control/run_state.hpp"
#include "sources/redistribution.hpp"
#include "sources/sources.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {



void fill_matrix(RunState& rs, int process, const std::function<double(double, double, double, double)>& f) {
  const int nw = rs.cmisc.nwave;
  Mat& m = rs.src.redist[static_cast<std::size_t>(process)];
  m = Mat(mxwave, mxwave);
  const VecD& wb = rs.cwave.waveb;
  // Only shorter bands excite a band: they are solved first.
  for (int j = 2; j <= nw; ++j)
    for (int jx = 1; jx < j; ++jx) m(jx, j) = f(wb(jx), wb(jx + 1), wb(j), wb(j + 1));
}

void notes(RunState& rs) {
  std::ostream& p = rs.pr();
  const double w1 = rs.cwave.waveb(1), wn = rs.cwave.waveb(rs.cmisc.nwave + 1);
  const std::string i5 = ff::X(5), i14 = ff::X(14);
  p << "\n" << i5 << "Inelastic sources of a band are computed from the bands already solved (shorter wavelengths);\n"
    << i5 << "light excited within the emitting band itself or at longer wavelengths is not included.\n";
  if (rs.src.raman()) {
    const double lim = 1.0e7 / (1.0e7 / w1 - 3400.0);
    if (lim > w1)
      p << "\n" << i5 << "NOTE:  Raman emission below about" << ff::F(std::min(lim, wn), 6, 1)
        << " nm is excited partly by light shorter than the first band\n"
        << i14 << "(" << ff::F(w1, 6, 1) << " nm); that light is not in this run and its Raman emission is absent.\n";
  }
  if (rs.src.chlfl() && w1 > inelastic::kChlExciteMin)
    p << "\n" << i5 << "NOTE:  Chlorophyll fluorescence excited between" << ff::F(inelastic::kChlExciteMin, 6, 1)
      << " and" << ff::F(w1, 6, 1) << " nm is absent (outside the run's bands).\n";
  if (rs.src.cdomfl() && w1 > 310.0)
    p << "\n" << i5 << "NOTE:  CDOM fluorescence excited between 310.0 and" << ff::F(w1, 6, 1)
      << " nm is absent (outside the run's bands).\n";
}

}  // namespace

void wrfdisc(RunState& rs) {
  SourceState& s = rs.src;
  for (int j = 1; j <= rs.cmisc.nwave; ++j)
    s.b_raman(j) = inelastic::raman_b(rs.cmisc.raman_xsec, rs.cmisc.raman_wave0, rs.cwave.wave(j));
  if (s.raman()) fill_matrix(rs, 4, inelastic::raman_band_pair);
  if (s.cdomfl()) fill_matrix(rs, 3, inelastic::cdom_band_pair);
  if (s.chlfl()) {
    const double qe = rs.cmisc.chl_qe;
    fill_matrix(rs, 2, [qe](double a, double b, double c, double d) { return inelastic::chl_band_pair(a, b, c, d, qe); });
  }
  notes(rs);
}

}  // namespace abyss
