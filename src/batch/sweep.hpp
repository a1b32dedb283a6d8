// A sweep: a template run-input file and named parameter axes bound to its
// fields, or an explicit list of run-input files. Every combination of axis
// values is one run; run k varies the last axis fastest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "batch/run_input_text.hpp"

namespace abyss::batch {

using AxisValue = std::variant<double, std::string>;

// Where an axis writes its value in the run input: value `item` (0-based) of
// the `instance`-th occurrence of a numeric record, or a whole name record
// (item < 0).
struct Binding {
  int record = 0;
  int instance = 0;
  int item = -1;
};

struct Axis {
  std::string name;
  std::string units;  // for the result file; empty when not known
  std::vector<AxisValue> values;
  bool text = false;  // values are names (files), not numbers
  // Set for the fields the batch program knows by name; a generic axis gives
  // its record and item in the sweep file.
  Binding binding;
  bool run_files = false;  // the axis of an explicit list of run-input files
};

struct Sweep {
  std::filesystem::path base_dir;  // folder of the sweep file: relative input paths start here;
                                   // relative output paths start in the working directory
  std::string template_name;
  std::string template_text;
  std::vector<Axis> axes;
  std::filesystem::path output;    // the result file
  std::filesystem::path journal;   // finished runs, for a restart
  std::filesystem::path work_dir;  // one folder per run under it
  std::filesystem::path data_dir;  // empty: the engine's default ../data/
  bool keep_runs = false;          // keep every run's output folder
  bool netcdf_per_run = false;     // every run also writes its own NetCDF file (kept)
  std::vector<std::string> run_options;  // further "name = value" lines for every run

  std::size_t size() const;
  std::vector<std::size_t> shape() const;
};

struct RunSpec {
  std::size_t index = 0;         // position in the sweep, last axis fastest
  std::vector<std::size_t> at;   // index along each axis
  std::string input;             // the run-input text with its run options
  std::uint64_t input_hash = 0;  // identifies the run in the journal
  std::string error;             // set when the run cannot even be started
};

// Reads a JSON sweep description; every defect is a SweepError naming it.
Sweep read_sweep(const std::filesystem::path& file);
Sweep parse_sweep(const std::string& json, const std::filesystem::path& base_dir);

// Values of "start:step:stop" (stop included when it falls on a step).
std::vector<double> parse_range(const std::string& text);

// Writes one axis value into the run input.
void apply(RunInputText& in, const Axis& axis, const AxisValue& v);
// The binding of a field the batch program knows by name (chl, sun_zenith,
// sun_azimuth, wind, bottom_depth, bottom_reflectance, bottom_reflectance_file),
// checked against the template. Throws SweepError for an unknown name.
Binding named_binding(const std::string& name, const RunInputText& tmpl, std::string& units, bool& text);

// Every run of the sweep in order, with its run-input text.
std::vector<RunSpec> expand(const Sweep& sweep);
RunSpec expand_one(const Sweep& sweep, std::size_t index);

// 64-bit FNV-1a of a text (journal checksums and run identities).
std::uint64_t fnv1a(const std::string& text);

}  // namespace abyss::batch
