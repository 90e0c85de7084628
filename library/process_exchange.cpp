#include "library/process_exchange.h"

#include <cstdlib>

namespace {

class ProcessAlone : public ProcessExchange {
 public:
  int rank() const override { return 0; }
  int size() const override { return 1; }
  std::vector<std::string> allGather(const std::string& bytes) const override { return {bytes}; }
};

}  // namespace

const ProcessExchange& processAlone() {
  static const ProcessAlone alone;
  return alone;
}

bool startedByLauncher() {
  // Open MPI's mpirun, PMIx (Open MPI 5, Slurm's srun --mpi=pmix) and PMI (MPICH, srun).
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name) != nullptr)
      return true;
  return false;
}
