#pragma once

#include <vector>

#include "estimator/wide_float.h"

// A square size x size table of per-coefficient figures, row i for x^i and column j for y^j,
// that holds only the cells some sample reached. Every other cell holds `background`: 0 for the
// statistics of a non-empty experiment, not-a-number for an experiment without samples. A run
// reaches few of the (m + 1)^2 monomials, so memory follows what the samples reached, not m^2.
struct CoefficientTable {
  struct Cell {
    int row;
    int column;
    WideFloat value;
  };

  int size = 0;
  WideFloat background = 0.0;
  std::vector<Cell> cells;  // in row-major order, each (row, column) at most once

  // O(log cells).
  WideFloat at(int row, int column) const;
};

// average[i][j] += share[i][j] / expnum for every cell of the two tables (of one size), in this
// rounding order, as if both were dense.
void addShare(CoefficientTable& average, const CoefficientTable& share, int expnum);
