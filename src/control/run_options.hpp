// Run options: choices that older run-input files do not carry and that do not
// change the physics of a run (the solution method, the number of threads, extra
// output formats). They follow record 32 as "name = value" lines, one option a
// line; a file without them runs with the defaults below.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace abyss {

struct RunOptions {
  // Solution of the Riccati equations: "exact" propagates each Fourier mode
  // across slabs of constant IOPs in closed form and combines them by adding;
  // "adams" integrates them with the variable-step Adams method (the reference).
  std::string solver = "exact";
  // The sun's direct beam: "exact" carries it along its refracted direction(s)
  // with its first scattering as a source (where the exact solver applies and
  // no inelastic or internal sources are on; elsewhere the beam stays in its
  // quad with a note); "quad" leaves it averaged over its quad of the sky (the
  // older treatment, which moves the beam to its quad's centre cosine).
  std::string sun_beam = "exact";
  // Relative tolerance of the Adams integration (0: the run default, 1e-4); its
  // absolute tolerance follows as 1e-3 of it. Tight values (1e-9) make the
  // reference against which the exact solver is checked.
  double relerr = 0.0;
  // The quad partition, "NMUxNPHI": it names the surface-operator and
  // phase-function sets the run reads (10x24: data/surfaces/Abyssolver/ and
  // data/phasefun/Abyssolver/; any other: the sets with "_NMUxNPHI" appended).
  // The default is 20 x 24: 5-degree polar bands keep forward-peaked light
  // where it goes, which 10-degree bands spread by a few per cent of the
  // irradiance at 10 m. 10 x 24 runs 2.5 to 6 times faster.
  std::string partition = "20x24";
  int threads = 0;      // worker threads; 0 = one per core of the machine
  bool netcdf = false;  // also write the run as a NetCDF file
  // The option lines as read, for the printout echo and self-describing outputs.
  std::vector<std::string> given;
};

// Reads the option lines that follow record 32 until the end of the input.
// Blank lines and text after "#" are ignored. An unknown name, a malformed line
// or a value out of range is a fatal error naming the option line.
RunOptions read_run_options(std::istream& in);

// The number of worker threads a `threads` value stands for: the value
// itself, or one per core of the machine for 0.
int worker_threads(int threads);

// Applies one "name = value" pair to `opts`; throws FatalError on a bad pair.
void set_run_option(RunOptions& opts, const std::string& name, const std::string& value);

// The name suffix of the data sets of a partition: "" for 10x24 (whose sets
// keep the folder names they had when it was the default), "_NMUxNPHI" otherwise.
std::string partition_suffix(const std::string& partition);

}  // namespace abyss
