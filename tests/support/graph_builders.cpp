#include "support/graph_builders.h"

#include <algorithm>
#include <random>
#include <vector>

#include "library/sampling_run.h"

Graph graphOf(const EdgeList& edges) {
  return graphOfEdges(edges);
}

EdgeList gridEdges(int rows, int columns) {
  EdgeList edges;
  for (int v = 0; v < rows * columns; ++v) {
    if (v % columns != columns - 1)
      edges.push_back({v, v + 1});
    if (v + columns < rows * columns)
      edges.push_back({v, v + columns});
  }
  return edges;
}

EdgeList completeGraph(int vertices) {
  EdgeList edges;
  for (int u = 0; u < vertices; ++u)
    for (int v = u + 1; v < vertices; ++v)
      edges.push_back({u, v});
  return edges;
}

EdgeList cycleEdges(int vertices) {
  EdgeList edges(static_cast<std::size_t>(vertices));
  for (int v = 0; v < vertices; ++v)
    edges[v] = {v, (v + 1) % vertices};
  return edges;
}

EdgeList randomCubicMultigraph(int vertices, std::uint64_t seed) {
  std::vector<int> ends;
  for (int v = 0; v < vertices; ++v)
    ends.insert(ends.end(), 3, v);
  std::mt19937_64 rng(seed);
  std::shuffle(ends.begin(), ends.end(), rng);
  EdgeList edges;
  for (std::size_t k = 0; k + 1 < ends.size(); k += 2)
    edges.push_back({ends[k], ends[k + 1]});
  return edges;
}
