#pragma once

#include <cstdint>
#include <vector>

#include "estimator/fitted_ratio.h"
#include "estimator/sample_batch.h"
#include "graph/graph.h"

// The fitted ratio's weights (fitted_ratio.h) for one graph and point, from pilot walks at
// B = 1. A pilot drawn at weights theta0 gives samples X_i along paths of recorded choices;
// the walk at theta would draw X_i P0(path) / P(path), so its second moment is
//   M(theta) = E0[X^2 P0(path) / P(path)],
// estimated by the pilot's mean. With each step's chance logistic in theta, -log P(path) is a
// sum of convex functions of theta, so log M is a log-sum-exp of convex functions: convex, and
// a few Newton steps find its least. The pilot's largest X^2 carry most of M and are the least
// certain part of it, so they are clipped to the k-th largest (k the square root of the
// pilot's size, at least 8), and a ridge term pulls theta towards the round's start; each step
// is also bounded in length. `rounds` > 1 draws a new pilot at each round's fit and fits again
// from it, and the last round's pilot only tests the fit before it; where a round's pilot
// predicts more work (nodes times relative variance) than the one before, the fit stops at the
// weights before. The seeds are shared out evenly among the rounds.
//
// Cost: the pilots' samples, each with the features' cost at every node, and per Newton step
// O(recorded choices x features^2).
struct RatioFitRound {
  RatioWeights start;              // the weights the round's pilot walked at
  double logNormalVariance = 0.0;  // of the pilot's samples, as the tilt's pilot predicts it
  double sampledVariance = 0.0;
  double nodesPerSample = 0.0;
  // M(fitted) / M(start) in the pilot's own samples; for the cross-entropy the fall of it.
  double predictedSecondMoment = 0.0;
};

struct RatioFit {
  RatioWeights weights{};
  std::vector<RatioFitRound> rounds;
};

// What the fit minimises: the second moment above, or the cross-entropy against the walk that
// takes each child in proportion to its value (a logistic regression of the pilot's choices,
// each path weighted by its clipped |X|), which a heavy tail sways less.
enum class RatioObjective { SecondMoment, CrossEntropy };

// `movable`: bit k set lets the fit move weight k; the others keep their start.
constexpr unsigned kAllRatioFeatures = (1u << kRatioFeatureCount) - 1;

RatioFit fitRatio(const Graph& graph, const WalkSettings& settings, const RatioWeights& start,
                  const std::vector<std::uint64_t>& seeds, int rounds,
                  RatioObjective objective = RatioObjective::SecondMoment,
                  unsigned movable = kAllRatioFeatures);
