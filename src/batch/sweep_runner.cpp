#include "batch/sweep_runner.hpp"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "batch/result_file.hpp"

namespace abyss::batch {
namespace {

std::string clock_text(double s) {
  const long t = std::lround(std::max(0.0, s));
  return fmt::format("{}:{:02d}:{:02d}", t / 3600, (t / 60) % 60, t % 60);
}

}  // namespace

std::string progress_line(std::size_t done, std::size_t failed, std::size_t left, double elapsed_s, std::size_t done_now) {
  const std::string eta = done_now == 0 ? "--:--:--" : clock_text(elapsed_s / static_cast<double>(done_now) * static_cast<double>(left));
  return fmt::format(" runs done {:6d}  failed {:6d}  left {:6d}  elapsed {}  ETA {}", done, failed, left,
                     clock_text(elapsed_s), eta);
}

std::string run_folder(const Sweep& s, std::size_t index) {
  return (s.work_dir / fmt::format("run_{:06d}", index)).string();
}

RunResult run_one(const Sweep& s, std::size_t index) {
  const RunSpec spec = expand_one(s, index);
  if (!spec.error.empty()) {
    RunResult r;
    r.index = index;
    r.input_hash = spec.input_hash;
    r.status = RunStatus::failed;
    r.message = spec.error;
    return r;
  }
  return execute(index, spec.input, spec.input_hash, run_folder(s, index), s.data_dir.string(),
                 s.keep_runs || s.netcdf_per_run);
}

SweepRunner::SweepRunner(const Sweep& sweep, std::ostream& log, double checkpoint_seconds)
    : sweep_(sweep), log_(log), checkpoint_s_(checkpoint_seconds) {
  const auto done = Journal::load(sweep.journal);
  for (std::size_t k = 0; k < sweep.size(); ++k) {
    const auto it = done.find(k);
    // A journal record counts only for the same run input: a changed template
    // or axis makes the run new.
    if (it != done.end() && it->second.input_hash == expand_one(sweep, k).input_hash) {
      if (it->second.status == RunStatus::failed) ++failed_;
      results_.emplace(k, it->second);
      ++skipped_;
    } else {
      todo_.push_back(k);
    }
  }
  journal_ = std::make_unique<Journal>(sweep.journal);
  start_ = last_write_ = std::chrono::steady_clock::now();
  log_ << fmt::format(" abyssolver-batch: {} runs, {} already in the journal {}, {} to do\n", sweep.size(), skipped_,
                      sweep.journal.string(), todo_.size());
  log_.flush();
}

bool SweepRunner::all_done() const { return results_.size() == sweep_.size(); }

std::optional<std::size_t> SweepRunner::next() {
  std::lock_guard lock(mu_);
  if (todo_.empty()) return std::nullopt;
  const std::size_t k = todo_.front();
  todo_.pop_front();
  return k;
}

void SweepRunner::finished(RunResult r) {
  std::lock_guard lock(mu_);
  const auto t0 = std::chrono::steady_clock::now();
  run_s_ += r.seconds;
  journal_->append(r);
  if (r.status == RunStatus::failed) {
    ++failed_;
    log_ << fmt::format(" run {} failed: {}\n", r.index, r.message);
  }
  results_[r.index] = std::move(r);
  ++done_now_;
  const auto now = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  log_ << progress_line(results_.size(), failed_, sweep_.size() - results_.size(), elapsed, done_now_) << "\n";
  log_.flush();
  if (std::chrono::duration<double>(now - last_write_).count() >= checkpoint_s_ && !all_done()) {
    write_result_file(sweep_.output, sweep_, results_);
    last_write_ = now;
  }
  keep_s_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void SweepRunner::run_threads(int threads) {
  auto work = [this] {
    while (auto k = next()) finished(run_one(sweep_, *k));
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
}

void SweepRunner::write_result() {
  std::lock_guard lock(mu_);
  const auto t0 = std::chrono::steady_clock::now();
  write_result_file(sweep_.output, sweep_, results_);
  const double write_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const std::size_t missing = sweep_.size() - results_.size();
  std::error_code ec;
  std::filesystem::remove(sweep_.work_dir, ec);  // only when no run folder was kept in it
  log_ << fmt::format(" result file {}: {} ok, {} failed, {} missing\n", sweep_.output.string(),
                      results_.size() - failed_, failed_, missing);
  // The figures of the speed-up estimate: the mean run time and the serial
  // work of rank 0 per result and for the file.
  if (done_now_ > 0)
    log_ << fmt::format(" timing: {} runs this session, mean run {:.3f} s; keeping a result {:.4f} s; "
                        "writing the result file {:.3f} s\n",
                        done_now_, run_s_ / static_cast<double>(done_now_), keep_s_ / static_cast<double>(done_now_),
                        write_s);
  log_.flush();
}

}  // namespace abyss::batch
