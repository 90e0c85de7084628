#include "support/graph_invariants.h"

#include <gtest/gtest.h>

#include <algorithm>

void expectGraphInvariants(const Graph& g) {
  int edges = 0;
  int vertices = 0;
  for (int id = 0; id < g.edgeIdLimit(); ++id) {
    if (!g.hasEdge(id))
      continue;
    ++edges;
    const Edge e = g.edge(id);
    EXPECT_EQ(e.id, id);
    for (int end : {e.u, e.v}) {
      const std::vector<int> listed = g.hasVertex(end) ? g.incidentEdges(end) : std::vector<int>{};
      EXPECT_EQ(std::count(listed.begin(), listed.end(), id), 1)
          << "edge " << id << " is not listed once at its end " << end;
    }
  }
  for (int vertex = 0; vertex < g.vertexIdLimit(); ++vertex) {
    if (!g.hasVertex(vertex))
      continue;
    ++vertices;
    const std::vector<int> listed = g.incidentEdges(vertex);
    EXPECT_EQ(g.degree(vertex), static_cast<int>(listed.size())) << "vertex " << vertex;
    for (int id : listed) {
      EXPECT_TRUE(g.hasEdge(id) && (g.edge(id).u == vertex || g.edge(id).v == vertex))
          << "vertex " << vertex << " lists edge " << id << ", which does not end there";
    }
  }
  EXPECT_EQ(g.edgeCount, edges);
  EXPECT_EQ(g.vertexCount, vertices);
  if (!g.classified)
    return;
  int loops = 0;
  int bridges = 0;
  for (int id = 0; id < g.edgeIdLimit(); ++id) {
    if (!g.hasEdge(id))
      continue;
    const bool loop = g.edgeClass(id) == EdgeClass::Loop;
    loops += loop;
    bridges += g.edgeClass(id) == EdgeClass::Bridge;
    EXPECT_EQ(loop, g.edge(id).u == g.edge(id).v) << "edge " << id;
  }
  EXPECT_EQ(g.loopCount(), loops);
  EXPECT_EQ(g.bridgeCount(), bridges);
  EXPECT_EQ(g.loopCount() + g.bridgeCount() + g.ordinaryCount(), g.edgeCount);
  if (g.ordinaryCount() > 0) {
    EXPECT_TRUE(g.hasEdge(g.firstOrdinaryEdge()));
    EXPECT_EQ(g.edgeClass(g.firstOrdinaryEdge()), EdgeClass::Ordinary);
  }
}
