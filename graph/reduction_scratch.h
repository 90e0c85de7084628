#pragma once

#include <algorithm>
#include <cstdint>
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
  // Per vertex: the stamp of the last scan that met it as a neighbour.
  std::vector<std::uint32_t> neighbourMarks;
  std::uint32_t stamp = 0;

  // A stamp no mark holds yet, with marks for vertex ids below `vertexLimit`.
  std::uint32_t newStamp(int vertexLimit) {
    if (neighbourMarks.size() < static_cast<std::size_t>(vertexLimit))
      neighbourMarks.resize(vertexLimit, 0);
    if (++stamp == 0) {  // wrapped: old marks could collide with new stamps
      std::fill(neighbourMarks.begin(), neighbourMarks.end(), 0);
      stamp = 1;
    }
    return stamp;
  }
};

// This thread's scratch.
ReductionScratch& reductionScratch();
