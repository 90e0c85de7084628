#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"

using DenseTable = std::vector<std::vector<double>>;

// The (edgeCount + 1) x (edgeCount + 1) table a sample stands for, zeros included.
DenseTable denseTable(const CoefficientMatrix& sample);

// The sample whose nonzero entries are those of `table` (a square table of edgeCount + 1 rows).
CoefficientMatrix sparseTable(const DenseTable& table);
