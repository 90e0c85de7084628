#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "graph/edge.h"
#include "graph/instance_reader.h"

// The multigraph of one node of the deletion-contraction tree. A value: copies are deep and
// indistinguishable from their source, including the iteration order of every container, so
// that two copies of one node branch on the same edge.
//
// Vertex ids are dense indices 0 .. n-1. When the edge list uses other ids (files numbered from
// 1, or with gaps), construction maps every id to its rank among the distinct ids, so no table
// is ever sized by the largest id.
class Graph {
 public:
  using EdgeSet = std::unordered_map<int, bool>;

  // True while loops, bridges and ordinaryEdges describe the current edges.
  bool classified = false;
  int edgeCount = 0;
  int vertexCount = 0;
  std::unordered_map<int, Edge> edges;
  // Per vertex, the set of incident edge ids; a loop is listed once.
  std::unordered_map<int, EdgeSet> incidence;
  // Working data of the bridge search: edges joining each ordered vertex pair.
  std::unordered_map<std::int64_t, int> multiplicity;
  EdgeSet loops;
  EdgeSet bridges;
  EdgeSet ordinaryEdges;
  std::vector<int> discovery;
  std::vector<int> lowLink;

  Graph() = default;
  Graph(int vertexCountIn, const EdgeList& edgeList);

  int loopCount() const { return static_cast<int>(loops.size()); }
  int bridgeCount() const { return static_cast<int>(bridges.size()); }
  int ordinaryCount() const { return static_cast<int>(ordinaryEdges.size()); }
  // The edge the estimators branch on. Needs classified and ordinaryCount() > 0.
  int firstOrdinaryEdge() const { return ordinaryEdges.begin()->first; }

  // Sorts every current edge into exactly one of loops, bridges and ordinaryEdges.
  void classifyEdges();
  // Removes edge `id`. An absent id leaves the graph unchanged.
  void deleteEdge(int id);
  // Merges the endpoints of edge `id`; the endpoint with fewer remaining edges vanishes (on a
  // tie the edge's v). An absent id or a loop leaves the graph unchanged.
  void contractEdge(int id);
  // Moves every edge of vertex `from` onto vertex `into` and removes `from`.
  void mergeVertex(int from, int into);

 private:
  void countMultiplicity(const Edge& e);
  void findBridges();
  void bridgeSearch(int root, int& counter);
};

// One-to-one key of an ordered pair of non-negative vertex ids (Cantor pairing), in 64 bits so
// that it stays exact for every pair of 32-bit ids.
std::int64_t pairKey(int a, int b);
