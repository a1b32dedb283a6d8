// Creation of the NetCDF run file: dimensions, coordinates with their cell
// bounds, the run input as attributes, and every variable with CF units and,
// where CF defines one, its standard name.
#include <netcdf.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "output/netcdf_layout.hpp"
#include "output/netcdf_run.hpp"
#include "output/netcdf_vars.hpp"
#include "util/names.hpp"

namespace abyss {

void nc_check(int status, const std::string& path, const std::string& what) {
  if (status != NC_NOERR) herr("wrtnetcdf", "NetCDF file " + util::rtrim(path) + ": " + what + ": " + nc_strerror(status));
}

// Defines dimensions and variables of one run file (the file is in define mode).
struct NetcdfDefiner {
  NetcdfRunFile& f;
  const RunState& rs;
  std::map<std::string, int> dim;

  void check(int st, const std::string& what) const { nc_check(st, f.path_, what); }

  void text_att(int varid, const char* name, const std::string& value) const {
    check(nc_put_att_text(f.ncid_, varid, name, value.size(), value.c_str()), std::string("attribute ") + name);
  }
  void double_att(int varid, const char* name, double value) const {
    check(nc_put_att_double(f.ncid_, varid, name, NC_DOUBLE, 1, &value), std::string("attribute ") + name);
  }
  void int_att(int varid, const char* name, int value) const {
    check(nc_put_att_int(f.ncid_, varid, name, NC_INT, 1, &value), std::string("attribute ") + name);
  }

  void def_dim(const char* name, std::size_t len) {
    int id = -1;
    check(nc_def_dim(f.ncid_, name, len, &id), std::string("dimension ") + name);
    dim[name] = id;
  }

  // A double variable with fill value, units and names. Variables along the
  // band dimension are chunked one band a chunk, so that appending a band
  // touches only its own chunks.
  int def_var(const NcVar& v, const std::vector<std::string>& dims, int type = NC_DOUBLE) {
    std::vector<int> ids;
    std::vector<std::size_t> chunk;
    bool by_band = false;
    for (const std::string& d : dims) {
      ids.push_back(dim.at(d));
      std::size_t len = 0;
      check(nc_inq_dimlen(f.ncid_, dim.at(d), &len), "dimension length");
      by_band = by_band || d == "wavelength";
      chunk.push_back(d == "wavelength" ? 1 : std::max<std::size_t>(len, 1));
    }
    int id = -1;
    check(nc_def_var(f.ncid_, v.name, type, static_cast<int>(ids.size()), ids.data(), &id),
          std::string("variable ") + v.name);
    if (by_band) check(nc_def_var_chunking(f.ncid_, id, NC_CHUNKED, chunk.data()), std::string("chunks of ") + v.name);
    if (type == NC_DOUBLE) double_att(id, "_FillValue", ncl::kFill);
    if (v.long_name && *v.long_name) text_att(id, "long_name", v.long_name);
    if (v.units) text_att(id, "units", v.units);
    if (v.standard_name && *v.standard_name) text_att(id, "standard_name", v.standard_name);
    f.vars_[v.name] = id;
    return id;
  }

  void coordinates() {
    const int nlev = ncl::nlevels(rs);
    def_dim("depth", static_cast<std::size_t>(nlev));
    def_dim("wavelength", NC_UNLIMITED);
    def_dim("theta", static_cast<std::size_t>(ncl::ntheta(rs)));
    def_dim("phi", static_cast<std::size_t>(rs.cmisc.nphi));
    def_dim("nv", 2);
    def_dim("component", static_cast<std::size_t>(rs.cmisc.ncomp));
    int id = def_var({"depth", "depth below the sea surface; -1 m is the level in air just above the surface", "m",
                      "depth"},
                     {"depth"});
    text_att(id, "positive", "down");
    text_att(id, "axis", "Z");
    id = def_var({"wavelength", "centre of the wavelength band", "nm", "radiation_wavelength"}, {"wavelength"});
    text_att(id, "bounds", "wavelength_bnds");
    def_var({"wavelength_bnds", "lower and upper limits of the wavelength band", "nm", ""}, {"wavelength", "nv"});
    def_var({"band", "index of the band in the run input", "1", ""}, {"wavelength"}, NC_INT);
    id = def_var({"theta", "polar angle of the direction of photon travel (0 = straight down, 180 = straight up)",
                  "degree", ""},
                 {"theta"});
    text_att(id, "bounds", "theta_bnds");
    def_var({"theta_bnds", "polar-angle limits of the quad", "degree", ""}, {"theta", "nv"});
    id = def_var({"phi", "azimuth of the direction of photon travel (the frame of the run input's sun azimuth)",
                  "degree", ""},
                 {"phi"});
    text_att(id, "bounds", "phi_bnds");
    def_var({"phi_bnds", "azimuth limits of the quad", "degree", ""}, {"phi", "nv"});
    def_var({"solid_angle", "solid angle of the quad", "sr", ""}, {"theta", "phi"});
    def_var({"component", "index of the IOP component in the run input", "1", ""}, {"component"}, NC_INT);
    if (ncl::npairs(rs) > 0) {
      def_dim("kdepth", static_cast<std::size_t>(ncl::npairs(rs)));
      id = def_var({"kdepth", "midpoint depth of the K-function depth pair", "m", "depth"}, {"kdepth"});
      text_att(id, "positive", "down");
      text_att(id, "bounds", "kdepth_bnds");
      def_var({"kdepth_bnds", "upper and lower depth of the K-function pair", "m", ""}, {"kdepth", "nv"});
    }
    if (nlev > 2) {
      def_dim("par_layer", static_cast<std::size_t>(nlev - 2));
      id = def_var({"par_layer", "midpoint depth between consecutive output depths", "m", "depth"}, {"par_layer"});
      text_att(id, "positive", "down");
      text_att(id, "bounds", "par_layer_bnds");
      def_var({"par_layer_bnds", "upper and lower depth of the layer", "m", ""}, {"par_layer", "nv"});
    }
  }

  void variables() {
    for (const NcVar& v : kLevelVars) def_var(v, {"depth", "wavelength"});
    for (const NcVar& v : kIopVars) def_var(v, {"depth", "wavelength"});
    for (const NcVar& v : kComponentIopVars) def_var(v, {"component", "depth", "wavelength"});
    for (const NcVar& v : kRadianceVars) {
      const int id = def_var(v, {"depth", "theta", "phi", "wavelength"});
      check(nc_def_var_deflate(f.ncid_, id, 1, 1, 1), "compression of L");
    }
    for (const NcVar& v : kAirQuadVars) def_var(v, {"theta", "phi", "wavelength"});
    for (const NcVar& v : kSkyVars) def_var(v, {"wavelength"});
    if (rs.cmisc.nsource > 0)
      for (const NcVar& v : kSourceShareVars) def_var(v, {"wavelength"});
    if (ncl::npairs(rs) > 0)
      for (const NcVar& v : kKVars) def_var(v, {"kdepth", "wavelength"});
    for (const NcVar& v : kParVars) def_var(v, {"depth"});
    if (ncl::nlevels(rs) > 2)
      for (const NcVar& v : kKparVars) def_var(v, {"par_layer"});
    for (const NcVar& v : kColourVars) def_var(v, {"depth"});
    def_var({"secchi_depth", "Secchi depth (photopic contrast attenuation, coupling constant 8)", "m",
             "secchi_depth_of_sea_water"},
            {});
  }

  // The run input: the file as read, the run options, and the main choices as
  // separate attributes for tools that list attributes.
  void run_attributes() {
    const Misc& m = rs.cmisc;
    text_att(NC_GLOBAL, "Conventions", "CF-1.8");
    text_att(NC_GLOBAL, "title", util::rtrim(rs.ctitle));
    text_att(NC_GLOBAL, "source", "Abyssolver radiative transfer for natural waters (invariant imbedding)");
    std::time_t now = std::time(nullptr);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    text_att(NC_GLOBAL, "history", std::string(stamp) + " written by abyssolver");
    text_att(NC_GLOBAL, "comment",
             "Level depth = -1 m holds the values in air just above the sea surface; the standard names of "
             "in-water quantities apply to the other levels. Values that do not exist (an undefined ratio or "
             "logarithm, a quantity defined only in air) are the fill value.");
    text_att(NC_GLOBAL, "root_name", rs.out.root);
    text_att(NC_GLOBAL, "run_input", rs.out.run_input_text);
    std::string opts;
    for (const std::string& o : rs.opts.given) opts += o + "\n";
    text_att(NC_GLOBAL, "run_options", opts);
    int_att(NC_GLOBAL, "iop_model", rs.cmodelopts.model());
    int_att(NC_GLOBAL, "component_count", m.ncomp);
    int_att(NC_GLOBAL, "band_count", m.nwave);
    int_att(NC_GLOBAL, "band_skip", m.nwskip);
    int_att(NC_GLOBAL, "bands_planned", static_cast<int>(solved_bands(m.nwave, m.nwskip).size()));
    int_att(NC_GLOBAL, "sky_model", rs.csky.iskyflag);
    double_att(NC_GLOBAL, "sun_zenith_angle", rs.csky.suntheta);
    double_att(NC_GLOBAL, "sun_azimuth_angle", rs.csky.sunphi);
    double_att(NC_GLOBAL, "wind_speed", m.windspd);
    double_att(NC_GLOBAL, "refractive_index", m.refr);
    double_att(NC_GLOBAL, "water_temperature", m.temp);
    double_att(NC_GLOBAL, "salinity", m.salinity);
    int_att(NC_GLOBAL, "bottom_type", m.ibotm);
    double_att(NC_GLOBAL, "bottom_reflectance", m.rbottom);
    double_att(NC_GLOBAL, "par_lower_wavelength", m.r1);
    double_att(NC_GLOBAL, "par_upper_wavelength", m.r2);
    int_att(NC_GLOBAL, "quad_polar_bands", m.nmu);
    int_att(NC_GLOBAL, "quad_azimuth_bands", m.nphi);
    int_att(NC_GLOBAL, "run_complete", 0);
  }
};

namespace {

template <class T>
void put(const NetcdfRunFile& f, const char* name, const std::vector<T>& v) {
  int st;
  if constexpr (std::is_same_v<T, int>)
    st = nc_put_var_int(f.ncid(), f.var(name), v.data());
  else
    st = nc_put_var_double(f.ncid(), f.var(name), v.data());
  nc_check(st, f.path(), std::string("writing ") + name);
}

// Polar-angle limits (degrees) of theta index t, increasing.
std::pair<double, double> theta_limits(const RunState& rs, int t) {
  const int u = ncl::theta_band(rs, t);
  const double deg = rs.cmisc.raddeg;
  const double lo = std::acos(std::min(1.0, rs.cgrid.bndmu(u))) * deg;
  const double hi = std::acos(std::min(1.0, rs.cgrid.bndmu(u - 1))) * deg;
  if (ncl::theta_down(rs, t)) return {lo, hi};
  return {180.0 - hi, 180.0 - lo};
}

void write_coordinates(const NetcdfRunFile& f, const RunState& rs) {
  const int nlev = ncl::nlevels(rs), nth = ncl::ntheta(rs), nphi = rs.cmisc.nphi;
  std::vector<double> depth, theta, tb, phi, pb, omega;
  for (int i = 0; i < nlev; ++i) depth.push_back(ncl::level_depth(rs, i));
  for (int t = 0; t < nth; ++t) {
    const double th = band_theta_deg(rs, ncl::theta_band(rs, t));
    theta.push_back(ncl::theta_down(rs, t) ? th : 180.0 - th);
    const auto [lo, hi] = theta_limits(rs, t);
    tb.insert(tb.end(), {lo, hi});
    for (int s = 1; s <= nphi; ++s) {
      // The cap's solid angle is that of the whole cap, shared by its azimuth rows.
      omega.push_back(rs.cgrid.omega(ncl::theta_band(rs, t)));
    }
  }
  for (int s = 1; s <= nphi; ++s) {
    phi.push_back(rs.cgridphi.phi(s) * rs.cmisc.raddeg);
    pb.insert(pb.end(), {rs.cgridphi.bndphi(s - 1) * rs.cmisc.raddeg, rs.cgridphi.bndphi(s) * rs.cmisc.raddeg});
  }
  std::vector<int> comp;
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) comp.push_back(k);
  put(f, "depth", depth);
  put(f, "theta", theta);
  put(f, "theta_bnds", tb);
  put(f, "phi", phi);
  put(f, "phi_bnds", pb);
  put(f, "solid_angle", omega);
  put(f, "component", comp);
  if (ncl::npairs(rs) > 0) {
    std::vector<double> kz, kb;
    for (int p = 1; p <= ncl::npairs(rs); ++p) {
      const int k = rs.sel.pkfcn[static_cast<std::size_t>(p - 1)];
      kz.push_back(rs.der.ckxcl.zmid[static_cast<std::size_t>(p - 1)]);
      kb.insert(kb.end(), {rs.cgrid.z(k), rs.cgrid.z(k + 1)});
    }
    put(f, "kdepth", kz);
    put(f, "kdepth_bnds", kb);
  }
  if (nlev > 2) {
    std::vector<double> lz, lb;
    for (int i = 1; i + 1 < nlev; ++i) {
      const double z1 = ncl::level_depth(rs, i), z2 = ncl::level_depth(rs, i + 1);
      lz.push_back(0.5 * (z1 + z2));
      lb.insert(lb.end(), {z1, z2});
    }
    put(f, "par_layer", lz);
    put(f, "par_layer_bnds", lb);
  }
}

}  // namespace

NetcdfRunFile::~NetcdfRunFile() {
  close();
}

int NetcdfRunFile::var(const std::string& name) const {
  auto it = vars_.find(name);
  if (it == vars_.end()) herr("wrtnetcdf", "NetCDF file " + path_ + " has no variable " + name);
  return it->second;
}

void NetcdfRunFile::create(const std::string& path, const RunState& rs) {
  if (is_open()) close();
  path_ = path;
  bands_ = 0;
  vars_.clear();
  nc_check(nc_create(util::native_path(path).c_str(), NC_CLOBBER | NC_NETCDF4, &ncid_), path, "creating the file");
  NetcdfDefiner d{*this, rs, {}};
  d.coordinates();
  d.variables();
  d.run_attributes();
  nc_check(nc_enddef(ncid_), path_, "leaving define mode");
  write_coordinates(*this, rs);
  nc_check(nc_sync(ncid_), path_, "synchronising");
}

void NetcdfRunFile::close() noexcept {
  if (ncid_ < 0) return;
  nc_close(ncid_);
  ncid_ = -1;
}

}  // namespace abyss
