#include "support/graph_invariants.h"

#include <gtest/gtest.h>

void expectGraphInvariants(const Graph& g) {
  EXPECT_EQ(g.edgeCount, static_cast<int>(g.edges.size()));
  EXPECT_EQ(g.vertexCount, static_cast<int>(g.incidence.size()));
  for (const auto& [id, e] : g.edges) {
    EXPECT_EQ(e.id, id);
    for (int end : {e.u, e.v}) {
      auto at = g.incidence.find(end);
      EXPECT_TRUE(at != g.incidence.end() && at->second.count(id) == 1)
          << "edge " << id << " is not listed at its end " << end;
    }
  }
  for (const auto& [vertex, listed] : g.incidence) {
    for (const auto& entry : listed) {
      auto e = g.edges.find(entry.first);
      EXPECT_TRUE(e != g.edges.end() && (e->second.u == vertex || e->second.v == vertex))
          << "vertex " << vertex << " lists edge " << entry.first << ", which does not end there";
    }
  }
  if (!g.classified)
    return;
  EXPECT_EQ(g.loopCount() + g.bridgeCount() + g.ordinaryCount(), g.edgeCount);
  for (const auto& [id, e] : g.edges) {
    const bool loop = g.loops.count(id) == 1;
    EXPECT_EQ(loop + g.bridges.count(id) + g.ordinaryEdges.count(id), 1u)
        << "edge " << id << " is not in exactly one class";
    EXPECT_EQ(loop, e.u == e.v) << "edge " << id;
  }
}
