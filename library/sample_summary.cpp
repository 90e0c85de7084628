#include "library/sample_summary.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

// The merged mean and squared deviations of two runs of samples (Chan, Golub and LeVeque):
// exact when both means are equal, so that the identical samples of an exact run stay so.
struct Moments {
  WideFloat mean;
  WideFloat squaredDeviations;
};

Moments mergedMoments(Moments earlier, double earlierCount, Moments later, double laterCount) {
  const double count = earlierCount + laterCount;
  const WideFloat delta = later.mean - earlier.mean;
  return {earlier.mean + delta * (laterCount / count),
          earlier.squaredDeviations + later.squaredDeviations +
              delta * delta * (earlierCount * laterCount / count)};
}

std::int64_t cellKey(int row, int column) {
  return (static_cast<std::int64_t>(row) << 32) | static_cast<std::uint32_t>(column);
}

bool rowMajor(const CoefficientSummary::Cell& a, const CoefficientSummary::Cell& b) {
  return a.row != b.row ? a.row < b.row : a.column < b.column;
}

}  // namespace

SampleSummary SampleSummary::of(std::span<const WideFloat> samples) {
  SampleSummary summary;
  if (samples.empty())
    return summary;
  summary.count = static_cast<std::int64_t>(samples.size());
  WideFloat sum = 0.0;
  for (const WideFloat& sample : samples) {
    sum += sample;
    summary.absoluteSum += abs(sample);
    summary.largestAbsolute = std::max(summary.largestAbsolute, abs(sample));
  }
  const WideFloat first = samples.front();
  if (std::all_of(samples.begin(), samples.end(),
                  [&](const WideFloat& sample) { return sample == first; })) {
    summary.mean = first;
    return summary;
  }
  summary.mean = sum / static_cast<double>(samples.size());
  for (const WideFloat& sample : samples)
    summary.squaredDeviations += (sample - summary.mean) * (sample - summary.mean);
  return summary;
}

SampleSummary SampleSummary::merged(const SampleSummary& earlier, const SampleSummary& later) {
  if (later.count == 0)
    return earlier;
  if (earlier.count == 0)
    return later;
  SampleSummary summary = earlier;
  const Moments moments =
      mergedMoments({earlier.mean, earlier.squaredDeviations}, static_cast<double>(earlier.count),
                    {later.mean, later.squaredDeviations}, static_cast<double>(later.count));
  summary.count += later.count;
  summary.mean = moments.mean;
  summary.squaredDeviations = moments.squaredDeviations;
  summary.absoluteSum += later.absoluteSum;
  summary.largestAbsolute = std::max(earlier.largestAbsolute, later.largestAbsolute);
  return summary;
}

ErrorBar SampleSummary::estimate() const {
  const double n = static_cast<double>(count);
  return {mean, sqrt(squaredDeviations / n) / std::sqrt(n)};
}

SampleWeight SampleSummary::weight() const {
  if (absoluteSum.isZero())
    return {};
  const WideFloat squares = squaredDeviations + static_cast<double>(count) * mean * mean;
  return {(absoluteSum * absoluteSum / squares).toDouble(),
          (largestAbsolute / absoluteSum).toDouble()};
}

CoefficientSummary CoefficientSummary::of(std::span<const CoefficientMatrix> tables,
                                          std::span<const WideFloat> points) {
  CoefficientSummary summary;
  summary.count = static_cast<std::int64_t>(tables.size());
  if (tables.empty())
    return summary;
  const double n = static_cast<double>(tables.size());
  std::vector<WideFloat> sums;
  sums.reserve(tables.size());
  std::unordered_map<std::int64_t, std::size_t> cellOf;
  std::vector<std::int64_t> held;  // how many samples hold each cell
  // First pass: each cell's sum in sample order (a sample not holding it adds 0).
  for (const CoefficientMatrix& table : tables) {
    WideFloat sum = 0.0;
    for (const CoefficientEntry& entry : table.entries) {
      const auto [where, added] =
          cellOf.try_emplace(cellKey(entry.row, entry.column), summary.cells.size());
      if (added) {
        summary.cells.push_back({entry.row, entry.column, 0.0, 0.0});
        held.push_back(0);
      }
      summary.cells[where->second].mean += entry.value;
      ++held[where->second];
      sum += entry.value;
    }
    sums.push_back(sum);
    summary.samplesWithLeaves += !table.entries.empty();
  }
  for (std::size_t c = 0; c < summary.cells.size(); ++c) {
    Cell& cell = summary.cells[c];
    cell.mean /= n;
    // The samples that do not hold the cell are 0: each deviates by the mean itself.
    cell.squaredDeviations = (n - static_cast<double>(held[c])) * cell.mean * cell.mean;
  }
  // Second pass: the held values' deviations, again in sample order.
  for (const CoefficientMatrix& table : tables)
    for (const CoefficientEntry& entry : table.entries) {
      Cell& cell = summary.cells[cellOf[cellKey(entry.row, entry.column)]];
      cell.squaredDeviations += (entry.value - cell.mean) * (entry.value - cell.mean);
    }
  std::sort(summary.cells.begin(), summary.cells.end(), rowMajor);
  summary.sums = SampleSummary::of(sums);
  summary.points = SampleSummary::of(points);
  return summary;
}

CoefficientSummary CoefficientSummary::merged(const CoefficientSummary& earlier,
                                              const CoefficientSummary& later) {
  if (later.count == 0)
    return earlier;
  if (earlier.count == 0)
    return later;
  CoefficientSummary summary;
  summary.count = earlier.count + later.count;
  summary.sums = SampleSummary::merged(earlier.sums, later.sums);
  summary.points = SampleSummary::merged(earlier.points, later.points);
  summary.samplesWithLeaves = earlier.samplesWithLeaves + later.samplesWithLeaves;
  const double earlierCount = static_cast<double>(earlier.count);
  const double laterCount = static_cast<double>(later.count);
  // A cell one side does not hold is 0 in every one of its samples.
  const Moments none{0.0, 0.0};
  auto a = earlier.cells.begin(), b = later.cells.begin();
  summary.cells.reserve(std::max(earlier.cells.size(), later.cells.size()));
  while (a != earlier.cells.end() || b != later.cells.end()) {
    const bool takeA = b == later.cells.end() || (a != earlier.cells.end() && !rowMajor(*b, *a));
    const bool takeB = a == earlier.cells.end() || (b != later.cells.end() && !rowMajor(*a, *b));
    const Cell& where = takeA ? *a : *b;
    const Moments moments =
        mergedMoments(takeA ? Moments{a->mean, a->squaredDeviations} : none, earlierCount,
                      takeB ? Moments{b->mean, b->squaredDeviations} : none, laterCount);
    summary.cells.push_back({where.row, where.column, moments.mean, moments.squaredDeviations});
    a += takeA;
    b += takeB;
  }
  return summary;
}

CoefficientTable CoefficientSummary::means(int size) const {
  CoefficientTable table{size, 0.0, {}};
  table.cells.reserve(cells.size());
  for (const Cell& cell : cells)
    table.cells.push_back({cell.row, cell.column, cell.mean});
  return table;
}

CoefficientTable CoefficientSummary::relativeErrors(int size) const {
  CoefficientTable table{size, 0.0, {}};
  table.cells.reserve(cells.size());
  const double n = static_cast<double>(count);
  for (const Cell& cell : cells) {
    const WideFloat error = cell.mean == 0.0
                                ? WideFloat(0.0)
                                : sqrt(cell.squaredDeviations / n) / (std::sqrt(n) * cell.mean);
    table.cells.push_back({cell.row, cell.column, error});
  }
  return table;
}
