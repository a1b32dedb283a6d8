#include "batch/mpi/mpi_sweep.hpp"

#include <mpi.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "batch/sweep_runner.hpp"

namespace abyss::batch {
namespace {

enum Tag : int { kReady = 1, kResult = 2, kWork = 3 };

// Rank 0: answers every request with the next run (or -1: no more), keeping
// the results that come with the requests. The manager waits by polling with
// short sleeps so that it leaves the core to the run on its own worker thread.
void manage(SweepRunner& runner, int size) {
  int active = size - 1;
  while (active > 0) {
    int flag = 0;
    MPI_Status st;
    MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &st);
    if (!flag) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    int len = 0;
    MPI_Get_count(&st, MPI_CHAR, &len);
    std::string buf(static_cast<std::size_t>(len), '\0');
    MPI_Recv(buf.data(), len, MPI_CHAR, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    if (st.MPI_TAG == kResult) runner.finished(deserialize(buf));
    const auto k = runner.next();
    const long long idx = k ? static_cast<long long>(*k) : -1;
    MPI_Send(&idx, 1, MPI_LONG_LONG, st.MPI_SOURCE, kWork, MPI_COMM_WORLD);
    if (!k) --active;
  }
}

void work(const Sweep& sweep) {
  std::string msg;
  int tag = kReady;
  for (;;) {
    MPI_Send(msg.data(), static_cast<int>(msg.size()), MPI_CHAR, 0, tag, MPI_COMM_WORLD);
    long long idx = -1;
    MPI_Recv(&idx, 1, MPI_LONG_LONG, 0, kWork, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    if (idx < 0) return;
    msg = serialize(run_one(sweep, static_cast<std::size_t>(idx)));
    tag = kResult;
  }
}

}  // namespace

bool launched_by_mpi() {
  for (const char* v : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(v) != nullptr) return true;
  return false;
}

int run_mpi_sweep(const Sweep& sweep, std::ostream& log, double checkpoint_seconds) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  if (rank != 0) {
    work(sweep);
    return 0;
  }
  SweepRunner runner(sweep, log, checkpoint_seconds);
  log << " MPI: " << size << " ranks; rank 0 hands out the runs and also runs them\n";
  std::thread local([&] {
    while (auto k = runner.next()) runner.finished(run_one(sweep, *k));
  });
  manage(runner, size);
  local.join();
  runner.write_result();
  return 0;
}

}  // namespace abyss::batch
