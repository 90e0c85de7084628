#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "estimator/parallel_loop.h"
#include "estimator/walk_levels.h"

// The building step both walks share. next[p], for p in [0, count), becomes a copy of
// parents[parentOf(p)] on which edit(next[p], p) then makes the child's edit; next must hold at
// least count nodes, whose buffers are reused. The positions of one parent are adjacent, so each
// run of them holds all of that parent's children, and the last child of a run takes the
// parent's node instead of a copy (the parents are consumed); `grouped` false (positions of one
// parent scattered) copies every child. With `inParallel` the runs are built on all cores: each
// touches only its own parent and its own children's slots. Time: one copy per child beyond the
// first of its parent, plus the edits.
template <typename Node, typename ParentOf, typename Edit>
void buildChildren(std::vector<Node>& parents, int count, bool grouped, bool inParallel,
                   std::vector<Node>& next, ParentOf parentOf, Edit edit) {
  auto runLength = [&](int first) {
    int end = first + 1;
    while (end < count && parentOf(end) == parentOf(first))
      ++end;
    return end - first;
  };
  auto buildRun = [&](int first, int length) {
    Node& parent = parents[parentOf(first)];
    for (int p = first; p < first + length; ++p) {
      if (grouped && p == first + length - 1) {
        std::swap(next[p], parent);
      } else {
        next[p] = parent;
      }
      edit(next[p], p);
    }
  };
  if (!inParallel) {
    for (int p = 0; p < count;) {
      const int length = runLength(p);
      buildRun(p, length);
      p += length;
    }
    return;
  }
  std::vector<int> runStarts;
  for (int p = 0; p < count; p += runLength(p))
    runStarts.push_back(p);
  runStarts.push_back(count);
  parallelFor(static_cast<int>(runStarts.size()) - 1,
              [&](int r) { buildRun(runStarts[r], runStarts[r + 1] - runStarts[r]); });
}
