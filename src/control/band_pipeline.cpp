// Independent bands solved at the same time, written in band order.
#include "control/band_pipeline.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "control/once_notes.hpp"
#include "control/run_options.hpp"
#include "control/run_state.hpp"

namespace abyss {

namespace {

// A worker's own run: a copy of the run's records and the buffers its band's
// console and printout text goes to.
struct Worker {
  std::unique_ptr<RunState> rs = std::make_unique<RunState>();
  std::ostringstream con, pr;
  std::vector<KeptNote> notes;
};

// One solved band handed from its worker to the main thread.
struct SolvedBand {
  bool ready = false;  // the worker has finished the band
  bool taken = false;  // the main thread has taken its text and records
  std::exception_ptr error;
  std::string con, pr;
  std::vector<KeptNote> notes;
  RunState* records = nullptr;  // the worker's run holding the band's records
};

std::string take_text(std::ostringstream& os) {
  std::string s = std::move(os).str();
  os.str(std::string());
  return s;
}

class BandPipeline {
 public:
  BandPipeline(RunState& rs, const std::vector<int>& bands, int prev, const BandSteps& steps)
      : rs_(rs), bands_(bands), prev_(prev), steps_(steps), solved_(bands.size()) {}

  void run(int inflight, int modes) {
    std::vector<std::unique_ptr<Worker>> workers;
    for (int k = 0; k < inflight; ++k) workers.push_back(worker_copy(modes));
    Threads threads{*this, {}};
    for (auto& w : workers) threads.pool.emplace_back([this, &w] { work(*w); });
    for (std::size_t i = 0; i < bands_.size(); ++i) {
      take(i);
      steps_.finish(rs_, bands_[i]);
    }
  }

 private:
  // Joins the workers however the main thread leaves the band loop.
  struct Threads {
    BandPipeline& p;
    std::vector<std::thread> pool;
    ~Threads() {
      p.halt();
      for (auto& t : pool) t.join();
    }
  };

  std::unique_ptr<Worker> worker_copy(int modes) const {
    auto w = std::make_unique<Worker>();
    static_cast<RunRecords&>(*w->rs) = static_cast<const RunRecords&>(rs_);
    w->rs->opts.threads = modes;
    w->rs->console = &w->con;
    w->rs->printout_sink = &w->pr;
    w->rs->kept_notes = &w->notes;
    w->rs->clock = rs_.clock;
    return w;
  }

  void halt() {
    std::lock_guard lock(m_);
    stop_ = true;
    cv_.notify_all();
  }

  SolvedBand solve(Worker& w, std::size_t i) {
    SolvedBand b;
    try {
      steps_.compute(*w.rs, bands_[i], i == 0 ? prev_ : bands_[i - 1]);
    } catch (...) {
      b.error = std::current_exception();
    }
    b.con = take_text(w.con);
    b.pr = take_text(w.pr);
    b.notes = std::exchange(w.notes, {});
    b.records = w.rs.get();
    b.ready = true;
    return b;
  }

  // Bands are taken in increasing order, so the band the main thread waits
  // for is always being solved or free to be taken: no worker waits forever.
  void work(Worker& w) {
    for (;;) {
      const std::size_t i = next_.fetch_add(1);
      if (i >= bands_.size()) return;
      {
        std::lock_guard lock(m_);
        if (stop_) return;
      }
      SolvedBand b = solve(w, i);
      const bool failed = static_cast<bool>(b.error);
      std::unique_lock lock(m_);
      solved_[i] = std::move(b);
      cv_.notify_all();
      cv_.wait(lock, [&] { return solved_[i].taken || stop_; });
      if (stop_ || failed) return;
    }
  }

  // Band i's text into the run's units, then its records into the run (the
  // worker goes on with the run's previous records, a complete set as well).
  void take(std::size_t i) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return solved_[i].ready; });
    SolvedBand& b = solved_[i];
    place_notes(rs_, *b.records, b.notes, b.con, b.pr);
    rs_.con() << std::exchange(b.con, {});
    rs_.pr() << std::exchange(b.pr, {});
    if (b.error) std::rethrow_exception(b.error);
    std::swap(static_cast<RunRecords&>(rs_), static_cast<RunRecords&>(*b.records));
    std::swap(rs_.opts, b.records->opts);  // each keeps its own thread count
    b.taken = true;
    cv_.notify_all();
  }

  RunState& rs_;
  const std::vector<int>& bands_;
  const int prev_;
  const BandSteps& steps_;
  std::vector<SolvedBand> solved_;
  std::atomic<std::size_t> next_{0};
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
};

}  // namespace

int bands_in_flight(int threads, int nbands) { return std::clamp(worker_threads(threads), 1, std::max(1, nbands)); }

int mode_threads(int threads, int inflight) { return std::max(1, worker_threads(threads) / std::max(1, inflight)); }

void solve_bands_concurrently(RunState& rs, const std::vector<int>& bands, int prev, int inflight,
                              const BandSteps& steps) {
  if (bands.empty()) return;
  BandPipeline(rs, bands, prev, steps).run(inflight, mode_threads(rs.opts.threads, inflight));
}

}  // namespace abyss
