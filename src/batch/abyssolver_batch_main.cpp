// abyssolver-batch: runs a sweep of Abyssolver runs (a look-up table) and
// gathers the results into one NetCDF file. Started by mpirun or srun it
// spreads the runs over the MPI ranks; started alone it uses local threads.
#include <gsl/gsl_errno.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "batch/sweep.hpp"
#include "batch/sweep_runner.hpp"
#include "control/run_options.hpp"
#ifdef ABYSS_HAVE_MPI
#include <mpi.h>

#include "batch/mpi/mpi_sweep.hpp"
#endif

namespace {

const char* const kUsage =
    "usage: abyssolver-batch SWEEP.json [--threads N] [--checkpoint SECONDS] [--gather]\n"
    "  --threads N         local threads when not started by mpirun/srun (default: one per core)\n"
    "  --checkpoint S      rewrite the result file every S seconds while running (default 60)\n"
    "  --gather            write the result file from the journal only, running nothing\n";

struct Args {
  std::string sweep;
  int threads = 0;
  double checkpoint = 60.0;
  bool gather = false;
};

bool parse_args(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string s = argv[i];
    try {
      if (s == "--threads" && i + 1 < argc) a.threads = std::stoi(argv[++i]);
      else if (s == "--checkpoint" && i + 1 < argc) a.checkpoint = std::stod(argv[++i]);
      else if (s == "--gather") a.gather = true;
      else if (!s.empty() && s[0] != '-' && a.sweep.empty()) a.sweep = s;
      else return false;
    } catch (const std::logic_error&) {
      return false;
    }
  }
  return !a.sweep.empty() && a.threads >= 0;
}

int run(const Args& a, bool mpi) {
  using namespace abyss::batch;
  const Sweep sweep = read_sweep(a.sweep);
#ifdef ABYSS_HAVE_MPI
  int size = 1;
  if (mpi) MPI_Comm_size(MPI_COMM_WORLD, &size);
  if (mpi && size > 1 && !a.gather) return run_mpi_sweep(sweep, std::cout, a.checkpoint);
  int rank = 0;
  if (mpi) MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  if (rank != 0) return 0;
#else
  (void)mpi;
#endif
  SweepRunner runner(sweep, std::cout, a.checkpoint);
  if (!a.gather) {
    const int n = abyss::worker_threads(a.threads);
    std::cout << " local threads: " << n << "\n";
    runner.run_threads(n);
  }
  runner.write_result();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!parse_args(argc, argv, args)) {
    std::cerr << kUsage;
    return 2;
  }
  // GSL's default error handler aborts the process; the engine checks GSL's
  // status codes itself. Switched off once, before any thread starts.
  gsl_set_error_handler_off();
  bool mpi = false;
#ifdef ABYSS_HAVE_MPI
  if (abyss::batch::launched_by_mpi()) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    mpi = true;
  }
#endif
  int status = 1;
  try {
    status = run(args, mpi);
  } catch (const std::exception& e) {
    std::cerr << " abyssolver-batch: " << e.what() << "\n";
    status = 1;
  }
#ifdef ABYSS_HAVE_MPI
  if (mpi) {
    if (status != 0) MPI_Abort(MPI_COMM_WORLD, status);
    MPI_Finalize();
  }
#endif
  return status;
}
