#pragma once

#include <cstdint>
#include <vector>

// Working memory of the graph searches (the bridge search of a full classification and the
// local search of a deletion child), kept per thread and reused: once the buffers have grown to
// a graph's size, classifying a tree node allocates nothing. Marks carry the stamp of the search
// that wrote them, so starting a search needs no pass over every vertex to clear old marks.
struct SearchScratch {
  // Per vertex, for the bridge search: discovery index and low-link.
  struct BridgeMark {
    std::uint32_t stamp;
    int discovery;
    int lowLink;
  };
  // One vertex of the bridge search in progress: the tree edge it was reached by, and the next
  // of its half-edges to look at.
  struct BridgeFrame {
    int vertex;
    int incomingEdge;
    int nextHalf;
  };
  std::vector<BridgeMark> bridgeMarks;
  std::vector<BridgeFrame> bridgeStack;
  // Per vertex, for the two-sided searches around the ends of a deleted edge: 2 * stamp + side
  // of the search that reached it (side 0 from the first end, 1 from the second), and the edge
  // it was reached by.
  std::vector<std::uint32_t> sideMarks;
  std::vector<int> reachedBy;
  // Each side's queue: a vertex enters a side's queue at most once per search.
  std::vector<int> forwardQueue;
  std::vector<int> backwardQueue;
  std::vector<int> pathVertices;
  std::vector<int> pathEdges;
  std::uint32_t stamp = 0;
  int vertexCapacity = 0;

  // A stamp no mark holds yet, for a search over vertex ids below `vertexLimit`; the buffers
  // are grown to that limit.
  std::uint32_t newStamp(int vertexLimit);

 private:
  void grow(int vertexLimit);
};

// This thread's scratch.
SearchScratch& searchScratch();
