#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"
#include "library/coefficient_table.h"

using DenseTable = std::vector<std::vector<double>>;

// The (edgeCount + 1) x (edgeCount + 1) table a sample stands for, zeros included.
DenseTable denseTable(const CoefficientMatrix& sample);

// The sample whose nonzero entries are those of `table` (a square table of edgeCount + 1 rows).
CoefficientMatrix sparseTable(const DenseTable& table);

// Every cell of a table of statistics, background included, as doubles.
DenseTable denseTable(const CoefficientTable& table);

// The same values in the wide type, for the statistics.
std::vector<WideFloat> wideValues(const std::vector<double>& values);
