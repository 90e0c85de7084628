#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Thrown when a walk's levels would hold more nodes than its memory allowance.
class WalkMemoryExhausted : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "a walk outgrew its memory allowance"; }
};

// Why memory ran out, for the user: "B = 16 keeps too many graphs of this instance; lower B".
std::string exhaustedMemoryReason(int budget);

// Thrown by a walk whose stop flag another thread has set, at the next depth it reaches.
class WalkStopped : public std::runtime_error {
 public:
  WalkStopped() : std::runtime_error("the walk was stopped before it finished") {}
};

// The nodes a walk keeps per depth under budget B: B read as an unsigned count, so that a negative
// budget (the tool's --B beyond int's range wraps there) keeps every node.
inline std::size_t nodesKeptPerDepth(int budget) {
  return static_cast<std::size_t>(static_cast<unsigned>(budget));
}

// Whether building `children` children of `slotsPerChild` slots each (a node type's
// workSlots()) is enough work to hand to the worker threads: a small child costs less to build
// than moving its parent's cache lines to another core.
bool worthBuildingInParallel(long slotsPerChild, std::size_t children);

// Three quarters of the machine's physical memory.
std::size_t defaultWalkMemoryLimit();

// The levels of a walk and their buffers, shared by both walks: the kept nodes of the current
// depth, the nodes of the level before last (into whose buffers the next level is built), and
// nodes kept only for their buffers. Reused from one sample to the next, so that once its levels
// have reached their largest size a walk allocates nothing. Node is a graph type with
// memoryBytes().
template <typename Node>
class WalkLevels {
 public:
  std::vector<Node> current;
  std::vector<Node> next;

  // Resizes a level, moving surplus nodes to the pool and taking new ones from it.
  void resize(std::vector<Node>& level, std::size_t size) {
    while (level.size() > size) {
      pool_.push_back(std::move(level.back()));
      level.pop_back();
    }
    while (level.size() < size && !pool_.empty()) {
      level.push_back(std::move(pool_.back()));
      pool_.pop_back();
    }
    level.resize(size);
  }

  // When `stop` is set (by another thread), the walk throws WalkStopped at its next depth, so
  // that even a sample of a huge budget ends within a level's time.
  void stopWhen(const std::atomic<bool>* stop) { stop_ = stop; }

  // Before building `childCount` children: throws WalkStopped when the stop flag is set, and
  // WalkMemoryExhausted when the current level and the children, each the size of a current
  // node, would outgrow `memoryLimit` bytes.
  void checkBeforeBuilding(std::size_t childCount, std::size_t memoryLimit) const {
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed))
      throw WalkStopped();
    const std::size_t nodes = current.size() + childCount;
    const std::size_t bytesPerNode = current.empty() ? 0 : current.front().memoryBytes();
    if (bytesPerNode > 0 && nodes > memoryLimit / bytesPerNode)
      throw WalkMemoryExhausted();
  }

  // The children built into `next` become the current level.
  void advance() { std::swap(current, next); }

 private:
  std::vector<Node> pool_;
  const std::atomic<bool>* stop_ = nullptr;
};
