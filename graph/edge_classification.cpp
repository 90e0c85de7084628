#include "graph/graph.h"

#include <algorithm>

void Graph::classifyEdges() {
  multiplicity.clear();
  loops.clear();
  ordinaryEdges.clear();
  bridges.clear();
  for (const auto& [id, e] : edges) {
    ordinaryEdges.emplace(id, true);
    countMultiplicity(e);
    if (e.u == e.v) {
      ordinaryEdges.erase(id);
      loops.emplace(id, true);
    }
  }
  findBridges();
  classified = true;
}

void Graph::countMultiplicity(const Edge& e) {
  const std::int64_t forward = pairKey(e.u, e.v);
  const std::int64_t backward = pairKey(e.v, e.u);
  auto found = multiplicity.find(forward);
  if (found == multiplicity.end()) {
    multiplicity.emplace(forward, 1);
    multiplicity.emplace(backward, 1);
  } else {
    ++found->second;
    ++multiplicity[backward];
  }
}

void Graph::findBridges() {
  std::fill(discovery.begin(), discovery.end(), -1);
  std::fill(lowLink.begin(), lowLink.end(), -1);
  int counter = 0;
  for (const auto& entry : incidence) {
    if (discovery[entry.first] == -1)
      bridgeSearch(entry.first, counter);
  }
}

namespace {

// One vertex of the depth-first search in progress: where it came from, and how far its list
// of incident edges has been walked. `pendingEdge` is the tree edge whose subtree is being
// searched, or -1.
struct SearchFrame {
  int parent;
  int vertex;
  Graph::EdgeSet::const_iterator next;
  int pendingEdge;
  int pendingChild;
};

}  // namespace

// Discovery / low-link search for bridges from `root`, with an explicit stack: a path can be
// as long as the graph has vertices, far deeper than the call stack allows.
void Graph::bridgeSearch(int root, int& counter) {
  std::vector<SearchFrame> stack;
  auto enter = [&](int parent, int vertex) {
    discovery[vertex] = counter++;
    lowLink[vertex] = discovery[vertex];
    stack.push_back({parent, vertex, incidence[vertex].cbegin(), -1, -1});
  };
  enter(root, root);
  while (!stack.empty()) {
    SearchFrame& frame = stack.back();
    const int x = frame.vertex;
    if (frame.pendingEdge >= 0) {
      // Back from the subtree below the tree edge (x, w).
      const int w = frame.pendingChild;
      lowLink[x] = std::min(lowLink[x], lowLink[w]);
      if (lowLink[w] == discovery[w] && multiplicity[pairKey(x, w)] == 1) {
        bridges.emplace(frame.pendingEdge, true);
        ordinaryEdges.erase(frame.pendingEdge);
      }
      frame.pendingEdge = -1;
    }
    if (frame.next == incidence[x].cend()) {
      stack.pop_back();
      continue;
    }
    const Edge& e = edges[frame.next->first];
    ++frame.next;
    const int w = e.u == x ? e.v : e.u;
    if (discovery[w] == -1) {
      frame.pendingEdge = e.id;
      frame.pendingChild = w;
      enter(x, w);  // may reallocate the stack: `frame` is not used past this point
    } else if (w != frame.parent) {
      lowLink[x] = std::min(lowLink[x], discovery[w]);
    }
  }
}
