#include "control/input_ranges.hpp"

#include <cmath>

#include <fmt/format.h>

#include "control/run_state.hpp"

namespace abyss {
namespace {

class Findings {
 public:
  void fatal(int record, std::string msg) { list_.push_back({record, std::move(msg), true}); }
  void warn(int record, std::string msg) { list_.push_back({record, std::move(msg), false}); }
  // value must lie in [lo, hi]
  void within(int record, const char* field, double v, double lo, double hi) {
    if (!(v >= lo && v <= hi)) fatal(record, fmt::format("{} = {:g} is outside [{:g}, {:g}]", field, v, lo, hi));
  }
  std::vector<InputFinding> take() { return std::move(list_); }

 private:
  std::vector<InputFinding> list_;
};

void record1(const RunState& rs, Findings& f) {
  const Misc& m = rs.cmisc;
  if (rs.src.chlfl()) f.within(1, "chlorophyll fluorescence quantum efficiency", m.chl_qe, 0.0, 1.0);
  if (rs.src.raman()) {
    if (!(m.raman_wave0 > 0.0)) f.fatal(1, fmt::format("Raman reference wavelength = {:g} nm is not positive", m.raman_wave0));
    if (!(m.raman_xsec >= 0.0)) f.fatal(1, fmt::format("Raman scattering cross-section = {:g} 1/m is negative", m.raman_xsec));
  }
}

void components(const RunState& rs, Findings& f) {
  const ComponentOpts& c = rs.comp;
  for (int k = 1; k <= rs.cmisc.nconc; ++k)
    if (!(c.constconc(k) >= 0.0))
      f.fatal(7, fmt::format("concentration {} = {:g} is negative", k, c.constconc(k)));
  for (int k = 1; k <= rs.cmisc.nconc; ++k) {
    // Constant and exponential specific absorption: the amplitude is an absorption.
    if ((c.astar_opt(k) == 4 || c.astar_opt(k) == 6) && !(c.astar_A(k) >= 0.0))
      f.fatal(8, fmt::format("entry {}: specific absorption parameter A = {:g} is negative", k, c.astar_A(k)));
  }
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    const int ibs = c.bstar_opt(k);
    if (ibs >= 1 && ibs <= 4 && !(c.bstar_B(k) >= 0.0))
      f.fatal(10, fmt::format("component {}: specific scattering parameter B = {:g} is negative", k, c.bstar_B(k)));
    if ((ibs == 1 || ibs == 4) && !(c.bstar_wave0(k) > 0.0))
      f.fatal(10, fmt::format("component {}: reference wavelength {:g} nm is not positive", k, c.bstar_wave0(k)));
    // Any other option would leave the component without a phase function.
    // The two-particle Case 1 model sets the phase functions of its particle
    // and CDOM components itself, whatever record 12 says.
    const bool model_sets_pf = rs.cmodelopts.model() == 4 && k >= 2;
    if (!model_sets_pf && (c.pf_opt(k) < 0 || c.pf_opt(k) > 3))
      f.fatal(12, fmt::format("component {}: phase-function option {} is not 0, 1, 2 or 3", k, c.pf_opt(k)));
  }
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    if (c.pf_opt(k) == 1 && !(c.bbtob(k) > 0.0 && c.bbtob(k) <= 0.5))
      f.fatal(12, fmt::format("component {}: bb/b = {:g} is outside (0, 0.5]", k, c.bbtob(k)));
    if (c.pf_opt(k) == 3) {
      for (int j = 1; j <= rs.cmisc.nwave; ++j) {
        const double bb = c.bb_coef(k) * std::pow(c.bb_wave0(k) / rs.cwave.wave(j), c.bb_expo(k));
        if (!(bb > 0.0 && bb <= 0.5)) {
          f.fatal(12, fmt::format("component {}: the bb/b power law gives {:g} at {:g} nm, outside (0, 0.5]", k, bb,
                                  rs.cwave.wave(j)));
          break;
        }
      }
    }
  }
}

void wavelengths(const RunState& rs, Findings& f) {
  const int nwave = rs.cmisc.nwave;
  const double lo = rs.cwave.waveb(1), hi = rs.cwave.waveb(nwave + 1);
  if (!(lo > 0.0) || !(hi <= 10000.0))
    f.fatal(15, fmt::format("wavelengths from {:g} to {:g} nm are outside (0, 10000] nm", lo, hi));
}

void sources(const RunState& rs, Findings& f) {
  if (rs.src.ichl < 0) f.fatal(16, fmt::format("the chlorophyll component index {} is negative", rs.src.ichl));
}

void sky(const RunState& rs, Findings& f) {
  const Sky& s = rs.csky;
  static constexpr std::size_t kPositions[] = {0, 10, 6, 6};  // sky values each model uses
  if (s.iskyflag >= 1 && s.iskyflag <= 3 && s.skydata.size() > kPositions[s.iskyflag])
    f.fatal(17, fmt::format("sky model {} uses at most {} sky values; the count is {}", s.iskyflag,
                            kPositions[s.iskyflag], s.skydata.size()));
  if (s.iskyflag == 1 || s.iskyflag == 2) {
    f.within(17, "solar zenith angle (deg)", s.suntheta, 0.0, 90.0);
    f.within(17, "solar azimuth (deg)", s.sunphi, -360.0, 360.0);
  }
  if (s.iskyflag == 1) {
    if (!(s.C >= -1.0)) f.fatal(17, fmt::format("cosine-sky parameter C = {:g} is below -1 (negative sky radiance)", s.C));
    f.within(17, "Rsky = Ed(sky)/Ed(total)", s.Rsky, 0.0, 1.0);
    if (!(s.Edtotl >= 0.0)) f.fatal(17, fmt::format("Ed(total) = {:g} W/(m^2 nm) is negative", s.Edtotl));
  }
  if (s.iskyflag == 3) {
    f.within(17, "GMT (hours)", s.gmt, 0.0, 24.0);
    f.within(17, "solar azimuth (deg)", s.sunphi, -360.0, 360.0);
    f.within(18, "day of year", s.jday, 1.0, 366.0);
    f.within(18, "latitude (deg)", s.rlat, -90.0, 90.0);
    f.within(18, "longitude (deg)", s.rlon, -360.0, 360.0);
  }
}

void surface_and_bottom(const RunState& rs, Findings& f) {
  const Misc& m = rs.cmisc;
  if (!(m.windspd >= 0.0)) f.fatal(19, fmt::format("wind speed = {:g} m/s is negative", m.windspd));
  if (m.refr > 0.0 && !(m.refr >= 1.0 && m.refr <= 2.0))
    f.fatal(19, fmt::format("index of refraction = {:g} is not that of water (outside [1, 2])", m.refr));
  if (m.refr <= 0.0) {  // the index is computed from temperature and salinity
    f.within(19, "water temperature (deg C)", m.temp, -5.0, 100.0);
    f.within(19, "salinity (PSU)", m.salinity, 0.0, 400.0);
  }
  if (m.ibotm == 1) f.within(20, "bottom reflectance", m.rbottom, 0.0, 1.0);
}

void depths(const RunState& rs, Findings& f) {
  const std::vector<double>& z = rs.cgrid.zreq;
  if (z.empty()) return;
  if (!(z.front() >= 0.0)) f.fatal(21, fmt::format("the first output depth {:g} is negative", z.front()));
  const bool optical = rs.cmisc.iop == 1;
  const double zmax = optical ? kMaxOpticalDepth : kMaxGeometricDepth;
  if (!(z.back() <= zmax))
    f.fatal(21, fmt::format("the last output depth {:g} {} exceeds {:g}{}", z.back(), optical ? "(optical)" : "m", zmax,
                            optical ? ": no light reaches there as a number distinguishable from zero"
                                    : " m, deeper than any ocean"));
}

}  // namespace

std::vector<InputFinding> check_input_ranges(const RunState& rs) {
  Findings f;
  record1(rs, f);
  components(rs, f);
  wavelengths(rs, f);
  sources(rs, f);
  sky(rs, f);
  surface_and_bottom(rs, f);
  depths(rs, f);
  return f.take();
}

}  // namespace abyss
