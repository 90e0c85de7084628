#pragma once

#include <cstddef>
#include <vector>

#include "graph/graph.h"

// A rooted spanning forest of a Graph that follows the graph's edits, so that a path between
// two vertices of one component is found by walking up from both ends until the walks meet:
// its cost is the depth of the forest there, not a search of the graph. Each vertex keeps the
// id of the edge to its parent and the parent, so that a walk up reads this one array and no
// edge slot of the graph; contracting an edge renames the parent of the vanishing end's
// children, and a copy is one buffer copy.
//
// The forest is kept a maximum spanning forest by edge id where that is cheap. The edge with
// the smallest id on a cycle is then off the forest, so the reduced walk's branch edge (the
// smallest id, and on a cycle, since a reduced graph has no bridge) is a forest edge only
// after merges have moved ids, and deleting it almost never cuts the forest. Each tree is
// rooted at its centre, so that walks up are short.
//
// The caller edits the graph and tells the forest: prepareContraction before and
// finishContraction after Graph::contractEdge, replaceByTwin after deleting one of two
// parallel edges, reconnect after deleting a forest edge. Deleting an edge off the forest
// needs nothing.
class SpanningForest {
 public:
  SpanningForest() = default;
  // Kruskal by decreasing id, each tree rooted at its centre. O(edges log edges).
  explicit SpanningForest(const Graph& graph);

  // Whether `edge`, whose ends are u and v, is a forest edge. O(1); valid after its deletion.
  bool holds(int edge, int u, int v) const { return up_[u].edge == edge || up_[v].edge == edge; }
  // The edges of the forest path between a and b, in order from a; empty when a == b. Sets
  // `found` false (and returns an empty path) when the two are in different trees. O(length of
  // the path, on the longer side). The result lives in this thread's scratch and is valid until
  // the next call on this thread.
  const std::vector<int>& pathBetween(const Graph& graph, int a, int b, bool& found);
  // The same path as two runs of edges, each from its end up to where the two meet (so the
  // second run is the path's second half reversed), for callers to whom the order does not
  // matter: nothing is copied. Valid until the next call on this thread.
  struct PathRuns {
    const int* fromA;
    int fromALength;
    const int* fromB;
    int fromBLength;
  };
  PathRuns pathRunsBetween(const Graph& graph, int a, int b, bool& found);

  // Before graph.contractEdge(edge): makes the edge a forest edge, dropping the smallest id of
  // the cycle it closes (which keeps a maximum forest one), and hangs the children of the end
  // the contraction removes (Graph::vanishingEnd) on the other end. O(the forest path between
  // its ends + the degree of the vanishing end).
  void prepareContraction(const Graph& graph, int edge);
  // After graph.contractEdge(edge) kept `stays` and removed `gone`. O(1).
  void finishContraction(int edge, int stays, int gone);
  // After deleting `dropped`, one of two parallel edges between u and v, of which `kept`
  // stays. O(1).
  void replaceByTwin(int dropped, int kept, int u, int v);
  // After deleting the forest edge `edge` between u and v: hangs the tree part it cut off back
  // by an edge of `path`, the edges of a path from u to v in the graph, or leaves it a tree of
  // its own when `path` is empty (the edge was a bridge). O(path length times the depth of the
  // cut-off part).
  void reconnect(const Graph& graph, int edge, int u, int v, const std::vector<int>& path);

  // After graph.renumberVertices(newId): the same forest under the new names. O(vertex ids).
  void renumberVertices(const std::vector<int>& newId);

  std::size_t memoryBytes() const { return up_.size() * sizeof(Link); }

  // A vertex's way up: the edge to its parent and the parent, so that walking up reads only
  // the forest's own array, never the graph's edge slots.
  struct Link {
    int edge;
    int parent;
  };

 private:
  static constexpr int kRoot = -1;
  static constexpr Link kRootLink{kRoot, kRoot};
  // Makes `edge` a forest edge, dropping the smallest id of the cycle it closes.
  void makeForestEdge(const Graph& graph, int edge);
  int rootOf(const Graph& graph, int vertex) const;
  // Makes `vertex` the root of its tree by turning the edges on its path to the root.
  void reroot(const Graph& graph, int vertex);

  std::vector<Link> up_;  // by vertex id; edge kRoot at a root
};
