#include "estimator/tree_level.h"

#include <algorithm>
#include <utility>

#include "estimator/child_builder.h"

namespace {

void classifyIfNeeded(Graph& node) {
  if (!node.classified)
    node.classifyEdges();
}

bool listExpandable(TreeLevel& level, CandidateList& candidates, bool prune, double x, double y) {
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

}  // namespace

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
  // In a sorted list every parent's codes are adjacent; otherwise (never in a walk) every child
  // copies its parent.
  const bool grouped = std::is_sorted(candidates.begin(), candidates.begin() + count);
  const bool inParallel =
      mcore != 0 && !parents.empty() && worthBuildingInParallel(parents.front().workSlots(), count);
  ::buildChildren(
      parents, count, grouped, inParallel, next, [&](int p) { return candidates[p] / 2; },
      [&](Graph& child, int p) { editIntoChild(child, candidates[p]); });
}

void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore) {
  TreeLevel next(count > 0 ? count : 0);
  buildChildren(level, candidates, count, mcore, next);
  level = std::move(next);
}
