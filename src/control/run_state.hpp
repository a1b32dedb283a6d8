// The run state: every record of one run, owned by the program entry and
// passed by reference. Nothing of a run lives outside this object, so a test
// can make as many runs as it likes in one process.
#pragma once

#include <array>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "bottom/bottom_state.hpp"
#include "control/clock.hpp"
#include "control/dynz_state.hpp"
#include "control/limits.hpp"
#include "control/misc_state.hpp"
#include "control/once_notes.hpp"
#include "control/run_options.hpp"
#include "derived/derived_state.hpp"
#include "grid/grid_state.hpp"
#include "iop/iop_state.hpp"
#include "output/output_state.hpp"
#include "phase/dpf_state.hpp"
#include "phase/phase_state.hpp"
#include "sky/radtranx_state.hpp"
#include "sky/sky_state.hpp"
#include "solver/solver_state.hpp"
#include "sources/sources_state.hpp"

namespace abyss {

// Record cdirnames: the seven default directories, each ending with "/".
struct DirNames {
  std::string data, digital, excel, phasefun, surfaces, botmrefl, printout;
};

// Where a caller that makes many runs in one process puts them: the working
// directory is shared by every thread, so the default directories (relative
// to it) cannot tell the runs apart. Empty = the default, ending with "/" else.
struct DirRoots {
  std::string data;    // in place of "../data/"
  std::string output;  // in place of "../output/Abyssolver/"
};

// The records of a run: its set-up and everything the solve of a band reads
// or writes. A band solved on a worker thread works on its own copy of them
// (see band_pipeline.hpp); what stays with the run alone (the whole-spectrum
// store, the open output files, the units and the clock) is in RunState.
struct RunRecords {
  Misc cmisc;
  RunOptions opts;  // run options after record 32 (solver, threads, extra outputs)
  WaveGrid cwave;
  std::string ctitle;
  DirNames cdirnames;
  DirRoots roots;  // set before the run; setdflts builds cdirnames from them
  FileNames files;                                 // data files of the run input, by role
  std::string gcifname;                            // clear-sky database file
  PrintSelections sel;

  Grid cgrid;
  GridPhi cgridphi;
  SurfaceOps surf;
  SurfaceLoader surfload;
  ZetaTable cztozeta;
  DynDepth cdynz;

  ModelOpts cmodelopts;
  ComponentOpts comp;
  RangeWarnings crangew;
  IopFlags iopflags;

  IopTable ciop;
  PhaseArrays pf;
  DpfLibrary dpflib;  // phase-function library chosen from by bb/b

  Sky csky;
  ClearSkyInput cgcirr1;
  SkyRadiance sky;
  RadtranxState rtx;  // clear-sky irradiance model

  SourceState src;
  BottomState bot;
  SolverState sol;
};

struct RunState : RunRecords {
  DerivedState der;
  OutputState out;

  // Units: the printout (unit 10) and the console. Tests point `console` at a
  // string stream; the printout is opened by initial. A band solved on a
  // worker thread writes its printout text to `printout_sink` instead, and
  // the main thread copies it into the printout in band order.
  std::ofstream printout;
  std::ostream* console = &std::cout;
  std::ostream* printout_sink = nullptr;
  std::vector<KeptNote>* kept_notes = nullptr;  // notes written once per run, kept by a worker's band
  std::istream* input = &std::cin;

  Clock clock = system_clock_now;  // wall-clock source of the time stamps
  StampState stamps;

  std::ostream& pr() { return printout_sink != nullptr ? *printout_sink : printout; }
  // True once the printout can take text (a warning written before it is opened goes to the console only).
  bool printout_ready() const { return printout_sink != nullptr || printout.is_open(); }
  std::ostream& con() { return *console; }
};

// Closes every file the run holds open (the printout last, so that the error
// lines written just before reach it).
void closeall(RunState& rs);

}  // namespace abyss
