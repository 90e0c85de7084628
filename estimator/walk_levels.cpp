#include "estimator/walk_levels.h"

#include <unistd.h>

std::size_t defaultWalkMemoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0)
    return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) / 4 * 3 * static_cast<std::size_t>(pageSize);
}

std::string exhaustedMemoryReason(int budget) {
  return "B = " + std::to_string(budget) + " keeps too many graphs of this instance; lower B";
}
