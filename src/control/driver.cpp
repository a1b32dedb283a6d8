// Program sequence: start-up, band loop, whole-spectrum quantities, shut-down.
#include "control/driver.hpp"

#include <filesystem>
#include <sstream>
#include <utility>

#include "control/band_pipeline.hpp"
#include "control/errors.hpp"
#include "control/initial.hpp"
#include "control/run_state.hpp"
#include "derived/analysis.hpp"
#include "grid/surface.hpp"
#include "output/open_output.hpp"
#include "output/netcdf_run.hpp"
#include "output/writers.hpp"
#include "solver/radamps.hpp"
#include "sources/sources.hpp"
#include "util/fortran_format.hpp"
#include "util/names.hpp"

namespace abyss {

std::vector<int> solved_bands(int nwave, int nwskip) {
  std::vector<int> bands;
  int step = nwskip < 1 ? 1 : nwskip;
  for (int j = 1; j <= nwave; j += step) bands.push_back(j);
  if (!bands.empty() && bands.back() != nwave) bands.push_back(nwave);
  return bands;
}

void fillwave(RunState& rs) {
  BandStore& st = rs.der.ceospl;
  const int nwave = rs.cmisc.nwave;
  for (int j = 2; j <= nwave - 1; j += rs.cmisc.nwskip) {
    for (int iz : rs.sel.pirrad) st.lneo_sum(iz, j) = 0.5 * (st.lneo_sum(iz, j - 1) + st.lneo_sum(iz, j + 1));
  }
}

bool covers_visible(const RunState& rs) {
  return rs.cwave.waveb(1) <= 400.0 && rs.cwave.waveb(rs.cmisc.nwave + 1) >= 700.0;
}

namespace {

void band_header(RunState& rs, int j) {
  const int nwave = rs.cmisc.nwave;
  rs.con() << "  Now beginning wavelength " << ff::I(j, 3) << " of " << ff::I(nwave, 3) << " at nominal wavelength "
           << ff::F(rs.cwave.wave(j), 6, 1) << " nm\n";
  rs.pr() << "\n\n  * * * * * Output for wavelength band" << ff::I(j, 3) << " (" << ff::F(rs.cwave.waveb(j), 5, 1)
          << " to " << ff::F(rs.cwave.waveb(j + 1), 5, 1) << " nm; nominal wavelength =" << ff::F(rs.cwave.wave(j), 6, 1)
          << " nm)  * * * * *\n";
}

// The solve of band j: everything up to the band's amplitudes.
void compute_band(RunState& rs, int j) {
  rs.cmisc.wavenm = rs.cwave.wave(j);
  rs.cmisc.jwave = j;
  band_header(rs, j);
  if (rs.cmisc.nsource > 0) bind_sources(rs, j);
  radamps(rs);
  if (rs.cmisc.nsource > 0) inelastic_share(rs);
}

// The surface loader reloads the sea-surface operators only when the index
// of refraction differs from the previous band's (and says so then). A
// worker's records may come from another band than the one before j: they
// are first brought to that band, with its text discarded (the band wrote it).
class Discarded {
 public:
  explicit Discarded(RunState& r) : rs(r), con(std::exchange(r.console, &sink)), pr(std::exchange(r.printout_sink, &sink)) {}
  Discarded(const Discarded&) = delete;
  Discarded& operator=(const Discarded&) = delete;
  ~Discarded() {
    rs.console = con;
    rs.printout_sink = pr;
  }

 private:
  RunState& rs;
  std::ostringstream sink;
  std::ostream* con;
  std::ostream* pr;
};

void follow_band(RunState& rs, int prev) {
  if (rs.cmisc.jwave == prev) return;
  Discarded quiet{rs};
  rs.cmisc.wavenm = rs.cwave.wave(prev);
  rs.cmisc.jwave = prev;
  loadsurface(rs, rs.cmisc.windspd, rs.cmisc.wavenm);
}

// Analysis and outputs of band j, after its solve.
void finish_band(RunState& rs, int j) {
  radanal(rs);
  if (rs.src.inelastic()) store_excitation(rs, j);
  date_stamp(rs, rs.pr(), 3, j, rs.cmisc.nwave);
}

void solve_band(RunState& rs, int j) {
  compute_band(rs, j);
  finish_band(rs, j);
}

// Bands are independent unless internal sources couple them (inelastic
// sources) or keep per-band results in the source records: then one after
// another. Otherwise the first band is solved alone (the models' first-use
// reads and descriptions belong to it) and the rest `threads` at a time.
void band_loop(RunState& rs) {
  const std::vector<int> bands = solved_bands(rs.cmisc.nwave, rs.cmisc.nwskip);
  const int inflight = bands_in_flight(rs.opts.threads, static_cast<int>(bands.size()) - 1);
  if (rs.cmisc.nsource > 0 || inflight < 2) {
    for (int j : bands) solve_band(rs, j);
    return;
  }
  solve_band(rs, bands.front());
  const BandSteps steps{[](RunState& w, int j, int prev) {
                          follow_band(w, prev);
                          compute_band(w, j);
                        },
                        finish_band};
  solve_bands_concurrently(rs, {bands.begin() + 1, bands.end()}, bands.front(), inflight, steps);
}

}  // namespace

void abyssolver(RunState& rs) {
  cpright(rs.con());
  rs.con() << "ABYSSOLVER IS RUNNING, PLEASE WAIT...\n"
           << "    (To stop the run before normal termination,\n"
           << "    kill this command window.  Output will be lost)\n";
  initial(rs);
  if (rs.src.inelastic()) wrfdisc(rs);
  if (rs.cmisc.nsource > 0) sources_start(rs);
  date_stamp(rs, rs.pr(), 2);
  if (rs.cmisc.nwskip != 1) rs.pr() << "\n  Alternating wavelengths solved, nwskip = " << ff::I(rs.cmisc.nwskip, 2) << "\n\n";
  band_loop(rs);
  if (rs.cmisc.nwskip > 1) fillwave(rs);
  par(rs);
  if (covers_visible(rs)) {
    ciexyy(rs);
    secchi(rs);
  }
  if (rs.cmisc.i4 != 0) wrtxcelm(rs);
  if (rs.opts.netcdf) wrtnetcdf_summary(rs);
  date_stamp(rs, rs.pr(), 1);
  flush_output(rs.printout, rs.out.printout_name, "abyssolver");
  closeall(rs);
  rs.con() << "Run is complete.\nYou may now close this window.\n";
}

int run_abyssolver(RunState& rs) {
  std::string routine, message;
  try {
    abyssolver(rs);
    return 0;
  } catch (const FatalError& e) {
    routine = e.routine();
    message = e.message();
  } catch (const std::exception& e) {
    // Anything that is not a reported fatal error is a fault of the engine
    // itself; it still ends the run through the common exit.
    routine = "abyssolver";
    message = std::string("internal error: ") + e.what();
  }
  const std::string lines = "\n  ERROR: " + util::rtrim(message) + "\n  STOP in routine " + util::rtrim(routine) + "\n";
  if (rs.printout.is_open()) rs.printout << lines;
  rs.con() << lines;
  rs.con().flush();
  closeall(rs);
  return 1;
}

std::ifstream ioshorten(const std::string& filename, const std::string& callname) {
  std::string name = util::native_path(util::rtrim(filename));
  std::error_code ec;
  if (name.empty() || !std::filesystem::is_regular_file(name, ec)) nofile(callname, filename);
  std::ifstream in(name);
  if (!in) nofile(callname, filename);
  return in;
}

void closeall(RunState& rs) {
  close_outputs(rs);
  if (rs.printout.is_open()) rs.printout.close();
}

}  // namespace abyss
