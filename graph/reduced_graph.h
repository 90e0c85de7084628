#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "graph/edge_factors.h"
#include "graph/graph.h"
#include "graph/reduction_scratch.h"
#include "graph/spanning_forest.h"

// A tree node of the reduced walk: a multigraph whose edges carry EdgeFactors, and the weight
// that the reductions and the choices above the node have gathered, so that the node stands for
// weight * T(its graph with those factors).
//
// The parts of the deletion-contraction tree whose sum is known in closed form are never walked:
// after every edit the graph is reduced until it has no loop (weight times Y), no bridge (weight
// times X, then contracted), no two edges with the same ends (one edge, inParallel) and no vertex
// with exactly two edges (one edge, inSeries). So every vertex of an inner node has at least
// three neighbours, and a node with no edge left is a leaf worth its weight.
//
// The reductions look only where an edit can have created work: a deletion can make the edges
// separating its two ends bridges (the local search of Graph::markBridgesBetween) and lowers the
// degree of its ends; a contraction can give the merged vertex parallel edges; merging parallel
// edges lowers the far end's degree and can make the merged edge a bridge (when the pair was a
// 2-edge cut); a series merge can give its two ends a parallel pair. Each of those vertices is
// put on a worklist and looked at once more, so a reduction costs what it touches.
//
// Bridges are told by cycle labels, so that most edits need no search for them. Every edge
// carries a 64-bit label, and at every vertex the labels of its edges XOR to 0 (a loop counts
// twice): the labels are an element of the cycle space over GF(2)^64. A cycle meets every
// edge cut an even number of times, so the labels of the edges of any cut XOR to 0: a bridge
// has label 0, and an edge f that forms a 2-edge cut with e has label(f) == label(e). Removing
// e keeps the rule when label(e) is XORed into the edges of any path between e's ends, and the
// labels stay uniform over the smaller cycle space (the map is a projection onto it), so a
// label 0 on an edge that is not a bridge has chance 2^-64. So a label other than 0 proves an
// edge is not a bridge, and only a label 0 sends the walk to the exact search, which has the
// last word: labels decide how much is searched, never what is found. The labels are drawn
// from a fixed mix of the edge ids, so a graph and its copies always search alike. The path a
// deleted edge's label is carried along is the one in a spanning forest that follows every
// edit (graph/spanning_forest.h), so carrying it costs the forest's depth, not a search.
//
// The topology is a Graph: copies are a few buffer copies, and its searches are shared with the
// level walk. The branch edge is the live edge with the smallest id, so the order of the input
// edges decides the order in which the walk branches; merged edges keep the smaller id.
template <typename Value>
class ReducedGraph {
 public:
  ReducedGraph() = default;
  // The graph of `edges` on the ids 0 .. vertexCount - 1 (other ids are mapped as Graph maps
  // them), every edge carrying `inputEdge`, with weight 1, reduced. O(vertices + edges) plus the
  // reductions.
  ReducedGraph(int vertexCount, const EdgeList& edges, const EdgeFactors<Value>& inputEdge);
  // The same with edge k carrying factors[k] (one per edge): a reduced graph rebuilt on fewer
  // ids. O(vertices + edges) plus the reductions.
  ReducedGraph(int vertexCount, const EdgeList& edges, std::vector<EdgeFactors<Value>> factors);

  bool isLeaf() const { return topology_.edgeCount == 0; }
  const Value& weight() const { return weight_; }
  void setWeight(const Value& weight) { weight_ = weight; }
  int edgeCount() const { return topology_.edgeCount; }
  // The edge the children are made by: the live edge with the smallest id; -1 at a leaf.
  int branchEdge() const { return branchEdge_; }
  const EdgeFactors<Value>& factors(int edge) const { return factors_[edge]; }
  const Graph& topology() const { return topology_; }
  // An edge slot holds its four factors besides the topology's own slot: about four of a plain
  // graph's slots of work.
  long workSlots() const { return 4L * topology_.edgeIdLimit() + topology_.vertexIdLimit(); }
  std::size_t memoryBytes() const {
    return topology_.memoryBytes() + factors_.size() * sizeof(EdgeFactors<Value>) +
           labels_.size() * sizeof(std::uint64_t) + forest_.memoryBytes() +
           firstIds_.size() * sizeof(int);
  }

  // The two children of an inner node, each reduced: the weight is multiplied by the branch
  // edge's a (deletion) or b (contraction). A deletion costs the forest path between the edge's
  // ends (a search of the graph when the edge is a forest edge), and the search for new bridges
  // only when the labels on that path say there may be one; a contraction the forest path between
  // its ends and a scan of the merged vertex's edges; each reduction that follows, a scan of the
  // vertices it touches (and a bridge search per merged parallel pair whose label is 0).
  void deleteBranchEdge();
  void contractBranchEdge();

  // Renames the vertices in the order the walk reaches them: by their first live edge in id
  // order, which is the branch order. What a node touches then lies in a narrow band of every
  // array indexed by vertex, the band the walk moves along, instead of all over it. The graph,
  // its factors, labels, forest and branch edge stay as they are, and so does every later
  // result: the one step that orders by vertex id (the parallel groups at a vertex) orders by
  // the id before renaming. O(vertex ids + edge ids).
  void renumberInBranchOrder();

 private:
  void reduceFromScratch();
  void labelCycles();
  // Keeps the labels' rule after `removed` has been deleted: XORs its label into a path
  // between its ends. Returns whether some edge of that path may now be a bridge.
  bool carryLabelAround(const Edge& removed);
  // A vertex whose neighbours may now be joined to it twice, or whose degree fell.
  void schedule(int vertex) { reductionScratch().pending.push_back(vertex); }
  // A vertex whose degree fell but which gained no neighbour (the bitwise complement marks it).
  void scheduleDegree(int vertex) { reductionScratch().pending.push_back(~vertex); }
  void reduce();
  void reduceDegreeAt(int vertex);
  bool hasParallelEdgesAt(int vertex) const;
  bool mergeParallelEdgesAt(int vertex);
  void mergeSeriesAt(int vertex);
  // Returns the vertex that stays.
  int contractBridge(int edge);
  // Graph::contractEdge with the forest kept up to date; returns the vertex that stays.
  int contract(int edge);
  void contractBridgesBetween(int u, int v);
  void findBranchEdge(int from);
  // The id `vertex` had before renumberInBranchOrder.
  int firstIdOf(int vertex) const { return firstIds_.empty() ? vertex : firstIds_[vertex]; }

  Graph topology_;
  std::vector<EdgeFactors<Value>> factors_;  // by edge id; stale for dead edges
  std::vector<std::uint64_t> labels_;        // cycle labels by edge id; stale for dead edges
  SpanningForest forest_;
  // By vertex id: the id before renumbering; empty when the vertices were never renumbered.
  // A plain vector rather than a shared one: a copy is one more small buffer, and the walk's
  // moves and swaps stay a few pointer copies.
  std::vector<int> firstIds_;
  Value weight_{};
  int branchEdge_ = -1;
};

template <typename Value>
ReducedGraph<Value>::ReducedGraph(int vertexCount, const EdgeList& edges,
                                  const EdgeFactors<Value>& inputEdge)
    : topology_(vertexCount, edges), factors_(edges.size(), inputEdge), weight_(1) {
  reduceFromScratch();
}

template <typename Value>
ReducedGraph<Value>::ReducedGraph(int vertexCount, const EdgeList& edges,
                                  std::vector<EdgeFactors<Value>> factors)
    : topology_(vertexCount, edges), factors_(std::move(factors)), weight_(1) {
  assert(factors_.size() == edges.size() && "one factor tuple per edge");
  reduceFromScratch();
}

template <typename Value>
void ReducedGraph<Value>::reduceFromScratch() {
  reductionScratch().pending.clear();
  labelCycles();
  forest_ = SpanningForest(topology_);
  topology_.classifyEdges();
  for (int id = 0; id < topology_.edgeIdLimit(); ++id) {
    if (topology_.hasEdge(id) && topology_.edgeClass(id) == EdgeClass::Loop) {
      weight_ = weight_ * factors_[id].Y;
      topology_.deleteEdge(id);
    }
  }
  // Contracting a bridge leaves every other bridge a bridge and creates no loop or parallel
  // pair: two ends with a common neighbour would lie on a cycle.
  for (int id = 0; id < topology_.edgeIdLimit(); ++id) {
    if (topology_.hasEdge(id) && topology_.edgeClass(id) == EdgeClass::Bridge)
      contractBridge(id);
  }
  for (int vertex = 0; vertex < topology_.vertexIdLimit(); ++vertex) {
    if (topology_.hasVertex(vertex))
      schedule(vertex);
  }
  reduce();
  findBranchEdge(0);
}

// A spanning forest breadth-first: every edge off the forest gets a label of its own, and each
// forest edge, taken from the leaves up, the XOR of the other edges at its lower end, which
// makes that end's XOR 0. A root's XOR is then 0 too (every label is counted at both ends).
template <typename Value>
void ReducedGraph<Value>::labelCycles() {
  const int vertexLimit = topology_.vertexIdLimit();
  labels_.assign(topology_.edgeIdLimit(), 0);
  for (int id = 0; id < topology_.edgeIdLimit(); ++id) {
    // splitmix64's finaliser: distinct ids give distinct, well-spread labels.
    std::uint64_t z = (static_cast<std::uint64_t>(id) + 1) * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    labels_[id] = z ^ (z >> 31);
  }
  constexpr int kUnseen = -2, kRoot = -1;
  std::vector<int> treeEdge(vertexLimit, kUnseen);
  std::vector<int> order;
  order.reserve(vertexLimit);
  for (int root = 0; root < vertexLimit; ++root) {
    if (!topology_.hasVertex(root) || treeEdge[root] != kUnseen)
      continue;
    treeEdge[root] = kRoot;
    order.push_back(root);
    for (std::size_t head = order.size() - 1; head < order.size(); ++head) {
      topology_.forEachIncidentEdge(order[head], [&](int edge, int far) {
        if (treeEdge[far] == kUnseen) {
          treeEdge[far] = edge;
          order.push_back(far);
        }
      });
    }
  }
  for (auto vertex = order.rbegin(); vertex != order.rend(); ++vertex) {
    const int up = treeEdge[*vertex];
    if (up == kRoot)
      continue;
    std::uint64_t others = 0;
    topology_.forEachIncidentEdge(*vertex, [&](int edge, int far) {
      if (edge != up && far != *vertex)
        others ^= labels_[edge];
    });
    labels_[up] = others;
  }
}

template <typename Value>
bool ReducedGraph<Value>::carryLabelAround(const Edge& removed) {
  const std::uint64_t label = labels_[removed.id];
  bool mayCut = false;
  auto carry = [&](int edge) {
    labels_[edge] ^= label;
    mayCut |= labels_[edge] == 0;
  };
  const bool inForest = forest_.holds(removed.id, removed.u, removed.v);
  if (!inForest) {
    bool found = false;
    const SpanningForest::PathRuns runs =
        forest_.pathRunsBetween(topology_, removed.u, removed.v, found);
    if (found) {
      std::for_each(runs.fromA, runs.fromA + runs.fromALength, carry);
      std::for_each(runs.fromB, runs.fromB + runs.fromBLength, carry);
      return mayCut;
    }
  }
  const std::vector<int>& path = topology_.ordinaryPathBetween(removed.u, removed.v);
  if (inForest)
    forest_.reconnect(topology_, removed.id, removed.u, removed.v, path);
  std::for_each(path.begin(), path.end(), carry);
  return mayCut;
}

template <typename Value>
void ReducedGraph<Value>::deleteBranchEdge() {
  const Edge branch = topology_.edge(branchEdge_);
  weight_ = weight_ * factors_[branch.id].a;
  topology_.deleteEdge(branch.id);
  scheduleDegree(branch.u);
  scheduleDegree(branch.v);
  // An inner node has no bridge, so the two ends are still joined. A new bridge separates
  // them, so it lies on the path and its label is now 0.
  if (carryLabelAround(branch))
    contractBridgesBetween(branch.u, branch.v);
  reduce();
  findBranchEdge(branch.id + 1);
}

template <typename Value>
void ReducedGraph<Value>::contractBranchEdge() {
  const int branch = branchEdge_;
  weight_ = weight_ * factors_[branch].b;
  schedule(contract(branch));
  reduce();
  findBranchEdge(branch + 1);
}

template <typename Value>
void ReducedGraph<Value>::reduce() {
  std::vector<int>& pending = reductionScratch().pending;
  while (!pending.empty()) {
    const int entry = pending.back();
    pending.pop_back();
    const int vertex = entry < 0 ? ~entry : entry;
    if (!topology_.hasVertex(vertex))
      continue;
    if (entry >= 0 && mergeParallelEdgesAt(vertex))
      continue;
    reduceDegreeAt(vertex);
  }
}

template <typename Value>
void ReducedGraph<Value>::reduceDegreeAt(int vertex) {
  switch (topology_.degree(vertex)) {
    case 1: {
      int pendant = -1;
      topology_.forEachIncidentEdge(vertex, [&](int edge, int) { pendant = edge; });
      contractBridge(pendant);
      break;
    }
    case 2:
      mergeSeriesAt(vertex);
      break;
    default:
      break;
  }
}

// Folds every group of edges between `vertex` and one neighbour into the group's smallest id.
// Returns true when a merged edge turned out to be a bridge and was contracted: `vertex` may
// then be gone, and the vertex that stays has been scheduled to be looked at afresh.
template <typename Value>
bool ReducedGraph<Value>::mergeParallelEdgesAt(int vertex) {
  if (!hasParallelEdgesAt(vertex))
    return false;
  ReductionScratch& scratch = reductionScratch();
  // (far end's first id, edge): the groups go in the same order under any renumbering.
  std::vector<std::pair<int, int>>& ends = scratch.neighbourEdges;
  ends.clear();
  topology_.forEachIncidentEdge(
      vertex, [&](int edge, int far) { ends.emplace_back(firstIdOf(far), edge); });
  std::sort(ends.begin(), ends.end());
  for (std::size_t first = 0; first < ends.size();) {
    std::size_t last = first + 1;
    while (last < ends.size() && ends[last].first == ends[first].first)
      ++last;
    if (last - first > 1) {
      const int kept = ends[first].second;
      const int far = topology_.otherEnd(kept, vertex);
      for (std::size_t k = first + 1; k < last; ++k) {
        factors_[kept] = inParallel(factors_[kept], factors_[ends[k].second]);
        // The kept edge is the path between the dropped edge's ends.
        labels_[kept] ^= labels_[ends[k].second];
        topology_.deleteEdge(ends[k].second);
        forest_.replaceByTwin(ends[k].second, kept, vertex, far);
      }
      // The only edge that can now separate the two ends is the merged one, and only when
      // its label is 0.
      std::vector<int>& bridges = scratch.bridges;
      bridges.clear();
      if (labels_[kept] == 0)
        topology_.markBridgesBetween(vertex, far, bridges);
      if (!bridges.empty()) {
        // Groups not yet merged at `vertex` are now at the vertex that stays.
        schedule(contractBridge(kept));
        return true;
      }
      scheduleDegree(far);
    }
    first = last;
  }
  return false;
}

// Most vertices looked at have no parallel pair: one pass with marks tells, before any sorting.
template <typename Value>
bool ReducedGraph<Value>::hasParallelEdgesAt(int vertex) const {
  ReductionScratch& scratch = reductionScratch();
  const std::uint32_t stamp = scratch.newStamp(topology_.vertexIdLimit());
  std::uint32_t* const marks = scratch.neighbourMarks.data();
  bool found = false;
  topology_.forEachIncidentEdge(vertex, [&](int, int far) {
    found = found || marks[far] == stamp;
    marks[far] = stamp;
  });
  return found;
}

template <typename Value>
void ReducedGraph<Value>::mergeSeriesAt(int vertex) {
  int edges[2], ends[2], found = 0;
  topology_.forEachIncidentEdge(vertex, [&](int edge, int far) {
    edges[found] = edge;
    ends[found] = far;
    ++found;
  });
  // Parallel pairs are merged first, so the two far ends differ and neither is `vertex`.
  const int kept = std::min(edges[0], edges[1]);
  const int dropped = std::max(edges[0], edges[1]);
  factors_[kept] = inSeries(factors_[kept], factors_[dropped]);
  // The middle vertex's rule makes the two labels equal: the kept edge's stands for the path.
  assert(labels_[kept] == labels_[dropped]);
  // Contracting the dropped edge moves `vertex`, whose only edge is then the kept one, onto the
  // dropped edge's far end: the kept edge now joins the two far ends.
  // Both ends keep their degree; a parallel pair the new edge makes shows at either end.
  schedule(contract(dropped));
}

template <typename Value>
int ReducedGraph<Value>::contractBridge(int edge) {
  assert(labels_[edge] == 0 && "a bridge meets no cycle");
  weight_ = weight_ * factors_[edge].X;
  const int stays = contract(edge);
  scheduleDegree(stays);
  return stays;
}

template <typename Value>
int ReducedGraph<Value>::contract(int edge) {
  const Edge ends = topology_.edge(edge);
  forest_.prepareContraction(topology_, edge);
  const int stays = topology_.contractEdge(edge);
  forest_.finishContraction(edge, stays, stays == ends.u ? ends.v : ends.u);
  return stays;
}

template <typename Value>
void ReducedGraph<Value>::contractBridgesBetween(int u, int v) {
  std::vector<int>& bridges = reductionScratch().bridges;
  bridges.clear();
  topology_.markBridgesBetween(u, v, bridges);
  for (int bridge : bridges)
    contractBridge(bridge);
}

template <typename Value>
void ReducedGraph<Value>::renumberInBranchOrder() {
  const int vertexLimit = topology_.vertexIdLimit();
  constexpr int kUnnamed = -1;
  std::vector<int> newId(vertexLimit, kUnnamed);
  int named = 0;
  for (int id = 0; id < topology_.edgeIdLimit(); ++id) {
    if (!topology_.hasEdge(id))
      continue;
    const Edge edge = topology_.edge(id);
    for (int end : {edge.u, edge.v}) {
      if (newId[end] == kUnnamed)
        newId[end] = named++;
    }
  }
  for (int& id : newId) {  // ids no live edge uses, after the rest in their order
    if (id == kUnnamed)
      id = named++;
  }
  std::vector<int> firstIds(vertexLimit);
  for (int old = 0; old < vertexLimit; ++old)
    firstIds[newId[old]] = firstIdOf(old);
  topology_.renumberVertices(newId);
  forest_.renumberVertices(newId);
  firstIds_ = std::move(firstIds);
}

template <typename Value>
void ReducedGraph<Value>::findBranchEdge(int from) {
  branchEdge_ = -1;
  for (int id = from; id < topology_.edgeIdLimit(); ++id) {
    if (topology_.hasEdge(id)) {
      branchEdge_ = id;
      return;
    }
  }
}
