// Hands out the runs of a sweep, keeps their results and the journal, and
// reports progress. Runs are taken one at a time by whoever is free (local
// threads, or MPI ranks through the manager), so slow and fast runs balance.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "batch/journal.hpp"
#include "batch/run_result.hpp"
#include "batch/sweep.hpp"

namespace abyss::batch {

// The progress line: runs done (and failed), left, elapsed time and the
// estimate of the time to go from the mean time per run of this session.
std::string progress_line(std::size_t done, std::size_t failed, std::size_t left, double elapsed_s, std::size_t done_now);

// Folder of run k under the work directory.
std::string run_folder(const Sweep& s, std::size_t index);
// Runs one run of the sweep in this thread.
RunResult run_one(const Sweep& s, std::size_t index);

class SweepRunner {
 public:
  // Reads the journal: runs it holds with the same run input are not done
  // again. `log` gets the start line and the progress lines.
  SweepRunner(const Sweep& sweep, std::ostream& log, double checkpoint_seconds = 60.0);

  std::size_t skipped() const { return skipped_; }
  std::size_t total() const { return sweep_.size(); }
  bool all_done() const;

  // The next run to do, or nothing when every run has been handed out.
  std::optional<std::size_t> next();
  // Keeps a finished run: journal, progress line, and now and then the result
  // file, so that a sweep killed later leaves its finished runs in it.
  void finished(RunResult r);
  // Runs the sweep on `threads` local threads (this thread waits).
  void run_threads(int threads);
  // Writes the result file from the results so far (missing runs marked).
  void write_result();

 private:
  const Sweep& sweep_;
  std::ostream& log_;
  std::mutex mu_;
  std::deque<std::size_t> todo_;
  std::map<std::size_t, RunResult> results_;
  std::unique_ptr<Journal> journal_;
  std::size_t skipped_ = 0, done_now_ = 0, failed_ = 0;
  std::chrono::steady_clock::time_point start_, last_write_;
  double checkpoint_s_;
  double keep_s_ = 0.0;  // time spent keeping results (journal, progress, checkpoints)
  double run_s_ = 0.0;   // sum of the run times of this session
};

}  // namespace abyss::batch
