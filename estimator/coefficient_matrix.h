#pragma once

#include <vector>

// One sample's estimate of every coefficient t_ij: row i counts bridges (x^i), column j loops
// (y^j). (edgeCount + 1) x (edgeCount + 1) entries.
struct CoefficientMatrix {
  std::vector<std::vector<double>> coefficients;
  int edgeCount = 0;
};
