#include "estimator/ratio_fit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "estimator/parallel_loop.h"
#include "estimator/reduced_walk.h"

namespace {

constexpr int kD = kRatioFeatureCount;
constexpr int kNewtonSteps = 12;
constexpr double kRidge = 1.0;
constexpr double kLongestStep = 1.0;
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

using Matrix = std::array<std::array<double, kD>, kD>;

struct PilotPath {
  std::size_t first, last;  // its recorded choices
  double logValue;          // log |X|; -infinity for a zero sample
};

struct Pilot {
  std::vector<RecordedChoice> choices;
  std::vector<double> logChance;  // per choice: log of the chance the pilot's walk gave it
  std::vector<PilotPath> paths;
  std::int64_t nodes = 0;
};

double logistic(double z) {
  return 1.0 / (1.0 + std::exp(-z));
}

// log sigma(z) without overflow.
double logLogistic(double z) {
  return z >= 0.0 ? -std::log1p(std::exp(-z)) : z - std::log1p(std::exp(z));
}

double dot(const RatioWeights& weights, const RatioFeatures& features) {
  double sum = 0.0;
  for (int k = 0; k < kD; ++k)
    sum += weights[k] * features[k];
  return sum;
}

// The pilot's walks in runs of seeds shared out among the cores, each run with a walk of its own,
// joined in the seeds' order: the same pilot, and so the same fit, on any number of cores.
Pilot drawPilot(const ReducedNode& root, const RatioWeights& weights,
                const std::vector<std::uint64_t>& seeds) {
  constexpr std::size_t kRun = 32;
  std::vector<Pilot> runs((seeds.size() + kRun - 1) / kRun);
  parallelFor(static_cast<int>(runs.size()), [&](int r) {
    Pilot& run = runs[static_cast<std::size_t>(r)];
    ReducedWalk walk(1, 0);
    walk.guideByFit(weights);
    walk.recordChoices(&run.choices);
    const std::size_t end = std::min(seeds.size(), (static_cast<std::size_t>(r) + 1) * kRun);
    for (std::size_t k = static_cast<std::size_t>(r) * kRun; k < end; ++k) {
      const std::size_t first = run.choices.size();
      const WideFloat value = walk.sample(root, seeds[k]);
      const bool counts = !value.isZero() && value.isFinite();
      run.paths.push_back({first, run.choices.size(), counts ? log(abs(value)) : kMinusInfinity});
    }
    run.nodes = walk.nodesBuilt();
  });
  Pilot pilot;
  for (const Pilot& run : runs) {
    const std::size_t offset = pilot.choices.size();
    pilot.choices.insert(pilot.choices.end(), run.choices.begin(), run.choices.end());
    for (const PilotPath& path : run.paths)
      pilot.paths.push_back({path.first + offset, path.last + offset, path.logValue});
    pilot.nodes += run.nodes;
  }
  for (const RecordedChoice& choice : pilot.choices) {
    const double logit = fittedLogit(weights, choice.features);
    pilot.logChance.push_back(logLogistic(choice.deleted ? logit : -logit));
  }
  return pilot;
}

// The pilot's 2 log |X_i|, each clipped to the k-th largest.
std::vector<double> clippedLogSquares(const Pilot& pilot) {
  std::vector<double> values;
  for (const PilotPath& path : pilot.paths)
    values.push_back(2.0 * path.logValue);
  std::vector<double> sorted = values;
  const auto k = std::max<std::size_t>(8, static_cast<std::size_t>(std::sqrt(sorted.size())));
  if (sorted.size() > k) {
    std::nth_element(sorted.begin(), sorted.begin() + (k - 1), sorted.end(), std::greater<>());
    const double ceiling = sorted[k - 1];
    for (double& value : values)
      value = std::min(value, ceiling);
  }
  return values;
}

// log M(theta) up to a constant, with the ridge, and (when asked) its gradient and Hessian.
struct Objective {
  double value = 0.0;
  RatioWeights gradient{};
  Matrix hessian{};
};

// With `crossEntropy` instead: -sum_i w_i log P(path_i) / sum_i w_i, w_i = |X_i| clipped, the
// cross-entropy of the walk at theta against the choice that makes every sample exact (which
// takes each child in proportion to its value): a weighted logistic regression.
Objective evaluate(const Pilot& pilot, const std::vector<double>& logSquares,
                   const RatioWeights& theta, const RatioWeights& anchor, bool derivatives,
                   bool crossEntropy) {
  const std::size_t n = pilot.paths.size();
  std::vector<double> s(n, kMinusInfinity);
  std::vector<RatioWeights> grads(derivatives ? n : 0);
  std::vector<Matrix> hessians(derivatives ? n : 0);
  for (std::size_t i = 0; i < n; ++i) {
    const PilotPath& path = pilot.paths[i];
    if (path.logValue == kMinusInfinity)
      continue;
    double sum = crossEntropy ? 0.0 : logSquares[i];
    for (std::size_t t = path.first; t < path.last; ++t) {
      const RecordedChoice& choice = pilot.choices[t];
      const double z = dot(theta, choice.features);
      const double y = choice.deleted ? 1.0 : -1.0;
      sum += (crossEntropy ? 0.0 : pilot.logChance[t]) - logLogistic(y * z);
      if (!derivatives)
        continue;
      const double slope = -y * (1.0 - logistic(y * z));
      const double curvature = logistic(z) * (1.0 - logistic(z));
      for (int a = 0; a < kD; ++a) {
        grads[i][a] += slope * choice.features[a];
        for (int b = 0; b <= a; ++b)
          hessians[i][a][b] += curvature * choice.features[a] * choice.features[b];
      }
    }
    s[i] = sum;
  }
  Objective result;
  // The share of each path in the objective: its part of M, or its clipped |X|.
  const std::vector<double>& logShares = crossEntropy ? logSquares : s;
  const double top = *std::max_element(logShares.begin(), logShares.end());
  double total = 0.0;
  for (std::size_t i = 0; i < n; ++i)
    total += s[i] == kMinusInfinity ? 0.0 : std::exp(logShares[i] - top);
  result.value = top + std::log(total);
  if (crossEntropy) {
    result.value = 0.0;
    for (std::size_t i = 0; i < n; ++i)
      if (s[i] != kMinusInfinity)
        result.value += std::exp(logShares[i] - top) / total * s[i];
  }
  for (int a = 0; a < kD; ++a)
    result.value += 0.5 * kRidge * (theta[a] - anchor[a]) * (theta[a] - anchor[a]);
  if (!derivatives)
    return result;
  // The log-sum-exp's Hessian has the spread of the paths' gradients besides their own Hessians.
  const double spread = crossEntropy ? 0.0 : 1.0;
  for (std::size_t i = 0; i < n; ++i) {
    if (s[i] == kMinusInfinity)
      continue;
    const double share = std::exp(logShares[i] - top) / total;
    for (int a = 0; a < kD; ++a) {
      result.gradient[a] += share * grads[i][a];
      for (int b = 0; b <= a; ++b)
        result.hessian[a][b] += share * (hessians[i][a][b] + spread * grads[i][a] * grads[i][b]);
    }
  }
  for (int a = 0; a < kD; ++a) {
    for (int b = 0; b <= a; ++b) {
      result.hessian[a][b] -= spread * result.gradient[a] * result.gradient[b];
      result.hessian[b][a] = result.hessian[a][b];
    }
    result.gradient[a] += kRidge * (theta[a] - anchor[a]);
    result.hessian[a][a] += kRidge;
  }
  return result;
}

// Solves H x = -g by Cholesky (H is positive definite: the ridge sees to it).
RatioWeights newtonStep(Matrix h, const RatioWeights& g) {
  for (int j = 0; j < kD; ++j) {
    for (int k = 0; k < j; ++k)
      h[j][j] -= h[j][k] * h[j][k];
    h[j][j] = std::sqrt(std::max(h[j][j], 1e-12));
    for (int i = j + 1; i < kD; ++i) {
      for (int k = 0; k < j; ++k)
        h[i][j] -= h[i][k] * h[j][k];
      h[i][j] /= h[j][j];
    }
  }
  RatioWeights x{};
  for (int i = 0; i < kD; ++i) {
    double sum = -g[i];
    for (int k = 0; k < i; ++k)
      sum -= h[i][k] * x[k];
    x[i] = sum / h[i][i];
  }
  for (int i = kD - 1; i >= 0; --i) {
    double sum = x[i];
    for (int k = i + 1; k < kD; ++k)
      sum -= h[k][i] * x[k];
    x[i] = sum / h[i][i];
  }
  return x;
}

// Newton steps with backtracking, each at most kLongestStep long; returns the weights and
// M(fitted) / M(start) in the pilot's samples.
std::pair<RatioWeights, double> minimise(const Pilot& pilot, const RatioWeights& start,
                                         bool crossEntropy, unsigned movable) {
  std::vector<double> logSquares = clippedLogSquares(pilot);
  if (crossEntropy)
    for (double& value : logSquares)
      value *= 0.5;  // the shares are |X|, not X^2
  const auto objectiveAt = [&](const RatioWeights& theta, bool derivatives) {
    return evaluate(pilot, logSquares, theta, start, derivatives, crossEntropy);
  };
  RatioWeights theta = start;
  const double first = objectiveAt(theta, false).value;
  for (int step = 0; step < kNewtonSteps; ++step) {
    Objective here = objectiveAt(theta, true);
    for (int a = 0; a < kD; ++a) {
      if (movable & (1u << a))
        continue;
      here.gradient[a] = 0.0;
      for (int b = 0; b < kD; ++b)
        here.hessian[a][b] = here.hessian[b][a] = a == b ? 1.0 : 0.0;
    }
    RatioWeights delta = newtonStep(here.hessian, here.gradient);
    double length = 0.0;
    for (int a = 0; a < kD; ++a)
      length += delta[a] * delta[a];
    length = std::sqrt(length);
    if (length > kLongestStep)
      for (double& d : delta)
        d *= kLongestStep / length;
    bool moved = false;
    for (int halving = 0; halving < 20 && !moved; ++halving) {
      RatioWeights trial = theta;
      for (int a = 0; a < kD; ++a)
        trial[a] += delta[a];
      if (objectiveAt(trial, false).value < here.value) {
        theta = trial;
        moved = true;
      }
      for (double& d : delta)
        d *= 0.5;
    }
    if (!moved || length < 1e-6)
      break;
  }
  const double last = objectiveAt(theta, false).value;
  return {theta, crossEntropy ? last - first : std::exp(last - first)};
}

// The pilot's relative variances, sampled and as a log-normal of the spread of log |X| (with the
// share of zeros); negative when fewer than two samples count.
RatioFitRound summarise(const Pilot& pilot, std::size_t share) {
  RatioFitRound summary;
  summary.sampledVariance = -1.0;
  summary.nodesPerSample = static_cast<double>(pilot.nodes) / static_cast<double>(share);
  double top = kMinusInfinity;
  for (const PilotPath& path : pilot.paths)
    top = std::max(top, path.logValue);
  double count = 0.0, sum = 0.0, squares = 0.0, logSum = 0.0, logSquares = 0.0;
  for (const PilotPath& path : pilot.paths) {
    if (path.logValue == kMinusInfinity)
      continue;
    const double scaled = std::exp(path.logValue - top);
    sum += scaled;
    squares += scaled * scaled;
    logSum += path.logValue - top;
    logSquares += (path.logValue - top) * (path.logValue - top);
    count += 1.0;
  }
  if (count < 2.0)
    return summary;
  const double n = static_cast<double>(share);
  const double logMean = logSum / count;
  const double spread = std::max(0.0, logSquares / count - logMean * logMean);
  summary.logNormalVariance = std::exp(spread) * n / count - 1.0;
  summary.sampledVariance = squares * n / (sum * sum) - 1.0;
  return summary;
}

// The work to a given precision a pilot predicts, in nodes times the larger relative variance.
double predictedWork(const RatioFitRound& round) {
  return std::max(round.sampledVariance, round.logNormalVariance) * round.nodesPerSample;
}

}  // namespace

RatioFit fitRatio(const Graph& graph, const WalkSettings& settings, const RatioWeights& start,
                  const std::vector<std::uint64_t>& seeds, int rounds, RatioObjective objective,
                  unsigned movable) {
  const ReducedNode root = reducedRoot(graph, settings.x, settings.y, settings.order);
  RatioFit fit;
  fit.weights = start;
  if (root.isLeaf() || rounds < 1)
    return fit;
  const std::size_t share = seeds.size() / static_cast<std::size_t>(rounds);
  double leastWork = std::numeric_limits<double>::infinity();
  RatioWeights leastWorkWeights = start;
  for (int round = 0; round < rounds && share >= 2; ++round) {
    const std::vector<std::uint64_t> roundSeeds(seeds.begin() + round * share,
                                                seeds.begin() + (round + 1) * share);
    const Pilot pilot = drawPilot(root, fit.weights, roundSeeds);
    RatioFitRound summary = summarise(pilot, share);
    summary.start = fit.weights;
    if (summary.sampledVariance < 0.0)
      break;  // fewer than two samples that count
    // A round's pilot is also the test of the last fit: where it predicts more work than the
    // weights before, those are kept.
    const double work = predictedWork(summary);
    fit.rounds.push_back(summary);
    if (round > 0 && !(work < leastWork)) {
      fit.weights = leastWorkWeights;
      break;
    }
    leastWork = work;
    leastWorkWeights = fit.weights;
    if (round > 0 && round + 1 == rounds)
      break;  // the last of several rounds only tests the fit before it
    const auto [weights, ratio] =
        minimise(pilot, fit.weights, objective == RatioObjective::CrossEntropy, movable);
    fit.rounds.back().predictedSecondMoment = ratio;
    fit.weights = weights;
  }
  return fit;
}
