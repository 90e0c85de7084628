#pragma once

#include <vector>

#include "graph/instance_reader.h"

// An exact Tutte polynomial by plain recursive deletion-contraction over an edge list,
// independent of Graph. coefficients[i][j] is t_ij; the table is (m + 1) x (m + 1).
struct ExactTutte {
  std::vector<std::vector<double>> coefficients;
  double evaluate(double x, double y) const;
};

ExactTutte exactTutte(const EdgeList& edges);
