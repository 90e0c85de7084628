#include "estimator/exact_route.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "estimator/branch_order.h"
#include "estimator/closed_form_values.h"
#include "estimator/exact_evaluator.h"
#include "estimator/frontier_blocks.h"
#include "estimator/frontier_engine.h"
#include "estimator/spanning_tree_count.h"
#include "graph/reduced_graph.h"

namespace {

// Modular updates of the spanning-tree count per second of one core.
constexpr double kSpanningTreeUpdatesPerSecond = 5e8;
// The evaluator's slowest graphs measured at its limits (bench/RESULTS.md): a value at 46 edges
// after reductions about 3 s, the polynomial at 40 about 1.7 s, each about doubling per two
// edges more.
constexpr double kEvaluatorValueSeconds = 3.0, kEvaluatorPolynomialSeconds = 1.7;

// Integer points small enough for 64-bit factors.
bool isIntegerPoint(double x, double y) {
  const auto integral = [](double v) { return std::floor(v) == v && std::fabs(v) < 0x1p31; };
  return integral(x) && integral(y);
}

std::string figure(double value) {
  std::ostringstream text;
  text.precision(2);
  text << value;
  return text.str();
}

struct FrontierChoice {
  BlockSweeps sweeps;
  FrontierEstimate estimate;
  FrontierTask task = FrontierTask::IntegerPoint;
  bool fits = false;
};

BlockFolding foldingFor(FrontierTask task) {
  return task == FrontierTask::Polynomial ? BlockFolding::ForPolynomial : BlockFolding::ForValues;
}

// The blocks' plans and dry runs, stopped once the states alone would pass the limit.
FrontierChoice frontierChoice(const Graph& graph, FrontierTask task, double x, double y,
                              double secondsLimit, ExactCost& cost) {
  FrontierChoice choice;
  choice.task = task;
  choice.sweeps = planBlockSweeps(graph, foldingFor(task));
  cost.frontierWidth = choice.sweeps.width;
  if (!choice.sweeps.withinWidth()) {
    cost.frontierComplete = false;
    return choice;
  }
  // A state takes at least kFrontierStateSeconds, so more states than this overrun.
  const FrontierCost total = dryRunBlockSweeps(choice.sweeps, secondsLimit / kFrontierStateSeconds);
  choice.estimate = estimateBlockSweeps(choice.sweeps, task, static_cast<std::int64_t>(x),
                                        static_cast<std::int64_t>(y));
  cost.frontierStates = total.states;
  cost.frontierMaxStates = total.maxStates;
  cost.frontierComplete = total.complete;
  choice.fits = total.complete && choice.estimate.seconds <= secondsLimit &&
                choice.estimate.bytes <= static_cast<double>(kFrontierMemoryCap);
  return choice;
}

int reducedEdgeCount(const Graph& graph) {
  return ReducedGraph<WideFloat>(graph.vertexIdLimit(),
                                 branchOrderedEdges(graph, BranchOrder::BreadthFirst),
                                 {1.0, 1.0, 2.0, 2.0})
      .edgeCount();
}

std::string refusalOf(const ExactCost& cost, int reducedEdges, int evaluatorLimit,
                      double secondsLimit) {
  std::string text = "no exact engine answers within " + figure(secondsLimit) + " s: ";
  if (cost.frontierWidth > kMaxFrontierWidth) {
    text += "the frontier exceeds " + std::to_string(kMaxFrontierWidth) +
            " vertices in every order tried";
  } else if (!cost.frontierComplete) {
    text += "the frontier engine (width " + std::to_string(cost.frontierWidth) + ") met over " +
            figure(cost.frontierStates) + " states before it stopped, more than " +
            figure(secondsLimit) + " s of work or " + std::to_string(kFrontierMemoryCap >> 20) +
            " MiB";
  } else {
    text += "the frontier engine (width " + std::to_string(cost.frontierWidth) + ", " +
            figure(cost.frontierStates) + " states) is predicted to take " +
            figure(cost.predictedSeconds) + " s and " + figure(cost.predictedBytes / (1 << 20)) +
            " MiB (cap " + std::to_string(kFrontierMemoryCap >> 20) + " MiB)";
  }
  text += "; and its " + std::to_string(reducedEdges) +
          " edges after reductions are more than the " + std::to_string(evaluatorLimit) +
          " that deletion-contraction takes within that time";
  return text;
}

// The evaluator's predicted time: its slowest measured graph at `limit` edges, halved for every
// two edges fewer.
double evaluatorSeconds(int reducedEdges, int limit, double secondsAtLimit) {
  return secondsAtLimit * std::exp2((reducedEdges - limit) / 2.0);
}

// The largest reduced size the evaluator takes within the limit.
int evaluatorEdgesWithin(double secondsLimit, int limit, double secondsAtLimit) {
  int edges = limit;
  while (edges > 0 && evaluatorSeconds(edges, limit, secondsAtLimit) > secondsLimit)
    --edges;
  return edges;
}

struct ValueChoice {
  ExactCost cost;
  std::optional<SpanningTreeCount> spanningTrees;
  FrontierChoice frontier;
  int reducedEdges = 0;
};

ValueChoice chooseValueEngine(const Graph& graph, double x, double y, double secondsLimit) {
  if (!std::isfinite(x) || !std::isfinite(y))
    throw std::invalid_argument("the exact Tutte value needs finite x and y");
  ValueChoice choice;
  ExactCost& cost = choice.cost;
  if (onUnitHyperbola(x, y)) {
    cost.engine = ExactEngine::ClosedForm;
    return choice;
  }
  if (x == 1.0 && y == 1.0) {
    // The count decides its own cost in about one elimination, so deciding is counting.
    choice.spanningTrees =
        countSpanningTreesWithin(graph, secondsLimit * kSpanningTreeUpdatesPerSecond);
    if (choice.spanningTrees) {
      cost.engine = ExactEngine::MatrixTree;
      return choice;
    }
  }
  const FrontierTask task =
      isIntegerPoint(x, y) ? FrontierTask::IntegerPoint : FrontierTask::RealPoint;
  choice.frontier = frontierChoice(graph, task, x, y, secondsLimit, cost);
  cost.predictedSeconds = choice.frontier.estimate.seconds;
  cost.predictedBytes = choice.frontier.estimate.bytes;
  if (choice.frontier.fits) {
    cost.engine = ExactEngine::Frontier;
    return choice;
  }
  choice.reducedEdges = reducedEdgeCount(graph);
  const int evaluatorLimit =
      evaluatorEdgesWithin(secondsLimit, kExactValueMaxReducedEdges, kEvaluatorValueSeconds);
  if (choice.reducedEdges <= evaluatorLimit) {
    cost.engine = ExactEngine::DeletionContraction;
    cost.predictedSeconds =
        evaluatorSeconds(choice.reducedEdges, kExactValueMaxReducedEdges, kEvaluatorValueSeconds);
    cost.predictedBytes = 0.0;
    return choice;
  }
  cost.refusal = refusalOf(cost, choice.reducedEdges, evaluatorLimit, secondsLimit);
  return choice;
}

// The hyperbola's value, with every digit at its integer points (2, 2) and (0, 0).
ExactValue closedFormAnswer(const Graph& graph, double x, double y) {
  ExactValue answer;
  answer.value = *closedFormValue(graph, x, y);
  if (x == 2.0 && y == 2.0)
    answer.decimal = (FrontierInteger(1) << graph.edgeCount).str();
  else if (x == 0.0 && y == 0.0)
    answer.decimal.emplace(1, graph.edgeCount == 0 ? '1' : '0');
  return answer;
}

// n to within one unit in the last place: its leading 60 bits, rounded to 53.
WideFloat wideFloatOf(const FrontierInteger& n) {
  if (n == 0)
    return 0.0;
  const std::size_t bits = boost::multiprecision::msb(abs(n)) + 1;
  if (bits <= 60)
    return static_cast<double>(n.convert_to<long long>());
  const std::size_t shift = bits - 60;
  const FrontierInteger top = n >> shift;  // leading 60 bits; the rest below half an ulp of 53
  return WideFloat::scaledByPowerOfTwo(static_cast<double>(top.convert_to<long long>()),
                                       static_cast<std::int64_t>(shift));
}

// The evaluator rounds each operation once, so its error is bounded relative to the sizes of
// T's terms, whose sum is T at (1 + |x - 1|, 1 + |y - 1|) (all its terms there are non-negative):
// a few roundings per edge on the longest chain of operations. Below 2^53 nothing rounds at
// integer points.
WideFloat evaluatorErrorBound(const Graph& graph, double x, double y) {
  const WideFloat termSizes =
      exactTutteValue(graph, 1.0 + std::fabs(x - 1.0), 1.0 + std::fabs(y - 1.0));
  if (isIntegerPoint(x, y) && termSizes < WideFloat(0x1p53))
    return 0.0;
  return termSizes * (4.0 * (graph.edgeCount + 1) * 0x1p-53);
}

// Seconds a state of the frontier's run takes at the dearest part, by the run's cost model.
double frontierStateSeconds(const BlockSweeps& sweeps, FrontierTask task, std::int64_t x,
                            std::int64_t y) {
  FrontierCost oneState;
  oneState.states = oneState.maxStates = 1.0;
  double seconds = 0.0;
  for (const BlockSweeps::Part& part : sweeps.parts) {
    const int primes =
        task == FrontierTask::IntegerPoint ? primesForIntegerPoint(part.plan, x, y) : 0;
    seconds = std::max(seconds, estimateFrontierRun(part.plan, oneState, task, primes).seconds);
  }
  return std::max(seconds, 1e-9);
}

// The frontier's value by its run alone, stopped once its states pass the limit's worth or its
// tables the memory cap: the run meets the states a dry run would count, so a run that finishes
// needed no prediction, and one that stops has shown its cost beyond the limit at about the
// limit's cost. The cost's frontier figures are the run's.
std::optional<ExactValue> frontierValueWithin(const Graph& graph, double x, double y,
                                              double secondsLimit, ExactCost& cost) {
  const bool integral = isIntegerPoint(x, y);
  const BlockSweeps sweeps = planBlockSweeps(graph, BlockFolding::ForValues);
  cost.frontierWidth = sweeps.width;
  if (!sweeps.withinWidth()) {
    cost.frontierComplete = false;
    return std::nullopt;
  }
  const FrontierTask task = integral ? FrontierTask::IntegerPoint : FrontierTask::RealPoint;
  const auto xInteger = static_cast<std::int64_t>(x), yInteger = static_cast<std::int64_t>(y);
  const double stateSeconds = frontierStateSeconds(sweeps, task, xInteger, yInteger);
  const double stateLimit = secondsLimit / stateSeconds;
  double spent = 0.0;
  ExactValue answer;
  bool answered = false;
  if (integral) {
    if (const std::optional<FrontierInteger> value =
            blockIntegerValueWithin(sweeps, xInteger, yInteger, stateLimit, &spent)) {
      answer.decimal = value->str();
      answer.value = wideFloatOf(*value);
      answered = true;
    }
  } else if (const std::optional<FrontierRealValue> value =
                 blockRealValueWithin(sweeps, x, y, stateLimit, &spent)) {
    answer.value = value->value;
    answer.errorBound = value->errorBound;
    answered = true;
  }
  cost.frontierStates = spent;
  cost.predictedSeconds = spent * stateSeconds;
  cost.frontierComplete = answered;
  if (!answered && spent <= stateLimit) {
    // Stopped by the memory cap, whose check as the tables grow by doubling is the cautious
    // one: the dry run sizes them exactly, and its prediction decides.
    ExactCost predicted;
    FrontierChoice choice = frontierChoice(graph, task, x, y, secondsLimit, predicted);
    if (!choice.fits)
      return std::nullopt;
    cost = predicted;
    cost.predictedSeconds = choice.estimate.seconds;
    cost.predictedBytes = choice.estimate.bytes;
    if (integral) {
      const FrontierInteger value = blockIntegerValue(choice.sweeps, xInteger, yInteger);
      answer.decimal = value.str();
      answer.value = wideFloatOf(value);
    } else {
      const FrontierRealValue value = blockRealValue(choice.sweeps, x, y);
      answer.value = value.value;
      answer.errorBound = value.errorBound;
    }
    answered = true;
  }
  if (!answered)
    return std::nullopt;
  cost.engine = ExactEngine::Frontier;
  answer.engine = ExactEngine::Frontier;
  return answer;
}

// The cheapest engine that answers within the limit: the closed forms, the spanning-tree count,
// the frontier's run, the evaluator when its prediction is within; else nothing, and the
// refusal in `cost`.
std::optional<ExactValue> valueWithin(const Graph& graph, double x, double y, double secondsLimit,
                                      ExactCost& cost) {
  if (!std::isfinite(x) || !std::isfinite(y))
    throw std::invalid_argument("the exact Tutte value needs finite x and y");
  // The closed forms decide their own cost at once, the spanning-tree count in about one
  // elimination.
  if (onUnitHyperbola(x, y)) {
    ExactValue answer = closedFormAnswer(graph, x, y);
    answer.engine = ExactEngine::ClosedForm;
    answer.cost.engine = answer.engine;
    return answer;
  }
  if (x == 1.0 && y == 1.0) {
    if (const std::optional<SpanningTreeCount> count =
            countSpanningTreesWithin(graph, secondsLimit * kSpanningTreeUpdatesPerSecond)) {
      ExactValue answer;
      answer.value = count->value;
      answer.decimal = count->decimal;
      answer.engine = ExactEngine::MatrixTree;
      answer.cost.engine = answer.engine;
      return answer;
    }
  }
  if (std::optional<ExactValue> answer = frontierValueWithin(graph, x, y, secondsLimit, cost)) {
    answer->cost = cost;
    return answer;
  }
  const int reducedEdges = reducedEdgeCount(graph);
  const int evaluatorLimit =
      evaluatorEdgesWithin(secondsLimit, kExactValueMaxReducedEdges, kEvaluatorValueSeconds);
  if (reducedEdges > evaluatorLimit) {
    cost.refusal = refusalOf(cost, reducedEdges, evaluatorLimit, secondsLimit);
    return std::nullopt;
  }
  ExactValue answer;
  cost.engine = ExactEngine::DeletionContraction;
  cost.predictedSeconds =
      evaluatorSeconds(reducedEdges, kExactValueMaxReducedEdges, kEvaluatorValueSeconds);
  answer.engine = ExactEngine::DeletionContraction;
  answer.value = exactTutteValue(graph, x, y);
  answer.errorBound = evaluatorErrorBound(graph, x, y);
  answer.cost = cost;
  return answer;
}

}  // namespace

std::string_view exactEngineName(ExactEngine engine) {
  switch (engine) {
    case ExactEngine::ClosedForm:
      return "closed_form";
    case ExactEngine::MatrixTree:
      return "matrix_tree";
    case ExactEngine::Frontier:
      return "frontier";
    case ExactEngine::DeletionContraction:
      return "deletion_contraction";
  }
  return "unknown";
}

ExactCost exactValueCost(const Graph& graph, double x, double y, double secondsLimit) {
  return chooseValueEngine(graph, x, y, secondsLimit).cost;
}

std::optional<ExactValue> exactValueWithin(const Graph& graph, double x, double y,
                                           double secondsLimit) {
  ExactCost cost;
  return valueWithin(graph, x, y, secondsLimit, cost);
}

std::optional<ExactValue> exactValueIfCheap(const Graph& graph, double x, double y,
                                            double secondsLimit) {
  ExactCost cost;
  return valueWithin(graph, x, y, secondsLimit, cost);
}

ExactValue exactValueOrRefuse(const Graph& graph, double x, double y, double secondsLimit) {
  ExactCost cost;
  std::optional<ExactValue> answer = valueWithin(graph, x, y, secondsLimit, cost);
  if (!answer)
    throw ExactSizeExceeded(cost.refusal);
  return *answer;
}

ExactCost exactPolynomialCost(const Graph& graph, double secondsLimit) {
  ExactCost cost;
  const FrontierChoice frontier =
      frontierChoice(graph, FrontierTask::Polynomial, 0.0, 0.0, secondsLimit, cost);
  cost.predictedSeconds = frontier.estimate.seconds;
  cost.predictedBytes = frontier.estimate.bytes;
  if (frontier.fits) {
    cost.engine = ExactEngine::Frontier;
    return cost;
  }
  const int reducedEdges = reducedEdgeCount(graph);
  const int evaluatorLimit = evaluatorEdgesWithin(secondsLimit, kExactPolynomialMaxReducedEdges,
                                                  kEvaluatorPolynomialSeconds);
  if (reducedEdges <= evaluatorLimit && graph.edgeCount <= kExactPolynomialMaxEdges) {
    cost.engine = ExactEngine::DeletionContraction;
    cost.predictedSeconds = evaluatorSeconds(reducedEdges, kExactPolynomialMaxReducedEdges,
                                             kEvaluatorPolynomialSeconds);
    cost.predictedBytes = 0.0;
    return cost;
  }
  cost.refusal = refusalOf(cost, reducedEdges, evaluatorLimit, secondsLimit);
  return cost;
}

ExactPolynomial exactPolynomialOrRefuse(const Graph& graph, double secondsLimit) {
  ExactPolynomial answer;
  ExactCost cost;
  const FrontierChoice frontier =
      frontierChoice(graph, FrontierTask::Polynomial, 0.0, 0.0, secondsLimit, cost);
  if (frontier.fits) {
    cost.engine = ExactEngine::Frontier;
    cost.predictedSeconds = frontier.estimate.seconds;
    cost.predictedBytes = frontier.estimate.bytes;
    for (const auto& row : blockCoefficients(frontier.sweeps)) {
      answer.coefficients.emplace_back();
      for (const FrontierInteger& cell : row)
        answer.coefficients.back().push_back(cell.str());
    }
  } else {
    cost = exactPolynomialCost(graph, secondsLimit);
    if (!cost.engine)
      throw ExactSizeExceeded(cost.refusal);
    answer.coefficients = exactTutteCoefficients(graph);
  }
  answer.engine = *cost.engine;
  answer.cost = cost;
  return answer;
}

std::optional<WideFloat> cheapExactValue(const Graph& graph, double x, double y) {
  if (x == 1.0 && y == 1.0) {
    if (const std::optional<SpanningTreeCount> count =
            countSpanningTreesWithin(graph, kExactCheckSeconds * kSpanningTreeUpdatesPerSecond))
      return count->value;
    return std::nullopt;
  }
  return closedFormValue(graph, x, y);
}
