#include "library/trust_checks.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include <boost/math/special_functions/gamma.hpp>

#include "library/coefficient_statistics.h"
#include "library/sample_statistics.h"

namespace {

// An integer with all its digits, as the command line gives it; any other value as a stream
// prints a double.
std::string coordinate(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15)
    return std::to_string(static_cast<long long>(value));
  std::ostringstream text;
  text << value;
  return text.str();
}

std::string pointName(double x, double y) {
  return "T(" + coordinate(x) + ", " + coordinate(y) + ")";
}

// A figure of the report, in the report's format.
std::string reported(WideFloat value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// Beyond the standard errors the comparison allows for rounding: the walk's weights and sums
// carry relative errors of a few units of 2^-53 per level, far below this.
constexpr double kRoundingAllowance = 1e-9;

bool offTheExactValue(ErrorBar estimate, WideFloat exact) {
  const WideFloat allowed =
      kSpanningTreeErrors * estimate.standardError + kRoundingAllowance * abs(exact);
  return estimate.value.isZero() || abs(estimate.value - exact) > allowed;
}

std::string spanningTreeMessage(const std::string& sum, ErrorBar estimate, WideFloat exact,
                                const std::string& scope) {
  return sum + " " + reported(estimate.value) + " (standard error " +
         reported(estimate.standardError) + ") where T(1, 1), their exact sum, is " +
         reported(exact) + ": the samples missed part of the tree, so every figure of " + scope +
         " may be off by as much; raise B or N.";
}

std::string figure(double value) {
  std::ostringstream text;
  text.precision(3);
  text << value;
  return text.str();
}

}  // namespace

SampleWeight sampleWeight(const std::vector<WideFloat>& samples) {
  WideFloat absolute = 0.0, squares = 0.0, largest = 0.0;
  for (const WideFloat& sample : samples) {
    absolute += abs(sample);
    squares += sample * sample;
    largest = std::max(largest, abs(sample));
  }
  if (absolute.isZero())
    return {};
  return {(absolute * absolute / squares).toDouble(), (largest / absolute).toDouble()};
}

std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             const std::vector<WideFloat>& samples, bool budgetCut,
                                             bool knownZero) {
  if (!budgetCut || samples.empty())
    return {};
  return pointSampleWarnings(experiment, x, y, sampleWeight(samples),
                             static_cast<std::int64_t>(samples.size()), budgetCut, knownZero);
}

std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             SampleWeight weight, std::int64_t samples,
                                             bool budgetCut, bool knownZero) {
  if (!budgetCut || samples == 0)
    return {};
  const std::string head = "Warning: experiment " + std::to_string(experiment) + ": ";
  if (weight.effectiveSize == 0.0) {
    if (knownZero)
      return {};
    return {head + "all " + std::to_string(samples) + " samples of " + pointName(x, y) +
            " are 0: the walk never reached a leaf that counts at this point, so the estimate 0 "
            "says nothing about the value; raise B (and N) until some samples are not 0."};
  }
  if (weight.effectiveSize >= kLeastEffectiveSampleSize && weight.largestShare <= 0.5)
    return {};
  return {head + "the estimate of " + pointName(x, y) + " rests on an effective sample size of " +
          figure(weight.effectiveSize) + " (of " + std::to_string(samples) +
          "), and the largest sample holds " + figure(100.0 * weight.largestShare) +
          "% of the total weight: the true value may be far from the estimate, whatever its RE "
          "says; raise B or N."};
}

double disagreementTail(const std::vector<WideFloat>& estimates,
                        const std::vector<WideFloat>& relativeErrors) {
  std::vector<std::pair<WideFloat, WideFloat>> usable;  // estimate, standard error
  for (std::size_t k = 0; k < estimates.size() && k < relativeErrors.size(); ++k) {
    const WideFloat error = abs(relativeErrors[k] * estimates[k]);
    if (error > 0.0 && error.isFinite() && estimates[k].isFinite())
      usable.emplace_back(estimates[k], error);
  }
  if (usable.size() < 2)
    return 1.0;
  WideFloat weights = 0.0, weighted = 0.0;
  for (const auto& [estimate, error] : usable) {
    weights += 1.0 / (error * error);
    weighted += estimate / (error * error);
  }
  const WideFloat mean = weighted / weights;
  double chiSquare = 0.0;
  for (const auto& [estimate, error] : usable) {
    const double deviation = ((estimate - mean) / error).toDouble();
    chiSquare += deviation * deviation;
  }
  if (!std::isfinite(chiSquare))
    return 0.0;
  const double freedom = static_cast<double>(usable.size() - 1);
  return boost::math::gamma_q(freedom / 2.0, chiSquare / 2.0);
}

std::vector<std::string> agreementWarnings(double x, double y,
                                           const std::vector<WideFloat>& estimates,
                                           const std::vector<WideFloat>& relativeErrors,
                                           bool budgetCut) {
  if (!budgetCut || estimates.size() < 2)
    return {};
  const double tail = disagreementTail(estimates, relativeErrors);
  if (tail >= kDisagreementTail)
    return {};
  return {"Warning: the " + std::to_string(estimates.size()) + " experiments' estimates of " +
          pointName(x, y) + " disagree more than their REs allow (chi-square tail p = " +
          figure(tail) + "): the REs understate the error; raise B or N."};
}

std::vector<std::string> coefficientWarnings(int experiment,
                                             const std::vector<CoefficientMatrix>& samples,
                                             bool budgetCut, bool countLoose) {
  if (!budgetCut || samples.empty())
    return {};
  const auto withLeaves = std::count_if(samples.begin(), samples.end(),
                                        [](const auto& sample) { return !sample.entries.empty(); });
  // The relative errors are computed only where they are read.
  const CoefficientTable errors =
      countLoose && withLeaves > 0
          ? coefficientStatistics(samples, samples.front().edgeCount + 1).errors
          : CoefficientTable{};
  return coefficientWarnings(experiment, static_cast<std::int64_t>(samples.size()), withLeaves,
                             errors, budgetCut, countLoose);
}

std::vector<std::string> coefficientWarnings(int experiment, std::int64_t samples,
                                             std::int64_t samplesWithLeaves,
                                             const CoefficientTable& relativeErrors, bool budgetCut,
                                             bool countLoose) {
  if (!budgetCut || samples == 0)
    return {};
  const std::string head = "Warning: experiment " + std::to_string(experiment) + ": ";
  if (samplesWithLeaves == 0) {
    return {head + "none of the " + std::to_string(samples) +
            " samples reached a leaf, so every coefficient reads 0 and says nothing about the "
            "polynomial; raise B."};
  }
  if (!countLoose)
    return {};
  long loose = 0;
  for (const CoefficientTable::Cell& cell : relativeErrors.cells)
    loose += !(abs(cell.value) <= kLargestTrustedRE);
  if (loose == 0)
    return {};
  return {head + std::to_string(loose) + " of the " + std::to_string(relativeErrors.cells.size()) +
          " coefficients the samples reached have an RE above " + figure(kLargestTrustedRE) +
          " (and the coefficients no sample reached read 0 unchecked); raise B or N."};
}

ErrorBar spanningTreeEstimate(const std::vector<CoefficientMatrix>& samples) {
  std::vector<WideFloat> sums;
  sums.reserve(samples.size());
  for (const CoefficientMatrix& sample : samples) {
    WideFloat sum = 0.0;
    for (const CoefficientEntry& entry : sample.entries)
      sum += entry.value;
    sums.push_back(sum);
  }
  const double n = static_cast<double>(sums.size());
  return {sampleMean(sums), sampleStdDev(sums) / std::sqrt(n)};
}

ErrorBar averageEstimate(const std::vector<ErrorBar>& experiments) {
  std::vector<WideFloat> values;
  WideFloat squares = 0.0;
  for (const ErrorBar& experiment : experiments) {
    values.push_back(experiment.value);
    squares += experiment.standardError * experiment.standardError;
  }
  return {sampleMean(values), sqrt(squares) / static_cast<double>(experiments.size())};
}

std::vector<std::string> spanningTreeWarnings(int experiment, ErrorBar estimate, WideFloat exact,
                                              bool budgetCut) {
  if (!budgetCut || !offTheExactValue(estimate, exact))
    return {};
  return {"Warning: experiment " + std::to_string(experiment) + ": " +
          spanningTreeMessage("the coefficients sum to", estimate, exact, "this experiment")};
}

std::vector<std::string> averageSpanningTreeWarnings(int experiments, ErrorBar estimate,
                                                     WideFloat exact, bool budgetCut) {
  if (!budgetCut || !offTheExactValue(estimate, exact))
    return {};
  return {"Warning: the " + std::to_string(experiments) + " experiments' " +
          spanningTreeMessage("coefficients sum on average to", estimate, exact, "the summary")};
}

std::vector<std::string> exactValueWarnings(double x, double y, ErrorBar estimate, WideFloat exact,
                                            bool budgetCut) {
  if (!budgetCut || !offTheExactValue(estimate, exact))
    return {};
  return {"Warning: experiment 1: the estimate of " + pointName(x, y) + ", " +
          reported(estimate.value) + " (standard error " + reported(estimate.standardError) +
          "), is further than " + figure(kSpanningTreeErrors) +
          " standard errors from its exact value " + reported(exact) +
          ": the samples missed part of the tree, and the RE understates the error; raise B or "
          "N."};
}

std::vector<std::string> tiltAgreementWarnings(double x, double y, TiltedEstimate first,
                                               TiltedEstimate second, bool budgetCut) {
  if (!budgetCut)
    return {};
  const auto relative = [](ErrorBar part) { return part.standardError / abs(part.value); };
  const double tail = disagreementTail({first.estimate.value, second.estimate.value},
                                       {relative(first.estimate), relative(second.estimate)});
  if (tail >= kDisagreementTail)
    return {};
  const auto part = [](TiltedEstimate part) {
    return reported(part.estimate.value) + " (standard error " +
           reported(part.estimate.standardError) + ") at tilt " + figure(part.tilt);
  };
  return {"Warning: experiment 1: the samples drawn at two tilts estimate " + pointName(x, y) +
          " as " + part(first) + " and " + part(second) +
          ", which disagree more than their errors allow (chi-square tail p = " + figure(tail) +
          "): the samples of at least one tilt missed the rare large values that carry the "
          "mean, so the estimate may be far off whatever its RE says; raise N, and trust the "
          "estimate once runs at both tilts agree."};
}

void printWarnings(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::cerr << line << std::endl;
}
