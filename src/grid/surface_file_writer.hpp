// Writing the sea-surface files: one file per index of refraction and wind
// speed holding the quad partition and the eight amplitude operators, plus
// the lists "windlist.txt" and "nlist.txt" that tell the loader which files
// exist.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "grid/surface_optics.hpp"

namespace abyss {

// "surfwind_" + index (thousandths, I4) + "." + wind (I1 below 10, I2 from 10 on).
std::string surface_file_name(int index_milli, int wind);

// Computes and writes the file of index n and wind speed `wind` (m/s).
void write_surface_file(std::ostream& os, const QuadPartition& part, int index_milli, int wind,
                        const RaySampling& rays = {});

struct SurfaceSetOptions {
  std::filesystem::path dir;
  QuadPartition part;
  std::vector<int> indices;  // thousandths, ascending
  std::vector<int> winds;    // m/s, ascending
  RaySampling rays;
  int threads = 1;
  // Regenerate only files that are missing or older than `reference` (when
  // it names an existing file, typically the generator itself).
  bool update_only = false;
  std::filesystem::path reference;
  // Write the lists and the level-surface files only; the wind-blown files are
  // computed by the first run that needs each one and kept in the set (the
  // marker file records the partition they are computed for).
  bool on_demand = false;
  // Wind-blown files of an on-demand set computed now all the same (index in
  // thousandths, wind in m/s): those the shipped runs need, so that their
  // first run does not wait for them.
  std::vector<std::pair<int, int>> computed_now;
};

// The marker of a set whose wind-blown files are made on first use: one line,
// "nmu nphi".
inline constexpr const char* kOnDemandMarker = "ondemand.txt";
void write_on_demand_marker(const std::filesystem::path& dir, const QuadPartition& part);
// The partition of an on-demand set, or none when `dir` is a complete set.
std::optional<QuadPartition> on_demand_partition(const std::filesystem::path& dir);

// Computes the file of index n and wind speed `wind` into `dir` (through a
// temporary of its own, renamed when complete); returns its path.
std::filesystem::path write_surface_file_to(const std::filesystem::path& dir, const QuadPartition& part,
                                            int index_milli, int wind, const RaySampling& rays = {});

// The default set: 1.325 to 1.370 in steps of 0.005 and winds 0 to 15 m/s.
std::vector<int> default_indices();
std::vector<int> default_winds();

// Writes the lists and every surface file of the set; returns the number of
// surface files written.
int generate_surface_set(const SurfaceSetOptions& opt);
void write_wind_list(const std::filesystem::path& file, const std::vector<int>& winds);
void write_index_list(const std::filesystem::path& file, const std::vector<int>& indices);

}  // namespace abyss
