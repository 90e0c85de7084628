#include "experiments/coefficient_report.h"

#include <iostream>

#include "experiments/report_lines.h"
#include "library/coefficient_statistics.h"
#include "library/sample_statistics.h"

namespace {

void printTitledTable(const char* title, const CoefficientTable& table) {
  std::cout << title << std::endl;
  std::cout << std::endl;
  printTable(table);
  std::cout << std::endl;
}

}  // namespace

void printTable(const CoefficientTable& table) {
  auto cell = table.cells.begin();
  for (int row = 0; row < table.size; ++row) {
    for (int column = 0; column < table.size; ++column) {
      const bool held = cell != table.cells.end() && cell->row == row && cell->column == column;
      std::cout << " " << (held ? cell->value : table.background) << " ";
      if (held)
        ++cell;
    }
    std::cout << std::endl;
  }
}

void printExperimentReport(int experimentNumber, const std::vector<CoefficientMatrix>& samples,
                           float seconds, int B, int N, int expnum,
                           CoefficientTable& averageCoefficients,
                           CoefficientTable& averageRelativeErrors, int verb,
                           const std::vector<WideFloat>& pointEstimates,
                           std::vector<WideFloat>& experimentPointEstimates,
                           std::vector<WideFloat>& experimentPointErrors) {
  std::cout << kHyphenLine << std::endl;
  std::cout << "Experiment " << experimentNumber << " (Budget=" << B << ", N=" << N << ")"
            << std::endl;
  std::cout << "Total CPU time: " << seconds << std::endl;

  const CoefficientStatistics stats = coefficientStatistics(samples, averageCoefficients.size);
  addShare(averageCoefficients, stats.means, expnum);
  addShare(averageRelativeErrors, stats.errors, expnum);

  std::cout << "MIN RE: " << stats.minRE << " MAX_RE: " << stats.maxRE << std::endl;
  if (!pointEstimates.empty()) {
    experimentPointEstimates.push_back(sampleMean(pointEstimates));
    experimentPointErrors.push_back(relativeError(pointEstimates));
    std::cout << "Point estimator: " << experimentPointEstimates.back()
              << " RE: " << experimentPointErrors.back() << std::endl;
  }
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
  if (verb != 2)
    return;
  printTitledTable("-------------  COEFICIENTS  -----------------------", stats.means);
  printTitledTable("----------------------  RE -------------------------", stats.errors);
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
}

void printSummaryReport(int verb, const CoefficientTable& averageCoefficients,
                        double averageCpuSeconds, const CoefficientTable& averageRelativeErrors,
                        const std::vector<WideFloat>& experimentPointEstimates,
                        const std::vector<WideFloat>& experimentPointErrors, int expnum) {
  std::cout << kAsteriskLine << std::endl;
  std::cout << std::endl;
  std::cout << "SUMMARY OF " << expnum << " experiments:" << std::endl;
  std::cout << std::endl;
  std::cout << "AVERAGE CPU TIME:   " << averageCpuSeconds << " (sec)" << std::endl;
  std::cout << std::endl;
  if (!experimentPointEstimates.empty()) {
    std::cout << "AVERAGE POINT ESTIMATOR:   " << sampleMean(experimentPointEstimates)
              << " AVERAGE RE " << sampleMean(experimentPointErrors) << std::endl;
    std::cout << std::endl;
  }
  if (verb != 0) {
    printTitledTable("-------------  AVERAGE COEFICIENTS  ----------------", averageCoefficients);
    std::cout << "----------------------  AVERAGE RE -----------------" << std::endl;
    std::cout << std::endl;
    printTable(averageRelativeErrors);
  }
  std::cout << std::endl;
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
  std::cout << kAsteriskLine << std::endl;
}
