#include "experiments/coefficient_statistics.h"

#include <cmath>

namespace {

Matrix zeroMatrix(int size) {
  return Matrix(size, std::vector<double>(size, 0.0));
}

}  // namespace

CoefficientStatistics coefficientStatistics(const std::vector<CoefficientMatrix>& samples,
                                            int size) {
  const double n = static_cast<double>(samples.size());
  CoefficientStatistics stats{zeroMatrix(size), zeroMatrix(size)};
  // First pass: sums in sample order. The zeros a sample does not hold would add nothing.
  Matrix& sums = stats.means;
  std::vector<std::vector<long>> nonzero(size, std::vector<long>(size, 0));
  for (const CoefficientMatrix& sample : samples) {
    for (const CoefficientEntry& entry : sample.entries) {
      sums[entry.row][entry.column] += entry.value;
      ++nonzero[entry.row][entry.column];
    }
  }
  for (auto& row : sums) {
    for (double& sum : row)
      sum /= n;
  }
  // Second pass: squared deviations from the mean; each of the samples without the entry
  // deviates by the mean itself.
  Matrix& squares = stats.errors;
  for (const CoefficientMatrix& sample : samples) {
    for (const CoefficientEntry& entry : sample.entries) {
      const double deviation = entry.value - stats.means[entry.row][entry.column];
      squares[entry.row][entry.column] += deviation * deviation;
    }
  }
  for (int i = 0; i < size; ++i) {
    for (int j = 0; j < size; ++j) {
      const double mean = stats.means[i][j];
      if (mean == 0.0) {
        squares[i][j] = 0.0;
        continue;
      }
      const double absent = n - static_cast<double>(nonzero[i][j]);
      const double deviation = std::sqrt((squares[i][j] + absent * mean * mean) / n);
      const double re = deviation / (std::sqrt(n) * mean);
      stats.errors[i][j] = re;
      if (stats.minRE > re)
        stats.minRE = re;
      if (re > stats.maxRE)
        stats.maxRE = re;
    }
  }
  return stats;
}
