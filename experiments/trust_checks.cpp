#include "experiments/trust_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <iterator>
#include <sstream>

#include <boost/math/special_functions/gamma.hpp>

#include "experiments/coefficient_statistics.h"

namespace {

std::string pointName(int x, int y) {
  return "T(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

std::string shortestText(double value) {
  char text[32];
  const auto end = std::to_chars(std::begin(text), std::end(text), value).ptr;
  return std::string(text, end);
}

std::string pointName(double x, double y) {
  return "T(" + shortestText(x) + ", " + shortestText(y) + ")";
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

namespace {

std::vector<std::string> pointWarnings(int experiment, const std::string& point,
                                       const std::vector<WideFloat>& samples, bool budgetCut) {
  if (!budgetCut || samples.empty())
    return {};
  const std::string head = "Warning: experiment " + std::to_string(experiment) + ": ";
  const SampleWeight weight = sampleWeight(samples);
  if (weight.effectiveSize == 0.0) {
    return {head + "all " + std::to_string(samples.size()) + " samples of " + point +
            " are 0: the walk never reached a leaf that counts at this point, so the estimate 0 "
            "says nothing about the value; raise B (and N) until some samples are not 0."};
  }
  if (weight.effectiveSize >= kLeastEffectiveSampleSize && weight.largestShare <= 0.5)
    return {};
  return {head + "the estimate of " + point + " rests on an effective sample size of " +
          figure(weight.effectiveSize) + " (of " + std::to_string(samples.size()) +
          "), and the largest sample holds " + figure(100.0 * weight.largestShare) +
          "% of the total weight: the true value may be far from the estimate, whatever its RE "
          "says; raise B or N."};
}

}  // namespace

std::vector<std::string> pointSampleWarnings(int experiment, int x, int y,
                                             const std::vector<WideFloat>& samples,
                                             bool budgetCut) {
  return pointWarnings(experiment, pointName(x, y), samples, budgetCut);
}

std::vector<std::string> pointSampleWarnings(int experiment, double x, double y,
                                             const std::vector<WideFloat>& samples,
                                             bool budgetCut) {
  return pointWarnings(experiment, pointName(x, y), samples, budgetCut);
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

std::vector<std::string> agreementWarnings(int x, int y, const std::vector<WideFloat>& estimates,
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
                                             bool budgetCut) {
  if (!budgetCut || samples.empty())
    return {};
  const std::string head = "Warning: experiment " + std::to_string(experiment) + ": ";
  const bool noLeaf = std::all_of(samples.begin(), samples.end(),
                                  [](const CoefficientMatrix& s) { return s.entries.empty(); });
  if (noLeaf) {
    return {head + "none of the " + std::to_string(samples.size()) +
            " samples reached a leaf, so every coefficient reads 0 and says nothing about the "
            "polynomial; raise B."};
  }
  const CoefficientStatistics stats = coefficientStatistics(samples, samples.front().edgeCount + 1);
  long loose = 0;
  for (const CoefficientTable::Cell& cell : stats.errors.cells)
    loose += !(abs(cell.value) <= kLargestTrustedRE);
  if (loose == 0)
    return {};
  return {head + std::to_string(loose) + " of the " + std::to_string(stats.errors.cells.size()) +
          " coefficients the samples reached have an RE above " + figure(kLargestTrustedRE) +
          " (and the coefficients no sample reached read 0 unchecked); raise B or N."};
}

void printWarnings(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::cerr << line << std::endl;
}
