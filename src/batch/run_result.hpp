// What the sweep keeps of one run: the look-up-table quantities by wavelength
// and depth, the run's status and its error message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace abyss {
struct RunState;
}

namespace abyss::batch {

enum class RunStatus { ok = 0, failed = 1, missing = 2 };
const char* status_name(RunStatus s);

struct RunResult {
  std::size_t index = 0;
  std::uint64_t input_hash = 0;
  RunStatus status = RunStatus::missing;
  std::string message;  // the ERROR / STOP lines of a failed run
  double seconds = 0.0;  // wall-clock time of the run

  std::vector<double> wavelength;  // band centres (nm)
  std::vector<double> depth;       // requested output depths
  std::vector<double> kd_depth;    // midpoint depths of the K-function pairs
  // By band: just above the surface.
  std::vector<double> ed_air, eu_air, eo_air, lw, rrs;
  // By band then depth (band-major): at the requested depths.
  std::vector<double> ed, eu, eo;
  std::vector<double> kd;  // by band then K-function pair
  // PAR from Eo in air and at the requested depths; NaN when not computed.
  double par_air = 0.0;
  std::vector<double> par;
};

// The quantities of a finished run. Values that do not exist (a band not
// solved, a ratio with a zero denominator) are NaN.
RunResult collect(const RunState& rs);

// One line of text that holds the result exactly (every double by its bit
// pattern, so NaN and the last bit survive) and its inverse.
std::string serialize(const RunResult& r);
RunResult deserialize(const std::string& line);

// Runs the engine in this thread on the run-input text, in its own output
// folder (removed afterwards unless `keep`); never throws for a failed run.
RunResult execute(std::size_t index, const std::string& input, std::uint64_t input_hash,
                  const std::string& folder, const std::string& data_dir, bool keep);

}  // namespace abyss::batch
