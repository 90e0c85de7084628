#pragma once

#include <utility>
#include <vector>

// Working memory of a reduced graph's reductions, kept per thread and reused, so that reducing
// a tree node allocates nothing once the buffers have grown.
struct ReductionScratch {
  // Vertices still to be looked at after an edit.
  std::vector<int> pending;
  // (far end, edge) for every edge at the vertex being looked at.
  std::vector<std::pair<int, int>> neighbourEdges;
  // Bridges found by the last search.
  std::vector<int> bridges;
};

// This thread's scratch.
ReductionScratch& reductionScratch();
