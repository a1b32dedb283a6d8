#include "batch/sweep.hpp"

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace abyss::batch {
namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

std::string read_text(const fs::path& file, const char* what) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SweepError(fmt::format("cannot open the {} {}", what, file.string()));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path resolve(const fs::path& base, const std::string& p) { return fs::path(p).is_absolute() ? fs::path(p) : base / p; }

std::string format_value(const AxisValue& v) {
  if (const double* d = std::get_if<double>(&v)) return fmt::format("{}", *d);
  return std::get<std::string>(v);
}

long item_of(const RunInputText& t, int record, std::size_t item) {
  try {
    return std::lround(std::stod(t.value(record, 0, item)));
  } catch (const std::logic_error&) {
    throw SweepError(fmt::format("template record {} value {} is not a number", record, item + 1));
  }
}

std::vector<AxisValue> axis_values(const std::string& name, const Json& j, bool text) {
  std::vector<AxisValue> out;
  if (j.is_string() && !text) {
    for (double v : parse_range(j.get<std::string>())) out.emplace_back(v);
  } else if (j.is_array()) {
    for (const Json& e : j) {
      if (text && e.is_string()) out.emplace_back(e.get<std::string>());
      else if (!text && e.is_number()) out.emplace_back(e.get<double>());
      else throw SweepError(fmt::format("axis {}: {} is not a {}", name, e.dump(), text ? "file name" : "number"));
    }
  } else {
    throw SweepError(fmt::format("axis {}: give a list of values{}", name, text ? "" : " or \"start:step:stop\""));
  }
  if (out.empty()) throw SweepError(fmt::format("axis {} has no values", name));
  return out;
}

Axis parse_axis(const std::string& name, const Json& j, const RunInputText& tmpl) {
  Axis a;
  a.name = name;
  const Json* vals = &j;
  if (j.is_object()) {
    if (!j.contains("values")) throw SweepError(fmt::format("axis {}: the object needs \"values\"", name));
    vals = &j.at("values");
    for (const auto& [k, v] : j.items())
      if (k != "values" && k != "record" && k != "item" && k != "instance" && k != "units")
        throw SweepError(fmt::format("axis {}: unknown key \"{}\"", name, k));
  }
  if (j.is_object() && j.contains("record")) {
    a.binding.record = j.at("record").get<int>();
    a.binding.instance = j.value("instance", 1) - 1;
    a.binding.item = j.contains("item") ? j.at("item").get<int>() - 1 : -1;
    a.units = j.value("units", std::string());
    a.text = a.binding.item < 0;
    const RecordSpan& s = tmpl.span(a.binding.record, a.binding.instance);  // checks the record exists
    if (s.name != a.text)
      throw SweepError(fmt::format("axis {}: record {} is {}", name, a.binding.record,
                                   s.name ? "a name record: leave out \"item\"" : "a list of values: give \"item\""));
    if (!a.text) tmpl.value(a.binding.record, a.binding.instance, static_cast<std::size_t>(a.binding.item));
  } else {
    a.binding = named_binding(name, tmpl, a.units, a.text);
    if (j.is_object() && j.contains("units")) a.units = j.at("units").get<std::string>();
  }
  a.values = axis_values(name, *vals, a.text);
  return a;
}

void check_keys(const Json& j) {
  static const char* const known[] = {"template", "axes", "runs", "output", "journal", "work_dir", "data_dir",
                                      "keep_runs", "netcdf_per_run", "run_options"};
  for (const auto& [k, v] : j.items()) {
    bool ok = false;
    for (const char* n : known) ok = ok || k == n;
    if (!ok) throw SweepError(fmt::format("sweep file: unknown key \"{}\"", k));
  }
}

}  // namespace

std::uint64_t fnv1a(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::vector<double> parse_range(const std::string& text) {
  std::vector<double> p;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, ':');) {
    std::size_t used = 0;
    double v = 0.0;
    try {
      v = std::stod(part, &used);
    } catch (const std::logic_error&) {
      used = 0;
    }
    if (used == 0 || part.find_first_not_of(" \t", used) != std::string::npos)
      throw SweepError(fmt::format("range \"{}\": \"{}\" is not a number", text, part));
    p.push_back(v);
  }
  if (p.size() != 3) throw SweepError(fmt::format("range \"{}\": write it as start:step:stop", text));
  const double start = p[0], step = p[1], stop = p[2];
  if (!(step > 0.0) || stop < start) throw SweepError(fmt::format("range \"{}\": the step must be positive and stop >= start", text));
  // Each value is start + k*step (not a running sum), so that 0:0.1:1 gives 0.3
  // exactly as 3*0.1 and the stop is reached within rounding.
  const long n = static_cast<long>(std::floor((stop - start) / step + 1e-9)) + 1;
  if (n > 1000000) throw SweepError(fmt::format("range \"{}\" has more than a million values", text));
  std::vector<double> out;
  for (long k = 0; k < n; ++k) out.push_back(start + static_cast<double>(k) * step);
  return out;
}

Binding named_binding(const std::string& name, const RunInputText& t, std::string& units, bool& text) {
  text = false;
  if (name == "chl") {
    // The chlorophyll entry of record 7: the one record 5 names, or entry 2 as
    // in the Case 1 model. Only a constant concentration can be swept.
    long ichl = item_of(t, 5, 3);
    if (ichl <= 0) ichl = 2;
    if (ichl > t.occurrences(8)) throw SweepError(fmt::format("chl: the template has no concentration entry {}", ichl));
    const std::string opt = t.value(8, static_cast<int>(ichl - 1), 0);
    if (opt.find_first_not_of("0+-") != std::string::npos)
      throw SweepError(fmt::format("chl: concentration entry {} of the template is not constant (record 8 option {}); "
                                   "set it to 0 to sweep chlorophyll", ichl, t.value(8, static_cast<int>(ichl - 1), 0)));
    units = "mg m-3";
    return {7, 0, static_cast<int>(ichl - 1)};
  }
  if (name == "sun_zenith" || name == "sun_azimuth") {
    const long sky = item_of(t, 17, 0);
    if (sky != 1 && sky != 2)
      throw SweepError(fmt::format("{}: the template's sky (record 17 option {}) places the sun by date and time", name, sky));
    units = "degree";
    return {17, 0, name == "sun_zenith" ? 2 : 3};
  }
  if (name == "wind") {
    units = "m s-1";
    return {19, 0, 0};
  }
  if (name == "bottom_reflectance") {
    units = "1";
    return {20, 0, 1};
  }
  if (name == "bottom_depth" || name == "bottom_reflectance_file") {
    if (item_of(t, 20, 0) == 0)
      throw SweepError(fmt::format("{}: the template's water is infinitely deep (record 20 bottom type 0)", name));
    if (name == "bottom_reflectance_file") {
      text = true;
      return {29, 0, -1};
    }
    // The bottom lies at the deepest output depth of record 21.
    units = item_of(t, 21, 0) == 1 ? "1" : "m";
    return {21, 0, static_cast<int>(1 + item_of(t, 21, 1))};
  }
  throw SweepError(fmt::format("unknown axis \"{}\": known are chl, sun_zenith, sun_azimuth, wind, bottom_depth, "
                               "bottom_reflectance, bottom_reflectance_file, or give {{\"record\": n, \"item\": k, "
                               "\"values\": [...]}}", name));
}

void apply(RunInputText& in, const Axis& a, const AxisValue& v) {
  if (a.binding.item < 0) in.set_name(a.binding.record, a.binding.instance, format_value(v));
  else in.set_value(a.binding.record, a.binding.instance, static_cast<std::size_t>(a.binding.item), format_value(v));
}

std::size_t Sweep::size() const {
  std::size_t n = 1;
  for (const Axis& a : axes) n *= a.values.size();
  return n;
}

std::vector<std::size_t> Sweep::shape() const {
  std::vector<std::size_t> s;
  for (const Axis& a : axes) s.push_back(a.values.size());
  return s;
}

Sweep parse_sweep(const std::string& json, const fs::path& base_dir) {
  Json j;
  try {
    j = Json::parse(json);
  } catch (const nlohmann::json::exception& e) {
    throw SweepError(std::string("sweep file: ") + e.what());
  }
  if (!j.is_object()) throw SweepError("sweep file: the top level must be an object");
  check_keys(j);
  Sweep s;
  s.base_dir = base_dir;
  try {
    if (j.contains("runs") == j.contains("template"))
      throw SweepError("sweep file: give either \"template\" with \"axes\" or \"runs\", a list of run-input files");
    if (j.contains("runs")) {
      Axis a;
      a.name = "run";
      a.text = a.run_files = true;
      a.values = axis_values("runs", j.at("runs"), true);
      s.axes.push_back(a);
    } else {
      s.template_name = j.at("template").get<std::string>();
      s.template_text = read_text(resolve(base_dir, s.template_name), "template run-input file");
      const RunInputText tmpl(s.template_text);
      if (!j.contains("axes") || !j.at("axes").is_object() || j.at("axes").empty())
        throw SweepError("sweep file: \"axes\" must be an object of at least one axis");
      for (const auto& [name, v] : j.at("axes").items()) s.axes.push_back(parse_axis(name, v, tmpl));
    }
    // Outputs are relative to the working directory, inputs to the sweep file.
    const fs::path out = j.value("output", std::string("lut.nc"));
    s.output = out;
    s.journal = j.contains("journal") ? fs::path(j.at("journal").get<std::string>()) : fs::path(out.string() + ".journal");
    s.work_dir = j.contains("work_dir") ? fs::path(j.at("work_dir").get<std::string>())
                                        : out.parent_path() / (out.stem().string() + "_runs");
    if (j.contains("data_dir")) s.data_dir = resolve(base_dir, j.at("data_dir").get<std::string>());
    s.keep_runs = j.value("keep_runs", false);
    s.netcdf_per_run = j.value("netcdf_per_run", false);
    if (j.contains("run_options")) s.run_options = j.at("run_options").get<std::vector<std::string>>();
  } catch (const nlohmann::json::exception& e) {
    throw SweepError(std::string("sweep file: ") + e.what());
  }
  return s;
}

Sweep read_sweep(const fs::path& file) {
  return parse_sweep(read_text(file, "sweep file"), file.has_parent_path() ? file.parent_path() : fs::path("."));
}

RunSpec expand_one(const Sweep& s, std::size_t index) {
  RunSpec r;
  r.index = index;
  r.at.assign(s.axes.size(), 0);
  std::size_t rest = index;
  for (std::size_t a = s.axes.size(); a-- > 0;) {
    r.at[a] = rest % s.axes[a].values.size();
    rest /= s.axes[a].values.size();
  }
  const bool files = !s.axes.empty() && s.axes[0].run_files;
  // One thread per run: the runs themselves are the parallel work.
  std::vector<std::string> opts{"threads = 1"};
  if (s.netcdf_per_run) opts.push_back("netcdf = yes");
  opts.insert(opts.end(), s.run_options.begin(), s.run_options.end());
  if (!files) {
    RunInputText text(s.template_text);
    for (std::size_t a = 0; a < s.axes.size(); ++a) apply(text, s.axes[a], s.axes[a].values[r.at[a]]);
    r.input = text.with_options(opts);
  } else {
    // A listed file that cannot be read or extended is that run's failure,
    // not the sweep's.
    const std::string& name = std::get<std::string>(s.axes[0].values[r.at[0]]);
    try {
      r.input = RunInputText(read_text(resolve(s.base_dir, name), "run-input file")).with_options(opts);
    } catch (const SweepError& e) {
      r.error = e.what();
      r.input = name;
    }
  }
  r.input_hash = fnv1a(r.input);
  return r;
}

std::vector<RunSpec> expand(const Sweep& s) {
  std::vector<RunSpec> out;
  out.reserve(s.size());
  for (std::size_t k = 0; k < s.size(); ++k) out.push_back(expand_one(s, k));
  return out;
}

}  // namespace abyss::batch
