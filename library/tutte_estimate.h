#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "estimator/exact_route.h"
#include "estimator/wide_float.h"
#include "graph/instance_reader.h"
#include "library/sampling_run.h"

// How a value of T(G; x, y) is computed. A request names any of the four; a result names what
// produced it: Walk, Reduced or Exact.
//  - Walk: the level walk. At a point with x == 0 or y == 0 it cuts off the subtrees that are
//    worth nothing there, as the tool's truncated mode does; elsewhere its samples are those
//    of the normal mode's point estimate.
//  - Reduced: the reduced walk, which sums the forced parts of the tree exactly.
//  - Exact: the cheapest exact engine predicted within kExactRequestSeconds
//    (estimator/exact_route.h): a closed form, the spanning-tree count, the frontier engine or
//    the deletion-contraction evaluator; refused (ExactSizeExceeded) beyond.
//  - Auto: the same within kAutoExactSeconds (about a second), else the reduced walk. So a
//    closed form on the hyperbola (x - 1)(y - 1) = 1, which holds (2, 2), the spanning trees at
//    (1, 1) up to a random 3-regular graph of about 1,700 vertices, and the frontier engine
//    where the frontier stays small (a 10 x 10 grid in about 0.2 s), cost at most about a
//    second before the walk takes over.
enum class EstimateMethod { Auto, Walk, Reduced, Exact };

// "auto", "walk", "reduced", "exact".
std::string_view methodName(EstimateMethod method);
// The method of that name; none for any other text.
std::optional<EstimateMethod> methodNamed(std::string_view name);
// The walk a method draws its samples with, where it draws any: the level walk for Walk, the
// reduced walk for the others.
WalkKind walkOf(EstimateMethod method);

struct ValueOptions {
  double x = 1.0;
  double y = 1.0;
  EstimateMethod method = EstimateMethod::Auto;
  SamplingOptions sampling;
  // The reduced walk's tilt (estimator/reduced_walk.h), positive and finite; Auto and Reduced
  // only. Absent: chosen before the run by a pilot (estimator/tilt_choice.h) at B = 1, whatever
  // the run's budget, since the tilt belongs to the tree: its seeds, an eighth of the run's
  // samples but at least 16 and at most 200 per tilt tried, come first from the run's generator,
  // so the choice too depends on the seed alone. A second pilot as long tries the walk guided by
  // resistances as well (estimator/resistance_guide.h, every other vertex shorted), which the
  // run keeps where it predicts at most half the work: dense graphs at (1, 1), (2, 1), (2, 0).
  // Then the fitted ratio (estimator/fitted_ratio.h) is fitted from that choice on seeds of its
  // own, drawn after those, and kept where its pilot predicts at most half the chosen walk's work;
  // where the tilt's pilot predicts a relative variance below 0.1 the fit is skipped.
  std::optional<double> tilt = std::nullopt;
};

// An estimate of T(G; x, y): the mean of the samples, its standard error (the samples'
// standard deviation, divisor N, over sqrt(N)) and that error relative to |value|. An exact
// result has both errors 0. Values are wide-range numbers, so nothing overflows a double.
struct TutteEstimate {
  WideFloat value = 0.0;
  WideFloat standardError = 0.0;
  // Infinite when the value is 0 but the samples vary, not-a-number when they are all 0.
  WideFloat relativeError = 0.0;
  EstimateMethod method = EstimateMethod::Walk;
  // An exact result's engine and, where the engine gives them, all its digits (integer points)
  // or a bound on its rounding error (the frontier engine at real points; 0 otherwise).
  std::optional<ExactEngine> engine;
  std::optional<std::string> exactDecimal;
  WideFloat errorBound = 0.0;
  // The reduced walk's tilt, given or chosen; absent for the other methods.
  std::optional<double> tilt;
  // The reduced walk's choices were also guided by resistances, as its pilot chose.
  bool guided = false;
  // The reduced walk's choices followed the fitted ratio, as its pilot chose.
  bool fitted = false;
  SamplingReport run;
};

// Estimates T(G; x, y) of the multigraph of `edges` (any int ids; loops and parallel edges
// count) by N samples of a walk that keeps at most B nodes per depth. Throws
// std::invalid_argument for a point that is not finite, a tilt that is not positive and finite
// or is given to the level walk, and the option errors of checkSamplingOptions;
// ExactSizeExceeded (a std::invalid_argument) for Exact beyond every exact engine, at once or
// after the frontier engine's dry run (at most about half of kExactRequestSeconds);
// WalkMemoryExhausted when a level outgrows three quarters of the machine's memory; EstimateStopped
// when stopped. The reduced walk draws a tenth of N (at least 20) at a second tilt and warns when
// the two parts disagree (experiments/second_opinion.h); where the exact value is cheap, a walk's
// estimate is checked against it. Time: about N walks of m depths of at most B graphs each, for
// the reduced walk without a tilt the two pilots' walks at B = 1, each an eighth as many as the
// run's (at least 208 and at most 2,600, more where a pilot widens its range), and where the check
// applies at (1, 1) the count of spanning trees (at most about a second).
TutteEstimate estimateTutteValue(const EdgeList& edges, const ValueOptions& options);
