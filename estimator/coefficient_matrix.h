#pragma once

#include <vector>

#include "estimator/wide_float.h"

// One nonzero entry of a coefficient table: the estimate of the coefficient of
// x^row y^column.
struct CoefficientEntry {
  int row;
  int column;
  WideFloat value;
};

// One sample's estimate of every coefficient t_ij of a graph with edgeCount edges: row i counts
// bridges (x^i), column j loops (y^j), 0 <= i, j <= edgeCount. A walk reaches few of the
// (edgeCount + 1)^2 monomials, so only the nonzero entries are held, each (row, column) once;
// every other coefficient of the sample is 0.
struct CoefficientMatrix {
  std::vector<CoefficientEntry> entries;
  int edgeCount = 0;

  WideFloat at(int row, int column) const;
};
