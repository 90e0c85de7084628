#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "estimator/wide_float.h"
#include "graph/graph.h"

// Which exact engine answers a request, and at what predicted cost: the one rule that the
// library's automatic route and its exact requests share.
//
// For a value at (x, y), cheapest first:
//  - ClosedForm: the hyperbola (x - 1)(y - 1) = 1 (estimator/closed_form_values.h), O(m);
//  - MatrixTree: (1, 1), the spanning trees (estimator/spanning_tree_count.h), when the count
//    takes at most the limit's worth of updates;
//  - Frontier: the transfer matrix (estimator/frontier_engine.h) on each block of the graph
//    (estimator/frontier_blocks.h), when the frontier of the best order found holds at most
//    kMaxFrontierWidth vertices in every block and dry runs over their states predict runs
//    within the limit and kFrontierMemoryCap;
//  - DeletionContraction: the cached evaluator (estimator/exact_evaluator.h), within its own
//    limits and predicted (from the slowest graphs measured at each size) within the limit.
// The polynomial has the last two. A walk's estimate is checked against the first two where they
// answer within about a second (cheapExactValue).
//
// Predicting costs the frontier's orders (linear in the edges for bounded degree) and its dry
// run, which stops once the states it has met would take longer than the limit: at most about
// the limit, and nothing on graphs whose frontier outgrows the engine. A value is found without
// the dry run: the frontier's run itself stops at the limit's worth of states and at the memory
// cap, having met the states the dry run would have counted.

enum class ExactEngine { ClosedForm, MatrixTree, Frontier, DeletionContraction };

// "closed_form", "matrix_tree", "frontier", "deletion_contraction".
std::string_view exactEngineName(ExactEngine engine);

// The limit of an explicit exact request, and of the automatic route, in predicted seconds.
inline constexpr double kExactRequestSeconds = 60.0;
inline constexpr double kAutoExactSeconds = 1.0;

// What the frontier engine would meet on a graph, and what the chosen engine would take.
struct ExactCost {
  std::optional<ExactEngine> engine;  // none: no engine within the limit
  double predictedSeconds = 0.0;      // of the chosen engine; of the frontier when none is
  double predictedBytes = 0.0;
  // The frontier's largest size in the order kept; kMaxFrontierWidth + 1 beyond it.
  int frontierWidth = 0;
  double frontierStates = 0.0;  // summed over the steps
  double frontierMaxStates = 0.0;
  // False when the dry run stopped at the limit: the state figures are then lower bounds.
  bool frontierComplete = true;
  // Why no engine answers, naming the predicted cost; empty when one does.
  std::string refusal;
};

ExactCost exactValueCost(const Graph& graph, double x, double y, double secondsLimit);
ExactCost exactPolynomialCost(const Graph& graph, double secondsLimit);

struct ExactValue {
  WideFloat value;
  // Every digit at an integer point, when the engine gives them (all but the evaluator).
  std::optional<std::string> decimal;
  // |value - T(x, y)| is at most this: 0 for the exact engines at integer points, the frontier's
  // rounding bound at real points, and for the evaluator its stated bound relative to the terms.
  WideFloat errorBound = 0.0;
  ExactEngine engine = ExactEngine::Frontier;
  ExactCost cost;
};

// T(G; x, y) by the cheapest engine within `secondsLimit`; none when no engine is. The frontier
// answers when its run, stopped at the limit's worth of states (and at kFrontierMemoryCap),
// finishes; so a value costs its run alone, and an attempt that fails costs about the limit
// before the evaluator or nothing. The cost in the answer holds the engine, the frontier's width
// and the states its run met (none of the dry run's figures). Throws std::invalid_argument when
// x or y is not finite.
std::optional<ExactValue> exactValueWithin(const Graph& graph, double x, double y,
                                           double secondsLimit);
// The automatic route's name for the same.
std::optional<ExactValue> exactValueIfCheap(const Graph& graph, double x, double y,
                                            double secondsLimit);
// The same as exactValueWithin, throwing ExactSizeExceeded (estimator/exact_evaluator.h) with
// the refusal, which names the states the frontier met before it stopped.
ExactValue exactValueOrRefuse(const Graph& graph, double x, double y, double secondsLimit);

struct ExactPolynomial {
  // Row i for x^i, column j for y^j, as exactTutteCoefficients gives them.
  std::vector<std::vector<std::string>> coefficients;
  ExactEngine engine = ExactEngine::Frontier;
  ExactCost cost;
};

// The whole polynomial by the cheapest engine predicted within `secondsLimit`, or throws
// ExactSizeExceeded with the refusal.
ExactPolynomial exactPolynomialOrRefuse(const Graph& graph, double secondsLimit);

// The value at (x, y) where a closed form gives it within kExactCheckSeconds of one core, for
// checking a walk's estimate against the truth: on the hyperbola (x - 1)(y - 1) = 1 in time O(m),
// and at (1, 1) by counting the spanning trees, which a random 3-regular graph of about 1,700
// vertices or a square grid of 71 x 71 takes about that long to do; none elsewhere.
inline constexpr double kExactCheckSeconds = 1.0;
std::optional<WideFloat> cheapExactValue(const Graph& graph, double x, double y);
