// Estimates T(2, 1) of the instance file given as the argument with a budget that never binds,
// so the value is exact, and prints it. Exit status 0 when the file is the diamond (T(2, 1) = 24).
#include <cmath>
#include <iostream>

#include "graph/instance_reader.h"
#include "library/tutte_estimate.h"

int main(int argc, char* argv[]) {
  EdgeList edges;
  int edgeCount = 0, vertexCount = 0;
  if (argc != 2 || loadInstance(argv[1], edges, edgeCount, vertexCount)) {
    std::cerr << "usage: consumer INSTANCE_FILE\n";
    return 2;
  }
  ValueOptions options;
  options.x = 2;
  options.y = 1;
  options.method = EstimateMethod::Walk;
  options.sampling.samples = 10;
  options.sampling.budget = 1 << 20;
  options.sampling.seed = 1;
  const TutteEstimate estimate = estimateTutteValue(edges, options);
  std::cout << "T(2, 1) = " << estimate.value << (estimate.run.exact ? " (exact)" : "") << "\n";
  return estimate.run.exact && std::abs(estimate.value.toDouble() - 24.0) < 1e-9 ? 0 : 1;
}
