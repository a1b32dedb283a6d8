// Data files that do not cover the run: the readers extrapolate (or use zero)
// and register the file here; one block in the printout lists them all after
// initialization, so that the user knows which outputs rest on extrapolated
// input.
#include "control/range_warnings.hpp"

#include "control/run_state.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

std::string num(double v) { return ff::F(v, 5, 1); }

// The line for flag f (0..3) of one entry.
std::string flag_line(const RangeWarnings::Entry& e, int f) {
  const bool nearest = e.kind == 1;
  switch (f) {
    case 0:
      return nearest ? "For depths less than " + num(e.zmin) + " m the value at " + num(e.zmin) + " m will be used"
                     : "For depths less than " + num(e.zmin) + " value set to zero";
    case 1:
      return nearest ? "For depths greater than " + num(e.zmax) + " m the value at " + num(e.zmax) + " m will be used"
                     : "For depths greater than " + num(e.zmax) + " value set to zero";
    case 2:
      return nearest ? "For wavelengths less than " + num(e.wmin) + " nm the value at " + num(e.wmin) + " nm will be used"
                     : "For wavelengths less than " + num(e.wmin) + " value set to zero";
    default:
      return nearest
                 ? "For wavelengths greater than " + num(e.wmax) + " nm the value at " + num(e.wmax) + " nm will be used"
                 : "For wavelengths greater than " + num(e.wmax) + " value set to zero";
  }
}

}  // namespace

void rangecheck(RunState& rs, int kind, double zmin, double zmax, double wmin, double wmax,
                const std::string& filename) {
  const double zlast = rs.cgrid.z(std::max(rs.cmisc.nz, 1));
  const double w1 = rs.cwave.wave(1), wn = rs.cwave.wave(std::max(rs.cmisc.nwave, 1));
  RangeWarnings::Entry e;
  e.flag = {zmin > 0.0, zmax > 0.0 && zmax < zlast, wmin > w1, wmax > 0.0 && wmax < wn};
  if (!(e.flag[0] || e.flag[1] || e.flag[2] || e.flag[3])) return;
  // The record holds 18 files; later ones are counted and mentioned once.
  if (static_cast<int>(rs.crangew.entries.size()) >= RangeWarnings::kMaxFiles) {
    ++rs.crangew.dropped;
    return;
  }
  e.kind = kind;
  e.zmin = zmin;
  e.zmax = zmax;
  e.wmin = wmin;
  e.wmax = wmax;
  e.name = util::rtrim(filename);
  rs.crangew.entries.push_back(std::move(e));
}

void rangewarn(RunState& rs, std::ostream& os) {
  const RangeWarnings& w = rs.crangew;
  if (w.entries.empty()) return;
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  os << "\n\n  ***** WARNING MESSAGES FOR INPUT DATA FILES *****\n"
     << i5 << "NUMBER OF FILES WITH WARNINGS:  " << ff::I(static_cast<long long>(w.entries.size()), 3) << "\n";
  if (w.dropped > 0)
    os << i5 << "(" << w.dropped << " further file(s) with warnings not listed: only the first "
       << RangeWarnings::kMaxFiles << " are kept)\n";
  for (const auto& e : w.entries) {
    os << "\n" << i5 << "Data file: " << e.name << "\n"
       << i8 << " does not extend over the full range of depths and wavelengths selected for this run.\n\n";
    for (int f = 0; f < 4; ++f)
      if (e.flag[static_cast<std::size_t>(f)]) os << i8 << flag_line(e, f) << "\n";
  }
  os << "\n" << i5 << "ABYSSOLVER/TIDEWISE OUTPUTS MAY BE UNPHYSICAL OR INACCURATE\n"
     << i5 << " FOR DEPTHS AND WAVELENGTHS OUTSIDE THE RANGE OF THE INPUT DATA.\n\n"
     << "  ***** END WARNING MESSAGES FOR INPUT DATA FILES *****\n\n\n";
}

}  // namespace abyss
