#include "graph/search_scratch.h"

#include <cstddef>

namespace {

template <typename Mark>
void growTo(std::vector<Mark>& marks, int limit, const Mark& blank) {
  if (marks.size() < static_cast<std::size_t>(limit))
    marks.resize(limit, blank);
}

}  // namespace

std::uint32_t SearchScratch::newStamp(int vertexLimit) {
  if (vertexLimit > vertexCapacity)
    grow(vertexLimit);
  // Side marks hold 2 * stamp + 1, so stamps stay below 2^31.
  if (++stamp == 0x80000000u) {  // wrapped: no old mark may look current
    for (BridgeMark& mark : bridgeMarks)
      mark.stamp = 0;
    for (std::uint32_t& mark : sideMarks)
      mark = 0;
    stamp = 1;
  }
  return stamp;
}

void SearchScratch::grow(int vertexLimit) {
  vertexCapacity = vertexLimit;
  growTo(bridgeMarks, vertexLimit, BridgeMark{0, -1, -1});
  growTo(sideMarks, vertexLimit, std::uint32_t{0});
  growTo(reachedBy, vertexLimit, -1);
  growTo(forwardQueue, vertexLimit, -1);
  growTo(backwardQueue, vertexLimit, -1);
}

SearchScratch& searchScratch() {
  thread_local SearchScratch scratch;
  return scratch;
}
