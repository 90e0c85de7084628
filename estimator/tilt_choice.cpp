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

// What the samples of one tilt promise: the relative variance of one sample, predicted from
// the spread of log |s| as for a log-normal, exp(var log |s|) / (1 - z) - 1 with z the share of
// zero samples. A heavy tail shows in the spread of the logarithms long before a pilot of a few
// hundred samples meets the rare huge samples that carry a tail's variance, so this ranks tilts
// far more reliably than the pilot's own sample variance, which is lowest exactly for tilts
// whose tails it never saw.
double predictedRelativeVariance(const std::vector<WideFloat>& samples) {
  double sum = 0.0, squares = 0.0;
  std::size_t nonZero = 0;
  for (const WideFloat& value : samples) {
    if (value.isZero() || !value.isFinite())
      continue;
    const double logarithm = log(abs(value));
    sum += logarithm;
    squares += logarithm * logarithm;
    ++nonZero;
  }
  if (nonZero < 2)
    return std::numeric_limits<double>::infinity();
  const double mean = sum / static_cast<double>(nonZero);
  const double spread = std::max(0.0, squares / static_cast<double>(nonZero) - mean * mean);
  const double zeroShare = 1.0 - static_cast<double>(nonZero) / static_cast<double>(samples.size());
  return std::exp(spread) / (1.0 - zeroShare) - 1.0;
}

}  // namespace

double chooseTilt(const Graph& root, const WalkSettings& settings,
                  const std::vector<std::uint64_t>& pilotSeeds) {
  const std::vector<double> tilts = tiltLadder();
  const std::size_t share = pilotSeeds.size() / tilts.size();
  if (share < 2)
    return 1.0;
  double best = 1.0, leastWork = std::numeric_limits<double>::infinity();
  for (std::size_t t = 0; t < tilts.size(); ++t) {
    WalkSettings tilted = settings;
    tilted.tilt = tilts[t];
    const std::vector<std::uint64_t> seeds(pilotSeeds.begin() + t * share,
                                           pilotSeeds.begin() + (t + 1) * share);
    const PointSamples pilot = estimatePointSamples(root, tilted, seeds);
    const double nodes = static_cast<double>(std::max<std::int64_t>(pilot.nodesBuilt, 1));
    const double work = predictedRelativeVariance(pilot.values) * nodes;
    // Among tilts that promise the same, the mildest: where no tilt makes a difference (every
    // sample the same, as when the root is a leaf) that is 1.
    const bool milder = std::abs(std::log(tilts[t])) < std::abs(std::log(best));
    if (work < leastWork || (work == leastWork && milder)) {
      leastWork = work;
      best = tilts[t];
    }
  }
  return best;
}
