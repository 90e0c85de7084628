#include "estimator/tree_level.h"

#include <algorithm>
#include <utility>

#include "estimator/parallel_loop.h"

namespace {

// Handing children to worker threads pays only when there is enough work in the level (children
// x slots per child) and in each child: a small child costs less to build than moving its
// parent's cache lines to another core.
constexpr long kParallelWorkThreshold = 12288;
constexpr long kParallelChildSlots = 128;

void classifyIfNeeded(Graph& node) {
  if (!node.classified)
    node.classifyEdges();
}

bool listExpandable(TreeLevel& level, CandidateList& candidates, bool prune, double x,
                    double y) {
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

// Applies the edit a child code names to a classified copy of its parent; the child stays
// classified.
void editIntoChild(Graph& child, int code) {
  classifyIfNeeded(child);
  if (code % 2 == 0) {
    child.deleteBranchEdge();
  } else {
    child.contractBranchEdge();
  }
}

// The children of positions [first, first + length), which all name the same parent. When no
// other position names that parent, the last of them takes the parent's graph instead of a copy;
// the copies are taken before.
void buildRun(TreeLevel& parents, const CandidateList& candidates, int first, int length,
              bool movesParent, TreeLevel& next) {
  Graph& parent = parents[candidates[first] / 2];
  for (int p = first; p < first + length; ++p) {
    if (movesParent && p == first + length - 1) {
      std::swap(next[p], parent);
    } else {
      next[p] = parent;
    }
    editIntoChild(next[p], candidates[p]);
  }
}

// Length of the run of positions from `first` that name the same parent.
int runLength(const CandidateList& candidates, int first, int count) {
  int end = first + 1;
  while (end < count && candidates[end] / 2 == candidates[first] / 2)
    ++end;
  return end - first;
}

}  // namespace

bool worthBuildingInParallel(const Graph& node, long children) {
  const long slotsPerChild = node.edgeIdLimit() + node.vertexIdLimit();
  return children >= 2 && slotsPerChild >= kParallelChildSlots &&
         children * slotsPerChild >= kParallelWorkThreshold;
}

bool isPruned(Graph& node, double x, double y) {
  classifyIfNeeded(node);
  return (x == 0 && node.bridgeCount() > 0) || (y == 0 && node.loopCount() > 0);
}

bool listChildren(TreeLevel& level, CandidateList& candidates, double x, double y) {
  return listExpandable(level, candidates, true, x, y);
}

bool listChildren(TreeLevel& level, CandidateList& candidates) {
  return listExpandable(level, candidates, false, 0, 0);
}

Graph expandChild(const TreeLevel& level, const CandidateList& candidates, int position) {
  const int code = candidates[position];
  Graph child = level[code / 2];
  editIntoChild(child, code);
  return child;
}

void buildChildren(TreeLevel& parents, const CandidateList& candidates, int count, int mcore,
                   TreeLevel& next) {
  // In a sorted list every parent's codes are adjacent, so each run holds all of its parent's
  // children; otherwise (never in a walk) every child copies its parent.
  const bool grouped = std::is_sorted(candidates.begin(), candidates.begin() + count);
  if (mcore == 0 || parents.empty() || !worthBuildingInParallel(parents.front(), count)) {
    for (int p = 0; p < count;) {
      const int length = runLength(candidates, p, count);
      buildRun(parents, candidates, p, length, grouped, next);
      p += length;
    }
    return;
  }
  // Each run touches only its own parent and its own children's slots, so runs can be built on
  // any threads in any order.
  std::vector<int> runStarts;
  for (int p = 0; p < count; p += runLength(candidates, p, count))
    runStarts.push_back(p);
  runStarts.push_back(count);
  parallelFor(static_cast<int>(runStarts.size()) - 1, [&](int r) {
    buildRun(parents, candidates, runStarts[r], runStarts[r + 1] - runStarts[r], grouped, next);
  });
}

void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore) {
  TreeLevel next(count > 0 ? count : 0);
  buildChildren(level, candidates, count, mcore, next);
  level = std::move(next);
}
