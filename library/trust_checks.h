#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"
#include "library/coefficient_table.h"

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
// Normal mode: an estimate of T(1, 1) further than this many standard errors from the exact
// number of spanning trees is flagged. For an unbiased estimate whose error is about normal
// that happens by chance with probability 6e-7; a run that missed part of the tree is off by
// far more.
inline constexpr double kSpanningTreeErrors = 5.0;

// Effective sample size (sum |s|)^2 / sum s^2 and the largest |s| as a share of sum |s|.
struct SampleWeight {
  double effectiveSize = 0.0;
  double largestShare = 0.0;
};
SampleWeight sampleWeight(const std::vector<WideFloat>& samples);

// The point samples of experiment `experiment` of T(x, y): all zero, or resting on few samples.
// `knownZero` says that T(x, y) is exactly 0 because the root itself is cut off (a loop at
// y == 0, a bridge at x == 0: every leaf keeps it), so that samples which are all 0 are right.
std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             const std::vector<WideFloat>& samples, bool budgetCut,
                                             bool knownZero);
// The same from the samples' weight and count, for samples that were not kept.
std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             SampleWeight weight, std::int64_t samples,
                                             bool budgetCut, bool knownZero);

// The upper tail of the chi-square statistic of the estimates about their weighted mean, each
// with standard error |RE * estimate|, over the experiments whose standard error is positive
// and finite; 1 when fewer than two such experiments.
double disagreementTail(const std::vector<WideFloat>& estimates,
                        const std::vector<WideFloat>& relativeErrors);

// Experiments whose estimates of T(x, y) disagree more than their REs allow.
std::vector<std::string> agreementWarnings(double x, double y,
                                           const std::vector<WideFloat>& estimates,
                                           const std::vector<WideFloat>& relativeErrors,
                                           bool budgetCut);

// Normal mode: no sample reached a leaf, or (with countLoose, when the tables are printed)
// coefficients whose RE is above kLargestTrustedRE. Without the tables MAX_RE already says the
// latter, and on large graphs it holds in nearly every run.
std::vector<std::string> coefficientWarnings(int experiment,
                                             const std::vector<CoefficientMatrix>& samples,
                                             bool budgetCut, bool countLoose);
// The same for samples that were not kept: how many there were, how many reached a leaf, and
// the coefficients' relative errors (read only with countLoose).
std::vector<std::string> coefficientWarnings(int experiment, std::int64_t samples,
                                             std::int64_t samplesWithLeaves,
                                             const CoefficientTable& relativeErrors, bool budgetCut,
                                             bool countLoose);

// An estimate with its standard error.
struct ErrorBar {
  WideFloat value;
  WideFloat standardError;
};

// Normal mode: the coefficients one sample estimates sum to its estimate of T(1, 1), so an
// experiment estimates T(1, 1) by the mean of those sums, with the standard error of a mean
// (population spread / sqrt N, as every RE of the report). O(entries of the samples).
ErrorBar spanningTreeEstimate(const std::vector<CoefficientMatrix>& samples);

// The mean of the experiments' estimates, whose standard error is sqrt(sum of theirs^2) / K: the
// experiments are independent and of equal size, so this is the error of the mean of all their
// samples. It rests on every sample's spread, where the spread of K estimates would rest on K
// numbers (none for K = 1); whether the K agree is the chi-square check's question.
ErrorBar averageEstimate(const std::vector<ErrorBar>& experiments);

// The estimate of T(1, 1) set beside its exact value: a line when the estimate is 0 or further
// than kSpanningTreeErrors standard errors from it (rounding aside), for experiment
// `experiment`, or for the average of `experiments` experiments.
std::vector<std::string> spanningTreeWarnings(int experiment, ErrorBar estimate, WideFloat exact,
                                              bool budgetCut);
std::vector<std::string> averageSpanningTreeWarnings(int experiments, ErrorBar estimate,
                                                     WideFloat exact, bool budgetCut);

// The library's point estimate beside the exact value where one is at hand (the number of
// spanning trees at (1, 1), a closed form on the hyperbola): a line when the estimate is 0 or
// further than kSpanningTreeErrors standard errors from it.
std::vector<std::string> exactValueWarnings(double x, double y, ErrorBar estimate, WideFloat exact,
                                            bool budgetCut);

// An estimate drawn at one tilt of the reduced walk.
struct TiltedEstimate {
  double tilt;
  ErrorBar estimate;
};

// Two parts of one run drawn at different tilts, both unbiased for T(x, y): a line when they
// disagree more than their standard errors allow (chi-square tail below kDisagreementTail).
std::vector<std::string> tiltAgreementWarnings(double x, double y, TiltedEstimate first,
                                               TiltedEstimate second, bool budgetCut);

// Writes the lines to standard error.
void printWarnings(const std::vector<std::string>& lines);
