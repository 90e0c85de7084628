#include "estimator/tilt_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::vector<double> tiltLadder() {
  std::vector<double> tilts;
  for (int step = -6; step <= 6; ++step)
    tilts.push_back(std::pow(2.0, step / 2.0));
  return tilts;
}

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// One tilt's prediction: the logarithm of the work to a given precision, its standard error,
// and the relative variance of one sample behind it; and log |mean| of its samples.
struct Prediction {
  double logWork = kInfinity;
  double error = kInfinity;
  double relativeVariance = kInfinity;
  double logMean = -kInfinity;
};

// The relative variance of one sample predicted from the spread v of log |s| as for a
// log-normal, r = exp(v) / (1 - z) - 1 with z the share of zero samples. A heavy tail shows in
// the spread of the logarithms long before a pilot of a few hundred samples meets the rare huge
// samples that carry a tail's variance, so this ranks tilts far more reliably than the pilot's
// own sample variance, which is lowest exactly for tilts whose tails it never saw. The error of
// log(r * nodes) follows from that of v, sqrt(var((l - mean)^2) / n), by the delta method.
Prediction predict(const std::vector<WideFloat>& samples, double nodesPerSample) {
  std::vector<double> logarithms;
  logarithms.reserve(samples.size());
  for (const WideFloat& value : samples)
    if (!value.isZero() && value.isFinite())
      logarithms.push_back(log(abs(value)));
  const double count = static_cast<double>(logarithms.size());
  if (logarithms.size() < 2)
    return {};
  double mean = 0.0;
  for (double logarithm : logarithms)
    mean += logarithm;
  mean /= count;
  double spread = 0.0;
  for (double logarithm : logarithms)
    spread += (logarithm - mean) * (logarithm - mean);
  spread /= count;
  double spreadVariance = 0.0;
  for (double logarithm : logarithms) {
    const double deviation = (logarithm - mean) * (logarithm - mean) - spread;
    spreadVariance += deviation * deviation;
  }
  const double spreadError = std::sqrt(spreadVariance / count) / std::sqrt(count);
  const double secondMoment = std::exp(spread) * static_cast<double>(samples.size()) / count;
  const double relativeVariance = secondMoment - 1.0;
  if (!(relativeVariance > 0.0))  // every sample the same: no work beyond one sample
    return {-kInfinity, 0.0, 0.0};
  return {std::log(relativeVariance * nodesPerSample),
          spreadError * secondMoment / relativeVariance, relativeVariance};
}

double mildness(double tilt) {
  return std::abs(std::log(tilt));
}

}  // namespace

TiltChoice givenTilt(double tilt) {
  const double step = std::sqrt(2.0);
  return {tilt, tilt < 1.0 ? tilt * step : tilt == 1.0 ? step : tilt / step, kInfinity, kInfinity};
}

TiltChoice chooseTilt(const Graph& root, const WalkSettings& settings,
                      const std::vector<std::uint64_t>& pilotSeeds) {
  const std::vector<double> tilts = tiltLadder();
  const std::size_t share = pilotSeeds.size() / tilts.size();
  const TiltChoice untilted = givenTilt(1.0);
  if (share < 2)
    return untilted;
  std::vector<Prediction> predictions;
  std::vector<double> logMeans;
  for (std::size_t t = 0; t < tilts.size(); ++t) {
    WalkSettings tilted = settings;
    tilted.tilt = tilts[t];
    const std::vector<std::uint64_t> seeds(pilotSeeds.begin() + t * share,
                                           pilotSeeds.begin() + (t + 1) * share);
    const PointSamples pilot = estimatePointSamples(root, tilted, seeds);
    const double nodes = static_cast<double>(std::max<std::int64_t>(pilot.nodesBuilt, 1));
    predictions.push_back(predict(pilot.values, nodes / static_cast<double>(share)));
    WideFloat sum = 0.0;
    for (const WideFloat& value : pilot.values)
      sum += value;
    if (!sum.isZero() && sum.isFinite())
      predictions.back().logMean = log(abs(sum / static_cast<double>(share)));
    logMeans.push_back(predictions.back().logMean);
  }
  // Every tilt's samples are unbiased for the same value, so a tilt whose pilot mean is below
  // half the median of all tilts' means has missed the rare large samples that carry its own,
  // and the spread of the rest says nothing about its work: it is not chosen. A tilt that almost
  // always takes the same child draws a bulk of nearly equal samples and would otherwise look
  // best of all.
  std::nth_element(logMeans.begin(), logMeans.begin() + logMeans.size() / 2, logMeans.end());
  const double leastLogMean = logMeans[logMeans.size() / 2] - std::log(2.0);
  const auto eligible = [&](std::size_t t) { return predictions[t].logMean >= leastLogMean; };
  std::size_t least = tilts.size();
  for (std::size_t t = 0; t < tilts.size(); ++t)
    if (eligible(t) &&
        (least == tilts.size() || predictions[t].logWork < predictions[least].logWork))
      least = t;
  if (least == tilts.size() || predictions[least].logWork == kInfinity)
    return untilted;  // no tilt saw two samples that count
  // Where no tilt makes a difference (every sample the same, as when the root is a leaf) the
  // mildest of all is 1.
  std::size_t chosen = least;
  for (std::size_t t = 0; t < tilts.size(); ++t) {
    const double gap = predictions[t].logWork == predictions[least].logWork
                           ? 0.0
                           : predictions[t].logWork - predictions[least].logWork;
    const double error = std::hypot(predictions[t].error, predictions[least].error);
    if (eligible(t) && gap <= error && mildness(tilts[t]) < mildness(tilts[chosen]))
      chosen = t;
  }
  const std::size_t below = chosen > 0 ? chosen - 1 : chosen + 1;
  const std::size_t above = chosen + 1 < tilts.size() ? chosen + 1 : chosen - 1;
  const std::size_t next = predictions[below].logWork <= predictions[above].logWork ? below : above;
  return {tilts[chosen], tilts[next], predictions[chosen].relativeVariance,
          predictions[next].relativeVariance};
}
