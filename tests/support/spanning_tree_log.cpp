#include "support/spanning_tree_log.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

double logSpanningTreeCount(const EdgeList& edges, int vertices) {
  const int size = vertices - 1;
  std::vector<long double> laplacian(static_cast<std::size_t>(size) * size, 0.0L);
  auto at = [&](int row, int column) -> long double& {
    return laplacian[static_cast<std::size_t>(row) * size + column];
  };
  for (const auto& [u, v] : edges) {
    if (u == v)
      continue;
    if (u < size)
      at(u, u) += 1;
    if (v < size)
      at(v, v) += 1;
    if (u < size && v < size) {
      at(u, v) -= 1;
      at(v, u) -= 1;
    }
  }
  // The reduced Laplacian of a connected graph is positive definite: Cholesky, lower triangle.
  long double logDeterminant = 0.0L;
  for (int j = 0; j < size; ++j) {
    long double pivot = at(j, j);
    for (int k = 0; k < j; ++k)
      pivot -= at(j, k) * at(j, k);
    if (!(pivot > 0.0L))
      return std::numeric_limits<double>::quiet_NaN();
    const long double root = std::sqrt(pivot);
    at(j, j) = root;
    logDeterminant += 2.0L * std::log(root);
    for (int i = j + 1; i < size; ++i) {
      long double value = at(i, j);
      for (int k = 0; k < j; ++k)
        value -= at(i, k) * at(j, k);
      at(i, j) = value / root;
    }
  }
  return static_cast<double>(logDeterminant);
}
