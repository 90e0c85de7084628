#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"
#include "library/coefficient_table.h"

// Prints one experiment's report and adds its share (divided by expnum) to the run's average
// tables and point lists. The tables take their size from averageCoefficients (m + 1), so an
// experiment without samples is reported (with not-a-number means) rather than crashing.
void printExperimentReport(int experimentNumber, const std::vector<CoefficientMatrix>& samples,
                           float seconds, int B, int N, int expnum,
                           CoefficientTable& averageCoefficients,
                           CoefficientTable& averageRelativeErrors, int verb,
                           const std::vector<WideFloat>& pointEstimates,
                           std::vector<WideFloat>& experimentPointEstimates,
                           std::vector<WideFloat>& experimentPointErrors);

// Prints the averages over all experiments.
void printSummaryReport(int verb, const CoefficientTable& averageCoefficients,
                        double averageCpuSeconds, const CoefficientTable& averageRelativeErrors,
                        const std::vector<WideFloat>& experimentPointEstimates,
                        const std::vector<WideFloat>& experimentPointErrors, int expnum);

// Prints a table row by row, every cell (held or background) framed by single spaces.
// O(size^2) output from O(cells) memory.
void printTable(const CoefficientTable& table);
