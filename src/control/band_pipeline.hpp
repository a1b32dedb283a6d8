// Independent bands solved at the same time. Worker threads each solve a band
// on their own copy of the run's records (the set-up and the band's records),
// writing its console and printout text to buffers; the main thread takes the
// solved bands in band order, writes each band's text, takes over its records
// and writes its analysis and outputs, so every output file, the printout and
// the console read exactly as in a run that solves one band after another.
#pragma once

#include <functional>
#include <vector>

namespace abyss {
struct RunState;

struct BandSteps {
  // The solve of band j (reads the set-up, writes the band's records); `prev`
  // is the band solved just before j in the band loop.
  std::function<void(RunState& rs, int j, int prev)> compute;
  // What follows the solve of band j, on the main thread, in band order.
  std::function<void(RunState& rs, int j)> finish;
};

// Bands solved at once for the run option `threads` (0 = one per core) when
// `nbands` bands are left: never more than there are bands.
int bands_in_flight(int threads, int nbands);
// Threads for the Fourier modes of each band when `inflight` bands share the
// run's `threads` (0 = one per core); at least one.
int mode_threads(int threads, int inflight);

// Solves `bands` (in band order) on `inflight` worker threads. `prev` is the
// band the run solved just before bands.front() (its records are in rs).
// An error of a band stops the run after that band's text is written: no
// later band's text or outputs are written, and every worker is joined
// before the error propagates.
void solve_bands_concurrently(RunState& rs, const std::vector<int>& bands, int prev, int inflight,
                              const BandSteps& steps);

}  // namespace abyss
