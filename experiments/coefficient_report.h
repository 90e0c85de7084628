#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"
#include "experiments/coefficient_statistics.h"

// Prints one experiment's report and adds its share (divided by expnum) to the run's average
// tables and point lists. The tables are sized from averageCoefficients, which has m + 1 rows,
// so an experiment without samples is reported (with not-a-number means) rather than crashing.
void printExperimentReport(int experimentNumber, const std::vector<CoefficientMatrix>& samples,
                           float seconds, int B, int N, int expnum, Matrix& averageCoefficients,
                           Matrix& averageRelativeErrors, int verb,
                           const std::vector<double>& pointEstimates,
                           std::vector<double>& experimentPointEstimates,
                           std::vector<double>& experimentPointErrors);

// Prints the averages over all experiments.
void printSummaryReport(int verb, const Matrix& averageCoefficients, double averageCpuSeconds,
                        const Matrix& averageRelativeErrors,
                        const std::vector<double>& experimentPointEstimates,
                        const std::vector<double>& experimentPointErrors, int expnum);

// Prints a table: one line per row, every value framed by single spaces.
void printTable(const Matrix& table);
