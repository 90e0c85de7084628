#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "graph/edge.h"
#include "graph/instance_reader.h"

// Class of an edge after classification.
enum class EdgeClass : std::uint8_t { Ordinary, Loop, Bridge };

// The multigraph of one node of the deletion-contraction tree. A value: copies are deep and
// indistinguishable from their source, so two copies of one node branch on the same edge.
//
// Every kept tree node is a copy, so the layout is built for copying: two contiguous arrays of
// trivially copyable slots, one per edge id and one per vertex id. A copy is two buffer copies,
// and copy-assignment into an existing graph reuses its buffers. Each vertex's incident edges
// form a doubly linked list threaded through the edge slots (edge e has the half-edge 2e at its
// end u and 2e + 1 at its end v), so deleting an edge unlinks two half-edges in O(1) and
// contracting one relinks only the edges of the vanishing side.
//
// Vertex ids are dense indices 0 .. n-1. When the edge list uses other ids (files numbered from
// 1, or with gaps), construction maps every id to its rank among the distinct ids, so no table
// is ever sized by the largest id.
class Graph {
 public:
  // True while the edge classes and the counts below describe the current edges.
  bool classified = false;
  int edgeCount = 0;
  int vertexCount = 0;

  Graph() = default;
  Graph(int vertexCountIn, const EdgeList& edgeList);

  int loopCount() const { return loopCount_; }
  int bridgeCount() const { return bridgeCount_; }
  int ordinaryCount() const { return edgeCount - loopCount_ - bridgeCount_; }
  // The edge the estimators branch on: the ordinary edge with the smallest id. Needs
  // classified and ordinaryCount() > 0.
  int firstOrdinaryEdge() const { return firstOrdinaryEdge_; }

  // Sorts every current edge into exactly one class: loop, bridge or ordinary.
  void classifyEdges();
  // Removes edge `id`. An absent id leaves the graph unchanged.
  void deleteEdge(int id);
  // Merges the endpoints of edge `id`; the endpoint with fewer remaining edges vanishes (on a
  // tie the edge's v). Returns the endpoint that stays. An absent id or a loop leaves the graph
  // unchanged (and returns -1).
  int contractEdge(int id);
  // The end contractEdge(id) removes: the one with fewer edges, on a tie the edge's v.
  int vanishingEnd(int id) const {
    const EdgeSlot& slot = edges_[id];
    return degree(slot.end[0]) < degree(slot.end[1]) ? slot.end[0] : slot.end[1];
  }
  // Delete or contract the branch edge of a classified graph and keep it classified. Need
  // classified and ordinaryCount() > 0. Both live in branch_edits.cpp.
  // Contraction: O(degree of the vanishing end), no search.
  // Deletion: a search around the edge's ends that stops as soon as it finds two edge-disjoint
  // paths between them; it visits the whole side of a new bridge only when one appears, so it
  // costs O(what it visits), at most O(vertices + edges) of the edge's 2-edge-connected part.
  void deleteBranchEdge();
  void contractBranchEdge();
  // Gives vertex `old` the id newId[old]; newId is a permutation of [0, vertexIdLimit()). Edge
  // ids, lists and classes stay as they are, so every search visits the same vertices in the
  // same order under their new names. O(vertex ids + edge ids).
  void renumberVertices(const std::vector<int>& newId);
  // Moves every edge of vertex `from` onto vertex `into` and removes `from`.
  void mergeVertex(int from, int into);
  // For callers that keep their own classes: after an edit that may have cut the last two
  // edge-disjoint paths between the connected vertices u and v, marks every ordinary edge that
  // now separates them as a bridge and appends it to `bridges`. The search of deleteBranchEdge:
  // O(what it visits), usually a small ball around u and v.
  void markBridgesBetween(int u, int v, std::vector<int>& bridges);
  // The edges of a path from `from` to `to` over ordinary edges, in order; needs one to exist.
  // The searches of both ends take turns until they meet, so the path is short and the cost
  // is about twice the ball around the nearer meeting point. The result lives in this thread's
  // search scratch and is valid until the next search.
  const std::vector<int>& ordinaryPathBetween(int from, int to);

  // Read-only views.
  bool hasEdge(int id) const;
  Edge edge(int id) const { return Edge{id, edges_[id].end[0], edges_[id].end[1]}; }
  // The end of a non-loop `edge` that is not `vertex`.
  int otherEnd(int edge, int vertex) const {
    return edges_[edge].end[edges_[edge].end[0] == vertex ? 1 : 0];
  }
  bool hasVertex(int vertex) const;
  // Number of distinct edges at a vertex; a loop counts once.
  int degree(int vertex) const { return vertices_[vertex].degree; }
  // Valid while classified.
  EdgeClass edgeClass(int id) const { return edges_[id].edgeClass; }
  // Size of the id ranges: every edge id lies in [0, edgeIdLimit()), every vertex id in
  // [0, vertexIdLimit()).
  int edgeIdLimit() const { return static_cast<int>(edges_.size()); }
  int vertexIdLimit() const { return static_cast<int>(vertices_.size()); }
  // The work of copying and editing this graph, in slots (by which the walks decide whether a
  // level is worth building on all cores).
  long workSlots() const { return edgeIdLimit() + vertexIdLimit(); }
  // Bytes a copy of this graph occupies: its slots, alive or not.
  std::size_t memoryBytes() const {
    return edges_.size() * sizeof(EdgeSlot) + vertices_.size() * sizeof(VertexSlot);
  }
  // The ids of the edges at a vertex, each once, in list order.
  std::vector<int> incidentEdges(int vertex) const;
  // Calls visit(edge, farEnd) for every edge at a vertex, in list order, without allocating; a
  // loop is visited once, with farEnd == vertex. O(degree).
  template <typename Visit>
  void forEachIncidentEdge(int vertex, Visit visit) const {
    for (int half = vertices_[vertex].firstHalf; half != kNone; half = nextHalf(half)) {
      const EdgeSlot& slot = edges_[edgeOf(half)];
      if (slot.end[0] != slot.end[1] || sideOf(half) == 0)
        visit(edgeOf(half), slot.end[1 - sideOf(half)]);
    }
  }

 private:
  static constexpr int kNone = -1;
  static constexpr int kNotAVertex = -1;

  struct EdgeSlot {
    int end[2];   // u, v
    int next[2];  // next half-edge in the list of end[side]
    int prev[2];  // previous half-edge in that list
    bool alive;
    EdgeClass edgeClass;
    // During a deletion child's second search only: which end is the tail of this edge on the
    // path found first (0 or 1), -1 off that path. Kept in the slot the search reads anyway.
    std::int8_t pathTail;
  };
  struct VertexSlot {
    int firstHalf;  // kNone for an empty list
    int degree;     // kNotAVertex for an id no vertex has (any more)
  };
  static_assert(std::is_trivially_copyable_v<EdgeSlot>);
  static_assert(std::is_trivially_copyable_v<VertexSlot>);

  // Edge e has the half-edge 2e at its end u (side 0) and 2e + 1 at its end v (side 1).
  // Halves are never negative, so a shift and a mask do (signed / and % would need fix-ups).
  static int edgeOf(int half) { return half >> 1; }
  static int sideOf(int half) { return half & 1; }
  static int halfOf(int edge, int side) { return 2 * edge + side; }
  int vertexOfHalf(int half) const { return edges_[edgeOf(half)].end[sideOf(half)]; }
  // The vertex at the other end of the edge of `half`.
  int farEndOfHalf(int half) const { return edges_[edgeOf(half)].end[1 - sideOf(half)]; }
  int nextHalf(int half) const { return edges_[edgeOf(half)].next[sideOf(half)]; }
  void linkHalf(int half, int vertex);
  void unlinkHalf(int half);
  void markBridge(int edge, std::vector<int>* found = nullptr);
  void searchComponent(int root);
  void findFirstOrdinaryEdge(int from);
  // The local search of deleteBranchEdge (branch_edits.cpp).
  int soleOrdinaryEdge(int vertex) const;  // kNone unless exactly one
  void findOrdinaryPath(int from, int to);
  void markBridgesSeparating(int u, int v, std::vector<int>* found);
  void searchResidual(std::uint32_t stamp, std::vector<int>* found);

  std::vector<EdgeSlot> edges_;
  std::vector<VertexSlot> vertices_;
  int loopCount_ = 0;
  int bridgeCount_ = 0;
  int firstOrdinaryEdge_ = kNone;
};
