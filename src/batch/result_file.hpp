// The one result file of a sweep: NetCDF-4, every quantity by the sweep axes,
// wavelength and depth, with the status and message of every run.
#pragma once

#include <filesystem>
#include <map>

#include "batch/run_result.hpp"
#include "batch/sweep.hpp"

namespace abyss::batch {

// Writes the result file (to a temporary name, then renamed over `file`).
// Runs without a result are written with status "missing" and fill values.
// The coordinates of wavelength and depth come from the first successful run;
// a run whose wavelengths or depth counts differ from them is written as
// failed with a message saying so.
void write_result_file(const std::filesystem::path& file, const Sweep& sweep,
                       const std::map<std::size_t, RunResult>& results);

}  // namespace abyss::batch
