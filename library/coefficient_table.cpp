#include "library/coefficient_table.h"

#include <algorithm>

namespace {

bool before(const CoefficientTable::Cell& a, const CoefficientTable::Cell& b) {
  return a.row != b.row ? a.row < b.row : a.column < b.column;
}

}  // namespace

WideFloat CoefficientTable::at(int row, int column) const {
  const Cell key{row, column, 0.0};
  const auto found = std::lower_bound(cells.begin(), cells.end(), key, before);
  if (found != cells.end() && found->row == row && found->column == column)
    return found->value;
  return background;
}

void addShare(CoefficientTable& average, const CoefficientTable& share, int expnum) {
  const WideFloat divisor = static_cast<double>(expnum);
  // A cell new to the average held the background so far, exactly as a dense table would.
  std::vector<CoefficientTable::Cell> merged;
  merged.reserve(average.cells.size() + share.cells.size());
  auto mine = average.cells.begin();
  auto theirs = share.cells.begin();
  while (mine != average.cells.end() || theirs != share.cells.end()) {
    if (theirs == share.cells.end() || (mine != average.cells.end() && before(*mine, *theirs))) {
      merged.push_back({mine->row, mine->column, mine->value + share.background / divisor});
      ++mine;
    } else if (mine == average.cells.end() || before(*theirs, *mine)) {
      merged.push_back({theirs->row, theirs->column, average.background + theirs->value / divisor});
      ++theirs;
    } else {
      merged.push_back({mine->row, mine->column, mine->value + theirs->value / divisor});
      ++mine;
      ++theirs;
    }
  }
  average.cells = std::move(merged);
  average.background = average.background + share.background / divisor;
}
