#include <algorithm>

#include "graph/graph.h"
#include "graph/search_scratch.h"

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
  SearchScratch& scratch = searchScratch();
  const std::uint32_t stamp = scratch.newStamp(vertexIdLimit());
  for (int vertex = 0; vertex < vertexIdLimit(); ++vertex) {
    if (vertices_[vertex].degree != kNotAVertex && scratch.bridgeMarks[vertex].stamp != stamp)
      searchComponent(vertex);
  }
  findFirstOrdinaryEdge(0);
  classified = true;
}

void Graph::markBridge(int edge, std::vector<int>* found) {
  edges_[edge].edgeClass = EdgeClass::Bridge;
  ++bridgeCount_;
  if (found != nullptr)
    found->push_back(edge);
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
// a way back, so no edge with a twin is ever taken for a bridge. Discovery indices need only be
// ordered within one component, so every component's search numbers from 0.
void Graph::searchComponent(int root) {
  SearchScratch& scratch = searchScratch();
  SearchScratch::BridgeMark* const marks = scratch.bridgeMarks.data();
  std::vector<SearchScratch::BridgeFrame>& stack = scratch.bridgeStack;
  const std::uint32_t stamp = scratch.stamp;
  int counter = 0;
  auto enter = [&](int vertex, int incomingEdge) {
    marks[vertex] = {stamp, counter, counter};
    ++counter;
    stack.push_back({vertex, incomingEdge, vertices_[vertex].firstHalf});
  };
  enter(root, kNone);
  while (!stack.empty()) {
    SearchScratch::BridgeFrame& frame = stack.back();
    if (frame.nextHalf == kNone) {
      const SearchScratch::BridgeFrame done = frame;
      stack.pop_back();
      if (stack.empty())
        break;
      const SearchScratch::BridgeMark& doneMark = marks[done.vertex];
      int& parentLow = marks[stack.back().vertex].lowLink;
      parentLow = std::min(parentLow, doneMark.lowLink);
      // Nothing below the vertex reaches above it: its tree edge is the only way in.
      if (doneMark.lowLink == doneMark.discovery)
        markBridge(done.incomingEdge);
      continue;
    }
    const int half = frame.nextHalf;
    frame.nextHalf = nextHalf(half);
    if (edgeOf(half) == frame.incomingEdge)
      continue;
    const int far = farEndOfHalf(half);
    if (marks[far].stamp != stamp) {
      enter(far, edgeOf(half));  // may reallocate the stack: `frame` is not used past this point
    } else {
      int& low = marks[frame.vertex].lowLink;
      low = std::min(low, marks[far].discovery);
    }
  }
}
