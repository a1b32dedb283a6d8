// The sweep over MPI ranks: rank 0 hands out runs one at a time to whichever
// rank asks (and runs them itself on a second thread), gathers the results,
// keeps the journal and writes the result file.
#pragma once

#include <ostream>

#include "batch/sweep.hpp"

namespace abyss::batch {

// True when the process was started by an MPI launcher (mpirun, srun).
bool launched_by_mpi();
// Runs the sweep on all ranks of MPI_COMM_WORLD (MPI already initialized);
// returns the process status.
int run_mpi_sweep(const Sweep& sweep, std::ostream& log, double checkpoint_seconds);

}  // namespace abyss::batch
