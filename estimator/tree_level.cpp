#include "estimator/tree_level.h"

#include "estimator/parallel_loop.h"

namespace {

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

}  // namespace

bool listChildren(TreeLevel& level, CandidateList& candidates, int x, int y) {
  return listExpandable(level, candidates, true, x, y);
}

bool listChildren(TreeLevel& level, CandidateList& candidates) {
  return listExpandable(level, candidates, false, 0, 0);
}

Graph expandChild(const TreeLevel& level, const CandidateList& candidates, int position) {
  const int code = candidates[position];
  Graph child(level[code / 2]);
  classifyIfNeeded(child);
  const int branchEdge = child.firstOrdinaryEdge();
  if (code % 2 == 0) {
    child.deleteEdge(branchEdge);
  } else {
    child.contractEdge(branchEdge);
  }
  return child;
}

void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore) {
  TreeLevel next;
  next.reserve(count > 0 ? count : 0);
  if (mcore == 0) {
    for (int p = 0; p < count; ++p)
      next.push_back(expandChild(level, candidates, p));
  } else {
    ConcurrentAppendVector<Graph> built;
    parallelFor(count, [&](int p) { built.append(expandChild(level, candidates, p)); });
    for (std::size_t i = 0; i < built.size(); ++i)
      next.push_back(std::move(built[i]));
  }
  level = std::move(next);
}
