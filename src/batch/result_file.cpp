#include "batch/result_file.hpp"

#include <fmt/format.h>
#include <netcdf.h>

#include <cmath>
#include <limits>

namespace abyss::batch {
namespace {

constexpr double kFill = std::numeric_limits<double>::quiet_NaN();

void check(int status, const char* what) {
  if (status != NC_NOERR) throw SweepError(fmt::format("result file: {}: {}", what, nc_strerror(status)));
}

// An open NetCDF file that is closed on every path out.
class NcFile {
 public:
  explicit NcFile(const std::filesystem::path& p) {
    check(nc_create(p.c_str(), NC_NETCDF4 | NC_CLOBBER, &id_), "create");
  }
  ~NcFile() {
    if (id_ >= 0) nc_close(id_);
  }
  void close() {
    const int id = id_;
    id_ = -1;
    check(nc_close(id), "close");
  }
  int id() const { return id_; }

 private:
  int id_ = -1;
};

void text_att(int nc, int var, const char* name, const std::string& v) {
  check(nc_put_att_text(nc, var, name, v.size(), v.c_str()), name);
}

int def_dim(int nc, const std::string& name, std::size_t n) {
  int d = 0;
  check(nc_def_dim(nc, name.c_str(), n, &d), "define dimension");
  return d;
}

int def_var(int nc, const std::string& name, nc_type type, const std::vector<int>& dims, const std::string& units,
            const std::string& long_name) {
  int v = 0;
  check(nc_def_var(nc, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &v), "define variable");
  if (type == NC_DOUBLE) check(nc_def_var_fill(nc, v, 0, &kFill), "fill value");
  if (!units.empty()) text_att(nc, v, "units", units);
  text_att(nc, v, "long_name", long_name);
  return v;
}

// Where the runs' arrays go: one slab per run of every quantity.
struct Layout {
  std::size_t nwave = 0, ndepth = 0, npair = 0;
  std::vector<double> wavelength, depth, kd_depth;
  bool depth_varies = false;  // runs differ in their output depths (a bottom_depth axis)
};

bool same_shape(const RunResult& r, const Layout& l) {
  return r.wavelength == l.wavelength && r.depth.size() == l.ndepth && r.kd_depth.size() == l.npair &&
         r.ed.size() == l.nwave * l.ndepth && r.kd.size() == l.nwave * l.npair;
}

Layout layout_of(const std::map<std::size_t, RunResult>& results) {
  Layout l;
  for (const auto& [k, r] : results) {
    if (r.status != RunStatus::ok) continue;
    if (l.wavelength.empty()) {
      l.wavelength = r.wavelength;
      l.depth = r.depth;
      l.kd_depth = r.kd_depth;
      l.nwave = r.wavelength.size();
      l.ndepth = r.depth.size();
      l.npair = r.kd_depth.size();
    } else if (same_shape(r, l) && (r.depth != l.depth || r.kd_depth != l.kd_depth)) {
      l.depth_varies = true;
    }
  }
  return l;
}

struct Vars {
  int status, message, ed_air, eu_air, eo_air, lw, rrs, ed, eu, eo, kd, par_air, par, run_depth = -1, run_kd_depth = -1;
};

void put_slab(int nc, int var, const std::vector<std::size_t>& at, const std::vector<std::size_t>& tail,
              const std::vector<double>& v) {
  std::vector<std::size_t> start(at), count(at.size(), 1);
  for (std::size_t n : tail) {
    start.push_back(0);
    count.push_back(n);
  }
  check(nc_put_vara_double(nc, var, start.data(), count.data(), v.data()), "write values");
}

void put_axis(int nc, int var, const Axis& a) {
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const std::size_t idx[1] = {i};
    if (a.text) {
      const char* s = std::get<std::string>(a.values[i]).c_str();
      check(nc_put_var1_string(nc, var, idx, &s), "write axis");
    } else {
      const double d = std::get<double>(a.values[i]);
      check(nc_put_var1_double(nc, var, idx, &d), "write axis");
    }
  }
}

}  // namespace

void write_result_file(const std::filesystem::path& file, const Sweep& sweep,
                       const std::map<std::size_t, RunResult>& results) {
  const Layout l = layout_of(results);
  const std::filesystem::path tmp = file.string() + ".tmp";
  NcFile f(tmp);
  const int nc = f.id();
  text_att(nc, NC_GLOBAL, "title", "Abyssolver look-up table");
  text_att(nc, NC_GLOBAL, "source", "abyssolver-batch");
  if (!sweep.template_name.empty()) text_att(nc, NC_GLOBAL, "template", sweep.template_name);
  text_att(nc, NC_GLOBAL, "run_order", "row-major over the sweep axes, the last axis fastest");

  std::vector<int> adims, avars;
  for (const Axis& a : sweep.axes) {
    const int d = def_dim(nc, a.name, a.values.size());
    adims.push_back(d);
    const int v = def_var(nc, a.name, a.text ? NC_STRING : NC_DOUBLE, {d}, a.units,
                          a.run_files ? "run-input file" : "sweep axis " + a.name);
    if (!a.run_files && a.binding.record > 0)
      text_att(nc, v, "run_input_field",
               a.binding.item < 0 ? fmt::format("record {}", a.binding.record)
                                  : fmt::format("record {} instance {} value {}", a.binding.record,
                                                a.binding.instance + 1, a.binding.item + 1));
    avars.push_back(v);
  }
  const int dw = def_dim(nc, "wavelength", l.nwave), dz = def_dim(nc, "depth", l.ndepth),
            dk = def_dim(nc, "kd_depth", l.npair);
  const int vw = def_var(nc, "wavelength", NC_DOUBLE, {dw}, "nm", "band centre wavelength");
  const int vz = def_var(nc, "depth", NC_DOUBLE, {dz}, "m", "output depth below the surface");
  const int vk = def_var(nc, "kd_depth", NC_DOUBLE, {dk}, "m", "midpoint depth of the K-function depth pair");
  auto with = [&](std::vector<int> tail) {
    std::vector<int> d(adims);
    d.insert(d.end(), tail.begin(), tail.end());
    return d;
  };
  Vars v{};
  v.status = def_var(nc, "status", NC_BYTE, adims, "", "run status");
  {
    const signed char flags[3] = {0, 1, 2};
    check(nc_put_att_schar(nc, v.status, "flag_values", NC_BYTE, 3, flags), "flag_values");
    text_att(nc, v.status, "flag_meanings", "ok failed missing");
  }
  v.message = def_var(nc, "message", NC_STRING, adims, "", "ERROR and STOP lines of a failed run");
  const std::string irr = "W m-2 nm-1", rad = "W m-2 sr-1 nm-1";
  v.ed_air = def_var(nc, "Ed_air", NC_DOUBLE, with({dw}), irr, "downward plane irradiance just above the surface");
  v.eu_air = def_var(nc, "Eu_air", NC_DOUBLE, with({dw}), irr, "upward plane irradiance just above the surface");
  v.eo_air = def_var(nc, "Eo_air", NC_DOUBLE, with({dw}), irr, "scalar irradiance just above the surface");
  v.lw = def_var(nc, "Lw", NC_DOUBLE, with({dw}), rad, "water-leaving radiance (nadir-viewing)");
  v.rrs = def_var(nc, "Rrs", NC_DOUBLE, with({dw}), "sr-1", "remote-sensing reflectance Lw/Ed in air");
  v.ed = def_var(nc, "Ed", NC_DOUBLE, with({dw, dz}), irr, "downward plane irradiance");
  v.eu = def_var(nc, "Eu", NC_DOUBLE, with({dw, dz}), irr, "upward plane irradiance");
  v.eo = def_var(nc, "Eo", NC_DOUBLE, with({dw, dz}), irr, "scalar irradiance");
  v.kd = def_var(nc, "Kd", NC_DOUBLE, with({dw, dk}), "m-1", "diffuse attenuation coefficient of Ed");
  v.par_air = def_var(nc, "PAR_air", NC_DOUBLE, adims, "umol photons m-2 s-1", "PAR from Eo just above the surface");
  v.par = def_var(nc, "PAR", NC_DOUBLE, with({dz}), "umol photons m-2 s-1", "PAR from Eo");
  if (l.depth_varies) {
    v.run_depth = def_var(nc, "run_depth", NC_DOUBLE, with({dz}), "m", "output depths of each run");
    v.run_kd_depth = def_var(nc, "run_kd_depth", NC_DOUBLE, with({dk}), "m", "K-function pair midpoints of each run");
    text_att(nc, vz, "comment", "the depths of the first successful run; see run_depth for each run's own");
  }
  check(nc_enddef(nc), "end of definitions");

  for (std::size_t a = 0; a < sweep.axes.size(); ++a) put_axis(nc, avars[a], sweep.axes[a]);
  if (l.nwave) check(nc_put_var_double(nc, vw, l.wavelength.data()), "write wavelength");
  if (l.ndepth) check(nc_put_var_double(nc, vz, l.depth.data()), "write depth");
  if (l.npair) check(nc_put_var_double(nc, vk, l.kd_depth.data()), "write kd_depth");

  const std::vector<std::size_t> shape = sweep.shape();
  for (std::size_t k = 0; k < sweep.size(); ++k) {
    std::vector<std::size_t> at(shape.size());
    for (std::size_t a = shape.size(), rest = k; a-- > 0; rest /= shape[a]) at[a] = rest % shape[a];
    const auto it = results.find(k);
    RunStatus st = it == results.end() ? RunStatus::missing : it->second.status;
    std::string msg = it == results.end() ? std::string("no result: the run did not finish") : it->second.message;
    if (st == RunStatus::ok && !same_shape(it->second, l)) {
      st = RunStatus::failed;
      msg = "its wavelengths or number of depths differ from those of the other runs";
    }
    const signed char s = static_cast<signed char>(st);
    check(nc_put_var1_schar(nc, v.status, at.data(), &s), "write status");
    const char* m = msg.c_str();
    check(nc_put_var1_string(nc, v.message, at.data(), &m), "write message");
    if (st != RunStatus::ok) continue;
    const RunResult& r = it->second;
    put_slab(nc, v.ed_air, at, {l.nwave}, r.ed_air);
    put_slab(nc, v.eu_air, at, {l.nwave}, r.eu_air);
    put_slab(nc, v.eo_air, at, {l.nwave}, r.eo_air);
    put_slab(nc, v.lw, at, {l.nwave}, r.lw);
    put_slab(nc, v.rrs, at, {l.nwave}, r.rrs);
    put_slab(nc, v.ed, at, {l.nwave, l.ndepth}, r.ed);
    put_slab(nc, v.eu, at, {l.nwave, l.ndepth}, r.eu);
    put_slab(nc, v.eo, at, {l.nwave, l.ndepth}, r.eo);
    put_slab(nc, v.kd, at, {l.nwave, l.npair}, r.kd);
    put_slab(nc, v.par_air, at, {}, {r.par_air});
    put_slab(nc, v.par, at, {l.ndepth}, r.par);
    if (l.depth_varies) {
      put_slab(nc, v.run_depth, at, {l.ndepth}, r.depth);
      put_slab(nc, v.run_kd_depth, at, {l.npair}, r.kd_depth);
    }
  }
  f.close();
  std::error_code ec;
  std::filesystem::rename(tmp, file, ec);
  if (ec) throw SweepError(fmt::format("cannot rename {} to {}: {}", tmp.string(), file.string(), ec.message()));
}

}  // namespace abyss::batch
