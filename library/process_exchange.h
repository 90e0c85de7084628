#pragma once

#include <string>
#include <vector>

// The processes one estimate is shared among, as the library sees them: a rank, a size and one
// collective call. The library links no message-passing library; a caller that runs under an
// MPI launcher hands it an exchange that does (distributed/launched_processes.h in C++, mpi4py
// in Python), and every process of the launch then makes the same calls with the same options.
class ProcessExchange {
 public:
  virtual ~ProcessExchange() = default;
  virtual int rank() const = 0;
  virtual int size() const = 0;
  // How many of the processes share this machine and its memory.
  virtual int sizeOnThisMachine() const { return 1; }
  // Every process's bytes, in rank order, on every process. Collective: every process calls it,
  // in the same order as every other collective call.
  virtual std::vector<std::string> allGather(const std::string& bytes) const = 0;
};

// The exchange of a process alone: rank 0 of 1.
const ProcessExchange& processAlone();

// Whether this process was started by an MPI launcher (mpirun, mpiexec, srun): the launcher's
// variables are in its environment.
bool startedByLauncher();
