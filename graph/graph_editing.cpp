#include "graph/graph.h"

#include <cassert>
#include <utility>

void Graph::deleteEdge(int id) {
  assert(hasEdge(id) && "deleteEdge of an absent edge");
  if (!hasEdge(id))
    return;
  EdgeSlot& slot = edges_[id];
  unlinkHalf(2 * id);
  unlinkHalf(2 * id + 1);
  --vertices_[slot.end[0]].degree;
  if (slot.end[1] != slot.end[0])
    --vertices_[slot.end[1]].degree;
  slot.alive = false;
  --edgeCount;
  classified = false;
}

int Graph::contractEdge(int id) {
  assert(hasEdge(id) && "contractEdge of an absent edge");
  if (!hasEdge(id))
    return kNone;
  const int u = edges_[id].end[0];
  const int v = edges_[id].end[1];
  // Contracting a loop would merge a vertex into itself and drop it while edges still use it.
  assert(u != v && "contractEdge of a loop");
  if (u == v)
    return kNone;
  // The side with fewer edges moves, so the merge touches as few edges as possible (deleting
  // the edge first lowers both degrees by one, which keeps the choice).
  const int from = vanishingEnd(id);
  const int into = from == u ? v : u;
  deleteEdge(id);
  classified = false;
  mergeVertex(from, into);
  return into;
}

void Graph::mergeVertex(int from, int into) {
  int twins = 0;  // edges that joined from and into, and become loops at into
  int last = kNone;
  for (int half = vertices_[from].firstHalf; half != kNone; half = nextHalf(half)) {
    EdgeSlot& slot = edges_[edgeOf(half)];
    const int side = sideOf(half);
    last = half;
    if (slot.end[side] != from)
      continue;  // the second half of a loop, already moved
    if (slot.end[1 - side] == into) {
      // A parallel twin of the contracted edge: it was ordinary and is now a loop.
      ++twins;
      slot.edgeClass = EdgeClass::Loop;
      ++loopCount_;
    }
    if (slot.end[1 - side] == from)
      slot.end[1 - side] = into;
    slot.end[side] = into;
  }
  VertexSlot& moving = vertices_[from];
  VertexSlot& survivor = vertices_[into];
  if (last != kNone) {
    // Splice the whole list of `from` in front of the survivor's list.
    edges_[edgeOf(last)].next[sideOf(last)] = survivor.firstHalf;
    if (survivor.firstHalf != kNone) {
      edges_[edgeOf(survivor.firstHalf)].prev[sideOf(survivor.firstHalf)] = last;
    }
    survivor.firstHalf = moving.firstHalf;
  }
  survivor.degree += moving.degree - twins;
  moving = VertexSlot{kNone, kNotAVertex};
  --vertexCount;
}

void Graph::renumberVertices(const std::vector<int>& newId) {
  assert(newId.size() == vertices_.size() && "one new id per vertex id");
  std::vector<VertexSlot> renumbered(vertices_.size());
  for (std::size_t old = 0; old < vertices_.size(); ++old)
    renumbered[newId[old]] = vertices_[old];
  vertices_ = std::move(renumbered);
  for (EdgeSlot& slot : edges_) {
    for (int& end : slot.end)
      end = newId[end];
  }
}
