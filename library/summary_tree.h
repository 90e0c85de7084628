#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// Sums of consecutive blocks merged along a fixed binary tree over the block indices: the node
// of size 2^k starting at block b (b a multiple of 2^k) is the merge of its two halves, and the
// total is the left-to-right merge of the largest such nodes that tile [0, blocks). Any process
// or thread that sums a contiguous run of blocks in order keeps only its run's largest nodes
// (at most about 2 log2 of its blocks); merging every run's nodes in block order gives the same
// total, bit for bit, however the blocks were shared out. Summary has a static
// merged(earlier, later).
template <typename Summary>
class SummaryTree {
 public:
  struct Node {
    std::int64_t firstBlock;
    std::int64_t blocks;  // a power of two dividing firstBlock
    Summary sum;
  };

  // The next block after those added so far, starting at `firstBlock`.
  explicit SummaryTree(std::int64_t firstBlock = 0) : nextBlock_(firstBlock) {}

  void add(Summary block) { push({nextBlock_, 1, std::move(block)}); }

  // Nodes from other trees, in block order, following on from this one's.
  void add(Node node) { push(std::move(node)); }

  std::int64_t nextBlock() const { return nextBlock_; }
  const std::vector<Node>& nodes() const { return nodes_; }

  // The merge of every block added, from the first; an empty Summary when none was.
  Summary total() const {
    Summary sum;
    for (const Node& node : nodes_)
      sum = Summary::merged(sum, node.sum);
    return sum;
  }

 private:
  void push(Node node) {
    nextBlock_ = node.firstBlock + node.blocks;
    nodes_.push_back(std::move(node));
    while (nodes_.size() >= 2 && siblings(nodes_[nodes_.size() - 2], nodes_.back())) {
      Node later = std::move(nodes_.back());
      nodes_.pop_back();
      Node& earlier = nodes_.back();
      earlier.sum = Summary::merged(earlier.sum, later.sum);
      earlier.blocks *= 2;
    }
  }

  static bool siblings(const Node& earlier, const Node& later) {
    return earlier.blocks == later.blocks && earlier.firstBlock % (2 * earlier.blocks) == 0 &&
           later.firstBlock == earlier.firstBlock + earlier.blocks;
  }

  std::int64_t nextBlock_;
  std::vector<Node> nodes_;
};
