// One library estimate of the reduced walk over the processes of an MPI launch, for timing
// against one process (bench/RESULTS.md):
//   velmora_library_processes FILE X Y SAMPLES SEED CORES
// prints the value, its standard error (all 17 digits) and the seconds, on rank 0.
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <string>

#include "distributed/process_group.h"
#include "graph/instance_reader.h"
#include "library/tutte_estimate.h"

int main(int argc, char** argv) {
  ProcessGroup processes(argc, argv);
  EdgeList edges;
  int edgeCount = 0, vertexCount = 0;
  if (argc != 7 || loadInstance(argv[1], edges, edgeCount, vertexCount)) {
    std::cerr << "usage: velmora_library_processes FILE X Y SAMPLES SEED CORES\n";
    return 2;
  }
  ValueOptions options;
  options.x = std::atof(argv[2]);
  options.y = std::atof(argv[3]);
  options.method = EstimateMethod::Reduced;
  options.sampling.samples = std::atoi(argv[4]);
  options.sampling.seed = std::strtoull(argv[5], nullptr, 10);
  options.sampling.cores = std::atoi(argv[6]);
  options.sampling.processes = &processes;
  const TutteEstimate estimate = estimateTutteValue(edges, options);
  if (processes.leads())
    std::cout << std::setprecision(17) << estimate.value << " " << estimate.standardError << " "
              << "tilt " << *estimate.tilt << " " << std::setprecision(3) << estimate.run.seconds
              << " s on " << processes.size() << " processes\n";
}
