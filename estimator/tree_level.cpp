#include "estimator/tree_level.h"

#include "estimator/parallel_loop.h"

namespace {

// Handing children to worker threads pays only when there is enough work in the level (children
// x slots copied per child) and in each child: a small child costs less to build than moving
// its parent's cache lines to another core.
constexpr long kParallelWorkThreshold = 12288;
constexpr long kParallelChildSlots = 128;

void classifyIfNeeded(Graph& node) {
  if (!node.classified)
    node.classifyEdges();
}

// A node whose subtree is worth nothing at the evaluation point: every leaf below a node with
// a bridge carries a factor x, every leaf below a node with a loop a factor y.
bool isPruned(Graph& node, int x, int y) {
  classifyIfNeeded(node);
  return (x == 0 && node.bridgeCount() > 0) || (y == 0 && node.loopCount() > 0);
}

bool listExpandable(TreeLevel& level, CandidateList& candidates, bool prune, int x, int y) {
  candidates.clear();
  for (int k = 0; k < static_cast<int>(level.size()); ++k) {
    Graph& node = level[k];
    if (prune && isPruned(node, x, y))
      continue;
    classifyIfNeeded(node);
    if (node.ordinaryCount() == 0)
      continue;
    candidates.push_back(2 * k);
    candidates.push_back(2 * k + 1);
  }
  return candidates.empty();
}

// Makes `child` the child named by the code at `position`. Copy-assignment into an existing
// graph reuses its buffers. The parent is only read: it was classified when it was listed.
void buildChild(const TreeLevel& level, const CandidateList& candidates, int position,
                Graph& child) {
  const int code = candidates[position];
  child = level[code / 2];
  classifyIfNeeded(child);
  if (code % 2 == 0) {
    child.deleteBranchEdge();
  } else {
    child.contractBranchEdge();
  }
}

bool worthParallel(const TreeLevel& level, int count) {
  if (count < 2 || level.empty())
    return false;
  const long slotsPerChild = level.front().edgeIdLimit() + level.front().vertexIdLimit();
  return slotsPerChild >= kParallelChildSlots && count * slotsPerChild >= kParallelWorkThreshold;
}

// Graphs kept for their buffers. A walk builds a level of up to B children at every depth;
// copy-assigning a parent into a graph that already has buffers of the right size allocates
// nothing, so once the levels have reached their largest size a walk stops allocating. Both
// live on the thread that runs the walk.
TreeLevel& graphPool() {
  thread_local TreeLevel pool;
  return pool;
}

// The graphs of the level before last, whose slots the next level is built into.
TreeLevel& spareLevel() {
  thread_local TreeLevel spare;
  return spare;
}

// Resizes a level, moving surplus graphs to the pool and taking new ones from it.
void resizeFromPool(TreeLevel& level, std::size_t size) {
  TreeLevel& pool = graphPool();
  while (level.size() > size) {
    pool.push_back(std::move(level.back()));
    level.pop_back();
  }
  while (level.size() < size && !pool.empty()) {
    level.push_back(std::move(pool.back()));
    pool.pop_back();
  }
  level.resize(size);
}

}  // namespace

bool listChildren(TreeLevel& level, CandidateList& candidates, int x, int y) {
  return listExpandable(level, candidates, true, x, y);
}

bool listChildren(TreeLevel& level, CandidateList& candidates) {
  return listExpandable(level, candidates, false, 0, 0);
}

Graph expandChild(const TreeLevel& level, const CandidateList& candidates, int position) {
  Graph child;
  buildChild(level, candidates, position, child);
  return child;
}

void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore) {
  // A lambda naming the thread_local would reach each worker thread's own instance.
  TreeLevel& next = spareLevel();
  resizeFromPool(next, count > 0 ? count : 0);
  // Each child goes to the slot of its candidate, so the new level lists the children in
  // candidate order on one core or on many. It is classified right away, inside the task that
  // built it: the classification then runs on all cores too.
  auto build = [&level, &candidates, &next](int p) {
    buildChild(level, candidates, p, next[p]);
    classifyIfNeeded(next[p]);
  };
  if (mcore != 0 && worthParallel(level, count)) {
    parallelFor(count, build);
  } else {
    for (int p = 0; p < count; ++p)
      build(p);
  }
  std::swap(level, next);
}

void startLevel(TreeLevel& level, const Graph& root) {
  // Taking the root's graph from the pool, rather than adopting the caller's, keeps the number
  // of graphs in circulation bounded by what the largest levels need.
  resizeFromPool(level, 1);
  level[0] = root;
}

void recycleLevel(TreeLevel& level) {
  resizeFromPool(level, 0);
}
