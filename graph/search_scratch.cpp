#include "graph/search_scratch.h"

#include <cstddef>

namespace {

template <typename Mark>
void growTo(std::vector<Mark>& marks, int limit, const Mark& blank) {
  if (marks.size() < static_cast<std::size_t>(limit))
    marks.resize(limit, blank);
}

}  // namespace

std::uint32_t SearchScratch::newStamp(int vertexLimit, int edgeLimit) {
  growTo(bridgeMarks, vertexLimit, BridgeMark{0, -1, -1});
  growTo(sideMarks, vertexLimit, SideMark{0, 0, -1, -1});
  growTo(pathMarks, edgeLimit, PathMark{0, -1});
  if (++stamp == 0) {  // wrapped: no old mark may look current
    for (BridgeMark& mark : bridgeMarks)
      mark.stamp = 0;
    for (SideMark& mark : sideMarks)
      mark.forwardStamp = mark.backwardStamp = 0;
    for (PathMark& mark : pathMarks)
      mark.stamp = 0;
    stamp = 1;
  }
  return stamp;
}

SearchScratch& searchScratch() {
  thread_local SearchScratch scratch;
  return scratch;
}
