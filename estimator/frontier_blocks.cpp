#include "estimator/frontier_blocks.h"

#include <algorithm>
#include <cmath>

#include "graph/blocks.h"

namespace {

FrontierInteger power(std::int64_t base, int exponent) {
  FrontierInteger result = 1;
  for (int k = 0; k < exponent; ++k)
    result *= base;
  return result;
}

// Products of values with error bounds: |prod v - prod t| <= prod (|v| + e) - prod |v| when
// each |v - t| <= e, plus the rounding of the products themselves.
struct RealProduct {
  WideFloat value = 1.0;
  WideFloat withErrors = 1.0;
  WideFloat sizes = 1.0;
  int products = 0;

  void times(const FrontierRealValue& factor) {
    value *= factor.value;
    withErrors *= abs(factor.value) + factor.errorBound;
    sizes *= abs(factor.value);
    ++products;
  }
  FrontierRealValue result() const {
    return {value, withErrors - sizes + withErrors * (4.0 * (products + 1) * 0x1p-53)};
  }
};

RealProduct bridgesAndLoops(const BlockSweeps& sweeps, double x, double y) {
  RealProduct product;
  for (int k = 0; k < sweeps.bridges; ++k)
    product.times({x, 0.0});
  for (int k = 0; k < sweeps.loops; ++k)
    product.times({y, 0.0});
  return product;
}

// The folded block's plan where it is clearly lighter than the plain one's: a narrower frontier
// on a block whose plain sweep is at least `foldFromWidth` wide. On networks with chains of
// degree-two vertices the folded sweeps are narrower by several vertices and meet a hundredth of
// the states; on narrow sweeps (a long cycle) the folds' arithmetic costs more than the states it
// saves, and on grids the score of the orders, which tells them apart only roughly, would take
// the folded corners' sweep with a tenth more states.
FrontierPlan foldedIfLighter(FrontierPlan plain, const GraphBlock& block, BlockFolding folding,
                             int foldFromWidth) {
  // The polynomial's composite weights are polynomials themselves, whose products grow as the
  // square of a chain's length, for every prime: beyond this many, the plain block.
  constexpr double kPolynomialFoldWork = 2e7;
  if (plain.withinWidth() && plain.width < foldFromWidth)
    return plain;
  const FoldedBlock folded = foldSeriesParallel(block.vertexCount, block.edges);
  const double primes = std::ceil((static_cast<double>(block.edges.size()) + 2.0) / 62.0);
  if (folded.folds.empty() || (folding == BlockFolding::ForPolynomial &&
                               primes * foldPolynomialWork(folded.folds) > kPolynomialFoldWork))
    return plain;
  FrontierPlan plan = planFrontier(folded);
  const bool narrower = plan.withinWidth() && (!plain.withinWidth() || plan.width < plain.width);
  return narrower ? plan : plain;
}

}  // namespace

BlockSweeps planBlockSweeps(const Graph& graph, BlockFolding folding, int foldFromWidth) {
  BlockSweeps sweeps;
  for (const GraphBlock& block : blocksOf(graph)) {
    if (block.edges.size() == 1) {
      (block.edges[0].first == block.edges[0].second ? sweeps.loops : sweeps.bridges) += 1;
      continue;
    }
    FrontierPlan plan = planFrontier(Graph(block.vertexCount, block.edges));
    if (folding != BlockFolding::None)
      plan = foldedIfLighter(std::move(plan), block, folding, foldFromWidth);
    sweeps.width = std::max(sweeps.width, plan.width);
    sweeps.parts.push_back({std::move(plan), {}});
    if (!sweeps.parts.back().plan.withinWidth())
      break;
  }
  return sweeps;
}

FrontierCost dryRunBlockSweeps(BlockSweeps& sweeps, double stateLimit) {
  FrontierCost total;
  total.width = sweeps.width;
  total.complete = sweeps.withinWidth();
  for (BlockSweeps::Part& part : sweeps.parts) {
    if (!total.complete)
      break;
    part.cost = dryRunFrontier(part.plan, stateLimit - total.states);
    total.states += part.cost.states;
    total.maxStates = std::max(total.maxStates, part.cost.maxStates);
    total.complete = part.cost.complete;
  }
  return total;
}

FrontierEstimate estimateBlockSweeps(const BlockSweeps& sweeps, FrontierTask task, std::int64_t x,
                                     std::int64_t y) {
  FrontierEstimate total;
  for (const BlockSweeps::Part& part : sweeps.parts) {
    const int primes = task == FrontierTask::Polynomial     ? primesForPolynomial(part.plan)
                       : task == FrontierTask::IntegerPoint ? primesForIntegerPoint(part.plan, x, y)
                                                            : 0;
    const FrontierEstimate estimate = estimateFrontierRun(part.plan, part.cost, task, primes);
    total.seconds += estimate.seconds;
    total.bytes = std::max(total.bytes, estimate.bytes);
  }
  return total;
}

FrontierInteger blockIntegerValue(const BlockSweeps& sweeps, std::int64_t x, std::int64_t y) {
  FrontierInteger value = power(x, sweeps.bridges) * power(y, sweeps.loops);
  for (const BlockSweeps::Part& part : sweeps.parts)
    value *= frontierIntegerValue(part.plan, part.cost, x, y);
  return value;
}

std::optional<FrontierInteger> blockIntegerValueWithin(const BlockSweeps& sweeps, std::int64_t x,
                                                       std::int64_t y, double stateLimit,
                                                       double* statesSpent) {
  double spentHere = 0.0;
  double& spent = statesSpent ? *statesSpent : spentHere;
  spent = 0.0;
  if (!sweeps.withinWidth())
    return std::nullopt;
  FrontierInteger value = power(x, sweeps.bridges) * power(y, sweeps.loops);
  for (const BlockSweeps::Part& part : sweeps.parts) {
    double states = 0.0;
    const std::optional<FrontierInteger> factor = frontierIntegerValueWithin(
        part.plan, x, y, stateLimit - spent, kFrontierMemoryCap, &states);
    spent += states;
    if (!factor)
      return std::nullopt;
    value *= *factor;
  }
  return value;
}

FrontierRealValue blockRealValue(const BlockSweeps& sweeps, double x, double y) {
  RealProduct product = bridgesAndLoops(sweeps, x, y);
  for (const BlockSweeps::Part& part : sweeps.parts)
    product.times(frontierRealValue(part.plan, part.cost, x, y));
  return product.result();
}

std::optional<FrontierRealValue> blockRealValueWithin(const BlockSweeps& sweeps, double x, double y,
                                                      double stateLimit, double* statesSpent) {
  double spentHere = 0.0;
  double& spent = statesSpent ? *statesSpent : spentHere;
  spent = 0.0;
  if (!sweeps.withinWidth())
    return std::nullopt;
  RealProduct product = bridgesAndLoops(sweeps, x, y);
  for (const BlockSweeps::Part& part : sweeps.parts) {
    double states = 0.0;
    const std::optional<FrontierRealValue> factor =
        frontierRealValueWithin(part.plan, x, y, stateLimit - spent, kFrontierMemoryCap, &states);
    spent += states;
    if (!factor)
      return std::nullopt;
    product.times(*factor);
  }
  return product.result();
}

std::vector<std::vector<FrontierInteger>> blockCoefficients(const BlockSweeps& sweeps) {
  // x^bridges y^loops, then times each part's table.
  std::vector<std::vector<FrontierInteger>> product(
      sweeps.bridges + 1, std::vector<FrontierInteger>(sweeps.loops + 1, 0));
  product[sweeps.bridges][sweeps.loops] = 1;
  for (const BlockSweeps::Part& part : sweeps.parts) {
    const auto factor = frontierCoefficients(part.plan, part.cost);
    std::vector<std::vector<FrontierInteger>> next(
        product.size() + factor.size() - 1,
        std::vector<FrontierInteger>(product[0].size() + factor[0].size() - 1, 0));
    for (std::size_t i = 0; i < product.size(); ++i)
      for (std::size_t j = 0; j < product[i].size(); ++j) {
        if (product[i][j] == 0)
          continue;
        for (std::size_t a = 0; a < factor.size(); ++a)
          for (std::size_t b = 0; b < factor[a].size(); ++b)
            if (factor[a][b] != 0)
              next[i + a][j + b] += product[i][j] * factor[a][b];
      }
    product = std::move(next);
  }
  return product;
}
