#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "estimator/wide_float.h"
#include "graph/reduced_graph.h"

// A reduced graph's live edges in id order, on vertices numbered 0, 1, ... in order of first
// appearance along them: the form in which the exact expansion compares and stores its nodes.
// Two nodes with the same form are the same graph with the same factors up to the names of
// vertices and edges, so they have the same value per unit of weight. Isomorphic nodes whose
// edges come in another order get different forms; that only costs a missed cache hit.
//
// A key names each edge's four factors by a number: the factor tuples met so far are kept in a
// table, so that a key costs a few bytes per edge however large its factors are. An edge's
// factors change only when a reduction merges it, so the tuple last numbered at each edge id is
// remembered and compared first.
template <typename Value>
class SubgraphForm {
 public:
  // The node's form as bytes, weight left out: per edge the labels of its ends, smaller first,
  // and the number of its factor tuple. Valid until the next call. O(vertex ids + edges +
  // factors' size).
  const std::string& keyOf(const ReducedGraph<Value>& node);

  // The same node rebuilt on ids 0 .. edges - 1 and 0 .. vertices - 1, with its weight: so that
  // copying it no longer costs the ids of the graph it was reduced from. Branching order and
  // value are unchanged. O(vertex ids + edges).
  ReducedGraph<Value> compacted(const ReducedGraph<Value>& node);

 private:
  static constexpr std::uint32_t kNoTuple = ~std::uint32_t{0};

  // Labels the node's live vertices in order of first appearance; returns how many there are.
  int label(const Graph& graph);
  std::uint32_t tupleNumber(int edge, const EdgeFactors<Value>& factors);

  std::vector<int> labels_;  // by vertex id: its label, or -1
  std::unordered_map<std::string, std::uint32_t> tupleNumbers_;
  std::vector<std::pair<EdgeFactors<Value>, std::uint32_t>> lastTuples_;  // by edge id
  std::string tupleBytes_;
  std::string key_;
};

// Appends `number` in 7-bit groups, low first, the high bit set on all but the last.
void appendVarint(std::string& bytes, std::uint32_t number);

// The bytes of a number's value, so that equal values encode alike.
void appendEncoding(std::string& bytes, const WideFloat& value);

template <typename Value>
const std::string& SubgraphForm<Value>::keyOf(const ReducedGraph<Value>& node) {
  const Graph& graph = node.topology();
  label(graph);
  key_.clear();
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (!graph.hasEdge(id))
      continue;
    const Edge edge = graph.edge(id);
    const auto [first, second] = std::minmax(labels_[edge.u], labels_[edge.v]);
    appendVarint(key_, static_cast<std::uint32_t>(first));
    appendVarint(key_, static_cast<std::uint32_t>(second));
    appendVarint(key_, tupleNumber(id, node.factors(id)));
  }
  return key_;
}

template <typename Value>
std::uint32_t SubgraphForm<Value>::tupleNumber(int edge, const EdgeFactors<Value>& factors) {
  if (lastTuples_.size() <= static_cast<std::size_t>(edge))
    lastTuples_.resize(static_cast<std::size_t>(edge) + 1, {{}, kNoTuple});
  auto& [last, number] = lastTuples_[static_cast<std::size_t>(edge)];
  if (number != kNoTuple && last.a == factors.a && last.b == factors.b && last.X == factors.X &&
      last.Y == factors.Y)
    return number;
  tupleBytes_.clear();
  for (const Value* factor : {&factors.a, &factors.b, &factors.X, &factors.Y})
    appendEncoding(tupleBytes_, *factor);
  const auto next = static_cast<std::uint32_t>(tupleNumbers_.size());
  last = factors;
  number = tupleNumbers_.try_emplace(tupleBytes_, next).first->second;
  return number;
}

template <typename Value>
ReducedGraph<Value> SubgraphForm<Value>::compacted(const ReducedGraph<Value>& node) {
  const Graph& graph = node.topology();
  const int vertices = label(graph);
  EdgeList edges;
  std::vector<EdgeFactors<Value>> factors;
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (graph.hasEdge(id)) {
      const Edge edge = graph.edge(id);
      edges.emplace_back(labels_[edge.u], labels_[edge.v]);
      factors.push_back(node.factors(id));
    }
  }
  // Already reduced: rebuilding finds nothing to reduce and keeps the weight 1.
  ReducedGraph<Value> result(vertices, edges, std::move(factors));
  result.setWeight(node.weight() * result.weight());
  return result;
}

template <typename Value>
int SubgraphForm<Value>::label(const Graph& graph) {
  labels_.assign(static_cast<std::size_t>(graph.vertexIdLimit()), -1);
  int next = 0;
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (!graph.hasEdge(id))
      continue;
    const Edge edge = graph.edge(id);
    for (const int end : {edge.u, edge.v})
      if (labels_[end] < 0)
        labels_[end] = next++;
  }
  return next;
}
