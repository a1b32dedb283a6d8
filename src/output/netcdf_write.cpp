// Writing the NetCDF run file: one band at a time along the unlimited
// wavelength dimension, then the whole-spectrum quantities after the loop.
#include <netcdf.h>

#include <array>
#include <vector>

#include "control/driver.hpp"
#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "output/netcdf_layout.hpp"
#include "output/netcdf_run.hpp"
#include "output/netcdf_vars.hpp"

namespace abyss {
namespace {

using Index = std::vector<std::size_t>;

// Writes a hyperslab; values that do not exist (NaN, infinities) become the fill value.
void put_slab(const NetcdfRunFile& f, const std::string& name, const Index& start, const Index& count,
              std::vector<double> v) {
  for (double& x : v) x = ncl::finite_or_fill(x);
  const int st = start.empty() ? nc_put_var_double(f.ncid(), f.var(name), v.data())  // a scalar
                               : nc_put_vara_double(f.ncid(), f.var(name), start.data(), count.data(), v.data());
  nc_check(st, f.path(), "writing " + name);
}

struct BandWriter {
  const NetcdfRunFile& f;
  const RunState& rs;
  std::size_t r;  // record of this band along the wavelength dimension
  int nlev = ncl::nlevels(rs);

  void coordinates() const {
    const int j = rs.cmisc.jwave;
    put_slab(f, "wavelength", {r}, {1}, {rs.cwave.wave(j)});
    put_slab(f, "wavelength_bnds", {r, 0}, {1, 2}, {rs.cwave.waveb(j), rs.cwave.waveb(j + 1)});
    nc_check(nc_put_var1_int(f.ncid(), f.var("band"), &r, &j), f.path(), "writing band");
  }

  // The (depth, wavelength) variables of a table, each from its per-level accessor.
  template <std::size_t N>
  void levels(const std::array<NcVar, N>& table) const {
    for (const NcVar& var : table) {
      std::vector<double> v;
      for (int i = 0; i < nlev; ++i) v.push_back(var.at(rs, i));
      put_slab(f, var.name, {0, r}, {static_cast<std::size_t>(nlev), 1}, v);
    }
  }

  // IOPs of every component; column k + 1 of the IOP table is component k.
  void components() const {
    const IopTable& t = rs.ciop;
    const int ncomp = rs.cmisc.ncomp;
    for (std::size_t g = 0; g < kComponentIopVars.size(); ++g) {
      std::vector<double> v;
      for (int k = 1; k <= ncomp; ++k)
        for (int i = 0; i < nlev; ++i) {
          const int iz = ncl::grid_index(rs, i);
          const double a = i == 0 ? kUndefined : t.a(iz, k + 1), b = i == 0 ? kUndefined : t.b(iz, k + 1);
          const double values[] = {a, b, i == 0 ? kUndefined : t.bb(iz, k + 1), a + b};
          v.push_back(values[g]);
        }
      put_slab(f, kComponentIopVars[g].name, {0, 0, r},
               {static_cast<std::size_t>(ncomp), static_cast<std::size_t>(nlev), 1}, v);
    }
  }

  void radiance() const {
    const int nth = ncl::ntheta(rs), nphi = rs.cmisc.nphi;
    std::vector<double> v;
    v.reserve(static_cast<std::size_t>(nlev * nth * nphi));
    for (int i = 0; i < nlev; ++i) {
      const int k = ncl::grid_index(rs, i);
      for (int t = 0; t < nth; ++t) {
        const int u = ncl::theta_band(rs, t);
        for (int s = 1; s <= nphi; ++s)
          v.push_back(ncl::theta_down(rs, t) ? total_down(rs, k, u, ncl::quad_s(rs, u, s))
                                             : total_up(rs, k, u, ncl::quad_s(rs, u, s)));
      }
    }
    put_slab(f, "L", {0, 0, 0, r},
             {static_cast<std::size_t>(nlev), static_cast<std::size_t>(nth), static_cast<std::size_t>(nphi), 1}, v);
  }

  // Radiances in air by origin: the sky on the downward quads, the
  // surface-reflected sky and the water-leaving radiance on the upward ones.
  void air_quads() const {
    const int nth = ncl::ntheta(rs), nphi = rs.cmisc.nphi;
    const Radiances& rad = rs.der.rad;
    std::vector<double> sky, reflected, leaving;
    for (int t = 0; t < nth; ++t) {
      const int u = ncl::theta_band(rs, t);
      const bool down = ncl::theta_down(rs, t);
      for (int s = 1; s <= nphi; ++s) {
        const int sq = ncl::quad_s(rs, u, s);
        sky.push_back(down ? total_down(rs, 0, u, sq) : kUndefined);
        reflected.push_back(down ? kUndefined : rad.dir_up_air(u, sq));
        leaving.push_back(down ? kUndefined : rad.dif_up(0)(u, sq));
      }
    }
    const Index start{0, 0, r}, count{static_cast<std::size_t>(nth), static_cast<std::size_t>(nphi), 1};
    put_slab(f, "L_sky", start, count, sky);
    put_slab(f, "L_surface_reflected", start, count, reflected);
    put_slab(f, "L_water_leaving", start, count, leaving);
    const int j = rs.cmisc.jwave;
    put_slab(f, "Ed_sky_diffuse", {r}, {1}, {rs.sky.ed_diffuse(j)});
    put_slab(f, "Ed_sky_direct", {r}, {1}, {rs.sky.ed_direct(j)});
  }

  // Per-band values of the internal sources' analysis, when sources are on.
  void source_share() const {
    if (rs.cmisc.nsource <= 0) return;
    for (const NcVar& var : kSourceShareVars) put_slab(f, var.name, {r}, {1}, {var.at(rs, 0)});
  }

  void kfunctions() const {
    const int np = ncl::npairs(rs);
    if (np == 0) return;
    for (std::size_t i = 0; i < kKVars.size(); ++i) {
      std::vector<double> v;
      for (int p = 1; p <= np; ++p) v.push_back(rs.der.ckxcl.k[i](p, rs.cmisc.jwave));
      put_slab(f, kKVars[i].name, {0, r}, {static_cast<std::size_t>(np), 1}, v);
    }
  }
};

// Every band that has values after the loop (solved, or filled between solved bands).
std::vector<int> spectrum_bands(const RunState& rs) {
  std::vector<int> bands;
  const SpectralStore& sp = rs.der.spectrum;
  for (int j = 1; j <= rs.cmisc.nwave; ++j)
    if (sp.solved[static_cast<std::size_t>(j)] || sp.filled[static_cast<std::size_t>(j)]) bands.push_back(j);
  return bands;
}

void write_par(const NetcdfRunFile& f, const RunState& rs) {
  const ParRecord& p = rs.der.cpar;
  const int nlev = ncl::nlevels(rs);
  const std::array<const VecD*, 4> src = {&p.par_eo, &p.par_ed, &p.epar_eo, &p.epar_ed};
  for (std::size_t g = 0; g < kParVars.size(); ++g) {
    std::vector<double> v;
    for (int i = 0; i < nlev; ++i) v.push_back(p.computed ? (*src[g])(i) : kUndefined);
    put_slab(f, kParVars[g].name, {0}, {static_cast<std::size_t>(nlev)}, v);
  }
  if (nlev <= 2) return;
  const std::size_t nl = static_cast<std::size_t>(nlev - 2);
  std::vector<double> k(nl, kUndefined), kl(nl, kUndefined);
  if (p.computed && p.kpar.size() == nl) k = p.kpar, kl = p.kpar_layer;
  put_slab(f, "K_PAR", {0}, {nl}, k);
  put_slab(f, "K_PAR_layer_averaged", {0}, {nl}, kl);
}

void write_colour(const NetcdfRunFile& f, const RunState& rs) {
  const int nlev = ncl::nlevels(rs);
  const std::vector<int> bands = spectrum_bands(rs);
  const bool computed = covers_visible(rs) && !bands.empty();
  for (int q = 0; q < 4; ++q) {
    std::vector<double> x, y, Y;
    for (int i = 0; i < nlev; ++i) {
      const bool exists = computed && (q != 3 || i == 0);  // Lw only in air
      const Chromaticity c = exists ? colour_at(rs, bands, i, static_cast<ColourOf>(q)) : Chromaticity{kUndefined, kUndefined, kUndefined};
      x.push_back(c.x);
      y.push_back(c.y);
      Y.push_back(c.Y);
    }
    const Index start{0}, count{static_cast<std::size_t>(nlev)};
    put_slab(f, kColourVars[static_cast<std::size_t>(3 * q)].name, start, count, x);
    put_slab(f, kColourVars[static_cast<std::size_t>(3 * q + 1)].name, start, count, y);
    put_slab(f, kColourVars[static_cast<std::size_t>(3 * q + 2)].name, start, count, Y);
  }
}

}  // namespace

void NetcdfRunFile::write_band(const RunState& rs) {
  BandWriter w{*this, rs, bands_};
  w.coordinates();
  w.levels(kLevelVars);
  w.levels(kIopVars);
  w.components();
  w.radiance();
  w.air_quads();
  w.source_share();
  w.kfunctions();
  ++bands_;
  nc_check(nc_sync(ncid_), path_, "synchronising");
}

void NetcdfRunFile::write_summary(const RunState& rs) {
  write_par(*this, rs);
  write_colour(*this, rs);
  const double zsd = rs.der.cpar.secchi_depth > 0.0 ? rs.der.cpar.secchi_depth : kUndefined;
  put_slab(*this, "secchi_depth", {}, {}, {zsd});
  nc_check(nc_redef(ncid_), path_, "entering define mode");
  const int one = 1;
  nc_check(nc_put_att_int(ncid_, NC_GLOBAL, "run_complete", NC_INT, 1, &one), path_, "attribute run_complete");
  nc_check(nc_enddef(ncid_), path_, "leaving define mode");
  nc_check(nc_sync(ncid_), path_, "synchronising");
}

void wrtnetcdf(RunState& rs) {
  NetcdfRunFile& f = rs.out.netcdf;
  if (!f.is_open()) f.create(rs.out.netcdf_name, rs);
  f.write_band(rs);
}

void wrtnetcdf_summary(RunState& rs) {
  if (rs.out.netcdf.is_open()) rs.out.netcdf.write_summary(rs);
}

}  // namespace abyss
