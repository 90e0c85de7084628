#include "estimator/frontier_engine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <type_traits>

#include <emmintrin.h>

#include "estimator/frontier_arithmetic.h"
#include "estimator/frontier_keys.h"
#include "estimator/frontier_memory.h"
#include "estimator/frontier_sweep.h"
#include "estimator/frontier_tables.h"
#include "estimator/parallel_loop.h"
#include "estimator/prime_field.h"

using namespace frontier_detail;

namespace {

// The run's cost constants (estimateFrontierRun) were measured where a state goes on in about 3.6
// ways (grids, C60, random 3-regular graphs: 3.3 to 4.2); a hub's many edges back make a state's
// outcomes many more (64 a state on the co-appearance network of Les Miserables), and each costs
// about as much.
constexpr double kOutcomesPerState = 3.6;

double outcomeSpread(const FrontierCost& cost) {
  return cost.states > 0.0 ? std::max(1.0, cost.outcomes / (kOutcomesPerState * cost.states)) : 1.0;
}

void checkMemory(const FrontierPlan& plan, const FrontierCost& cost, FrontierTask task, int primes,
                 std::size_t cap, const char* what) {
  const double bytes = estimateFrontierRun(plan, cost, task, primes).bytes;
  if (bytes > static_cast<double>(cap)) {
    throw FrontierMemoryExceeded(
        std::string("the frontier engine's ") + what + " would take about " +
        std::to_string(static_cast<long long>(std::ceil(bytes / (1 << 20)))) +
        " MiB for its largest step (" + std::to_string(static_cast<long long>(cost.maxStates)) +
        " states, frontier width " + std::to_string(cost.width) + "), beyond its cap of " +
        std::to_string(cap >> 20) + " MiB");
  }
}

double log2OfAtLeastOne(double value) {
  return std::log2(std::max(1.0, std::fabs(value)));
}

// log2 of X + ((1 + Y)^d - 1) / Y (X + d at Y = 0), rounded up, without overflow at large d.
double log2OfVertexFactor(double X, double Y, int d) {
  double factor = X + d;
  if (Y > 0.0) {
    const double growth = d * std::log1p(Y);
    if (growth > 700.0) {  // beyond doubles: the sum of X and (1 + Y)^d / Y by their logs
      const double paths = growth / std::log(2.0) - std::log2(Y);
      const double high = std::max(paths, std::log2(X)), low = std::min(paths, std::log2(X));
      return (high + std::log2(1.0 + std::exp2(low - high))) * (1.0 + 1e-12) + 1e-9;
    }
    factor = X + std::expm1(growth) / Y;
  }
  return std::log2(factor) * (1.0 + 1e-12) + 1e-9;
}

// Z grown a vertex at a time in the sweep's order, for X Y >= 1. A vertex with d edges back, of
// which A takes s, adds a component of A when s = 0 (a factor X); otherwise it joins the c >= 1
// components of A its edges reach into one, a factor X^(1 - c) Y^(s - c), at most Y^(s - 1) when
// X Y >= 1. Summed over the subsets of its edges: at most X + ((1 + Y)^d - 1) / Y. The product
// over the vertices counts X^k(A) where a term has X^(k(A) - k(E)); a loop adds at most 1 + Y.
// On planar grids at X = Y = 2 this is 478 bits for the 14 x 14 grid against the edge bound's
// 577, and the value's 308 bits on the 12 x 12 grid against 348 here and 418 there.
double vertexGrowthBits(const FrontierPlan& plan, double X, double Y) {
  double bits = plan.loopCount * std::log2(1.0 + Y) - plan.componentCount * std::log2(X);
  int back = -1;  // the current vertex's edges back; -1 before the first vertex
  for (const SweepStep& step : plan.steps) {
    if (step.kind == SweepStepKind::AddVertex) {
      if (back >= 0)
        bits += log2OfVertexFactor(X, Y, back);
      back = 0;
    } else if (step.kind == SweepStepKind::Edge) {
      ++back;
    }
  }
  if (back >= 0)
    bits += log2OfVertexFactor(X, Y, back);
  return bits;
}

}  // namespace

FrontierCost dryRunFrontier(const FrontierPlan& plan, double stateLimit) {
  FrontierCost cost;
  cost.width = plan.width;
  if (!plan.withinWidth()) {
    cost.complete = false;
    return cost;
  }
  NoValues none;
  cost.stepStates.assign(plan.steps.size(), 0.0);
  bool finished = plan.steps.empty();
  sweep(
      plan, none, GrowingStates{},
      [&](std::size_t t, std::size_t count) {
        const double states = static_cast<double>(count);
        cost.stepStates[t] = states;
        cost.states += states;
        cost.maxStates = std::max(cost.maxStates, states);
        finished = t + 1 == plan.steps.size();
        return cost.states <= stateLimit;
      },
      static_cast<double>(kFrontierMemoryCap) / 2 / kNewStateBytes, &cost.outcomes);
  cost.complete = finished;
  return cost;
}

// |T(x, y)| is at most Z, the sum of the terms' sizes,
// Z = sum over A of X^(r(E) - r(A)) Y^(|A| - r(A)) with X = |x - 1| and Y = |y - 1|. Each term is
// at most X^r Y^(m - r) in size, or, growing the graph an edge at a time: an edge joining two
// components multiplies Z by 1 + X; any other edge, in A or not, by at most 1 + max(Y, 1 / X)
// (in A it closes a cycle of A, a factor Y, or joins two of A's components, a factor 1 / X).
// Rank and nullity swap roles between a set and its complement, which gives the same with X and
// Y exchanged. The least of the three bounds is taken.
double integerPointBits(const FrontierPlan& plan, std::int64_t x, std::int64_t y) {
  const double X = std::fabs(static_cast<double>(x - 1)), Y = std::fabs(static_cast<double>(y - 1));
  // A folded block's terms are those of the block before folding.
  const double edges = plan.unfoldedEdgeCount;
  const double rank = plan.unfoldedRank, nullity = edges - rank;
  double bits = edges + rank * log2OfAtLeastOne(X) + nullity * log2OfAtLeastOne(Y);
  if (X >= 1.0)
    bits = std::min(bits, rank * std::log2(1.0 + X) + nullity * std::log2(1.0 + std::max(Y, 1.0)));
  if (Y >= 1.0)
    bits = std::min(bits, nullity * std::log2(1.0 + Y) + rank * std::log2(1.0 + std::max(X, 1.0)));
  if (X * Y >= 1.0 && plan.folds.empty())
    bits = std::min(bits, vertexGrowthBits(plan, X, Y));
  return bits;
}

int primesForIntegerPoint(const FrontierPlan& plan, std::int64_t x, std::int64_t y) {
  return static_cast<int>(std::ceil((integerPointBits(plan, x, y) + 2.0) / 62.0));
}

int primesForPolynomial(const FrontierPlan& plan) {
  return static_cast<int>(std::ceil((plan.unfoldedEdgeCount + 2.0) / 62.0));
}

FrontierEstimate estimateFrontierRun(const FrontierPlan& plan, const FrontierCost& cost,
                                     FrontierTask task, int primes) {
  // Seconds per state for its lookups and lists, and per value word.
  constexpr double kStateSeconds = kFrontierStateSeconds, kWordSeconds = 8e-9, kRealSeconds = 60e-9;
  // A polynomial's words are added in loops over its table, once per power of y a vertex's
  // cycles spread them over: 8.5 ns a word on one core (the 8 x 8 and 10 x 10 grids and C60
  // within 15%), and both cores take the work about 1.5 times as fast (bench/RESULTS.md).
  constexpr double kPolynomialWordSeconds = 8.5e-9, kPolynomialTwoCoreSpeedUp = 1.5;
  // Besides its values, a state takes its key in the table read, in the records or index being
  // built and in the table made, four outcomes of 16 bytes in the step's lists, and index slots.
  // At a point the values are held in the table read, the records (a fifth to a half empty) and
  // the table made, four times over in all; a real point's also in its partition's own table
  // beside an index, seven times. Within 10% of the peak resident memory on the 14 x 14 grid.
  constexpr double kStateBytes = 3 * 8.0 + 64.0 + 64.0;
  FrontierEstimate estimate;
  if (task != FrontierTask::Polynomial) {
    const double words = task == FrontierTask::RealPoint ? 4.0 : primes;
    estimate.seconds =
        cost.states *
        (kStateSeconds + (task == FrontierTask::RealPoint ? kRealSeconds : kWordSeconds * words));
    const double copies = task == FrontierTask::RealPoint ? 7.0 : 4.0;
    estimate.bytes = cost.maxStates * (kStateBytes + copies * 8.0 * words);
    estimate.seconds *= outcomeSpread(cost);
    return estimate;
  }
  const std::vector<TableShape> shapes = tableShapes(plan);
  double statesBefore = 1.0, wordsBefore = primes;  // the table the step reads
  for (std::size_t t = 0; t < cost.stepStates.size(); ++t) {
    if (cost.stepStates[t] == 0.0)
      continue;  // inside a vertex's steps, or none left
    const double words = static_cast<double>(shapes[t].cells()) * primes;
    estimate.seconds += cost.stepStates[t] * (kStateSeconds + kPolynomialWordSeconds * words);
    estimate.bytes = std::max(estimate.bytes, cost.stepStates[t] * (kStateBytes + 8.0 * words) +
                                                  statesBefore * 8.0 * wordsBefore);
    statesBefore = cost.stepStates[t];
    wordsBefore = words;
  }
  if (workerCount() > 1)
    estimate.seconds /= kPolynomialTwoCoreSpeedUp;
  estimate.seconds *= outcomeSpread(cost);
  return estimate;
}

FrontierInteger frontierIntegerValue(const FrontierPlan& plan, const FrontierCost& cost,
                                     std::int64_t x, std::int64_t y, std::size_t memoryCap) {
  const int primes = primesForIntegerPoint(plan, x, y);
  checkMemory(plan, cost, FrontierTask::IntegerPoint, primes, memoryCap, "value");
  ModularPoint arithmetic(plan, primes, x, y);
  const StateTable<std::uint64_t> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  if (last.keys.empty())
    return 0;
  return fromResidues(arithmetic.fields, arithmetic.residuesWithLoops(last.cells.data(), plan, y),
                      true);
}

namespace {

// The final value times y^(loops), each product rounded once more. The bound's own sums round
// too, by far less than a thousandth of it over any sweep met.
FrontierRealValue withLoops(RealPoint::Cell cell, const FrontierPlan& plan, double y) {
  for (int loop = 0; loop < plan.loopCount; ++loop) {
    cell.value *= y;
    cell.error = cell.error * std::fabs(y) + RealPoint::kUnit * abs(cell.value);
  }
  return {cell.value, cell.error * (1.0 + 1e-3)};
}

// A sweep without a dry run: its tables grow as they must, and it stops, giving nothing, once its
// states summed over the steps pass `stateLimit` or its largest step's tables `memoryCap`.
template <typename Arithmetic>
std::optional<StateTable<typename Arithmetic::Cell>> sweepWithin(
    const FrontierPlan& plan, Arithmetic& arithmetic, double stateLimit, double bytesPerState,
    std::size_t memoryCap, double* statesSpent) {
  if (!plan.withinWidth())
    return std::nullopt;
  double spentHere = 0.0;
  double& states = statesSpent ? *statesSpent : spentHere;
  states = 0.0;
  bool finished = plan.steps.empty();
  // The limit is on the work, the states met or, where each goes on in many ways (a hub's edges
  // back), their outcomes in the grids' measure.
  double outcomes = 0.0;
  StateTable<typename Arithmetic::Cell> last = sweep(
      plan, arithmetic, GrowingStates{},
      [&](std::size_t t, std::size_t count) {
        states += static_cast<double>(count);
        finished = t + 1 == plan.steps.size();
        return std::max(states, outcomes / kOutcomesPerState) <= stateLimit &&
               static_cast<double>(count) * bytesPerState <= static_cast<double>(memoryCap);
      },
      static_cast<double>(memoryCap) / 2 / (kNewStateBytes + bytesPerState / 2), &outcomes);
  if (!finished)
    return std::nullopt;
  return last;
}

}  // namespace

std::optional<FrontierInteger> frontierIntegerValueWithin(const FrontierPlan& plan, std::int64_t x,
                                                          std::int64_t y, double stateLimit,
                                                          std::size_t memoryCap,
                                                          double* statesSpent) {
  const int primes = primesForIntegerPoint(plan, x, y);
  ModularPoint arithmetic(plan, primes, x, y);
  // Both tables, the index, a table that grows by doubling, and the outcomes' lists.
  const double bytesPerState = 2 * (8.0 + 16.0 * primes) + 256.0;
  const auto last =
      sweepWithin(plan, arithmetic, stateLimit, bytesPerState, memoryCap, statesSpent);
  if (!last)
    return std::nullopt;
  if (last->keys.empty())
    return FrontierInteger(0);
  return fromResidues(arithmetic.fields, arithmetic.residuesWithLoops(last->cells.data(), plan, y),
                      true);
}

std::optional<FrontierRealValue> frontierRealValueWithin(const FrontierPlan& plan, double x,
                                                         double y, double stateLimit,
                                                         std::size_t memoryCap,
                                                         double* statesSpent) {
  RealPoint arithmetic(plan, x, y);
  const double bytesPerState = 2 * (8.0 + 2 * sizeof(RealPoint::Cell)) + 256.0;
  const auto last =
      sweepWithin(plan, arithmetic, stateLimit, bytesPerState, memoryCap, statesSpent);
  if (!last)
    return std::nullopt;
  if (last->keys.empty())
    return FrontierRealValue{0.0, 0.0};
  return withLoops(last->cells[0], plan, y);
}

FrontierRealValue frontierRealValue(const FrontierPlan& plan, const FrontierCost& cost, double x,
                                    double y, std::size_t memoryCap) {
  checkMemory(plan, cost, FrontierTask::RealPoint, 0, memoryCap, "value");
  RealPoint arithmetic(plan, x, y);
  const StateTable<RealPoint::Cell> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  if (last.keys.empty())
    return {0.0, 0.0};
  return withLoops(last.cells[0], plan, y);
}

std::vector<std::vector<FrontierInteger>> frontierCoefficients(const FrontierPlan& plan,
                                                               const FrontierCost& cost,
                                                               std::size_t memoryCap) {
  const int primes = primesForPolynomial(plan);
  checkMemory(plan, cost, FrontierTask::Polynomial, primes, memoryCap, "polynomial");
  PolynomialCounts arithmetic(plan, primes);
  const StateTable<std::uint64_t> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  const int rank = plan.unfoldedRank, nullity = plan.unfoldedEdgeCount - plan.unfoldedRank;
  const TableShape shape = plan.steps.empty() ? TableShape{} : arithmetic.shapes.back();
  std::vector<PrimeField> fields;
  for (std::uint64_t p : arithmetic.primes)
    fields.emplace_back(p);
  // Counts in (x - 1)^i (y - 1)^j, then rewritten in y row by row and in x column by column.
  std::vector<std::vector<FrontierInteger>> counts(rank + 1,
                                                   std::vector<FrontierInteger>(nullity + 1, 0));
  std::vector<std::uint64_t> residues(primes);
  for (int i = 0; i <= shape.closures; ++i)
    for (int j = 0; j <= shape.cycles; ++j) {
      for (int k = 0; k < primes; ++k)
        residues[k] =
            last.cells[(static_cast<std::size_t>(i) * (shape.cycles + 1) + j) * primes + k];
      counts[i][j] = fromResidues(fields, residues, false);
    }
  for (std::vector<FrontierInteger>& row : counts) {
    row = fromShifted(row);
    // y^(loops): the columns move right; the table's nullity counts the loops already.
    std::rotate(row.rbegin(), row.rbegin() + plan.loopCount, row.rend());
  }
  for (int j = 0; j <= nullity; ++j) {
    std::vector<FrontierInteger> column(rank + 1);
    for (int i = 0; i <= rank; ++i)
      column[i] = counts[i][j];
    column = fromShifted(column);
    for (int i = 0; i <= rank; ++i)
      counts[i][j] = column[i];
  }
  return counts;
}
