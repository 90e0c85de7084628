#include "estimator/walk_levels.h"

#include <unistd.h>

std::size_t defaultWalkMemoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0)
    return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) / 4 * 3 * static_cast<std::size_t>(pageSize);
}

namespace {

// Handing children to worker threads pays only when there is enough work in the level (children
// x slots per child) and in each child.
constexpr long kParallelWorkThreshold = 12288;
constexpr long kParallelChildSlots = 128;

}  // namespace

bool worthBuildingInParallel(long slotsPerChild, std::size_t children) {
  return children >= 2 && slotsPerChild >= kParallelChildSlots &&
         static_cast<double>(children) * static_cast<double>(slotsPerChild) >=
             static_cast<double>(kParallelWorkThreshold);
}

std::string exhaustedMemoryReason(int budget) {
  return "B = " + std::to_string(budget) + " keeps too many graphs of this instance; lower B";
}
