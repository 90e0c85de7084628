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
// get dense indices. Ids that are already dense are kept as they are.
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

std::int64_t pairKey(int a, int b) {
  // For ids near 2^31 the product sum * (sum + 1) passes 2^63 although the key itself stays
  // below it, so the product is formed in unsigned 64-bit arithmetic, where it cannot overflow.
  const std::uint64_t sum = static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b);
  return static_cast<std::int64_t>(sum * (sum + 1) / 2 + static_cast<std::uint64_t>(b));
}

Graph::Graph(int vertexCountIn, const EdgeList& edgeList) {
  int tableSize = std::max(vertexCountIn, 0);
  const EdgeList& pairs = edgeList;
  EdgeList densePairs;
  if (!idsAreDense(edgeList, tableSize))
    densePairs = withDenseIds(edgeList, tableSize);
  const EdgeList& source = densePairs.empty() ? pairs : densePairs;

  edgeCount = static_cast<int>(source.size());
  vertexCount = vertexCountIn;
  edges.reserve(edgeCount);
  for (int i = 0; i < edgeCount; ++i)
    edges.emplace(i, Edge{i, source[i].first, source[i].second});
  incidence.reserve(tableSize);
  // Each vertex's set grows with its own edges. Reserving room for every edge at every vertex
  // would cost vertices x edges memory, which a large sparse graph cannot afford.
  for (int i = 0; i < edgeCount; ++i) {
    const Edge& e = edges.at(i);
    incidence[e.u].emplace(i, true);
    incidence[e.v].emplace(i, true);
  }
  discovery.assign(tableSize, -1);
  lowLink.assign(tableSize, -1);
  classified = false;
  multiplicity.reserve(edgeCount);
  loops.reserve(edgeCount);
  bridges.reserve(edgeCount);
  ordinaryEdges.reserve(edgeCount);
}
