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
  // Per vertex, for the two-sided path searches: which searches reached it, and by which edge.
  struct SideMark {
    std::uint32_t forwardStamp;
    std::uint32_t backwardStamp;
    int forwardVia;
    int backwardVia;
  };
  // Per edge: the stamp of the path it lies on, and its end nearer the path's start.
  struct PathMark {
    std::uint32_t stamp;
    int tail;
  };

  std::vector<BridgeMark> bridgeMarks;
  std::vector<BridgeFrame> bridgeStack;
  std::vector<SideMark> sideMarks;
  std::vector<PathMark> pathMarks;
  std::vector<int> forwardQueue;
  std::vector<int> backwardQueue;
  std::vector<int> pathVertices;
  std::vector<int> pathEdges;
  std::uint32_t stamp = 0;

  // A stamp no mark holds yet, for a search over ids below the given limits.
  std::uint32_t newStamp(int vertexLimit, int edgeLimit);
};

// This thread's scratch.
SearchScratch& searchScratch();
