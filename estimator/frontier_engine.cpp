#include "estimator/frontier_engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <string>

#include "estimator/prime_field.h"

namespace {

using Key = std::uint64_t;

int labelAt(Key key, int position) {
  return static_cast<int>((key >> (4 * position)) & 15);
}

// Blocks renumbered 0, 1, ... in order of first appearance along the frontier.
Key canonical(Key key, int size) {
  std::uint8_t renamed[16];
  std::fill(std::begin(renamed), std::end(renamed), std::uint8_t{0xFF});
  std::uint8_t next = 0;
  Key result = 0;
  for (int position = 0; position < size; ++position) {
    const int label = labelAt(key, position);
    if (renamed[label] == 0xFF)
      renamed[label] = next++;
    result |= Key{renamed[label]} << (4 * position);
  }
  return result;
}

Key withNewBlock(Key key, int size) {
  int blocks = 0;
  for (int position = 0; position < size; ++position)
    blocks = std::max(blocks, labelAt(key, position) + 1);
  return key | (Key(blocks) << (4 * size));
}

Key merged(Key key, int size, int keep, int gone) {
  for (int position = 0; position < size; ++position)
    if (labelAt(key, position) == gone)
      key = (key & ~(Key{15} << (4 * position))) | (Key(keep) << (4 * position));
  return canonical(key, size);
}

bool aloneInBlock(Key key, int size, int position) {
  const int label = labelAt(key, position);
  for (int other = 0; other < size; ++other)
    if (other != position && labelAt(key, other) == label)
      return false;
  return true;
}

Key without(Key key, int size, int position) {
  const Key below = key & ((Key{1} << (4 * position)) - 1);
  const Key above = position + 1 < 16 ? (key >> (4 * (position + 1))) << (4 * position) : 0;
  return canonical(below | above, size - 1);
}

std::size_t hashOf(Key key, int shift) {
  key ^= key >> 31;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 29;
  return static_cast<std::size_t>((key * 0x94d049bb133111ebULL) >> shift);
}

// The states of one step beside their values, `width` cells a state, found through an
// open-addressing index of positions into the arrays.
template <typename Cell>
struct StateTable {
  std::vector<Key> keys;
  std::vector<Cell> cells;
  std::size_t width = 0;
};

template <typename Cell>
class StateBuilder {
 public:
  void start(StateTable<Cell>& table, std::size_t width, std::size_t expected) {
    table_ = &table;
    table.keys.clear();
    table.cells.clear();
    table.width = width;
    table.keys.reserve(expected);
    table.cells.reserve(expected * width);
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, 2 * expected));
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
    index_.assign(capacity, -1);
  }

  // The cells of state `key`, new ones zero.
  Cell* cellsOf(Key key) {
    std::size_t slot = hashOf(key, shift_);
    while (true) {
      const std::int64_t at = index_[slot];
      if (at < 0)
        break;
      if (table_->keys[static_cast<std::size_t>(at)] == key)
        return table_->cells.data() + static_cast<std::size_t>(at) * table_->width;
      slot = (slot + 1) & mask_;
    }
    const std::size_t at = table_->keys.size();
    index_[slot] = static_cast<std::int64_t>(at);
    table_->keys.push_back(key);
    table_->cells.resize(table_->cells.size() + table_->width);
    if (2 * table_->keys.size() > index_.size())
      grow();
    return table_->cells.data() + at * table_->width;
  }

 private:
  void grow() {
    const std::size_t capacity = 2 * index_.size();
    index_.assign(capacity, -1);
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
    for (std::size_t at = 0; at < table_->keys.size(); ++at) {
      std::size_t slot = hashOf(table_->keys[at], shift_);
      while (index_[slot] >= 0)
        slot = (slot + 1) & mask_;
      index_[slot] = static_cast<std::int64_t>(at);
    }
  }

  StateTable<Cell>* table_ = nullptr;
  std::vector<std::int64_t> index_;
  int shift_ = 60;
  std::size_t mask_ = 0;
};

// The sweep itself. Arithmetic gives the values: Cell, width(step) cells per state after a step
// (-1 before the first), one(cells), and add / addCycle / addClosed of a state's cells into
// another's across one step; cycleIsZero() and closureIsZero() let states worth nothing go.
// `expected(step)` bounds the states after a step, for the tables' sizes.
template <typename Arithmetic, typename Expected, typename AfterStep>
StateTable<typename Arithmetic::Cell> sweep(const FrontierPlan& plan, Arithmetic& arithmetic,
                                            Expected expected, AfterStep afterStep) {
  using Cell = typename Arithmetic::Cell;
  StateTable<Cell> current, next;
  current.width = arithmetic.width(-1);
  current.keys.push_back(0);
  current.cells.resize(current.width);
  arithmetic.one(current.cells.data());
  StateBuilder<Cell> builder;
  for (std::size_t t = 0; t < plan.steps.size(); ++t) {
    const SweepStep& step = plan.steps[t];
    const int size = t == 0 ? 0 : plan.sizes[t - 1];
    const int stepIndex = static_cast<int>(t);
    if (step.kind == SweepStepKind::AddVertex) {
      for (Key& key : current.keys)
        key = withNewBlock(key, size);
      if (!afterStep(t, current.keys.size()))
        return current;
      continue;
    }
    arithmetic.enter(stepIndex);
    builder.start(next, arithmetic.width(stepIndex), expected(t, current.keys.size()));
    const std::size_t count = current.keys.size();
    for (std::size_t s = 0; s < count; ++s) {
      const Key key = current.keys[s];
      const Cell* source = current.cells.data() + s * current.width;
      if (step.kind == SweepStepKind::Edge) {
        const int first = labelAt(key, step.first), second = labelAt(key, step.second);
        if (first == second) {
          if (!arithmetic.cycleIsZero())
            arithmetic.addCycle(builder.cellsOf(key), source);
        } else {
          arithmetic.add(builder.cellsOf(key), source);
          arithmetic.add(
              builder.cellsOf(merged(key, size, std::min(first, second), std::max(first, second))),
              source);
        }
      } else {
        const Key smaller = without(key, size, step.first);
        if (aloneInBlock(key, size, step.first) && !step.emptiesFrontier) {
          if (!arithmetic.closureIsZero())
            arithmetic.addClosed(builder.cellsOf(smaller), source);
        } else {
          arithmetic.add(builder.cellsOf(smaller), source);
        }
      }
    }
    std::swap(current, next);
    if (!afterStep(t, current.keys.size()))
      return current;
  }
  return current;
}

// Keys alone: the dry run.
struct NoValues {
  struct Cell {};
  std::size_t width(int) const { return 0; }
  void one(Cell*) const {}
  void enter(int) const {}
  bool cycleIsZero() const { return false; }
  bool closureIsZero() const { return false; }
  void add(Cell*, const Cell*) const {}
  void addCycle(Cell*, const Cell*) const {}
  void addClosed(Cell*, const Cell*) const {}
};

// The upper bound on the states after step t that the dry run measured.
struct MeasuredStates {
  const FrontierCost* cost;
  std::size_t operator()(std::size_t t, std::size_t) const {
    return static_cast<std::size_t>(cost->stepStates[t]);
  }
};

void checkMemory(const FrontierCost& cost, double cellBytes, std::size_t cap, const char* what) {
  const double bytes = frontierBytes(cost, cellBytes);
  if (bytes > static_cast<double>(cap)) {
    throw FrontierMemoryExceeded(
        std::string("the frontier engine's ") + what + " would take about " +
        std::to_string(static_cast<long long>(std::ceil(bytes / (1 << 20)))) +
        " MiB for its largest step (" + std::to_string(static_cast<long long>(cost.maxStates)) +
        " states, frontier width " + std::to_string(cost.width) + "), beyond its cap of " +
        std::to_string(cap >> 20) + " MiB");
  }
}

std::uint64_t addModulo(std::uint64_t a, std::uint64_t b, std::uint64_t p) {
  const std::uint64_t sum = a + b;  // a, b < p < 2^63
  return sum - (p & -static_cast<std::uint64_t>(sum >= p));
}

std::vector<PrimeField> firstPrimes(int count) {
  std::vector<PrimeField> fields;
  DescendingWordPrimes primes;
  for (int k = 0; k < count; ++k)
    fields.emplace_back(primes.next());
  return fields;
}

// Garner's form of the Chinese remainder theorem: the integer in [-M/2, M/2) (M the product of
// the primes) with the given plain residues, or in [0, M) when `signed_` is false.
FrontierInteger fromResidues(const std::vector<PrimeField>& fields,
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

// An integer point: K residues a state, held in Montgomery form.
struct ModularPoint {
  using Cell = std::uint64_t;
  std::vector<PrimeField> fields;
  std::vector<std::uint64_t> y, xMinusOne;  // held
  bool yIsZero, xIsOne;

  ModularPoint(int primes, std::int64_t xValue, std::int64_t yValue)
      : fields(firstPrimes(primes)), yIsZero(yValue == 0), xIsOne(xValue == 1) {
    for (const PrimeField& field : fields) {
      y.push_back(field.fromInteger(yValue));
      xMinusOne.push_back(field.fromInteger(xValue - 1));
    }
  }
  std::size_t width(int) const { return fields.size(); }
  void one(Cell* cells) const {
    for (std::size_t k = 0; k < fields.size(); ++k)
      cells[k] = fields[k].one();
  }
  void enter(int) const {}
  bool cycleIsZero() const { return yIsZero; }
  bool closureIsZero() const { return xIsOne; }
  void add(Cell* into, const Cell* from) const {
    for (std::size_t k = 0; k < fields.size(); ++k)
      into[k] = addModulo(into[k], from[k], fields[k].prime());
  }
  void addTimes(Cell* into, const Cell* from, const std::vector<std::uint64_t>& factor) const {
    for (std::size_t k = 0; k < fields.size(); ++k)
      into[k] = addModulo(into[k], fields[k].multiply(from[k], factor[k]), fields[k].prime());
  }
  void addCycle(Cell* into, const Cell* from) const { addTimes(into, from, y); }
  void addClosed(Cell* into, const Cell* from) const { addTimes(into, from, xMinusOne); }
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

  RealPoint(double x, double yValue) : y(yValue), xMinusOne(x - 1.0) {}
  std::size_t width(int) const { return 1; }
  void one(Cell* cell) const { cell->value = 1.0; }
  void enter(int) const {}
  bool cycleIsZero() const { return y == 0.0; }
  bool closureIsZero() const { return xMinusOne == 0.0; }
  void add(Cell* into, const Cell* from) const {
    into->value += from->value;
    into->error += from->error + kUnit * abs(into->value);
  }
  void addTimes(Cell* into, const Cell* from, double factor, double roundings) const {
    const WideFloat product = from->value * factor;
    into->value += product;
    into->error += from->error * std::fabs(factor) + roundings * kUnit * abs(product) +
                   kUnit * abs(into->value);
  }
  void addCycle(Cell* into, const Cell* from) const { addTimes(into, from, y, 1.0); }
  void addClosed(Cell* into, const Cell* from) const {
    addTimes(into, from, xMinusOne, kClosureRoundings);
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

std::vector<TableShape> tableShapes(const FrontierPlan& plan) {
  std::vector<TableShape> shapes;
  TableShape shape;
  std::vector<int> parent, frontier;  // union-find over the vertices met; frontier ids
  const auto find = [&](int v) {
    while (parent[v] != v)
      v = parent[v] = parent[parent[v]];
    return v;
  };
  const int nullity = plan.edgeCount - plan.rank;
  for (const SweepStep& step : plan.steps) {
    switch (step.kind) {
      case SweepStepKind::AddVertex:
        frontier.push_back(static_cast<int>(parent.size()));
        parent.push_back(static_cast<int>(parent.size()));
        break;
      case SweepStepKind::Edge: {
        const int u = find(frontier[step.first]), v = find(frontier[step.second]);
        if (u == v)
          shape.cycles = std::min(shape.cycles + 1, nullity);
        else
          parent[u] = v;
        break;
      }
      case SweepStepKind::Forget:
        if (!step.emptiesFrontier)
          shape.closures = std::min(shape.closures + 1, plan.rank);
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

  PolynomialCounts(const FrontierPlan& plan, int primeCount) : shapes(tableShapes(plan)) {
    DescendingWordPrimes source;
    for (int k = 0; k < primeCount; ++k)
      primes.push_back(source.next());
  }
  std::size_t width(int step) const {
    return (step < 0 ? TableShape{} : shapes[static_cast<std::size_t>(step)]).cells() *
           primes.size();
  }
  void one(Cell* cells) const { std::fill(cells, cells + primes.size(), 1); }
  void enter(int step) {
    from = step == 0 ? TableShape{} : shapes[static_cast<std::size_t>(step) - 1];
    to = shapes[static_cast<std::size_t>(step)];
  }
  bool cycleIsZero() const { return false; }
  bool closureIsZero() const { return false; }
  void addShifted(Cell* into, const Cell* cells, int closed, int cycled) const {
    const std::size_t K = primes.size();
    for (int i = 0; i <= from.closures && i + closed <= to.closures; ++i)
      for (int j = 0; j <= from.cycles && j + cycled <= to.cycles; ++j) {
        const Cell* source = cells + (static_cast<std::size_t>(i) * (from.cycles + 1) + j) * K;
        Cell* target =
            into + (static_cast<std::size_t>(i + closed) * (to.cycles + 1) + j + cycled) * K;
        for (std::size_t k = 0; k < K; ++k)
          target[k] = addModulo(target[k], source[k], primes[k]);
      }
  }
  void add(Cell* into, const Cell* cells) const { addShifted(into, cells, 0, 0); }
  void addCycle(Cell* into, const Cell* cells) const {
    addShifted(into, cells, 0, 0);
    addShifted(into, cells, 0, 1);
  }
  void addClosed(Cell* into, const Cell* cells) const { addShifted(into, cells, 1, 0); }
};

// sum over i >= a of c_i C(i, a) (-1)^(i - a): a polynomial in (z - 1) rewritten in z.
std::vector<FrontierInteger> fromShifted(const std::vector<FrontierInteger>& shifted) {
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

double log2OfAtLeastOne(double value) {
  return std::log2(std::max(1.0, std::fabs(value)));
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
  cost.stepStates.reserve(plan.steps.size());
  sweep(
      plan, none, [](std::size_t, std::size_t count) { return 2 * count; },
      [&](std::size_t, std::size_t count) {
        const double states = static_cast<double>(count);
        cost.stepStates.push_back(states);
        cost.states += states;
        cost.maxStates = std::max(cost.maxStates, states);
        return cost.states <= stateLimit;
      });
  cost.complete = cost.stepStates.size() == plan.steps.size();
  return cost;
}

int primesForIntegerPoint(const FrontierPlan& plan, std::int64_t x, std::int64_t y) {
  const double bits = plan.edgeCount + plan.rank * log2OfAtLeastOne(static_cast<double>(x - 1)) +
                      (plan.edgeCount - plan.rank) * log2OfAtLeastOne(static_cast<double>(y - 1));
  return static_cast<int>(std::ceil((bits + 2.0) / 62.0));
}

int primesForPolynomial(const FrontierPlan& plan) {
  return static_cast<int>(std::ceil((plan.edgeCount + 2.0) / 62.0));
}

double largestPolynomialCells(const FrontierPlan& plan) {
  double largest = 1.0;
  for (const TableShape& shape : tableShapes(plan))
    largest = std::max(largest, static_cast<double>(shape.cells()));
  return largest;
}

double frontierBytes(const FrontierCost& cost, double cellBytes) {
  // Two tables of keys and values, and an index of twice to four times the states.
  return cost.maxStates * (2.0 * (8.0 + cellBytes) + 32.0);
}

FrontierInteger frontierIntegerValue(const FrontierPlan& plan, const FrontierCost& cost,
                                     std::int64_t x, std::int64_t y, std::size_t memoryCap) {
  const int primes = primesForIntegerPoint(plan, x, y);
  checkMemory(cost, 8.0 * primes, memoryCap, "value");
  ModularPoint arithmetic(primes, x, y);
  const StateTable<std::uint64_t> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  if (last.keys.empty())
    return 0;
  std::vector<std::uint64_t> residues;
  for (int k = 0; k < primes; ++k)
    residues.push_back(arithmetic.fields[k].toInteger(last.cells[k]));
  return fromResidues(arithmetic.fields, residues, true);
}

FrontierRealValue frontierRealValue(const FrontierPlan& plan, const FrontierCost& cost, double x,
                                    double y, std::size_t memoryCap) {
  checkMemory(cost, sizeof(RealPoint::Cell), memoryCap, "value");
  RealPoint arithmetic(x, y);
  const StateTable<RealPoint::Cell> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  if (last.keys.empty())
    return {0.0, 0.0};
  // The bound's own sums round too, by far less than a thousandth of it over any sweep met.
  return {last.cells[0].value, last.cells[0].error * (1.0 + 1e-3)};
}

std::vector<std::vector<FrontierInteger>> frontierCoefficients(const FrontierPlan& plan,
                                                               const FrontierCost& cost,
                                                               std::size_t memoryCap) {
  const int primes = primesForPolynomial(plan);
  checkMemory(cost, 8.0 * primes * largestPolynomialCells(plan), memoryCap, "polynomial");
  PolynomialCounts arithmetic(plan, primes);
  const StateTable<std::uint64_t> last =
      sweep(plan, arithmetic, MeasuredStates{&cost}, [](std::size_t, std::size_t) { return true; });
  const int rank = plan.rank, nullity = plan.edgeCount - plan.rank;
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
  for (std::vector<FrontierInteger>& row : counts)
    row = fromShifted(row);
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
