#include "graph/graph.h"

#include <algorithm>
#include <cstdint>

namespace {

// One vertex of the depth-first search in progress: the tree edge it was reached by, and the
// next of its half-edges to look at.
struct SearchFrame {
  int vertex;
  int incomingEdge;
  int nextHalf;
};

// Search state of one vertex. `stamp` names the search that last reached it, so that starting
// a search needs no pass over every vertex to clear the previous one's marks.
struct SearchMark {
  std::uint32_t stamp;
  int discovery;
  int lowLink;
};

// Working memory of the bridge search, kept per thread and reused, so that classifying a tree
// node allocates nothing once the buffers have grown to the graph's size.
struct BridgeSearchScratch {
  std::vector<SearchMark> marks;
  std::vector<SearchFrame> stack;
  std::uint32_t stamp = 0;
  int counter = 0;

  // Starts a new search over vertex ids below `vertexLimit`.
  void begin(int vertexLimit) {
    if (marks.size() < static_cast<std::size_t>(vertexLimit))
      marks.resize(vertexLimit, SearchMark{0, -1, -1});
    if (++stamp == 0) {  // wrapped: no mark may look current
      for (SearchMark& mark : marks)
        mark.stamp = 0;
      stamp = 1;
    }
    counter = 0;
  }
  bool reached(int vertex) const { return marks[vertex].stamp == stamp; }
};

thread_local BridgeSearchScratch scratch;

}  // namespace

void Graph::classifyEdges() {
  loopCount_ = 0;
  bridgeCount_ = 0;
  for (EdgeSlot& slot : edges_) {
    if (!slot.alive)
      continue;
    const bool loop = slot.end[0] == slot.end[1];
    slot.edgeClass = loop ? EdgeClass::Loop : EdgeClass::Ordinary;
    loopCount_ += loop;
  }
  scratch.begin(vertexIdLimit());
  for (int vertex = 0; vertex < vertexIdLimit(); ++vertex) {
    if (vertices_[vertex].alive && !scratch.reached(vertex))
      searchComponent(vertex, false);
  }
  findFirstOrdinaryEdge(0);
  classified = true;
}

// Deleting an edge leaves loops loops and bridges bridges. An ordinary edge can only become a
// bridge if its cycles all ran through the deleted edge, so it lies in the deleted edge's
// 2-edge-connected component: the part of the graph that the parent's ordinary edges connect
// to its ends. That component stays connected without the edge (it was on a cycle), so one
// search over ordinary edges from one end finds every new bridge.
void Graph::deleteBranchEdge() {
  const int branch = firstOrdinaryEdge_;
  const int end = edges_[branch].end[0];
  deleteEdge(branch);
  scratch.begin(vertexIdLimit());
  searchComponent(end, true);
  findFirstOrdinaryEdge(branch + 1);
  classified = true;
}

void Graph::findFirstOrdinaryEdge(int from) {
  firstOrdinaryEdge_ = kNone;
  for (int id = from; id < edgeIdLimit(); ++id) {
    if (edges_[id].alive && edges_[id].edgeClass == EdgeClass::Ordinary) {
      firstOrdinaryEdge_ = id;
      return;
    }
  }
}

// Discovery / low-link search with an explicit stack: a path can be as long as the graph has
// vertices, far deeper than the call stack allows. Skipping only the edge a vertex was reached
// by, rather than every edge back to its parent, lets a parallel twin of a tree edge count as
// a way back, so no edge with a twin is ever taken for a bridge. With `ordinaryOnly` the search
// follows only edges classed ordinary, and so stays inside one 2-edge-connected component.
void Graph::searchComponent(int root, bool ordinaryOnly) {
  SearchMark* const marks = scratch.marks.data();
  std::vector<SearchFrame>& stack = scratch.stack;
  const std::uint32_t stamp = scratch.stamp;
  int counter = scratch.counter;
  auto enter = [&](int vertex, int incomingEdge) {
    marks[vertex] = SearchMark{stamp, counter, counter};
    ++counter;
    stack.push_back({vertex, incomingEdge, vertices_[vertex].firstHalf});
  };
  enter(root, kNone);
  while (!stack.empty()) {
    SearchFrame& frame = stack.back();
    if (frame.nextHalf == kNone) {
      const SearchFrame done = frame;
      stack.pop_back();
      if (stack.empty())
        break;
      const SearchMark& doneMark = marks[done.vertex];
      int& parentLow = marks[stack.back().vertex].lowLink;
      parentLow = std::min(parentLow, doneMark.lowLink);
      // Nothing below the vertex reaches above it: its tree edge is the only way in.
      if (doneMark.lowLink == doneMark.discovery) {
        edges_[done.incomingEdge].edgeClass = EdgeClass::Bridge;
        ++bridgeCount_;
      }
      continue;
    }
    const int half = frame.nextHalf;
    const EdgeSlot& slot = edges_[half / 2];
    frame.nextHalf = slot.next[half % 2];
    if (half / 2 == frame.incomingEdge)
      continue;
    if (ordinaryOnly && slot.edgeClass != EdgeClass::Ordinary)
      continue;
    const int far = slot.end[1 - half % 2];
    if (marks[far].stamp != stamp) {
      enter(far, half / 2);  // may reallocate the stack: `frame` is not used past this point
    } else {
      int& low = marks[frame.vertex].lowLink;
      low = std::min(low, marks[far].discovery);
    }
  }
  scratch.counter = counter;
}
