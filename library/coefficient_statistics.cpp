#include "library/coefficient_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace {

struct Accumulator {
  int row;
  int column;
  WideFloat sum = 0.0;
  WideFloat squares = 0.0;
  long count = 0;
};

// The mean and relative error of n values of which `count` are held and sum to `sum`, with
// `squares` the sum of the held values' squared deviations from the mean. Each of the n - count
// values not held is 0, so it deviates by the mean itself.
std::pair<WideFloat, WideFloat> meanAndError(WideFloat sum, WideFloat squares, long count,
                                             double n) {
  const WideFloat mean = sum / n;
  if (mean == 0.0)
    return {mean, 0.0};
  const WideFloat absent = n - static_cast<double>(count);
  const WideFloat deviation = sqrt((squares + absent * mean * mean) / n);
  return {mean, deviation / (std::sqrt(n) * mean)};
}

}  // namespace

CoefficientStatistics coefficientStatistics(const std::vector<CoefficientMatrix>& samples,
                                            int size) {
  const double n = static_cast<double>(samples.size());
  std::vector<Accumulator> cells;
  std::unordered_map<std::int64_t, std::size_t> cellOf;
  auto keyOf = [size](const CoefficientEntry& entry) {
    return static_cast<std::int64_t>(entry.row) * size + entry.column;
  };
  // First pass: sums in sample order. The zeros a sample does not hold would add nothing.
  for (const CoefficientMatrix& sample : samples) {
    for (const CoefficientEntry& entry : sample.entries) {
      const auto [where, added] = cellOf.try_emplace(keyOf(entry), cells.size());
      if (added)
        cells.push_back({entry.row, entry.column});
      Accumulator& cell = cells[where->second];
      cell.sum += entry.value;
      ++cell.count;
    }
  }
  // Second pass: squared deviations from the mean, again in sample order.
  for (const CoefficientMatrix& sample : samples) {
    for (const CoefficientEntry& entry : sample.entries) {
      Accumulator& cell = cells[cellOf[keyOf(entry)]];
      const WideFloat deviation = entry.value - cell.sum / n;
      cell.squares += deviation * deviation;
    }
  }
  std::sort(cells.begin(), cells.end(), [](const Accumulator& a, const Accumulator& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  });

  CoefficientStatistics stats;
  const auto [backgroundMean, backgroundError] = meanAndError(0.0, 0.0, 0, n);
  stats.means = {size, backgroundMean, {}};
  stats.errors = {size, backgroundError, {}};
  stats.means.cells.reserve(cells.size());
  stats.errors.cells.reserve(cells.size());
  // Row-major order, as the tables are printed: the first of equal extremes is kept. The cells
  // no sample holds have a mean of 0 (or, without samples, not-a-number) and never count.
  for (const Accumulator& cell : cells) {
    const auto [mean, re] = meanAndError(cell.sum, cell.squares, cell.count, n);
    stats.means.cells.push_back({cell.row, cell.column, mean});
    stats.errors.cells.push_back({cell.row, cell.column, re});
    if (mean == 0.0)
      continue;
    if (stats.minRE > re)
      stats.minRE = re;
    if (re > stats.maxRE)
      stats.maxRE = re;
  }
  return stats;
}
