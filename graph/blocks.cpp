#include "graph/blocks.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

// The edges of `ids` as a block on dense ids.
GraphBlock blockOf(const Graph& graph, const std::vector<int>& ids) {
  GraphBlock block;
  std::unordered_map<int, int> dense;
  const auto denseId = [&](int vertex) {
    const auto [at, added] = dense.emplace(vertex, block.vertexCount);
    block.vertexCount += added;
    return at->second;
  };
  for (int id : ids) {
    const Edge edge = graph.edge(id);
    const int u = denseId(edge.u);
    block.edges.emplace_back(u, denseId(edge.v));
  }
  return block;
}

}  // namespace

std::vector<GraphBlock> blocksOf(const Graph& graph) {
  const int limit = graph.vertexIdLimit();
  std::vector<GraphBlock> blocks;
  std::vector<int> discovered(limit, -1), low(limit, 0), edgeStack;
  struct Frame {
    int vertex;
    int parentEdge;
    std::vector<int> incident;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  int time = 0;
  for (int root = 0; root < limit; ++root) {
    if (!graph.hasVertex(root) || discovered[root] >= 0)
      continue;
    discovered[root] = low[root] = time++;
    stack.push_back({root, -1, graph.incidentEdges(root)});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const int v = frame.vertex;
      if (frame.next < frame.incident.size()) {
        const int id = frame.incident[frame.next++];
        const Edge edge = graph.edge(id);
        if (edge.u == edge.v) {
          blocks.push_back(blockOf(graph, {id}));
          continue;
        }
        if (id == frame.parentEdge)
          continue;
        const int w = edge.u == v ? edge.v : edge.u;
        if (discovered[w] < 0) {
          edgeStack.push_back(id);
          discovered[w] = low[w] = time++;
          stack.push_back({w, id, graph.incidentEdges(w)});  // invalidates `frame`
        } else if (discovered[w] < discovered[v]) {
          edgeStack.push_back(id);
          low[v] = std::min(low[v], discovered[w]);
        }
        continue;
      }
      const int parentEdge = frame.parentEdge;
      stack.pop_back();
      if (stack.empty())
        break;
      const int u = stack.back().vertex;
      low[u] = std::min(low[u], low[v]);
      if (low[v] >= discovered[u]) {
        // The edges above parentEdge on the stack, and it, are the block under u.
        std::vector<int> ids;
        while (true) {
          const int id = edgeStack.back();
          edgeStack.pop_back();
          ids.push_back(id);
          if (id == parentEdge)
            break;
        }
        blocks.push_back(blockOf(graph, ids));
      }
    }
  }
  return blocks;
}
