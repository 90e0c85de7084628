#include "experiments/coefficient_report.h"

#include <iostream>

#include "experiments/coefficient_statistics.h"
#include "experiments/report_lines.h"
#include "experiments/sample_statistics.h"

namespace {

void addShare(Matrix& average, const Matrix& experiment, int expnum) {
  for (std::size_t i = 0; i < average.size(); ++i)
    for (std::size_t j = 0; j < average[i].size(); ++j)
      average[i][j] += experiment[i][j] / static_cast<double>(expnum);
}

void printTitledTable(const char* title, const Matrix& table) {
  std::cout << title << std::endl;
  std::cout << std::endl;
  printTable(table);
  std::cout << std::endl;
}

}  // namespace

void printTable(const Matrix& table) {
  for (const auto& row : table) {
    for (double value : row)
      std::cout << " " << value << " ";
    std::cout << std::endl;
  }
}

void printExperimentReport(int experimentNumber, const std::vector<CoefficientMatrix>& samples,
                           float seconds, int B, int N, int expnum, Matrix& averageCoefficients,
                           Matrix& averageRelativeErrors, int verb,
                           const std::vector<double>& pointEstimates,
                           std::vector<double>& experimentPointEstimates,
                           std::vector<double>& experimentPointErrors) {
  std::cout << kHyphenLine << std::endl;
  std::cout << "Experiment " << experimentNumber << " (Budget=" << B << ", N=" << N << ")"
            << std::endl;
  std::cout << "Total CPU time: " << seconds << std::endl;

  const CoefficientStatistics stats =
      coefficientStatistics(samples, static_cast<int>(averageCoefficients.size()));
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

void printSummaryReport(int verb, const Matrix& averageCoefficients, double averageCpuSeconds,
                        const Matrix& averageRelativeErrors,
                        const std::vector<double>& experimentPointEstimates,
                        const std::vector<double>& experimentPointErrors, int expnum) {
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
