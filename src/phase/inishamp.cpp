// Per-band initialization: everything the depth integration needs that
// depends on the band but not on depth.
#include "phase/inishamp.hpp"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "control/driver.hpp"
#include "control/dynz.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "grid/depth_conversion.hpp"
#include "grid/surface.hpp"
#include "iop/abscat.hpp"
#include "phase/dpf.hpp"
#include "phase/dpf_file.hpp"
#include "sky/qasky.hpp"
#include "sources/source_terms.hpp"
#include "util/fortran_format.hpp"

namespace abyss {

// ---------------------------------------------------------------------------
// Phase functions of the components

namespace {

void mismatch(std::ostream& p, const char* what, const std::string& title) {
  p << "\nError in INISHAMP: surfwind and DPF files must have the\nsame spatial quads!\n"
    << what << " read from phase function " << title << "\n"
    << " do not match the surfwind file\n";
}

}  // namespace

bool read_named_dpf(RunState& rs, int k) {
  const std::string& name = rs.files.dpf[static_cast<std::size_t>(k)];
  std::ifstream in = ioshorten(name, "RADAMPS");
  const phase::DpfHeader h = phase::read_dpf_header(in, name, "inishamp");
  rs.comp.bbtob(k) = h.bbtob;
  const auto& q = rs.surf.quadid;
  std::ostream& p = rs.pr();
  if (h.nmu != q[0]) mismatch(p, "The MU quads", h.title);
  if (h.nphi != q[1]) mismatch(p, "The PHI quads", h.title);
  if (h.type != q[2]) mismatch(p, "The quad TYPE", h.title);
  if (h.nmu != q[0] || h.nphi != q[1]) return false;
  const int m = rs.cmisc.nmu * (rs.cmisc.nphi / 2 + 1);
  const auto kk = static_cast<std::size_t>(k);
  phase::read_dpf_arrays(in, rs.cmisc.nmu, m, rs.pf.pt[kk], rs.pf.pr[kk], name, "inishamp");
  rs.pf.origin[kk] = {h.title, h.title, 0.0};
  return true;
}

void load_phase_functions(RunState& rs) {
  bool quads_ok = true;
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    ComponentOpts& c = rs.comp;
    switch (c.pf_opt(k)) {
      case 1: selpfbb(rs, c.bbtob(k), k); break;
      case 3: bfcalc(rs, k, rs.cmisc.wavenm, c.bbtob(k)); break;
      case 2: break;  // the ac-9 IOP routine chooses the phase function at each depth
      case 0: quads_ok = read_named_dpf(rs, k) && quads_ok; break;
      default:
        rs.pf.origin[static_cast<std::size_t>(k)] = {};
        rs.pf.pt[static_cast<std::size_t>(k)].zero();
        rs.pf.pr[static_cast<std::size_t>(k)].zero();
    }
  }
  if (!quads_ok) herr("inishrad", "Quads of DPF files do not match surfwind");
}

namespace {

// ---------------------------------------------------------------------------
// IOP table

void table_row(RunState& rs, int iz, double depth) {
  const int ncomp = rs.cmisc.ncomp;
  const IopValues v = abscat(rs, depth, rs.cmisc.wavenm, ncomp);
  IopTable& t = rs.ciop;
  double bbsum = 0.0;
  for (int k = 1; k <= ncomp; ++k) {
    t.A(iz, k) = v.a[static_cast<std::size_t>(k)];
    t.B(iz, k) = v.b[static_cast<std::size_t>(k)];
    t.BB(iz, k) = v.b[static_cast<std::size_t>(k)] * rs.comp.bbtob(k);
    bbsum += t.BB(iz, k);
  }
  t.A(iz, 0) = v.atot;
  t.B(iz, 0) = v.btot;
  t.BB(iz, 0) = bbsum;
  t.c(iz) = v.atot + v.btot;
  t.albedo(iz) = t.c(iz) > 0.0 ? v.btot / t.c(iz) : 0.0;
}

// Depth conversions integrate c over depth; backscatter fractions are not
// needed for that and are switched off meanwhile.
template <class F>
void without_bbcalc(RunState& rs, F&& convert) {
  rs.comp.cbbcalc = 0;
  convert(rs);
  rs.comp.cbbcalc = 1;
}

}  // namespace

void fill_iop_table(RunState& rs) {
  const bool optical = (rs.cmisc.iop == 1);
  for (int iz = 1; iz <= rs.cmisc.nz; ++iz) table_row(rs, iz, optical ? rs.cgrid.zeta(iz) : rs.cgrid.z(iz));
}

// ---------------------------------------------------------------------------
// Printout

namespace {

int printed_components(const RunState& rs) {
  const int n = rs.sel.ncomp_print > 0 ? rs.sel.ncomp_print : rs.cmisc.ncomp;
  return std::min({n, rs.cmisc.ncomp, 10});
}

const char* kDepthHead = "  iz   Opt Depth  Geo Depth";

std::string component_heading(int ncp) {
  std::string h = kDepthHead;
  for (int k = 1; k <= ncp; ++k) h += "   Comp" + ff::I(k, 2);
  return h + "    Total";
}

std::string component_units(int ncp) {
  std::string u = ff::X(24) + "(m)";
  for (int k = 1; k <= ncp; ++k) u += "    (1/m)";
  return u + "     (1/m)";
}

std::string depth_prefix(const RunState& rs, int iz) {
  return ff::I(iz, 4) + ff::F(rs.cgrid.zeta(iz), 10, 3) + ff::F(rs.cgrid.z(iz), 11, 3) + ff::X(2);
}

void component_table(RunState& rs, const std::string& title, const Mat& m, int d) {
  std::ostream& p = rs.pr();
  const int ncp = printed_components(rs);
  p << "\n\n" << title << " at " << ff::F(rs.cmisc.wavenm, 6, 1) << " nm\n";
  if (d == 5) p << " (computed from the scattering coefficients and the phase functions)\n";
  p << "\n" << component_heading(ncp) << "\n" << component_units(ncp) << "\n";
  for (int iz : rs.sel.pirrad) {
    p << depth_prefix(rs, iz);
    for (int k = 1; k <= ncp; ++k) p << ff::F(m(iz, k + 1), 9, d);
    p << ff::F(m(iz, 1), 9, d) << "\n";
  }
}

void summary_table(RunState& rs) {
  std::ostream& p = rs.pr();
  IopTable& t = rs.ciop;
  p << "\n\nSummary of Inherent Optical Properties at " << ff::F(rs.cmisc.wavenm, 6, 1) << " nm\n\n"
    << kDepthHead << "   total a   total b    total c    albedo   total bb  total bb/b\n"
    << ff::X(24) << "(m)" << "     (1/m)    (1/m)      (1/m)" << ff::X(21) << "(1/m)\n";
  for (int iz : rs.sel.pirrad) {
    const double bbb = t.B(iz, 0) > 0.0 ? t.BB(iz, 0) / t.B(iz, 0) : 0.0;
    p << depth_prefix(rs, iz) << ff::F(t.A(iz, 0), 10, 4) << ff::X(1) << ff::F(t.B(iz, 0), 9, 4) << ff::X(3)
      << ff::F(t.c(iz), 8, 4) << ff::F(t.albedo(iz), 10, 4) << ff::F(t.BB(iz, 0), 11, 5) << ff::F(bbb, 11, 5) << "\n";
  }
}

}  // namespace

void print_iop_tables(RunState& rs) {
  component_table(rs, "Absorption Coefficients of Individual Components", rs.ciop.a, 4);
  component_table(rs, "Scattering Coefficients of Individual Components", rs.ciop.b, 4);
  component_table(rs, "Backscattering Coefficients of Individual Components", rs.ciop.bb, 5);
  summary_table(rs);
}

// ---------------------------------------------------------------------------
// The band initialization

void band_iop_table(RunState& rs) {
  if (rs.cmisc.iop != 1) {
    // On the first band the IOP model is asked once at the surface so that its
    // description reaches the printout before the tables.
    if (!rs.sol.first_band_done) abscat(rs, 0.0, rs.cmisc.wavenm, rs.cmisc.ncomp);
    without_bbcalc(rs, ztozeta);
  } else {
    if (rs.cmisc.nwave != 1) {
      rs.pr() << "\nSTOP:  Attempt to run model in multiwavelength mode with OPTICAL depth output.  MUST use "
                 "GEOMETRIC depths.\n";
      herr("inishrad", "depth type is not compatible");
    }
    without_bbcalc(rs, zetatoz);
  }
  fill_iop_table(rs);
}

void inishamp(RunState& rs) {
  Misc& m = rs.cmisc;
  loadsurface(rs, m.windspd, m.wavenm);
  if (m.idynz == 1 && m.ibotm == 0 && m.nsource > 0) getdynz(rs, m.jwave);
  qasky(rs);
  load_phase_functions(rs);
  band_iop_table(rs);
  if (m.iprint >= 0) print_iop_tables(rs);
  rs.ciop.a_deep = rs.ciop.A(m.nz, 0);
  rs.ciop.c_deep = rs.ciop.c(m.nz);
  rs.sol.first_band_done = true;
}

// ---------------------------------------------------------------------------
// Internal sources

void sumshat(RunState& rs, int l, double z, double zeta) {
  auto& sg = rs.src.sigma;
  const int nmu = rs.cmisc.nmu;
  for (int i = 1; i <= 4; ++i)
    for (int u = 1; u <= nmu; ++u) sg[static_cast<std::size_t>(i)](u) = 0.0;
  const double depth = (rs.cmisc.iop == 1) ? zeta : z;
  SourceAmps a;
  for (int s = 1; s <= 4; ++s) {
    if (rs.src.flags[static_cast<std::size_t>(s)] == 0) continue;
    source_term(rs, s, l, depth, a);
    for (int u = 1; u <= nmu; ++u) {
      const std::size_t i = static_cast<std::size_t>(u - 1);
      sg[1](u) += a.up_cos[i];
      sg[2](u) += a.up_sin[i];
      sg[3](u) += a.down_cos[i];
      sg[4](u) += a.down_sin[i];
    }
  }
}

}  // namespace abyss
