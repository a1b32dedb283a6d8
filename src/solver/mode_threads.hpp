// Work shared out over the Fourier modes of a band: each mode is independent
// and is handled whole by one thread, so the result does not depend on which
// thread took it or on how many there are.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace abyss {

// Calls body(l) for l = 0..count-1 on up to `threads` threads, handing the
// indices out one at a time (their costs differ). An exception thrown for an
// index is rethrown after all threads have finished, the lowest index's first.
template <class Body>
void for_each_mode(int count, int threads, Body&& body) {
  const int nthreads = std::clamp(threads, 1, std::max(1, count));
  std::vector<std::exception_ptr> err(static_cast<std::size_t>(std::max(0, count)));
  std::atomic<int> next{0};
  auto work = [&]() {
    for (int l = next++; l < count; l = next++) {
      try {
        body(l);
      } catch (...) {
        err[static_cast<std::size_t>(l)] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < nthreads; ++t) pool.emplace_back(work);
  work();
  for (auto& th : pool) th.join();
  for (auto& e : err)
    if (e) std::rethrow_exception(e);
}

}  // namespace abyss
