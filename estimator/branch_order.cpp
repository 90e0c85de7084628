#include "estimator/branch_order.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

namespace {

using Adjacency = std::vector<std::vector<int>>;

Adjacency adjacencyOf(const EdgeList& edges, int vertexCount) {
  Adjacency adjacent(vertexCount);
  for (const auto& [u, v] : edges) {
    if (u == v)
      continue;
    adjacent[u].push_back(v);
    adjacent[v].push_back(u);
  }
  return adjacent;
}

// Breadth-first from `start`, appending unvisited vertices to `order`; neighbours by increasing
// degree when `byDegree`, else by id. Returns the last vertex reached.
int breadthFirst(const Adjacency& adjacent, int start, bool byDegree, std::vector<char>& seen,
                 std::vector<int>& order) {
  const std::size_t first = order.size();
  seen[start] = 1;
  order.push_back(start);
  for (std::size_t head = first; head < order.size(); ++head) {
    std::vector<int> next = adjacent[order[head]];
    if (byDegree) {
      std::stable_sort(next.begin(), next.end(),
                       [&](int a, int b) { return adjacent[a].size() < adjacent[b].size(); });
    }
    for (int w : next) {
      if (!seen[w]) {
        seen[w] = 1;
        order.push_back(w);
      }
    }
  }
  return order.back();
}

// A vertex far from the rest of its component: the last vertex of a breadth-first search from
// the last vertex of one from `start`.
int farVertex(const Adjacency& adjacent, int start) {
  int far = start;
  for (int round = 0; round < 2; ++round) {
    std::vector<char> seen(adjacent.size(), 0);
    std::vector<int> order;
    far = breadthFirst(adjacent, far, false, seen, order);
  }
  return far;
}

std::vector<int> vertexOrder(const Adjacency& adjacent, bool cuthillMcKee) {
  const int n = static_cast<int>(adjacent.size());
  std::vector<char> seen(n, 0);
  std::vector<int> order;
  order.reserve(n);
  for (int v = 0; v < n; ++v) {
    if (!seen[v])
      breadthFirst(adjacent, cuthillMcKee ? farVertex(adjacent, v) : v, cuthillMcKee, seen, order);
  }
  if (cuthillMcKee)
    std::reverse(order.begin(), order.end());
  return order;
}

}  // namespace

EdgeList orderedForBranching(const EdgeList& edges, int vertexCount, BranchOrder order) {
  if (order == BranchOrder::Input)
    return edges;
  const Adjacency adjacent = adjacencyOf(edges, vertexCount);
  const std::vector<int> vertices = vertexOrder(adjacent, order == BranchOrder::CuthillMcKee);
  std::vector<int> position(vertexCount);
  for (int p = 0; p < vertexCount; ++p)
    position[vertices[p]] = p;
  std::vector<std::tuple<int, int, int>> keyed;  // (first key, second key, edge)
  for (int e = 0; e < static_cast<int>(edges.size()); ++e) {
    const int a = position[edges[e].first], b = position[edges[e].second];
    keyed.emplace_back(std::max(a, b), std::min(a, b), e);
  }
  std::sort(keyed.begin(), keyed.end());
  EdgeList ordered;
  ordered.reserve(edges.size());
  for (const auto& [first, second, e] : keyed)
    ordered.push_back(edges[e]);
  return ordered;
}

EdgeList branchOrderedEdges(const Graph& graph, BranchOrder order) {
  EdgeList edges;
  edges.reserve(static_cast<std::size_t>(graph.edgeCount));
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (graph.hasEdge(id)) {
      const Edge edge = graph.edge(id);
      edges.emplace_back(edge.u, edge.v);
    }
  }
  return orderedForBranching(edges, graph.vertexIdLimit(), order);
}
