#include "graph/graph.h"

#include <algorithm>

namespace {

// One vertex of the depth-first search in progress: the tree edge it was reached by, and the
// next of its half-edges to look at.
struct SearchFrame {
  int vertex;
  int incomingEdge;
  int nextHalf;
};

// Working memory of the bridge search, kept per thread and reused, so that classifying a tree
// node allocates nothing once the buffers have grown to the graph's size.
struct BridgeSearchScratch {
  std::vector<int> discovery;
  std::vector<int> lowLink;
  std::vector<SearchFrame> stack;
  int counter = 0;
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
  findBridges();
  firstOrdinaryEdge_ = kNone;
  for (int id = 0; id < edgeIdLimit(); ++id) {
    if (edges_[id].alive && edges_[id].edgeClass == EdgeClass::Ordinary) {
      firstOrdinaryEdge_ = id;
      break;
    }
  }
  classified = true;
}

void Graph::findBridges() {
  scratch.discovery.assign(vertices_.size(), -1);
  scratch.lowLink.assign(vertices_.size(), -1);
  scratch.counter = 0;
  for (int vertex = 0; vertex < vertexIdLimit(); ++vertex) {
    if (vertices_[vertex].alive && scratch.discovery[vertex] == -1)
      searchComponent(vertex);
  }
}

// Discovery / low-link search with an explicit stack: a path can be as long as the graph has
// vertices, far deeper than the call stack allows. Skipping only the edge a vertex was reached
// by, rather than every edge back to its parent, lets a parallel twin of a tree edge count as
// a way back, so no edge with a twin is ever taken for a bridge.
void Graph::searchComponent(int root) {
  std::vector<int>& discovery = scratch.discovery;
  std::vector<int>& lowLink = scratch.lowLink;
  std::vector<SearchFrame>& stack = scratch.stack;
  auto enter = [&](int vertex, int incomingEdge) {
    discovery[vertex] = lowLink[vertex] = scratch.counter++;
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
      int& parentLow = lowLink[stack.back().vertex];
      parentLow = std::min(parentLow, lowLink[done.vertex]);
      // Nothing below the vertex reaches above it: its tree edge is the only way in.
      if (lowLink[done.vertex] == discovery[done.vertex]) {
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
    const int far = slot.end[1 - half % 2];
    if (discovery[far] == -1) {
      enter(far, half / 2);  // may reallocate the stack: `frame` is not used past this point
    } else {
      lowLink[frame.vertex] = std::min(lowLink[frame.vertex], discovery[far]);
    }
  }
}
