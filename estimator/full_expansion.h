#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "estimator/subgraph_form.h"
#include "graph/reduced_graph.h"

// The exact value of a reduced graph: its whole deletion-contraction tree, reduced after every
// edit as the reduced walk is, summed. A node's value is its weight times T of its graph with
// its factors, and the sum is taken per unit of weight: a child with weight w (the branch
// edge's a or b, times what its reductions gathered) adds w times the value of its graph at
// weight 1. That value depends on the graph and its factors alone, not on the path that led to
// it, so it is cached under the node's form (estimator/subgraph_form.h) and a node met again by
// another path is not expanded twice.
//
// Value is a ring value as ReducedGraph takes it, with isZero(): a child whose weight is zero
// (a bridge at x = 0, a loop at y = 0) is skipped with its subtree.
//
// Cost: per node expanded, two copies and two edits of a node, its key, two multiplications
// and an addition of values; the number of nodes is exponential in the root's edges (measured
// in bench/RESULTS.md). The cache holds one key (a few bytes per edge) and one value per node
// expanded.
template <typename Value>
class FullExpansion {
 public:
  // Without the cache every node is expanded: the plain sum of the reduced tree, to measure
  // what the cache saves and to check it.
  explicit FullExpansion(bool cached = true) : cached_(cached) {}

  // weight * T of the node's graph with its factors.
  Value valueOf(const ReducedGraph<Value>& node);

  std::int64_t nodesExpanded() const { return nodesExpanded_; }
  std::int64_t cacheHits() const { return cacheHits_; }

 private:
  // T of the graph with its factors of the node at `depth`, whose weight is 1.
  Value unitValue(int depth);
  // What the child of the node at `depth` adds: the child's weight times its unit value.
  Value childValue(int depth, bool contract);

  bool cached_;
  // The nodes of the current path, one per depth: a child is copied into the slot below its
  // parent, reusing that slot's buffers. Each edit removes an edge, so depth <= root's edges.
  std::vector<ReducedGraph<Value>> path_;
  SubgraphForm<Value> form_;
  std::unordered_map<std::string, Value> cache_;
  std::int64_t nodesExpanded_ = 0;
  std::int64_t cacheHits_ = 0;
};

template <typename Value>
Value FullExpansion<Value>::valueOf(const ReducedGraph<Value>& node) {
  if (node.isLeaf() || node.weight().isZero())
    return node.weight();
  path_.resize(static_cast<std::size_t>(node.edgeCount()) + 1);
  path_[0] = form_.compacted(node);
  const Value weight = path_[0].weight();
  path_[0].setWeight(Value(1));
  return weight * unitValue(0);
}

template <typename Value>
Value FullExpansion<Value>::unitValue(int depth) {
  const ReducedGraph<Value>& node = path_[depth];
  if (node.isLeaf())
    return Value(1);
  std::string key;
  if (cached_) {
    const std::string& form = form_.keyOf(node);
    const auto found = cache_.find(form);
    if (found != cache_.end()) {
      ++cacheHits_;
      return found->second;
    }
    key = form;  // the children's keys overwrite the buffer
  }
  ++nodesExpanded_;
  Value value = childValue(depth, false);
  value += childValue(depth, true);
  if (cached_)
    cache_.emplace(std::move(key), value);
  return value;
}

template <typename Value>
Value FullExpansion<Value>::childValue(int depth, bool contract) {
  ReducedGraph<Value>& child = path_[depth + 1];
  child = path_[depth];
  if (contract)
    child.contractBranchEdge();
  else
    child.deleteBranchEdge();
  const Value weight = child.weight();
  if (weight.isZero())
    return Value(0);
  if (child.isLeaf())
    return weight;
  child.setWeight(Value(1));
  return weight * unitValue(depth + 1);
}
