#pragma once

#include <string>
#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"

// Checks that say when an estimate cannot be trusted. The walk's samples are heavy-tailed on
// large graphs: a run can come out low by orders of magnitude while its RE looks modest, because
// the rare samples that carry the value were never drawn. Each check returns the warning lines
// for the user (empty when there is nothing to say); a run whose walks the budget never cut is
// exact, and every check is silent for it.

// Below this effective sample size an RE is not a reliable error figure.
inline constexpr double kLeastEffectiveSampleSize = 100.0;
// Experiments whose estimates disagree beyond their REs at this chi-square tail are flagged.
inline constexpr double kDisagreementTail = 0.001;
// Coefficients whose RE exceeds this are counted in normal mode.
inline constexpr double kLargestTrustedRE = 0.1;

// Effective sample size (sum |s|)^2 / sum s^2 and the largest |s| as a share of sum |s|.
struct SampleWeight {
  double effectiveSize = 0.0;
  double largestShare = 0.0;
};
SampleWeight sampleWeight(const std::vector<WideFloat>& samples);

// The point samples of experiment `experiment` of T(x, y): all zero, or resting on few samples.
// The tool's points are integers; a real point is named by the shortest text that reads back as
// the same double (1 as "1", 0.1 as "0.1").
std::vector<std::string> pointSampleWarnings(int experiment, int x, int y,
                                             const std::vector<WideFloat>& samples, bool budgetCut);
std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             const std::vector<WideFloat>& samples, bool budgetCut);

// The upper tail of the chi-square statistic of the estimates about their weighted mean, each
// with standard error |RE * estimate|, over the experiments whose standard error is positive
// and finite; 1 when fewer than two such experiments.
double disagreementTail(const std::vector<WideFloat>& estimates,
                        const std::vector<WideFloat>& relativeErrors);

// Experiments whose estimates of T(x, y) disagree more than their REs allow.
std::vector<std::string> agreementWarnings(int x, int y, const std::vector<WideFloat>& estimates,
                                           const std::vector<WideFloat>& relativeErrors,
                                           bool budgetCut);

// Normal mode: no sample reached a leaf, or coefficients whose RE is above kLargestTrustedRE.
std::vector<std::string> coefficientWarnings(int experiment,
                                             const std::vector<CoefficientMatrix>& samples,
                                             bool budgetCut);

// Writes the lines to standard error.
void printWarnings(const std::vector<std::string>& lines);
