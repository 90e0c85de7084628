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
  markBridgesSeparating(u, v);
  findFirstOrdinaryEdge(branch + 1);
  classified = true;
}

namespace {

// The two searches around u and v run in turns, one vertex each, so that together they visit
// about twice what the smaller one needs: the ball around the nearer meeting point, or the
// smaller side of a new bridge.
class TwoSidedSearch {
 public:
  TwoSidedSearch(SearchScratch& scratch, std::uint32_t stamp)
      : marks_(scratch.sideMarks.data()),
        forward_(scratch.forwardQueue),
        backward_(scratch.backwardQueue),
        stamp_(stamp) {}

  bool seenForward(int vertex) const { return marks_[vertex].forwardStamp == stamp_; }
  bool seenBackward(int vertex) const { return marks_[vertex].backwardStamp == stamp_; }

  void startForward(int vertex) {
    forward_.clear();
    forwardHead_ = 0;
    reachForward(vertex, -1);
  }
  void startBackward(int vertex) {
    backward_.clear();
    backwardHead_ = 0;
    reachBackward(vertex, -1);
  }
  void reachForward(int vertex, int via) {
    marks_[vertex].forwardStamp = stamp_;
    marks_[vertex].forwardVia = via;
    forward_.push_back(vertex);
  }
  void reachBackward(int vertex, int via) {
    marks_[vertex].backwardStamp = stamp_;
    marks_[vertex].backwardVia = via;
    backward_.push_back(vertex);
  }
  bool forwardDone() const { return forwardHead_ == forward_.size(); }
  bool backwardDone() const { return backwardHead_ == backward_.size(); }
  int nextForward() { return forward_[forwardHead_++]; }
  int nextBackward() { return backward_[backwardHead_++]; }
  int forwardVia(int vertex) const { return marks_[vertex].forwardVia; }
  int backwardVia(int vertex) const { return marks_[vertex].backwardVia; }

 private:
  SearchScratch::SideMark* marks_;
  std::vector<int>& forward_;
  std::vector<int>& backward_;
  std::size_t forwardHead_ = 0;
  std::size_t backwardHead_ = 0;
  std::uint32_t stamp_;
};

}  // namespace

// Breadth-first from both ends over ordinary edges until the two searches meet, then reads the
// path off the edges each vertex was reached by: scratch.pathVertices = from .. to, and
// pathEdges[i] joins pathVertices[i] and pathVertices[i + 1]. Needs a path to exist.
void Graph::findOrdinaryPath(int from, int to) {
  SearchScratch& scratch = searchScratch();
  TwoSidedSearch search(scratch, scratch.newStamp(vertexIdLimit(), edgeIdLimit()));
  search.startForward(from);
  search.startBackward(to);
  int meetForward = kNone, meetBackward = kNone, meetEdge = kNone;
  // Expands one vertex of one side; true when it touched the other side.
  auto expand = [&](int vertex, bool forward) {
    for (int half = vertices_[vertex].firstHalf; half != kNone; half = nextHalf(half)) {
      if (edges_[edgeOf(half)].edgeClass != EdgeClass::Ordinary)
        continue;
      const int far = farEndOfHalf(half);
      if (forward ? search.seenBackward(far) : search.seenForward(far)) {
        meetForward = forward ? vertex : far;
        meetBackward = forward ? far : vertex;
        meetEdge = edgeOf(half);
        return true;
      }
      if (forward && !search.seenForward(far))
        search.reachForward(far, edgeOf(half));
      if (!forward && !search.seenBackward(far))
        search.reachBackward(far, edgeOf(half));
    }
    return false;
  };
  while (!expand(search.nextForward(), true) && !expand(search.nextBackward(), false)) {
  }
  std::vector<int>& vertices = scratch.pathVertices;
  std::vector<int>& edges = scratch.pathEdges;
  vertices.clear();
  edges.clear();
  for (int vertex = meetForward; vertex != from;) {
    vertices.push_back(vertex);
    edges.push_back(search.forwardVia(vertex));
    vertex = farEndOfHalf(halfOf(edges.back(), edges_[edges.back()].end[0] == vertex ? 0 : 1));
  }
  vertices.push_back(from);
  std::reverse(vertices.begin(), vertices.end());
  std::reverse(edges.begin(), edges.end());
  edges.push_back(meetEdge);
  for (int vertex = meetBackward; vertex != to;) {
    vertices.push_back(vertex);
    edges.push_back(search.backwardVia(vertex));
    vertex = farEndOfHalf(halfOf(edges.back(), edges_[edges.back()].end[0] == vertex ? 0 : 1));
  }
  vertices.push_back(to);
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
void Graph::markBridgesSeparating(int u, int v) {
  findOrdinaryPath(u, v);
  SearchScratch& scratch = searchScratch();
  const std::uint32_t stamp = scratch.newStamp(vertexIdLimit(), edgeIdLimit());
  const std::vector<int>& path = scratch.pathVertices;
  const std::vector<int>& pathEdges = scratch.pathEdges;
  SearchScratch::PathMark* const onPath = scratch.pathMarks.data();
  for (std::size_t i = 0; i < pathEdges.size(); ++i)
    onPath[pathEdges[i]] = {stamp, path[i]};
  TwoSidedSearch search(scratch, stamp);
  std::size_t first = 0, last = path.size() - 1;  // the path's current ends
  search.startForward(path[first]);
  search.startBackward(path[last]);
  // Expands one vertex; true when it reached the other side. Forward, an edge of P may be
  // walked only from its head to its tail; backward, only from its tail to its head.
  auto expand = [&](int vertex, bool forward) {
    for (int half = vertices_[vertex].firstHalf; half != kNone; half = nextHalf(half)) {
      const int edge = edgeOf(half);
      if (edges_[edge].edgeClass != EdgeClass::Ordinary)
        continue;
      if (onPath[edge].stamp == stamp && (onPath[edge].tail == vertex) == forward)
        continue;
      const int far = farEndOfHalf(half);
      if (forward ? search.seenBackward(far) : search.seenForward(far))
        return true;
      if (forward && !search.seenForward(far))
        search.reachForward(far, edge);
      if (!forward && !search.seenBackward(far))
        search.reachBackward(far, edge);
    }
    return false;
  };
  while (true) {
    if (search.forwardDone()) {
      while (search.seenForward(path[first + 1]))
        ++first;
      markBridge(pathEdges[first]);
      if (++first == last || search.seenBackward(path[first]))
        return;
      search.startForward(path[first]);
    }
    if (search.backwardDone()) {
      while (search.seenBackward(path[last - 1]))
        --last;
      markBridge(pathEdges[last - 1]);
      if (--last == first || search.seenForward(path[last]))
        return;
      search.startBackward(path[last]);
    }
    if (expand(search.nextForward(), true))
      return;
    if (!search.backwardDone() && expand(search.nextBackward(), false))
      return;
  }
}
