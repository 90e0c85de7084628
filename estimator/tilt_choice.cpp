#include "estimator/tilt_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "estimator/random_stream.h"

std::vector<double> tiltLadder() {
  std::vector<double> tilts;
  for (int step = -6; step <= 6; ++step)
    tilts.push_back(std::pow(2.0, step / 2.0));
  return tilts;
}

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The farthest the pilot goes beyond the ladder, on either side: 2^10 and 2^-10, in steps of 2.
constexpr int kWidestExponent = 10;

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

struct Rung {
  double tilt;
  Prediction prediction;
};

Rung measureRung(const Graph& root, const WalkSettings& settings, double tilt,
                 const std::vector<std::uint64_t>& seeds) {
  WalkSettings tilted = settings;
  tilted.tilt = tilt;
  const PointSamples pilot = estimatePointSamples(root, tilted, seeds);
  const auto count = static_cast<double>(seeds.size());
  const double nodes = static_cast<double>(std::max<std::int64_t>(pilot.nodesBuilt, 1));
  Rung rung{tilt, predict(pilot.values, nodes / count)};
  WideFloat sum = 0.0;
  for (const WideFloat& value : pilot.values)
    sum += value;
  if (!sum.isZero() && sum.isFinite())
    rung.prediction.logMean = log(abs(sum / count));
  return rung;
}

// Seeds of the k-th rung beyond the ladder (k >= 1), `share` of them: each a function of one
// pilot seed and k, so that they, too, depend on the pilot's seeds alone.
std::vector<std::uint64_t> widenedSeeds(const std::vector<std::uint64_t>& pilotSeeds,
                                        std::size_t share, int k) {
  std::vector<std::uint64_t> seeds(share);
  for (std::size_t s = 0; s < share; ++s)
    seeds[s] = RandomStream(pilotSeeds[s] ^ (0x9e3779b97f4a7c15ULL * static_cast<unsigned>(k)))();
  return seeds;
}

// Every tilt's samples are unbiased for the same value, so a tilt whose pilot mean is below
// half the median of all tilts' means has missed the rare large samples that carry its own,
// and the spread of the rest says nothing about its work: it is not chosen. A tilt that almost
// always takes the same child draws a bulk of nearly equal samples and would otherwise look
// best of all.
double leastEligibleLogMean(const std::vector<Rung>& rungs) {
  std::vector<double> logMeans;
  for (const Rung& rung : rungs)
    logMeans.push_back(rung.prediction.logMean);
  std::nth_element(logMeans.begin(), logMeans.begin() + logMeans.size() / 2, logMeans.end());
  return logMeans[logMeans.size() / 2] - std::log(2.0);
}

// The eligible rung of least predicted work, or rungs.size() if none is eligible.
std::size_t leastWork(const std::vector<Rung>& rungs) {
  const double leastLogMean = leastEligibleLogMean(rungs);
  std::size_t least = rungs.size();
  for (std::size_t t = 0; t < rungs.size(); ++t)
    if (rungs[t].prediction.logMean >= leastLogMean &&
        (least == rungs.size() || rungs[t].prediction.logWork < rungs[least].prediction.logWork))
      least = t;
  return least;
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
  std::vector<Rung> rungs;
  for (std::size_t t = 0; t < tilts.size(); ++t) {
    const std::vector<std::uint64_t> seeds(pilotSeeds.begin() + t * share,
                                           pilotSeeds.begin() + (t + 1) * share);
    rungs.push_back(measureRung(root, settings, tilts[t], seeds));
  }
  // Where the least work lies at an end of the ladder the best tilt may lie beyond it: the
  // pilot goes on past that end in steps of 2, one rung at a time while the newest rung is the
  // best, up to 2^10 or 2^-10. Each rung costs `share` samples, so at most 7 rungs more than the
  // ladder's 13.
  for (int k = 1;; ++k) {
    const std::size_t least = leastWork(rungs);
    if (least == rungs.size() || !std::isfinite(rungs[least].prediction.logWork))
      break;  // no tilt saw two samples that count, or none makes a difference
    const bool upward = rungs[least].tilt == rungs.back().tilt;
    const bool downward = rungs[least].tilt == rungs.front().tilt;
    const double next = upward ? rungs.back().tilt * 2 : rungs.front().tilt / 2;
    if ((!upward && !downward) || std::abs(std::log2(next)) > kWidestExponent + 1e-9)
      break;
    const Rung rung = measureRung(root, settings, next, widenedSeeds(pilotSeeds, share, k));
    rungs.insert(upward ? rungs.end() : rungs.begin(), rung);
  }
  const std::size_t least = leastWork(rungs);
  if (least == rungs.size() || rungs[least].prediction.logWork == kInfinity)
    return untilted;  // no tilt saw two samples that count
  // Where no tilt makes a difference (every sample the same, as when the root is a leaf) the
  // mildest of all is 1.
  const double leastLogMean = leastEligibleLogMean(rungs);
  const Prediction& best = rungs[least].prediction;
  std::size_t chosen = least;
  for (std::size_t t = 0; t < rungs.size(); ++t) {
    const Prediction& candidate = rungs[t].prediction;
    const double gap = candidate.logWork == best.logWork ? 0.0 : candidate.logWork - best.logWork;
    const double error = std::hypot(candidate.error, best.error);
    if (candidate.logMean >= leastLogMean && gap <= error &&
        mildness(rungs[t].tilt) < mildness(rungs[chosen].tilt))
      chosen = t;
  }
  const std::size_t below = chosen > 0 ? chosen - 1 : chosen + 1;
  const std::size_t above = chosen + 1 < rungs.size() ? chosen + 1 : chosen - 1;
  const std::size_t next =
      rungs[below].prediction.logWork <= rungs[above].prediction.logWork ? below : above;
  return {rungs[chosen].tilt, rungs[next].tilt, rungs[chosen].prediction.relativeVariance,
          rungs[next].prediction.relativeVariance, std::exp(rungs[chosen].prediction.logWork)};
}
