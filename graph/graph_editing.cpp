#include "graph/graph.h"

#include <cassert>

void Graph::deleteEdge(int id) {
  auto found = edges.find(id);
  assert(found != edges.end() && "deleteEdge of an absent edge");
  if (found == edges.end())
    return;
  const Edge e = found->second;
  incidence[e.u].erase(id);
  incidence[e.v].erase(id);
  edges.erase(found);
  --edgeCount;
  classified = false;
}

void Graph::contractEdge(int id) {
  auto found = edges.find(id);
  assert(found != edges.end() && "contractEdge of an absent edge");
  if (found == edges.end())
    return;
  const int u = found->second.u;
  const int v = found->second.v;
  // Contracting a loop would merge a vertex into itself and drop it while edges still use it.
  assert(u != v && "contractEdge of a loop");
  if (u == v)
    return;
  deleteEdge(id);
  // The side with fewer remaining edges moves, so the merge touches as few edges as possible.
  if (incidence[u].size() < incidence[v].size()) {
    mergeVertex(u, v);
  } else {
    mergeVertex(v, u);
  }
  classified = false;
}

void Graph::mergeVertex(int from, int into) {
  EdgeSet& moving = incidence[from];
  EdgeSet& survivor = incidence[into];
  for (const auto& entry : moving) {
    Edge& e = edges[entry.first];
    if (e.u == from)
      e.u = into;
    if (e.v == from)
      e.v = into;
    survivor.emplace(entry.first, true);
  }
  moving.clear();
  incidence.erase(from);
  --vertexCount;
}
