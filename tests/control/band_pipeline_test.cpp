// Bands solved at the same time: the text and the outputs come out in band
// order and are the same, byte for byte, whatever the number of threads; an
// error in one band stops the run after that band's text, without a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control/band_pipeline.hpp"
#include "control/driver.hpp"
#include "control/errors.hpp"
#include "control/once_notes.hpp"
#include "control/run_state.hpp"
#include "support/run_input.hpp"

using namespace abyss;
using abyss::testing::read_file;
using abyss::testing::ScratchRun;

namespace {

// ---------------------------------------------------------------------------
// The pipeline on made-up bands

// A run whose bands write their number into a record and their text, out of
// order in time (later bands finish first), and whose finish step logs what
// it finds in the run.
struct ToyRun {
  RunState rs;
  std::ostringstream con, pr;
  std::vector<std::string> log;
  int failing = -1;          // band whose solve fails
  int failing_finish = -1;   // band whose finish step fails
  ToyRun() {
    rs.console = &con;
    rs.printout_sink = &pr;
    rs.cmisc.jwave = 1;
  }
  BandSteps steps() {
    return {[this](RunState& w, int j, int prev) {
              std::this_thread::sleep_for(std::chrono::milliseconds(3 * (10 - j)));
              w.con() << "solve " << j << " after " << prev << "\n";
              w.pr() << "band " << j << "\n";
              if (j == failing) herr("toyband", "band " + std::to_string(j) + " failed");
              w.cmisc.jwave = j;
              w.cmisc.wavenm = 100.0 * j;
            },
            [this](RunState& r, int j) {
              if (j == failing_finish) herr("toyfinish", "finish failed");
              log.push_back(std::to_string(j) + ":" + std::to_string(r.cmisc.jwave) + ":" +
                            std::to_string(static_cast<int>(r.cmisc.wavenm)));
              r.pr() << "finished " << j << "\n";
            }};
  }
};

std::string toy_printout(int first, int last) {
  std::string s;
  for (int j = first; j <= last; ++j) s += "band " + std::to_string(j) + "\nfinished " + std::to_string(j) + "\n";
  return s;
}

}  // namespace

TEST(BandPipeline, BandsInFlightAndModeThreads) {
  EXPECT_EQ(bands_in_flight(2, 59), 2);
  EXPECT_EQ(bands_in_flight(8, 3), 3);  // never more than there are bands
  EXPECT_EQ(bands_in_flight(1, 59), 1);
  EXPECT_EQ(bands_in_flight(4, 0), 1);
  EXPECT_GE(bands_in_flight(0, 1000), 1);  // one per core
  EXPECT_EQ(mode_threads(2, 2), 1);
  EXPECT_EQ(mode_threads(8, 3), 2);
  EXPECT_EQ(mode_threads(3, 3), 1);
  EXPECT_EQ(mode_threads(1, 1), 1);
}

TEST(BandPipeline, TextAndRecordsInBandOrder) {
  for (int inflight : {1, 2, 3, 5}) {
    ToyRun t;
    solve_bands_concurrently(t.rs, {2, 3, 4, 5, 6, 7}, 1, inflight, t.steps());
    EXPECT_EQ(t.pr.str(), toy_printout(2, 7)) << inflight;
    EXPECT_EQ(t.con.str(), "solve 2 after 1\nsolve 3 after 2\nsolve 4 after 3\nsolve 5 after 4\nsolve 6 after 5\n"
                           "solve 7 after 6\n");
    // The finish step of band j sees band j's records.
    EXPECT_EQ(t.log, (std::vector<std::string>{"2:2:200", "3:3:300", "4:4:400", "5:5:500", "6:6:600", "7:7:700"}));
    EXPECT_EQ(t.rs.printout_sink, &t.pr);  // the run keeps its own units
  }
}

TEST(BandPipeline, ErrorInABandStopsAfterItsText) {
  for (int inflight : {2, 3}) {
    ToyRun t;
    t.failing = 4;
    try {
      solve_bands_concurrently(t.rs, {2, 3, 4, 5, 6, 7}, 1, inflight, t.steps());
      FAIL() << "no error";
    } catch (const FatalError& e) {
      EXPECT_EQ(e.routine(), "toyband");
      EXPECT_EQ(e.message(), "band 4 failed");
    }
    // Band 4's text up to the error, nothing of the bands after it.
    EXPECT_EQ(t.pr.str(), toy_printout(2, 3) + "band 4\n");
    EXPECT_EQ(t.con.str(), "solve 2 after 1\nsolve 3 after 2\nsolve 4 after 3\n");
    EXPECT_EQ(t.log.size(), 2u);
  }
}

TEST(BandPipeline, ErrorInTheOutputOfABandStopsTheWorkers) {
  ToyRun t;
  t.failing_finish = 3;
  EXPECT_THROW(solve_bands_concurrently(t.rs, {2, 3, 4, 5, 6, 7, 8, 9}, 1, 3, t.steps()), FatalError);
  EXPECT_EQ(t.pr.str(), toy_printout(2, 2) + "band 3\n");
  EXPECT_EQ(t.log, (std::vector<std::string>{"2:2:200"}));
}

TEST(BandPipeline, OnceNotesWhereTheFirstBandInOrderWroteThem) {
  // Bands 3 and 5 both meet the condition of a note written once per run; band
  // 5 may be solved first, on another thread: the note belongs to band 3.
  for (int inflight : {1, 2, 3}) {
    ToyRun t;
    BandSteps s = t.steps();
    s.compute = [](RunState& w, int j, int) {
      std::this_thread::sleep_for(std::chrono::milliseconds(j == 3 ? 30 : 1));
      w.pr() << "band " << j << "\n";
      if (j == 3 || j == 5) write_once(w, OnceNote::qag_ztozeta, "con note " + std::to_string(j) + "\n", "note\n");
      w.pr() << "end " << j << "\n";
      w.con() << "solved " << j << "\n";
    };
    s.finish = [](RunState&, int) {};
    solve_bands_concurrently(t.rs, {2, 3, 4, 5, 6}, 1, inflight, s);
    EXPECT_EQ(t.pr.str(), "band 2\nend 2\nband 3\nnote\nend 3\nband 4\nend 4\nband 5\nend 5\nband 6\nend 6\n");
    EXPECT_EQ(t.con.str(), "solved 2\ncon note 3\nsolved 3\nsolved 4\nsolved 5\nsolved 6\n");
    EXPECT_TRUE(t.rs.cztozeta.qag_warned_ztozeta);
    EXPECT_FALSE(t.rs.cztozeta.qag_warned_zetatoz);
  }
}

TEST(BandPipeline, OnceNoteAlreadyWrittenBeforeTheBands) {
  ToyRun t;
  t.rs.iopflags.ac9.negative_particle_a_warned = true;
  BandSteps s = t.steps();
  s.compute = [](RunState& w, int j, int) { write_once(w, OnceNote::negative_particle_a, "c\n", "p\n"); w.pr() << j; };
  s.finish = [](RunState&, int) {};
  solve_bands_concurrently(t.rs, {2, 3}, 1, 2, s);
  EXPECT_EQ(t.pr.str(), "23");
  EXPECT_EQ(t.con.str(), "");
}

// ---------------------------------------------------------------------------
// Whole runs

namespace {

CalendarTime fixed_time() {
  CalendarTime t;
  t.year = 2026, t.month = 12, t.day = 8, t.hour = 12;
  return t;
}

// What a run leaves: its exit status, its console text and every file it wrote.
struct RunResult {
  int status = -1;
  std::string console;
  std::map<std::string, std::string> files;
};

RunResult whole_run(const std::string& input) {
  ScratchRun scratch;
  auto rs = std::make_unique<RunState>();
  std::istringstream in(input);
  std::ostringstream con;
  rs->input = &in;
  rs->console = &con;
  rs->clock = fixed_time;
  RunResult r;
  r.status = run_abyssolver(*rs);
  r.console = con.str();
  for (const auto& e : std::filesystem::recursive_directory_iterator(scratch.root() / "output"))
    if (e.is_regular_file()) r.files[e.path().lexically_relative(scratch.root()).string()] = read_file(e.path());
  return r;
}

std::string example(const std::string& name) {
  return abyss::testing::on_coarse_grid(read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/" + name + ".txt"));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The bands of a Case 1 example in 25 nm steps (12 bands).
std::string twelve_bands(const std::string& text) {
  return replaced(text, "6\n400 450 500 550 600 650 700\n", "12\n400 425 450 475 500 525 550 575 600 625 650 675 700\n");
}

void expect_same_runs(const RunResult& a, const RunResult& b, const std::string& what) {
  EXPECT_EQ(a.status, b.status) << what;
  EXPECT_EQ(a.console, b.console) << what;
  ASSERT_EQ(a.files.size(), b.files.size()) << what;
  for (const auto& [path, text] : a.files) {
    ASSERT_TRUE(b.files.count(path)) << what << ": " << path;
    EXPECT_TRUE(text == b.files.at(path)) << what << ": " << path << " differs";
  }
}

// The run with threads = 1 (one band after another, as always) against 2 and
// 3 bands at a time (3: more than this machine's cores).
void expect_independent_of_threads(const std::string& input, const std::string& name) {
  const RunResult serial = whole_run(input + "threads = 1\n");
  ASSERT_FALSE(serial.files.empty()) << name;
  for (int threads : {2, 3})
    expect_same_runs(serial, whole_run(input + "threads = " + std::to_string(threads) + "\n"),
                     name + " with threads = " + std::to_string(threads));
}

}  // namespace

// Case 1 with a chlorophyll profile, wind 5 m/s, exact solver.
TEST(ParallelBands, ProfileAndWindBlownSurfaceSameWhateverTheThreads) {
  expect_independent_of_threads(twelve_bands(example("case1_default")), "case1_default");
}

// The index of refraction from the wavelength: the surface operators are
// reloaded whenever it moves, with the wind-speed warning each time (25 m/s is
// beyond the surface set); a worker's records may come from another band.
TEST(ParallelBands, SurfaceReloadedAsInTheSerialRun) {
  const std::string input = replaced(twelve_bands(example("case1_default")), "\n5.0 1.34 20.0 35.0\n", "\n25.0 0.0 20.0 35.0\n");
  const RunResult serial = whole_run(input + "threads = 1\n");
  std::size_t warnings = 0;
  for (std::size_t at = 0; (at = serial.console.find("greater than the maximum available speed", at)) != std::string::npos; ++at)
    ++warnings;
  EXPECT_GT(warnings, 4u);  // the case is what it is meant to be
  expect_same_runs(serial, whole_run(input + "threads = 2\n"), "refraction from the wavelength");
}

// The ac-9 model with a filtered-water table that absorbs more than the
// whole water in the red: the note on it is written once per run, in the band
// that meets it first (a worker's band in the parallel run), not before.
TEST(ParallelBands, Ac9RunWithItsOnceNoteSameWhateverTheThreads) {
  std::istringstream table(read_file(std::string(ABYSS_SOURCE_DIR) + "/data/ac9_coastal_filtered.txt"));
  std::ostringstream rich;
  std::string line;
  int row = 0;  // data rows follow the header, the wavelength count and the wavelengths
  bool data = false;
  while (std::getline(table, line)) {
    if (data && ++row > 2 && line.rfind("-1", 0) != 0) {
      std::istringstream in(line);
      std::vector<double> v;
      for (double x; in >> x;) v.push_back(x);
      for (std::size_t i : {7u, 8u, 9u, 16u, 17u, 18u}) v.at(i) *= 20.0;  // a and c at 650, 676 and 715 nm
      for (double x : v) rich << x << ' ';
      rich << '\n';
      continue;
    }
    if (line == "Data records follow") data = true;
    rich << line << '\n';
  }
  const std::string path = std::string(ABYSS_BINARY_DIR) + "/test_ac9_filtered_rich.txt";
  std::ofstream(path) << rich.str();
  const std::string input = replaced(example("ac9_cdom"), "ac9_coastal_filtered.txt", path);
  const RunResult serial = whole_run(input + "threads = 1\n");
  const std::string& p = serial.files.at("output/Abyssolver/Printout/Pac9_cdom.txt");
  const std::size_t first = p.find("exceeds total a");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(p.find("exceeds total a", first + 1), std::string::npos);
  EXPECT_GT(first, p.find("Waveband   3 of   6 completed"));  // met in a red band
  expect_same_runs(serial, whole_run(input + "threads = 2\n"), "ac9_cdom");
}

TEST(ParallelBands, InelasticRunStaysSerialAndUnchanged) {
  std::string input = example("raman_chlfl_clear");
  const std::size_t from = input.find("\n40\n") + 1, to = input.find('\n', input.find('\n', from) + 1);
  input.replace(from, to - from, "4\n500 510 520 530 540");
  expect_same_runs(whole_run(input + "threads = 1\n"), whole_run(input + "threads = 2\n"), "raman");
}

// An Adams run whose band 5 lies beyond the depth integration's reach stops
// there: the bands before it written, band 5's lines, the error, nothing after.
TEST(ParallelBands, ErrorInOneBandStopsTheRunAsInTheSerialRun) {
  ScratchRun scratch;
  const auto water = scratch.root() / "deep_red_water.txt";
  {
    std::istringstream in(read_file(std::string(ABYSS_SOURCE_DIR) + "/data/pureh2o_abs_scat.txt"));
    std::ofstream out(water);
    for (std::string line; std::getline(in, line);) {
      std::istringstream f(line);
      double wl = 0.0, a = 0.0, b = 0.0;
      if ((f >> wl >> a >> b) && wl >= 610.0 && wl <= 640.0) line = std::to_string(wl) + " 1e12 " + std::to_string(b);
      out << line << "\n";
    }
  }
  const std::string input = replaced(example("case1_default"), "\npureh2o_abs_scat.txt\n", "\n" + water.string() + "\n") +
                            "solver = adams\n";
  const RunResult serial = whole_run(input + "threads = 1\n");
  EXPECT_EQ(serial.status, 1);
  EXPECT_NE(serial.console.find("\n  ERROR: band 5 (625.0 nm)"), std::string::npos);
  EXPECT_NE(serial.console.find("\n  STOP in routine riccati\n"), std::string::npos);
  EXPECT_EQ(serial.console.find("wavelength   6 of"), std::string::npos);
  for (int threads : {2, 3}) expect_same_runs(serial, whole_run(input + "threads = " + std::to_string(threads) + "\n"), "error");
}
