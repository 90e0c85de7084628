#include "graph/graph.h"

#include <algorithm>

namespace {

// True when every id of the edge list is a valid index into tables of `vertexCount` entries.
bool idsAreDense(const EdgeList& edgeList, int vertexCount) {
  return std::all_of(edgeList.begin(), edgeList.end(), [vertexCount](const auto& pair) {
    return pair.first >= 0 && pair.first < vertexCount && pair.second >= 0 &&
           pair.second < vertexCount;
  });
}

// Maps every id to its rank among the distinct ids, so that files numbered from 1 or with gaps
// get dense indices.
EdgeList withDenseIds(const EdgeList& edgeList, int& tableSize) {
  std::vector<int> ids;
  ids.reserve(edgeList.size() * 2);
  for (const auto& [u, v] : edgeList) {
    ids.push_back(u);
    ids.push_back(v);
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  auto rank = [&ids](int id) {
    return static_cast<int>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin());
  };
  EdgeList dense;
  dense.reserve(edgeList.size());
  for (const auto& [u, v] : edgeList)
    dense.emplace_back(rank(u), rank(v));
  tableSize = std::max(tableSize, static_cast<int>(ids.size()));
  return dense;
}

}  // namespace

Graph::Graph(int vertexCountIn, const EdgeList& edgeList) {
  int tableSize = std::max(vertexCountIn, 0);
  EdgeList densePairs;
  const bool dense = idsAreDense(edgeList, tableSize);
  if (!dense)
    densePairs = withDenseIds(edgeList, tableSize);
  const EdgeList& pairs = dense ? edgeList : densePairs;

  edgeCount = static_cast<int>(pairs.size());
  vertexCount = vertexCountIn;
  vertices_.assign(tableSize, VertexSlot{kNone, kNotAVertex});
  edges_.resize(pairs.size());
  for (int id = 0; id < edgeCount; ++id) {
    const auto [u, v] = pairs[id];
    edges_[id] = EdgeSlot{{u, v}, {kNone, kNone}, {kNone, kNone}, true, EdgeClass::Ordinary, -1};
    for (int end : {u, v})
      vertices_[end].degree = std::max(vertices_[end].degree, 0);
    ++vertices_[u].degree;
    if (v != u)
      ++vertices_[v].degree;
  }
  // Linking at the front in reverse order leaves every list in increasing edge order.
  for (int half = 2 * edgeCount - 1; half >= 0; --half)
    linkHalf(half, vertexOfHalf(half));
}

void Graph::linkHalf(int half, int vertex) {
  EdgeSlot& slot = edges_[edgeOf(half)];
  const int side = sideOf(half);
  const int first = vertices_[vertex].firstHalf;
  slot.prev[side] = kNone;
  slot.next[side] = first;
  if (first != kNone)
    edges_[edgeOf(first)].prev[sideOf(first)] = half;
  vertices_[vertex].firstHalf = half;
}

void Graph::unlinkHalf(int half) {
  EdgeSlot& slot = edges_[edgeOf(half)];
  const int side = sideOf(half);
  const int before = slot.prev[side];
  const int after = slot.next[side];
  if (before != kNone) {
    edges_[edgeOf(before)].next[sideOf(before)] = after;
  } else {
    vertices_[slot.end[side]].firstHalf = after;
  }
  if (after != kNone)
    edges_[edgeOf(after)].prev[sideOf(after)] = before;
}

bool Graph::hasEdge(int id) const {
  return id >= 0 && id < edgeIdLimit() && edges_[id].alive;
}

bool Graph::hasVertex(int vertex) const {
  return vertex >= 0 && vertex < vertexIdLimit() && vertices_[vertex].degree != kNotAVertex;
}

std::vector<int> Graph::incidentEdges(int vertex) const {
  std::vector<int> ids;
  for (int half = vertices_[vertex].firstHalf; half != kNone; half = nextHalf(half)) {
    const EdgeSlot& slot = edges_[edgeOf(half)];
    // A loop has both half-edges in the list; report it once.
    if (slot.end[0] != slot.end[1] || sideOf(half) == 0)
      ids.push_back(edgeOf(half));
  }
  return ids;
}
