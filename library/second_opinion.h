#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "estimator/tilt_choice.h"
#include "graph/graph.h"
#include "library/process_exchange.h"
#include "library/sample_summary.h"
#include "library/streamed_samples.h"
#include "library/trust_checks.h"

// The reduced walk's second opinion. A run's samples are all unbiased, but a run that never met
// the rare large samples that carry the mean comes out low with an RE that looks modest, and no
// check on its own samples can see what was never drawn. So a share of the samples is drawn at a
// second tilt, a neighbour of the chosen one: both parts estimate the same value, but their
// tails differ, and a run that missed a tail usually disagrees with itself.

// One sample in kSecondOpinionShare goes to the second tilt, when that makes at least
// kLeastSecondOpinionSamples (fewer give no standard error worth comparing).
inline constexpr int kSecondOpinionShare = 10;
inline constexpr int kLeastSecondOpinionSamples = 20;

// How many of `samples` the second tilt draws: N / 10, or none.
int secondOpinionSamples(int samples);

// The samples of a run at two tilts: the first part of the seeds at `tilt`, the last
// secondOpinionSamples(N) at `second.tilt`, each part streamed (streamed_samples.h).
struct TiltedPart {
  double tilt = 1.0;
  StreamedPoints samples;
};
struct TiltedSamples {
  TiltedPart first;
  TiltedPart second;
  // The second part's share of the combined estimate, fixed before any sample is drawn.
  double secondWeight = 0.0;
  bool budgetBound() const { return first.samples.budgetBound || second.samples.budgetBound; }
  std::int64_t nodesBuilt() const { return first.samples.nodesBuilt + second.samples.nodesBuilt; }
  // Both parts' samples as one, the first's then the second's: those of the seeds in order.
  SampleSummary allSamples() const;
};

// Draws the run's `samples` samples, the run's seeds from `seedsBefore` on, at the pilot's tilt
// and its neighbour, over `processes`. The second part's weight is the inverse-variance weight
// from the pilot's predictions, n2 / r2 / (n1 / r1 + n2 / r2), so that a worse neighbour costs
// the combined estimate little; pooled (n2 / N) where the predictions are missing. Being fixed
// before the run, the weight keeps the combination unbiased, where weights from the run's own
// spreads would favour the part that missed its tail. Time: one walk of `settings` per seed.
TiltedSamples drawTiltedSamples(const Graph& root, const WalkSettings& settings,
                                const TiltChoice& choice, std::uint64_t runSeed,
                                std::uint64_t seedsBefore, int samples,
                                const ProcessExchange& processes);

// The weighted mean of both parts, with the standard error of independent parts; the first
// part alone when the second is empty.
ErrorBar combinedEstimate(const TiltedSamples& run);

// The warning, if any, when the two parts of T(x, y) disagree beyond their standard errors.
std::vector<std::string> secondOpinionWarnings(double x, double y, const TiltedSamples& run);
