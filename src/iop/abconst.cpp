// The constant IOP model: one component with the same absorption and
// scattering at every depth and wavelength (single-wavelength runs).
#include <fmt/format.h>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "phase/dpf.hpp"
#include "util/fortran_format.hpp"

namespace abyss {
namespace {

void first_call(RunState& rs) {
  std::ostream& p = rs.pr();
  const double a = rs.cmisc.aconst, b = rs.cmisc.bconst;
  p << "\n" << ff::X(5) << "The IOP routine \"abconst\" is being used.\n\n"
    << ff::X(5) << "Constant absorption and scattering coefficients are used:\n";
  if (a < 0.0) {
    p << "\n\nError in input:  absorption coef = " << ff::PE(a, 12, 3) << "\n";
    herr("abconst", "absorption negative");
  }
  p << "\n     The absorption coefficient is a =" << ff::F(a, 8, 4) << " 1/m\n";
  if (b < 0.0) {
    p << "\n\nError in input:  scattering coef = " << ff::PE(b, 12, 3) << "\n";
    herr("abconst", "scattering negative");
  }
  p << "\n     The scattering coefficient is b =" << ff::F(b, 8, 4) << " 1/m\n";
  if (rs.cmisc.ncomp != 1) {
    p << "\n\nError in subroutine \"abconst\":  ncomp =" << ff::I(rs.cmisc.ncomp, 3) << " (ncomp must = 1)\n";
    herr("abconst", "# components is incompatable");
  }
  pntdpf(rs, 1);
  rs.iopflags.abconst_done = true;
}

}  // namespace

IopValues abconst(RunState& rs, double, double, int) {
  if (!rs.iopflags.abconst_done) first_call(rs);
  IopValues v;
  v.a[1] = v.atot = rs.cmisc.aconst;
  v.b[1] = v.btot = rs.cmisc.bconst;
  return v;
}

}  // namespace abyss
