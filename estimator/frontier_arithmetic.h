#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "estimator/frontier_engine.h"
#include "estimator/frontier_keys.h"
#include "estimator/frontier_order.h"
#include "estimator/frontier_sweep.h"
#include "estimator/prime_field.h"
#include "estimator/series_parallel_folds.h"
#include "estimator/wide_float.h"

// What the frontier engine's states carry (frontier_engine.h): residues at an integer point,
// a value and its error bound at a real point, or counts by powers of x - 1 and y - 1 for the
// polynomial; with a composite edge's weights (series_parallel_folds.h) on its pass. Internal to
// the engine.
namespace frontier_detail {

inline std::uint64_t addModulo(std::uint64_t a, std::uint64_t b, std::uint64_t p) {
  const std::uint64_t sum = a + b;  // a, b < p < 2^63
  return sum - (p & -static_cast<std::uint64_t>(sum >= p));
}

// a w mod p, for a < 2^64 and a constant w < p given with w' = floor(w 2^64 / p) (Shoup's
// product): one high and two low products, where Montgomery's takes two full ones and a low one.
// The quotient's estimate is at most one short, so a w - q p lies in [0, 2p).
inline std::uint64_t timesConstant(std::uint64_t a, std::uint64_t w, std::uint64_t wShoup,
                                   std::uint64_t p) {
  const auto q = static_cast<std::uint64_t>((static_cast<DoubleWord>(a) * wShoup) >> 64);
  const std::uint64_t r = a * w - q * p;
  return r - (p & -static_cast<std::uint64_t>(r >= p));
}

// Residues w < p, one a prime, as the pairs (w, w') timesConstant takes.
inline std::vector<std::uint64_t> constantPairs(const std::vector<std::uint64_t>& primes,
                                                const std::vector<std::uint64_t>& residues) {
  std::vector<std::uint64_t> pairs;
  for (std::size_t k = 0; k < primes.size(); ++k) {
    pairs.push_back(residues[k]);
    pairs.push_back(
        static_cast<std::uint64_t>((static_cast<DoubleWord>(residues[k]) << 64) / primes[k]));
  }
  return pairs;
}

// The same for held factors: a held value times the plain w is the held product.
inline std::vector<std::uint64_t> constantPairs(const std::vector<PrimeField>& fields,
                                                const std::vector<std::uint64_t>& held) {
  std::vector<std::uint64_t> primes, plain;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    primes.push_back(fields[k].prime());
    plain.push_back(fields[k].toInteger(held[k]));
  }
  return constantPairs(primes, plain);
}

inline std::vector<PrimeField> firstPrimes(int count) {
  std::vector<PrimeField> fields;
  DescendingWordPrimes primes;
  for (int k = 0; k < count; ++k)
    fields.emplace_back(primes.next());
  return fields;
}

// Garner's form of the Chinese remainder theorem: the integer in [-M/2, M/2) (M the product of
// the primes) with the given plain residues, or in [0, M) when `signed_` is false.
inline FrontierInteger fromResidues(const std::vector<PrimeField>& fields,
                                    const std::vector<std::uint64_t>& residues, bool signed_) {
  FrontierInteger value = 0, modulus = 1;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const PrimeField& field = fields[k];
    const std::uint64_t p = field.prime();
    auto held = [&](std::uint64_t residue) {
      return field.fromInteger(static_cast<std::int64_t>(residue));
    };
    const std::uint64_t valueModP = mpz_fdiv_ui(value.backend().data(), p);
    const std::uint64_t modulusModP = mpz_fdiv_ui(modulus.backend().data(), p);
    const std::uint64_t t = field.toInteger(field.multiply(
        field.subtract(held(residues[k]), held(valueModP)), field.inverse(held(modulusModP))));
    value += modulus * t;
    modulus *= p;
  }
  if (signed_ && 2 * value >= modulus)
    value -= modulus;
  return value;
}

// The composite edges the steps of `plan` take, each weight id once in the order first met;
// slotOf maps a weight id to its place in that list (-1 for the others).
inline std::vector<std::uint32_t> compositeIds(const FrontierPlan& plan, std::vector<int>& slotOf) {
  std::vector<std::uint32_t> ids;
  slotOf.assign(plan.folds.size() + 1, -1);
  for (const SweepStep& step : plan.steps)
    if (isComposite(step) && slotOf[step.weight] < 0) {
      slotOf[step.weight] = static_cast<int>(ids.size());
      ids.push_back(step.weight);
    }
  return ids;
}

// Residues modulo one prime, for the folds' weights.
struct ResidueRing {
  const PrimeField& field;
  std::uint64_t one() const { return field.one(); }
  std::uint64_t times(std::uint64_t a, std::uint64_t b) const { return field.multiply(a, b); }
  std::uint64_t plus(std::uint64_t a, std::uint64_t b) const {
    return addModulo(a, b, field.prime());
  }
};

// An integer point: K residues a state, held in Montgomery form.
struct ModularPoint {
  using Cell = std::uint64_t;
  std::vector<PrimeField> fields;
  // factors[c][d]: y^c (x - 1)^d for each prime, as constantPairs.
  std::vector<std::vector<std::vector<std::uint64_t>>> factors;
  std::vector<std::vector<char>> factorIsOne;
  bool yIsZero, xIsOne;

  // compositeFactors[slot][choice][d]: a composite edge's weight for the choice times
  // (x - 1)^d for each prime, as constantPairs; slotOf[weight id] its slot, for the ids the
  // steps use.
  std::vector<std::vector<std::vector<std::vector<std::uint64_t>>>> compositeFactors;
  std::vector<int> slotOf;
  const FrontierPlan* sweepPlan = nullptr;
  // The composite edge whose pass runs, or none.
  const std::vector<std::vector<std::vector<std::uint64_t>>>* composite = nullptr;

  ModularPoint(const FrontierPlan& plan, int primes, std::int64_t xValue, std::int64_t yValue)
      : fields(firstPrimes(primes)), yIsZero(yValue == 0), xIsOne(xValue == 1), sweepPlan(&plan) {
    int cycles = 0, closures = 0;
    for (const VertexSteps& group : vertexStepsOf(plan)) {
      int edges = 0, removals = 0;
      for (std::size_t t = group.first; t <= group.last; ++t) {
        edges += plan.steps[t].kind == SweepStepKind::Edge;
        removals += plan.steps[t].kind == SweepStepKind::Forget;
      }
      cycles = std::max(cycles, edges);
      closures = std::max(closures, removals);
    }
    factors.assign(cycles + 1, std::vector<std::vector<std::uint64_t>>(closures + 1));
    for (const PrimeField& field : fields) {
      const std::uint64_t y = field.fromInteger(yValue), xMinusOne = field.fromInteger(xValue - 1);
      std::uint64_t yPower = field.one();
      for (int c = 0; c <= cycles; ++c, yPower = field.multiply(yPower, y)) {
        std::uint64_t factor = yPower;
        for (int d = 0; d <= closures; ++d, factor = field.multiply(factor, xMinusOne))
          factors[c][d].push_back(factor);
      }
    }
    // Where a factor is 1 modulo every prime (all of them at (2, 1) and (2, 0), the even powers
    // of -1), its outcomes are added without a product.
    factorIsOne.assign(cycles + 1, std::vector<char>(closures + 1, 1));
    for (int c = 0; c <= cycles; ++c)
      for (int d = 0; d <= closures; ++d)
        for (std::size_t k = 0; k < fields.size(); ++k)
          factorIsOne[c][d] &= factors[c][d][k] == fields[k].one();
    if (!plan.folds.empty())
      holdCompositeFactors(xValue, yValue, closures);
    addLanes = laneAdder(fields.size(), std::make_index_sequence<9>{});
    for (auto& byClosures : factors)
      for (std::vector<std::uint64_t>& factor : byClosures)
        factor = constantPairs(fields, factor);
    for (auto& byChoice : compositeFactors)
      for (auto& byClosures : byChoice)
        for (std::vector<std::uint64_t>& factor : byClosures)
          factor = constantPairs(fields, factor);
  }

  // Each composite edge's weights (series_parallel_folds.h) times (x - 1)^d, for every prime.
  void holdCompositeFactors(std::int64_t xValue, std::int64_t yValue, int closures) {
    const std::vector<std::uint32_t> ids = compositeIds(*sweepPlan, slotOf);
    compositeFactors.assign(ids.size(),
                            std::vector<std::vector<std::vector<std::uint64_t>>>(
                                3, std::vector<std::vector<std::uint64_t>>(closures + 1)));
    for (const PrimeField& field : fields) {
      const ResidueRing ring{field};
      const std::uint64_t xMinusOne = field.fromInteger(xValue - 1);
      const auto weights =
          foldedWeights(sweepPlan->folds, ids, ring, xMinusOne, field.fromInteger(yValue - 1));
      for (std::size_t slot = 0; slot < ids.size(); ++slot)
        for (int choice = 0; choice < 3; ++choice) {
          std::uint64_t factor = weights[slot][choice];
          for (int d = 0; d <= closures; ++d, factor = ring.times(factor, xMinusOne))
            compositeFactors[slot][choice][d].push_back(factor);
        }
    }
  }
  std::size_t width(int) const { return fields.size(); }
  void one(Cell* cells) const {
    for (std::size_t k = 0; k < fields.size(); ++k)
      cells[k] = fields[k].one();
  }
  // The plain residues of a final state's cells times y^(loops).
  std::vector<std::uint64_t> residuesWithLoops(const Cell* cells, const FrontierPlan& plan,
                                               std::int64_t yValue) const {
    std::vector<std::uint64_t> residues;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      const PrimeField& field = fields[k];
      std::uint64_t value = cells[k];
      const std::uint64_t y = field.fromInteger(yValue);
      for (int loop = 0; loop < plan.loopCount; ++loop)
        value = field.multiply(value, y);
      residues.push_back(field.toInteger(value));
    }
    return residues;
  }
  void enter(std::size_t first, std::size_t) {
    const SweepStep& step = sweepPlan->steps[first];
    composite = isComposite(step) ? &compositeFactors[slotOf[step.weight]] : nullptr;
  }
  bool cycleIsZero() const { return yIsZero; }
  bool closureIsZero() const { return xIsOne; }
  // On a composite edge's pass `cycles` is its CompositeChoice.
  void addTransformed(Cell* into, const Cell* from, int cycles, int closures) const {
    const std::uint64_t* factor =
        composite ? (*composite)[cycles][closures].data()
                  : (factorIsOne[cycles][closures] ? nullptr : factors[cycles][closures].data());
    (this->*addLanes)(into, from, factor);
  }

  // A state's residues in lanes of a count fixed at compile time, which the compiler
  // interleaves: one function for each count up to eight, chosen once; K = 0 for more.
  using LaneAdder = void (ModularPoint::*)(Cell*, const Cell*, const std::uint64_t*) const;
  template <std::size_t... K>
  static LaneAdder laneAdder(std::size_t count, std::index_sequence<K...>) {
    constexpr LaneAdder adders[] = {&ModularPoint::addInLanes<K>...};
    return adders[count < sizeof...(K) ? count : 0];
  }
  LaneAdder addLanes = nullptr;

  template <std::size_t K>
  void addInLanes(Cell* into, const Cell* from, const std::uint64_t* factor) const {
    const PrimeField* field = fields.data();
    const std::size_t lanes = K == 0 ? fields.size() : K;
    if (factor == nullptr) {
      for (std::size_t k = 0; k < lanes; ++k)
        into[k] = addModulo(into[k], from[k], field[k].prime());
      return;
    }
    for (std::size_t k = 0; k < lanes; ++k) {
      const std::uint64_t p = field[k].prime();
      into[k] = addModulo(into[k], timesConstant(from[k], factor[2 * k], factor[2 * k + 1], p), p);
    }
  }
};

// A real point: the value and a bound on its rounding error.
struct RealPoint {
  struct Cell {
    WideFloat value = 0.0;
    WideFloat error = 0.0;
  };
  static constexpr double kUnit = 0x1p-53;
  double y, xMinusOne;
  // x - 1 is itself rounded: a closure's product is off by at most two roundings.
  static constexpr double kClosureRoundings = 2.0;

  // A composite edge's weights by choice (CompositeChoice), each with a bound on its distance
  // from the exact weight; slotOf by weight id, for the ids the steps take.
  std::vector<std::array<Cell, 3>> composites;
  std::vector<int> slotOf;
  const FrontierPlan* sweepPlan = nullptr;
  const std::array<Cell, 3>* composite = nullptr;  // the pass's, or none

  RealPoint(const FrontierPlan& plan, double x, double yValue)
      : y(yValue), xMinusOne(x - 1.0), sweepPlan(&plan) {
    if (!plan.folds.empty())
      holdComposites();
  }

  // Sums and products with their errors to first order: each operation rounds once.
  static Cell times(const Cell& a, const Cell& b) {
    const WideFloat value = a.value * b.value;
    return {value,
            abs(a.value) * b.error + (abs(b.value) + b.error) * a.error + kUnit * abs(value)};
  }
  static Cell plus(const Cell& a, const Cell& b) {
    const WideFloat value = a.value + b.value;
    return {value, a.error + b.error + kUnit * abs(value)};
  }

  void holdComposites() {
    const Cell X{xMinusOne, kUnit * std::fabs(xMinusOne)}, Y{y - 1.0, kUnit * std::fabs(y - 1.0)};
    composites = foldedWeights(sweepPlan->folds, compositeIds(*sweepPlan, slotOf), *this, X, Y);
  }
  static Cell one() { return {1.0, 0.0}; }

  std::size_t width(int) const { return 1; }
  void one(Cell* cell) const { cell->value = 1.0; }
  void enter(std::size_t first, std::size_t) {
    const SweepStep& step = sweepPlan->steps[first];
    composite = isComposite(step) ? &composites[slotOf[step.weight]] : nullptr;
  }
  bool cycleIsZero() const { return y == 0.0; }
  bool closureIsZero() const { return xMinusOne == 0.0; }
  // Each product rounds once, and x - 1 was rounded once more; the relative errors of a few
  // dozen of them add up to within a hair of their count times 2^-53. On a composite edge's pass
  // `cycles` is the CompositeChoice, and the weight's own error is carried into the product's.
  void addTransformed(Cell* into, const Cell* from, int cycles, int closures) const {
    Cell start = *from;
    if (composite)
      start = times(start, (*composite)[static_cast<std::size_t>(cycles)]);
    WideFloat product = start.value, error = start.error;
    if (composite)
      cycles = 0;
    double roundings = 0.0;
    for (int c = 0; c < cycles; ++c) {
      product *= y;
      error *= std::fabs(y);
      roundings += 1.0;
    }
    for (int d = 0; d < closures; ++d) {
      product *= xMinusOne;
      error *= std::fabs(xMinusOne);
      roundings += kClosureRoundings;
    }
    into->value += product;
    into->error += error + roundings * kUnit * abs(product) + kUnit * abs(into->value);
  }
};

// The largest number of components closed (not counting the last of each connected component)
// and of cycles closed after each step: the dimensions of a state's table of counts.
struct TableShape {
  int closures = 0;
  int cycles = 0;
  std::size_t cells() const {
    return static_cast<std::size_t>(closures + 1) * static_cast<std::size_t>(cycles + 1);
  }
};

inline std::vector<TableShape> tableShapes(const FrontierPlan& plan) {
  std::vector<TableShape> shapes;
  TableShape shape;
  std::vector<int> parent, frontier;  // union-find over the vertices met; frontier ids
  const auto find = [&](int v) {
    while (parent[v] != v)
      v = parent[v] = parent[parent[v]];
    return v;
  };
  // A folded block's exponents are those of the block before folding; a composite edge raises
  // them by at most its weights' degrees. The power of y - 1 is also at most the nullity of the
  // edges taken so far (those a composite edge stands for, with the vertices folded away).
  const int rank = plan.unfoldedRank, nullity = plan.unfoldedEdgeCount - plan.unfoldedRank;
  const std::vector<FoldDegrees> degrees = foldDegrees(plan.folds);
  const std::vector<FoldSize> sizes = foldSizes(plan.folds);
  int edgesTaken = 0, rankTaken = 0;
  for (const SweepStep& step : plan.steps) {
    switch (step.kind) {
      case SweepStepKind::AddVertex:
        frontier.push_back(static_cast<int>(parent.size()));
        parent.push_back(static_cast<int>(parent.size()));
        break;
      case SweepStepKind::Edge: {
        const int u = find(frontier[step.first]), v = find(frontier[step.second]);
        edgesTaken += sizes[step.weight].edges;
        rankTaken += sizes[step.weight].vertices + (u != v);
        if (step.weight != 0) {
          shape.closures = std::min(shape.closures + degrees[step.weight].x, rank);
          shape.cycles =
              std::min({shape.cycles + degrees[step.weight].y, nullity, edgesTaken - rankTaken});
        } else if (u == v) {
          shape.cycles = std::min(shape.cycles + 1, nullity);
        }
        parent[u] = v;
        break;
      }
      case SweepStepKind::Forget:
        if (!step.emptiesFrontier)
          shape.closures = std::min(shape.closures + 1, rank);
        frontier.erase(frontier.begin() + step.first);
        break;
    }
    shapes.push_back(shape);
  }
  return shapes;
}

// Counts of edge subsets by (closures, cycles), modulo K primes: cells [i][j][k].
struct PolynomialCounts {
  using Cell = std::uint64_t;
  std::vector<std::uint64_t> primes;
  std::vector<TableShape> shapes;
  TableShape from, to;

  // binomials[c][b]: C(c, b) modulo each prime (as constantPairs), for as many edges as a vertex
  // has back.
  std::vector<std::vector<std::vector<std::uint64_t>>> binomials;

  // A composite edge's weights as their non-zero terms X^x Y^y, by choice (CompositeChoice).
  struct Term {
    int x, y;
    std::vector<std::uint64_t> coefficient;  // modulo each prime, as constantPairs
  };
  std::vector<std::array<std::vector<Term>, 3>> compositeTerms;
  std::vector<int> slotOf;  // by weight id, for the ids the steps take
  const FrontierPlan* sweepPlan = nullptr;
  const std::array<std::vector<Term>, 3>* composite = nullptr;  // the pass's, or none

  PolynomialCounts(const FrontierPlan& plan, int primeCount)
      : shapes(tableShapes(plan)), sweepPlan(&plan) {
    DescendingWordPrimes source;
    for (int k = 0; k < primeCount; ++k)
      primes.push_back(source.next());
    if (!plan.folds.empty())
      holdCompositeTerms();
    std::size_t cycles = 0;
    for (const VertexSteps& group : vertexStepsOf(plan))
      cycles = std::max(cycles, group.last - group.first);
    binomials.push_back({std::vector<std::uint64_t>(primes.size(), 1)});
    for (std::size_t c = 1; c <= cycles; ++c) {
      std::vector<std::vector<std::uint64_t>> row(c + 1,
                                                  std::vector<std::uint64_t>(primes.size(), 1));
      for (std::size_t b = 1; b < c; ++b)
        for (std::size_t k = 0; k < primes.size(); ++k)
          row[b][k] = addModulo(binomials[c - 1][b - 1][k], binomials[c - 1][b][k], primes[k]);
      binomials.push_back(std::move(row));
    }
    for (auto& row : binomials)
      for (std::vector<std::uint64_t>& binomial : row)
        binomial = constantPairs(primes, binomial);
  }
  void holdCompositeTerms() {
    const std::vector<std::uint32_t> ids = compositeIds(*sweepPlan, slotOf);
    const std::size_t K = primes.size();
    for (const CompositeWeights& weights : compositeWeightsModulo(sweepPlan->folds, ids, primes)) {
      std::array<std::vector<Term>, 3>& terms = compositeTerms.emplace_back();
      const FoldPolynomial* byChoice[3] = {&weights.out, &weights.joined, &weights.inside};
      for (int choice = 0; choice < 3; ++choice) {
        const FoldPolynomial& weight = *byChoice[choice];
        for (int x = 0; x <= weight.degreeX; ++x)
          for (int y = 0; y <= weight.degreeY; ++y) {
            const auto first = weight.coefficients.begin() +
                               static_cast<std::ptrdiff_t>(
                                   (static_cast<std::size_t>(x) * (weight.degreeY + 1) + y) * K);
            std::vector<std::uint64_t> coefficient(first, first + static_cast<std::ptrdiff_t>(K));
            if (std::any_of(coefficient.begin(), coefficient.end(),
                            [](std::uint64_t c) { return c != 0; }))
              terms[choice].push_back({x, y, constantPairs(primes, coefficient)});
          }
      }
    }
  }
  std::size_t width(int step) const {
    return (step < 0 ? TableShape{} : shapes[static_cast<std::size_t>(step)]).cells() *
           primes.size();
  }
  void one(Cell* cells) const { std::fill(cells, cells + primes.size(), 1); }
  void enter(std::size_t first, std::size_t last) {
    from = first == 0 ? TableShape{} : shapes[first - 1];
    to = shapes[last];
    const SweepStep& step = sweepPlan->steps[first];
    composite = isComposite(step) ? &compositeTerms[slotOf[step.weight]] : nullptr;
  }
  bool cycleIsZero() const { return false; }
  bool closureIsZero() const { return false; }
  // into += multiple * cells shifted by `closed` components and `cycled` cycles.
  void addShifted(Cell* into, const Cell* cells, int closed, int cycled,
                  const std::vector<std::uint64_t>& multiple) const {
    const std::size_t K = primes.size();
    for (int i = 0; i <= from.closures && i + closed <= to.closures; ++i)
      for (int j = 0; j <= from.cycles && j + cycled <= to.cycles; ++j) {
        const Cell* source = cells + (static_cast<std::size_t>(i) * (from.cycles + 1) + j) * K;
        Cell* target =
            into + (static_cast<std::size_t>(i + closed) * (to.cycles + 1) + j + cycled) * K;
        for (std::size_t k = 0; k < K; ++k) {
          const std::uint64_t term =
              multiple[2 * k] == 1
                  ? source[k]
                  : timesConstant(source[k], multiple[2 * k], multiple[2 * k + 1], primes[k]);
          target[k] = addModulo(target[k], term, primes[k]);
        }
      }
  }
  // y = 1 + (y - 1) per cycle: (1 + shift)^cycles, by its binomial coefficients. On a composite
  // edge's pass `cycles` is the CompositeChoice, whose weight's terms shift the counts.
  void addTransformed(Cell* into, const Cell* cells, int cycles, int closures) const {
    if (composite) {
      for (const Term& term : (*composite)[static_cast<std::size_t>(cycles)])
        addShifted(into, cells, closures + term.x, term.y, term.coefficient);
      return;
    }
    for (int b = 0; b <= cycles; ++b)
      addShifted(into, cells, closures, b, binomials[static_cast<std::size_t>(cycles)][b]);
  }
};

// sum over i >= a of c_i C(i, a) (-1)^(i - a): a polynomial in (z - 1) rewritten in z.
inline std::vector<FrontierInteger> fromShifted(const std::vector<FrontierInteger>& shifted) {
  const std::size_t n = shifted.size();
  std::vector<FrontierInteger> plain(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    if (shifted[i] == 0)
      continue;
    FrontierInteger binomial = 1;  // C(i, a), from a = i downwards
    for (std::size_t a = i + 1; a-- > 0;) {
      if ((i - a) % 2 == 0)
        plain[a] += shifted[i] * binomial;
      else
        plain[a] -= shifted[i] * binomial;
      if (a > 0) {
        binomial *= a;
        binomial /= (i - a + 1);
      }
    }
  }
  return plain;
}

}  // namespace frontier_detail
