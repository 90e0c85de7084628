#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "estimator/sample_batch.h"
#include "graph/graph.h"

// The reduced walk's tilt (reduced_walk.h) for a graph, a point and a budget, chosen from short
// pilot runs. The pilot seeds are shared out among a ladder of tilts from 1/8 to 8 in steps of
// sqrt(2); each tilt draws its share of samples with `settings` (its walk, budget and cores).
// Each tilt's samples predict the work to a given precision: the relative variance of one
// sample as a log-normal's, from the spread of log |s| and the share of zeros, times the nodes
// one sample builds. A short pilot predicts that only roughly, and its errors favour the
// tilts whose tails it did not meet, so the prediction comes with its standard error, and the
// chosen tilt is the mildest (nearest to 1) among those whose predicted work the pilot cannot
// tell from the least (within one standard error of the difference). A tilt whose pilot mean
// is below half the median of the tilts' means (all estimate the same value) has visibly missed
// its tail and is not chosen. Where the least predicted work lies at an end of the ladder, the
// pilot goes on beyond it in steps of 2, one tilt more at a time while the newest is the best,
// up to 2^10 (or 2^-10): at most 7 tilts more, each with the same share of samples, drawn from
// seeds made from the pilot's own. The choice depends only on the seeds, so it is the same on
// one core or many and on every process that makes it. The pilot's samples are for the choice
// only: a run draws its own afterwards.
//
// Time: the pilot's samples, each a walk of `settings`; widening adds at most 7/13 of them.

// What the pilot found: the tilt to run at; its neighbour among the tilts tried (a factor sqrt(2)
// on the ladder, 2 beyond it) on the side whose predicted work came next, for a second opinion; and
// the relative variance of one sample the pilot predicts at each (infinite where it saw too little
// to say); and the work to a given precision it predicts at the tilt, in tree nodes times that
// relative variance, by which pilots of two walks (with and without a per-node guide, say) can be
// compared.
struct TiltChoice {
  double tilt = 1.0;
  double neighbour = 1.0;
  double relativeVariance = 0.0;
  double neighbourRelativeVariance = 0.0;
  double predictedWork = std::numeric_limits<double>::infinity();
};

// A graph whose value is 0, whose root is a leaf, or too few seeds (fewer than two per tilt)
// get tilt 1, its upper neighbour and infinite predictions.
TiltChoice chooseTilt(const Graph& root, const WalkSettings& settings,
                      const std::vector<std::uint64_t>& pilotSeeds);

// The tilts chooseTilt tries.
std::vector<double> tiltLadder();

// The choice of a tilt the caller gave: its neighbour is one ladder step (a factor sqrt(2))
// nearer to 1, above 1 for 1 itself, and nothing is predicted.
TiltChoice givenTilt(double tilt);
