// The two edits of a tree node's branch edge, each keeping the node classified without a full
// bridge search.
#include <algorithm>

#include "graph/graph.h"
#include "graph/search_scratch.h"

// Contraction changes no class but the twins': a bridge still separates the same two sides,
// and an ordinary edge still lies on a cycle (the cycle through the contracted edge only gets
// shorter), unless that cycle was the edge and its twin. mergeVertex turns the twins into
// loops, so only the first ordinary edge has to be found again; it can only move up.
void Graph::contractBranchEdge() {
  const int branch = firstOrdinaryEdge_;
  contractEdge(branch);
  findFirstOrdinaryEdge(branch + 1);
  classified = true;
}

// Deleting an edge e = (u, v) leaves loops loops and bridges bridges. An ordinary edge f turns
// into a bridge exactly when {e, f} cuts the parent with u and v on different sides: then f
// lies on every u-v path of the child. So the child has new bridges exactly when u and v are
// no longer joined by two edge-disjoint paths, and all of them lie on any one u-v path.
void Graph::deleteBranchEdge() {
  const int branch = firstOrdinaryEdge_;
  const int u = edges_[branch].end[0];
  const int v = edges_[branch].end[1];
  deleteEdge(branch);
  markBridgesSeparating(u, v, nullptr);
  findFirstOrdinaryEdge(branch + 1);
  classified = true;
}

int Graph::soleOrdinaryEdge(int vertex) const {
  int found = kNone;
  for (int half = vertices_[vertex].firstHalf; half != kNone; half = nextHalf(half)) {
    if (edges_[edgeOf(half)].edgeClass != EdgeClass::Ordinary)
      continue;
    if (found != kNone)
      return kNone;
    found = edgeOf(half);
  }
  return found;
}

// The searches below run from both ends of the deleted edge in turns, one vertex each, so
// that together they visit about twice what the smaller one needs: the ball around the nearer
// meeting point, or the smaller side of a new bridge. They are written as plain loops over raw
// arrays because they are most of the cost of a deletion child.

// Breadth-first from both ends over ordinary edges until the two searches meet, then reads the
// path off the edges each vertex was reached by: scratch.pathVertices = from .. to, and
// pathEdges[i] joins pathVertices[i] and pathVertices[i + 1]. Needs a path to exist.
void Graph::findOrdinaryPath(int from, int to) {
  SearchScratch& scratch = searchScratch();
  const std::uint32_t stamp = scratch.newStamp(vertexIdLimit());
  std::uint32_t* const marks = scratch.sideMarks.data();
  int* const reachedBy = scratch.reachedBy.data();
  int* const queues[2] = {scratch.forwardQueue.data(), scratch.backwardQueue.data()};
  int heads[2] = {0, 0}, tails[2] = {1, 1};
  const EdgeSlot* const edges = edges_.data();
  const VertexSlot* const vertices = vertices_.data();
  queues[0][0] = from;
  queues[1][0] = to;
  marks[from] = 2 * stamp;
  marks[to] = 2 * stamp + 1;
  reachedBy[from] = reachedBy[to] = kNone;
  int meetEdge = kNone, meetVertex[2] = {kNone, kNone};
  for (int side = 0; meetEdge == kNone; side = 1 - side) {
    const std::uint32_t own = 2 * stamp + side, other = own ^ 1;
    const int vertex = queues[side][heads[side]++];
    for (int half = vertices[vertex].firstHalf; half != kNone;
         half = edges[edgeOf(half)].next[sideOf(half)]) {
      const EdgeSlot& slot = edges[edgeOf(half)];
      if (slot.edgeClass != EdgeClass::Ordinary)
        continue;
      const int far = slot.end[1 - sideOf(half)];
      const std::uint32_t mark = marks[far];
      if (mark == own)
        continue;
      if (mark == other) {
        meetEdge = edgeOf(half);
        meetVertex[side] = vertex;
        meetVertex[1 - side] = far;
        break;
      }
      marks[far] = own;
      reachedBy[far] = edgeOf(half);
      queues[side][tails[side]++] = far;
    }
  }
  std::vector<int>& path = scratch.pathVertices;
  std::vector<int>& pathEdges = scratch.pathEdges;
  path.clear();
  pathEdges.clear();
  for (int vertex = meetVertex[0]; vertex != from; vertex = otherEnd(pathEdges.back(), vertex)) {
    path.push_back(vertex);
    pathEdges.push_back(reachedBy[vertex]);
  }
  path.push_back(from);
  std::reverse(path.begin(), path.end());
  std::reverse(pathEdges.begin(), pathEdges.end());
  pathEdges.push_back(meetEdge);
  for (int vertex = meetVertex[1]; vertex != to; vertex = otherEnd(pathEdges.back(), vertex)) {
    path.push_back(vertex);
    pathEdges.push_back(reachedBy[vertex]);
  }
  path.push_back(to);
}

const std::vector<int>& Graph::ordinaryPathBetween(int from, int to) {
  findOrdinaryPath(from, to);
  return searchScratch().pathEdges;
}

// Finds the bridges that separate u from v, by augmenting paths: with one u-v path P in hand,
// a second, edge-disjoint one exists exactly when v can be reached from u in the residual
// graph, where P's edges may only be walked backwards. A forward search from u and a backward
// one from v take turns. If they meet, there are two paths and no bridge. If the forward search
// runs out, the set S it reached is closed: the only edge leaving it is the one edge by which P
// leaves S (P cannot re-enter S, or that edge's backward arc would have led out of S), so that
// edge is a bridge, and the search goes on from its far end along the rest of P. What the
// backward search reached stays valid, since it never crossed that edge. The same holds with
// the roles swapped, so every bridge between u and v is found, each side searched once.
void Graph::markBridgesBetween(int u, int v, std::vector<int>& bridges) {
  markBridgesSeparating(u, v, &bridges);
}

void Graph::markBridgesSeparating(int u, int v, std::vector<int>* found) {
  // First the cheap case: an end with one ordinary edge left hangs on it, so that edge is a
  // bridge, and the question moves to the edge's far end.
  while (u != v) {
    if (const int pendant = soleOrdinaryEdge(u); pendant != kNone) {
      markBridge(pendant, found);
      u = otherEnd(pendant, u);
    } else if (const int other = soleOrdinaryEdge(v); other != kNone) {
      markBridge(other, found);
      v = otherEnd(other, v);
    } else {
      break;
    }
  }
  if (u == v)
    return;
  findOrdinaryPath(u, v);
  SearchScratch& scratch = searchScratch();
  const std::uint32_t stamp = scratch.newStamp(vertexIdLimit());
  const std::vector<int>& path = scratch.pathVertices;
  const std::vector<int>& pathEdges = scratch.pathEdges;
  for (std::size_t i = 0; i < pathEdges.size(); ++i) {
    EdgeSlot& slot = edges_[pathEdges[i]];
    slot.pathTail = static_cast<std::int8_t>(slot.end[0] == path[i] ? 0 : 1);
  }
  searchResidual(stamp, found);
  for (int edge : pathEdges)
    edges_[edge].pathTail = -1;
}

void Graph::searchResidual(std::uint32_t stamp, std::vector<int>* found) {
  SearchScratch& scratch = searchScratch();
  const std::vector<int>& path = scratch.pathVertices;
  const std::vector<int>& pathEdges = scratch.pathEdges;
  std::uint32_t* const marks = scratch.sideMarks.data();
  int* const queues[2] = {scratch.forwardQueue.data(), scratch.backwardQueue.data()};
  int heads[2] = {0, 0}, tails[2] = {0, 0};
  const EdgeSlot* const edges = edges_.data();
  const VertexSlot* const vertices = vertices_.data();
  // ends[0] and ends[1] index the path's current ends; each side searches from its end.
  int ends[2] = {0, static_cast<int>(path.size()) - 1};
  auto restart = [&](int side) {
    marks[path[ends[side]]] = 2 * stamp + side;
    queues[side][0] = path[ends[side]];
    heads[side] = 0;
    tails[side] = 1;
  };
  restart(0);
  restart(1);
  for (int side = 0;; side = 1 - side) {
    const std::uint32_t own = 2 * stamp + side, other = own ^ 1;
    const int step = side == 0 ? 1 : -1;
    if (heads[side] == tails[side]) {
      // This side ran out: the path edge by which it leaves what was reached is a bridge.
      int& end = ends[side];
      while (marks[path[end + step]] == own)
        end += step;
      markBridge(pathEdges[side == 0 ? end : end - 1], found);
      end += step;
      if (ends[0] == ends[1] || marks[path[end]] == other)
        return;
      restart(side);
    }
    const int vertex = queues[side][heads[side]++];
    for (int half = vertices[vertex].firstHalf; half != kNone;
         half = edges[edgeOf(half)].next[sideOf(half)]) {
      const EdgeSlot& slot = edges[edgeOf(half)];
      if (slot.edgeClass != EdgeClass::Ordinary)
        continue;
      // Forward, a path edge may be walked only from its head to its tail; backward, only
      // from its tail to its head.
      if (slot.pathTail >= 0 && (slot.pathTail == sideOf(half)) == (side == 0))
        continue;
      const int far = slot.end[1 - sideOf(half)];
      const std::uint32_t mark = marks[far];
      if (mark == own)
        continue;
      if (mark == other)
        return;
      marks[far] = own;
      queues[side][tails[side]++] = far;
    }
  }
}
