#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <boost/multiprecision/gmp.hpp>

#include "estimator/branch_order.h"
#include "estimator/closed_form_values.h"
#include "estimator/exact_evaluator.h"
#include "estimator/exact_route.h"
#include "estimator/frontier_blocks.h"
#include "estimator/frontier_engine.h"
#include "estimator/frontier_order.h"
#include "estimator/full_expansion.h"
#include "estimator/integer_polynomial.h"
#include "estimator/parallel_loop.h"
#include "estimator/prime_field.h"
#include "estimator/spanning_tree_count.h"
#include "estimator/sparse_elimination.h"
#include "graph/blocks.h"
#include "graph/components.h"
#include "graph/graph.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"
#include "support/spanning_tree_log.h"

namespace {

using boost::multiprecision::mpz_int;

// The reference: the matrix-tree theorem by fraction-free (Bareiss) elimination over the
// integers, with the components found by a search of its own and the first vertex of each left
// out. Dense, O(n^3) big-integer operations: for small graphs only.
std::string bareissCount(const EdgeList& edges) {
  std::set<int> ids;
  for (auto [u, v] : edges)
    ids.insert({u, v});
  const std::vector<int> vertices(ids.begin(), ids.end());
  auto indexOf = [&](int id) {
    return static_cast<int>(std::lower_bound(vertices.begin(), vertices.end(), id) -
                            vertices.begin());
  };
  const int n = static_cast<int>(vertices.size());
  std::vector<std::vector<mpz_int>> laplacian(n, std::vector<mpz_int>(n, 0));
  for (auto [u, v] : edges) {
    if (u == v)
      continue;
    const int a = indexOf(u), b = indexOf(v);
    laplacian[a][a] += 1;
    laplacian[b][b] += 1;
    laplacian[a][b] -= 1;
    laplacian[b][a] -= 1;
  }
  std::vector<bool> reached(n, false), kept(n, true);
  for (int start = 0; start < n; ++start) {
    if (reached[start])
      continue;
    kept[start] = false;
    std::vector<int> stack{start};
    reached[start] = true;
    while (!stack.empty()) {
      const int a = stack.back();
      stack.pop_back();
      for (int b = 0; b < n; ++b)
        if (!reached[b] && laplacian[a][b] != 0)
          reached[b] = true, stack.push_back(b);
    }
  }
  std::vector<std::vector<mpz_int>> matrix;
  for (int a = 0; a < n; ++a) {
    if (!kept[a])
      continue;
    matrix.emplace_back();
    for (int b = 0; b < n; ++b)
      if (kept[b])
        matrix.back().push_back(laplacian[a][b]);
  }
  // Positive definite: no pivot is 0, so no row exchange is needed.
  const std::size_t size = matrix.size();
  mpz_int previous = 1;
  for (std::size_t k = 0; k + 1 < size; ++k) {
    for (std::size_t i = k + 1; i < size; ++i)
      for (std::size_t j = k + 1; j < size; ++j)
        matrix[i][j] = (matrix[i][j] * matrix[k][k] - matrix[i][k] * matrix[k][j]) / previous;
    previous = matrix[k][k];
  }
  return size == 0 ? "1" : matrix[size - 1][size - 1].str();
}

}  // namespace

TEST(PrimeField, ArithmeticPrimesAndZeroPivots) {
  DescendingWordPrimes primes;
  const std::uint64_t largest = primes.next();
  EXPECT_EQ(largest, (std::uint64_t{1} << 63) - 25);
  EXPECT_LT(primes.next(), largest);
  EXPECT_TRUE(isWordPrime((std::uint64_t{1} << 61) - 1));
  // Carmichael numbers, and a strong pseudoprime to the bases 2, 3, 5 and 7.
  for (std::uint64_t composite : {561ull, 1105ull, 3215031751ull, 4294967297ull})
    EXPECT_FALSE(isWordPrime(composite)) << composite;
  const PrimeField field(largest);
  __extension__ using Wide = unsigned __int128;
  const std::int64_t values[] = {
      0, 1, -1, 7, -123456789, 4611686018427387904, -9000000000000000000};
  for (std::int64_t a : values) {
    for (std::int64_t b : values) {
      auto plain = [&](std::int64_t v) {
        const std::int64_t rest = v % static_cast<std::int64_t>(largest);
        return rest < 0 ? largest - static_cast<std::uint64_t>(-rest)
                        : static_cast<std::uint64_t>(rest);
      };
      const std::uint64_t product =
          static_cast<std::uint64_t>(static_cast<Wide>(plain(a)) * plain(b) % largest);
      EXPECT_EQ(field.toInteger(field.multiply(field.fromInteger(a), field.fromInteger(b))),
                product);
      EXPECT_EQ(field.toInteger(field.subtract(field.fromInteger(a), field.fromInteger(b))),
                (plain(a) + largest - plain(b)) % largest);
    }
    if (a != 0) {
      EXPECT_EQ(field.multiply(field.inverse(field.fromInteger(a)), field.fromInteger(a)),
                field.one());
    }
  }
  // The triangle's reduced Laplacian [[2, -1], [-1, 2]] has the pivots 2 and 3 / 2: modulo 3
  // the second is 0 and the prime is refused; modulo 5 and 7 the determinant is 3.
  const SymmetricIntegerMatrix triangle{2, {2, 2}, {{0, 1, -1}}};
  const std::optional<SparseElimination> plan = SparseElimination::plan(triangle, 100);
  ASSERT_TRUE(plan);
  EXPECT_FALSE(plan->determinantModulo(PrimeField(3)));
  EXPECT_EQ(plan->determinantModulo(PrimeField(5)), 3u);
  EXPECT_EQ(plan->determinantModulo(PrimeField(7)), 3u);
}

TEST(SpanningTreeCount, PublishedCountsAndAnIndependentDeterminant) {
  EXPECT_EQ(countSpanningTrees(graphOf(gridEdges(8, 8))).decimal, "126231322912498539682594816");
  EXPECT_EQ(countSpanningTrees(graphOf(gridEdges(10, 10))).decimal,
            "5694319004079097795957215725765328371712000");
  for (int n : {2, 3, 7, 12, 40}) {
    const mpz_int cayley = boost::multiprecision::pow(mpz_int(n), n - 2);
    EXPECT_EQ(countSpanningTrees(graphOf(completeGraph(n))).decimal, cayley.str()) << "K" << n;
  }
  // Loops, parallel edges, isolated ids and several components, against Bareiss; the value is
  // the decimal rounded once, as strtod rounds it.
  std::mt19937 random(2024);
  for (int trial = 0; trial < 30; ++trial) {
    const EdgeList edges = randomMultigraph(3 + trial % 17, 2 + trial * 3, random);
    const SpanningTreeCount count = countSpanningTrees(graphOf(edges));
    ASSERT_EQ(count.decimal, bareissCount(edges)) << ::testing::PrintToString(edges);
    EXPECT_EQ(count.value.toDouble(), std::strtod(count.decimal.c_str(), nullptr));
    EXPECT_NEAR(count.naturalLog, std::log(count.value.toDouble()), 1e-12 * count.naturalLog);
  }
  EXPECT_EQ(countSpanningTrees(Graph()).decimal, "1");
  EXPECT_EQ(countSpanningTrees(graphOf({{4, 4}, {4, 4}})).decimal, "1");
  // The current edges of an edited graph: tau(K5) = tau(K5 - e) + tau(K5 / e).
  Graph deleted = graphOf(completeGraph(5)), contracted = deleted;
  deleted.deleteEdge(0);
  contracted.contractEdge(0);
  EXPECT_EQ(countSpanningTrees(deleted).decimal, "75");
  EXPECT_EQ(countSpanningTrees(contracted).decimal, "50");
}

TEST(SpanningTreeCount, LargeGraphsBeyondADoublesRangeAndTheWorkLimit) {
  // A random 3-regular multigraph on 1,000 vertices: about 10^360 trees, far beyond a double,
  // against the log-determinant of a long-double Cholesky factorisation.
  const EdgeList cubic = randomCubicMultigraph(1000, 11);
  const SpanningTreeCount count = countSpanningTrees(graphOf(cubic));
  EXPECT_NEAR(count.naturalLog, logSpanningTreeCount(cubic, 1000), 1e-9 * count.naturalLog);
  EXPECT_EQ(count.decimal.size(),
            static_cast<std::size_t>(std::floor(count.naturalLog / std::log(10.0))) + 1);
  EXPECT_FALSE(countSpanningTreesWithin(graphOf(cubic), 1e6));
  EXPECT_EQ(countSpanningTreesWithin(graphOf(gridEdges(8, 8)), 1e6)->decimal,
            "126231322912498539682594816");
}

TEST(ClosedFormValues, AgreeWithTheExactPolynomialOnRandomMultigraphs) {
  EXPECT_TRUE(onUnitHyperbola(2, 2) && onUnitHyperbola(3, 1.5) && onUnitHyperbola(0.5, -1) &&
              onUnitHyperbola(0, 0) && onUnitHyperbola(-1, 0.5));
  EXPECT_FALSE(onUnitHyperbola(1, 1) || onUnitHyperbola(2, 1) || onUnitHyperbola(1, 3));
  const double points[][2] = {{1, 1}, {2, 2}, {3, 1.5}, {0.5, -1}, {0, 0}, {-1, 0.5}, {5, 1.25}};
  std::mt19937 random(7);
  for (int trial = 0; trial < 40; ++trial) {
    const EdgeList edges = randomMultigraph(2 + trial % 6, trial % 9, random);
    const ExactTutte exact = exactTutte(edges);
    // Extra vertex ids that no edge touches change nothing.
    const Graph graph(static_cast<int>(edges.size()) * 2 + 8, edges);
    for (const auto& [x, y] : points) {
      SCOPED_TRACE(::testing::Message()
                   << ::testing::PrintToString(edges) << " at (" << x << ", " << y << ")");
      const std::optional<WideFloat> value = closedFormValue(graph, x, y);
      ASSERT_TRUE(value);
      const double truth = exact.evaluate(x, y);
      EXPECT_NEAR(value->toDouble(), truth, 1e-12 * std::max(1.0, std::abs(truth)));
    }
    EXPECT_EQ(*closedFormValue(graph, 2, 2), power(2, static_cast<int>(edges.size())));
    EXPECT_FALSE(closedFormValue(graph, 2, 1) || closedFormValue(graph, 1, 2));
  }
  EXPECT_EQ(*closedFormValue(Graph(), 0, 0), 1.0);
  EXPECT_FALSE(closedFormValue(graphOf({{0, 1}}), 0, 0)->isNegative());
}

namespace {

// Sum of t_ij x^i y^j over a table of decimal coefficients, exactly.
mpz_int sumAt(const std::vector<std::vector<std::string>>& table, int x, int y) {
  mpz_int sum = 0;
  for (std::size_t i = 0; i < table.size(); ++i)
    for (std::size_t j = 0; j < table[i].size(); ++j)
      sum += mpz_int(table[i][j]) *
             boost::multiprecision::pow(mpz_int(x), static_cast<unsigned>(i)) *
             boost::multiprecision::pow(mpz_int(y), static_cast<unsigned>(j));
  return sum;
}

// The scale of T's terms at (x, y), its coefficients being non-negative: rounding errors are
// bounded relative to it, not to T.
double termScale(const ExactTutte& exact, double x, double y) {
  return std::max(1.0, exact.evaluate(std::abs(x), std::abs(y)));
}

EdgeList petersen() {
  EdgeList edges;
  for (int k = 0; k < 5; ++k)
    edges.insert(edges.end(), {{k, (k + 1) % 5}, {k, k + 5}, {k + 5, (k + 2) % 5 + 5}});
  return edges;
}

}  // namespace

// The coefficient type's arithmetic is a ring homomorphism into the integers at every point,
// also where coefficients leave 64 bits or are negative, and its form is unique: a sum whose
// leading terms cancel is trimmed, and a result that fits in 64 bits again compares and encodes
// like one built small.
TEST(IntegerPolynomial, ExactBeyondSixtyFourBitsWithNegativeCoefficients) {
  const IntegerPolynomial x = IntegerPolynomial::monomial(1, 0),
                          y = IntegerPolynomial::monomial(0, 1);
  const IntegerPolynomial big = IntegerPolynomial(1 << 30) * IntegerPolynomial(1 << 30) *
                                IntegerPolynomial(-(1 << 30)) * x * y;  // -2^90 x y
  EXPECT_EQ(big.coefficient(1, 1), -(mpz_int(1) << 90));
  const IntegerPolynomial half = IntegerPolynomial(1 << 30) * IntegerPolynomial(1 << 30) *
                                 IntegerPolynomial(4) * x;  // 2^62 x: the sum overflows 64 bits
  EXPECT_EQ((half + half + y).coefficient(1, 0), mpz_int(1) << 63);
  const IntegerPolynomial back = big + IntegerPolynomial(-1) * big + x;
  EXPECT_EQ(back, x);
  std::string a, b;
  appendEncoding(a, back);
  appendEncoding(b, x);
  EXPECT_EQ(a, b);
  EXPECT_TRUE((big + IntegerPolynomial(-1) * big).isZero());
  EXPECT_EQ((x * x + y + IntegerPolynomial(-1) * x * x).degreeX(), 0);
  std::mt19937 random(3);
  auto randomPolynomial = [&] {
    IntegerPolynomial p;
    for (int term = 0; term < 4; ++term)
      p += IntegerPolynomial(static_cast<int>(random() % 2000001) - 1000000) *
           IntegerPolynomial::monomial(static_cast<int>(random() % 4),
                                       static_cast<int>(random() % 4));
    return p;
  };
  auto valueAt = [](const IntegerPolynomial& p, int px, int py) {
    mpz_int value = 0;
    for (int i = 0; i <= p.degreeX(); ++i)
      for (int j = 0; j <= p.degreeY(); ++j)
        value += p.coefficient(i, j) * boost::multiprecision::pow(mpz_int(px), i) *
                 boost::multiprecision::pow(mpz_int(py), j);
    return value;
  };
  for (int trial = 0; trial < 50; ++trial) {
    IntegerPolynomial p = randomPolynomial(), q = randomPolynomial();
    for (int power = 0; power < trial % 5; ++power)
      p = p * p;  // up to 2^4-th powers: coefficients far beyond 64 bits
    for (const auto& [px, py] : {std::pair{2, -3}, std::pair{-7, 5}, std::pair{1, 0}}) {
      EXPECT_EQ(valueAt(p * q, px, py), valueAt(p, px, py) * valueAt(q, px, py));
      EXPECT_EQ(valueAt(p + q, px, py), valueAt(p, px, py) + valueAt(q, px, py));
    }
  }
}

// Both forms against plain deletion-contraction over edge lists (support/exact_tutte.h), on
// random multigraphs with loops, parallel edges, several components and unused ids, on complete
// graphs whose subgraphs repeat (the cache), on random 3-regular multigraphs that branch deeply,
// and on an edited graph (current edges only); values at integer, negative and fractional
// points, their error bounded relative to the size of T's terms there.
TEST(ExactEvaluator, AgreesWithPlainDeletionContraction) {
  std::mt19937 random(11);
  std::vector<EdgeList> cases = {completeGraph(5),
                                 completeGraph(6),
                                 randomCubicMultigraph(10, 5),
                                 randomCubicMultigraph(12, 6),
                                 {}};
  for (int trial = 0; trial < 40; ++trial)
    cases.push_back(randomMultigraph(2 + trial % 7, 1 + trial % 13, random));
  const double points[][2] = {{1, 1}, {2, 0}, {0, 3}, {-1, -1}, {-2.5, 0.5}, {0.3, -1.7}, {4, 4}};
  for (const EdgeList& edges : cases) {
    SCOPED_TRACE(::testing::PrintToString(edges));
    const ExactTutte exact = exactTutte(edges);
    const Graph graph(static_cast<int>(edges.size()) + 3, edges);
    const auto table = exactTutteCoefficients(graph);
    const int rank = findComponents(graph).rank();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(rank) + 1);
    for (std::size_t i = 0; i < exact.coefficients.size(); ++i) {
      for (std::size_t j = 0; j < exact.coefficients[i].size(); ++j) {
        const bool inTable = i < table.size() && j < table[i].size();
        EXPECT_EQ(inTable ? std::stod(table[i][j]) : 0.0, exact.coefficients[i][j]) << i << j;
      }
    }
    ASSERT_EQ(table[0].size(), edges.size() - rank + 1);
    for (const auto& [x, y] : points) {
      EXPECT_NEAR(exactTutteValue(graph, x, y).toDouble(), exact.evaluate(x, y),
                  1e-13 * termScale(exact, x, y))
          << "at (" << x << ", " << y << ")";
    }
  }
  Graph edited = graphOf(completeGraph(6));
  edited.deleteEdge(0);
  edited.contractEdge(14);
  EdgeList rest;
  for (int id = 0; id < edited.edgeIdLimit(); ++id)
    if (edited.hasEdge(id))
      rest.emplace_back(edited.edge(id).u, edited.edge(id).v);
  EXPECT_EQ(exactTutteValue(edited, 3, 2).toDouble(), exactTutte(rest).evaluate(3, 2));
  EXPECT_EQ(sumAt(exactTutteCoefficients(edited), 1, 1).convert_to<double>(),
            exactTutte(rest).evaluate(1, 1));
}

// Beyond what plain recursion reaches: the closed forms of estimator/closed_form_values.h and
// published polynomials, including a grid whose 36 edges after reductions branch deeply.
TEST(ExactEvaluator, ClosedFormsAndKnownPolynomials) {
  const std::vector<std::vector<std::string>> k4 = {
      {"0", "2", "3", "1"}, {"2", "4", "0", "0"}, {"3", "0", "0", "0"}, {"1", "0", "0", "0"}};
  EXPECT_EQ(exactTutteCoefficients(graphOf(completeGraph(4))), k4);
  EXPECT_EQ(sumAt(exactTutteCoefficients(graphOf(petersen())), 1, 1), 2000);
  EXPECT_EQ(exactTutteValue(graphOf(petersen()), 1, 1).toDouble(), 2000.0);
  EXPECT_EQ(exactTutteCoefficients(Graph()), std::vector<std::vector<std::string>>{{"1"}});
  // Random 3-regular multigraphs branch deeply, and a cache that took one subgraph for another
  // shows there; the expansion without the cache is the plain sum of the reduced tree.
  std::vector<EdgeList> large = {gridEdges(5, 5), completeGraph(8)};
  for (int seed = 1; seed <= 4; ++seed)
    large.push_back(randomCubicMultigraph(24 + seed % 2 * 2, seed));
  for (const EdgeList& edges : large) {
    const Graph graph = graphOf(edges);
    const auto table = exactTutteCoefficients(graph);
    EXPECT_EQ(sumAt(table, 1, 1).str(), countSpanningTrees(graph).decimal);
    EXPECT_EQ(sumAt(table, 2, 2), mpz_int(1) << edges.size());
    const ReducedGraph<WideFloat> root(graph.vertexIdLimit(),
                                       branchOrderedEdges(graph, BranchOrder::BreadthFirst),
                                       {1.0, 1.0, 1.37, 2.91});
    const double uncached = FullExpansion<WideFloat>(false).valueOf(root).toDouble();
    EXPECT_NEAR(exactTutteValue(graph, 1.37, 2.91).toDouble(), uncached, 1e-13 * uncached);
  }
  std::mt19937 random(5);
  const double hyperbola[][2] = {{2, 2}, {3, 1.5}, {0.5, -1}, {0, 0}, {-1, 0.5}, {5, 1.25}};
  for (int trial = 0; trial < 30; ++trial) {
    const Graph graph = graphOf(randomMultigraph(2 + trial % 8, 2 + trial, random));
    for (const auto& [x, y] : hyperbola) {
      const double closed = closedFormValue(graph, x, y)->toDouble();
      EXPECT_NEAR(exactTutteValue(graph, x, y).toDouble(), closed,
                  1e-12 * std::max(1.0, std::abs(closed)))
          << trial << " at (" << x << ", " << y << ")";
    }
  }
}

// Each limit refuses what exceeds it, by one edge, with a message naming the limit and the
// size, and without expanding (a refused graph of 1,500 edges returns at once); a graph that
// its reductions fold away entirely is no work whatever its size.
TEST(ExactEvaluator, RefusesGraphsBeyondItsLimits) {
  auto message = [](auto call) -> std::string {
    try {
      call();
    } catch (const ExactSizeExceeded& refused) {
      return refused.what();
    }
    return "accepted";
  };
  EdgeList path;
  for (int k = 0; k < kExactPolynomialMaxEdges + 1; ++k)
    path.push_back({k, k + 1});
  EXPECT_EQ(message([&] { exactTutteCoefficients(graphOf(path)); }),
            "the exact Tutte polynomial takes graphs of at most 64 edges; this one has 65");
  path.pop_back();
  EXPECT_EQ(exactTutteCoefficients(graphOf(path)).back()[0], "1");  // x^64
  // K10: 45 edges, none reducible.
  const Graph k10 = graphOf(completeGraph(10));
  EXPECT_EQ(message([&] { exactTutteCoefficients(k10); }),
            "the exact Tutte polynomial takes graphs of at most 40 edges after reductions; this "
            "one has 45");
  EXPECT_EQ(exactTutteValue(k10, 1, 1).toDouble(), 1e8);  // Cayley: 10^8 trees
  const Graph cubic = graphOf(randomCubicMultigraph(1000, 1));
  const std::string refusal = message([&] { exactTutteValue(cubic, 2, 1); });
  EXPECT_TRUE(refusal.starts_with("the exact Tutte value takes graphs of at most " +
                                  std::to_string(kExactValueMaxReducedEdges) + " edges after"))
      << refusal;
  EXPECT_THROW(exactTutteValue(k10, std::nan(""), 1), std::invalid_argument);
  // A cycle of 100,000 edges: T = y + x + ... + x^(m-1), far beyond a double at x = 2.
  EXPECT_EQ(exactTutteValue(graphOf(cycleEdges(100000)), 2, 3), power(2, 100000) + 1.0);
}

namespace {

struct FrontierRun {
  FrontierPlan plan;
  FrontierCost cost;
};

FrontierRun frontierRun(const Graph& graph) {
  FrontierRun run{planFrontier(graph), {}};
  run.cost = dryRunFrontier(run.plan, 1e9);
  return run;
}

std::vector<std::vector<std::string>> decimals(
    const std::vector<std::vector<FrontierInteger>>& table) {
  std::vector<std::vector<std::string>> text;
  for (const auto& row : table) {
    text.emplace_back();
    for (const FrontierInteger& cell : row)
      text.back().push_back(cell.str());
  }
  return text;
}

// Proper colourings of the side x side grid with `colours` colours, row by row: an independent
// count of P(G, colours) = (-1)^r colours^k T(1 - colours, 0).
mpz_int gridColourings(int side, int colours) {
  std::vector<std::vector<int>> rows;
  std::vector<int> row(side, 0);
  while (true) {
    bool proper = true;
    for (int k = 0; k + 1 < side; ++k)
      proper = proper && row[k] != row[k + 1];
    if (proper)
      rows.push_back(row);
    int k = 0;
    while (k < side && ++row[k] == colours)
      row[k++] = 0;
    if (k == side)
      break;
  }
  std::vector<mpz_int> ways(rows.size(), 1);
  for (int level = 1; level < side; ++level) {
    std::vector<mpz_int> next(rows.size(), 0);
    for (std::size_t a = 0; a < rows.size(); ++a)
      for (std::size_t b = 0; b < rows.size(); ++b) {
        bool fits = true;
        for (int k = 0; k < side; ++k)
          fits = fits && rows[a][k] != rows[b][k];
        if (fits)
          next[b] += ways[a];
      }
    ways = next;
  }
  mpz_int total = 0;
  for (const mpz_int& count : ways)
    total += count;
  return total;
}

}  // namespace

// The frontier engine against plain deletion-contraction (support/exact_tutte.h) and the
// cached evaluator, on the graphs of the evaluator's own test: the whole polynomial, integer
// points of every sign exactly, and real points within the error bound the engine states (a
// bound that is also tight enough to be worth stating).
TEST(FrontierEngine, AgreesWithPlainDeletionContractionAndTheEvaluator) {
  std::mt19937 random(17);
  std::vector<EdgeList> cases = {
      completeGraph(5), completeGraph(6), randomCubicMultigraph(12, 6), {}};
  for (int trial = 0; trial < 60; ++trial)
    cases.push_back(randomMultigraph(2 + trial % 9, 1 + trial % 15, random));
  const double realPoints[][2] = {{-2.5, 0.5}, {0.3, -1.7}, {1.5, 2.25}, {1, 0.5}, {0.5, 1}};
  int foldedParts = 0;
  for (const EdgeList& edges : cases) {
    SCOPED_TRACE(::testing::PrintToString(edges));
    const ExactTutte exact = exactTutte(edges);
    const Graph graph(static_cast<int>(edges.size()) + 3, edges);
    const FrontierRun run = frontierRun(graph);
    ASSERT_TRUE(run.cost.complete);
    // Every edge once: a step of the sweep, or a loop.
    const auto edgeSteps =
        std::count_if(run.plan.steps.begin(), run.plan.steps.end(),
                      [](const SweepStep& step) { return step.kind == SweepStepKind::Edge; });
    EXPECT_EQ(edgeSteps + run.plan.loopCount, graph.edgeCount);
    const auto table = decimals(frontierCoefficients(run.plan, run.cost));
    EXPECT_EQ(table, exactTutteCoefficients(graph));
    // Through the route, block by block: the same table, and every digit at an integer point.
    const ExactPolynomial routed = exactPolynomialOrRefuse(graph, 60);
    EXPECT_EQ(routed.engine, ExactEngine::Frontier);
    EXPECT_EQ(routed.coefficients, table);
    EXPECT_EQ(exactValueOrRefuse(graph, -2, 3, 60).decimal, sumAt(table, -2, 3).str());
    // The blocks with their series and parallel classes folded wherever that narrows the sweep.
    BlockSweeps folded = planBlockSweeps(graph, BlockFolding::ForPolynomial, 0);
    ASSERT_TRUE(dryRunBlockSweeps(folded, 1e9).complete);
    EXPECT_EQ(decimals(blockCoefficients(folded)), table);
    for (const BlockSweeps::Part& part : folded.parts)
      foldedParts += !part.plan.folds.empty();
    for (int x = -3; x <= 3; ++x)
      for (int y = -3; y <= 3; ++y) {
        EXPECT_EQ(frontierIntegerValue(run.plan, run.cost, x, y), sumAt(table, x, y))
            << "at (" << x << ", " << y << ")";
        EXPECT_EQ(blockIntegerValue(folded, x, y), sumAt(table, x, y))
            << "folded, at (" << x << ", " << y << ")";
        // The primes are chosen by a bound on the terms' sizes, which sum to T at
        // (1 + |x - 1|, 1 + |y - 1|): a tree meets it at every point.
        const mpz_int termSizes = sumAt(table, 1 + std::abs(x - 1), 1 + std::abs(y - 1));
        EXPECT_LE(boost::multiprecision::msb(termSizes), integerPointBits(run.plan, x, y))
            << "at (" << x << ", " << y << ")";
      }
    for (const auto& [x, y] : realPoints) {
      const FrontierRealValue value = frontierRealValue(run.plan, run.cost, x, y);
      const double error = std::abs(value.value.toDouble() - exact.evaluate(x, y));
      EXPECT_LE(error, value.errorBound.toDouble()) << "at (" << x << ", " << y << ")";
      const FrontierRealValue byFolds = blockRealValue(folded, x, y);
      EXPECT_LE(std::abs(byFolds.value.toDouble() - exact.evaluate(x, y)),
                byFolds.errorBound.toDouble())
          << "folded, at (" << x << ", " << y << ")";
      // The sizes of the terms sum to T at (1 + |x - 1|, 1 + |y - 1|).
      const double termSizes = exact.evaluate(1 + std::abs(x - 1), 1 + std::abs(y - 1));
      EXPECT_LE(value.errorBound.toDouble(), 1e-13 * termSizes);
      EXPECT_LE(byFolds.errorBound.toDouble(), 1e-13 * termSizes);
    }
  }
  EXPECT_GE(foldedParts, 20);  // the folds were taken, not only offered
  for (const EdgeList& edges : {gridEdges(5, 5), completeGraph(8), randomCubicMultigraph(26, 3)}) {
    const Graph graph = graphOf(edges);
    const FrontierRun run = frontierRun(graph);
    EXPECT_EQ(decimals(frontierCoefficients(run.plan, run.cost)), exactTutteCoefficients(graph));
  }
  // Two triangles at a cut vertex, a pendant edge and a loop: four blocks, whose product the
  // route takes, within its stated bound of the plain recursion.
  const EdgeList bowtie = {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 2}, {4, 5}, {5, 5}};
  const std::vector<GraphBlock> blocks = blocksOf(graphOf(bowtie));
  EXPECT_EQ(blocks.size(), 4u);
  const ExactValue bowtieValue = exactValueOrRefuse(graphOf(bowtie), 0.5, -1.5, 60);
  const double bowtieExact = exactTutte(bowtie).evaluate(0.5, -1.5);
  EXPECT_LE(std::abs(bowtieValue.value.toDouble() - bowtieExact),
            bowtieValue.errorBound.toDouble());
  EXPECT_LT(bowtieValue.errorBound.toDouble(), 1e-13 * std::abs(bowtieExact) + 1e-13);
  // More edges at one vertex than a byte counts: 300 parallel edges and 400 loops, so that
  // T = y^400 (x + y + y^2 + ... + y^299).
  EdgeList bundle(300, {0, 1});
  bundle.insert(bundle.end(), 400, {1, 1});
  const FrontierRun run = frontierRun(graphOf(bundle));
  const auto table = frontierCoefficients(run.plan, run.cost);
  ASSERT_EQ(table.size(), 2u);
  ASSERT_EQ(table[0].size(), 700u);
  for (int j = 0; j < 700; ++j) {
    EXPECT_EQ(table[0][j], j > 400 && j < 700 ? 1 : 0) << j;
    EXPECT_EQ(table[1][j], j == 400 ? 1 : 0) << j;
  }
  EXPECT_EQ(frontierIntegerValue(run.plan, run.cost, 2, -1), sumAt(decimals(table), 2, -1));
  const double real = frontierRealValue(run.plan, run.cost, 0.5, 1.01).value.toDouble();
  const double expected = std::pow(1.01, 400) * (0.5 + (std::pow(1.01, 300) - 1.01) / 0.01);
  EXPECT_NEAR(real, expected, 1e-12 * expected);
}

// Beyond the evaluator's reach: the spanning trees of grids (the matrix-tree count), T(2, 2) =
// 2^m, and T(-2, 0) of the 6 x 6 grid, where terms of 60 edges cancel down to minus a third of
// its proper 3-colourings.
TEST(FrontierEngine, GridsBeyondTheEvaluator) {
  for (int side : {8, 10}) {
    const Graph graph = graphOf(gridEdges(side, side));
    const FrontierRun run = frontierRun(graph);
    EXPECT_EQ(run.plan.width, side + 1);
    EXPECT_EQ(frontierIntegerValue(run.plan, run.cost, 1, 1).str(),
              countSpanningTrees(graph).decimal);
    EXPECT_EQ(frontierIntegerValue(run.plan, run.cost, 2, 2), mpz_int(1) << graph.edgeCount);
  }
  const Graph six = graphOf(gridEdges(6, 6));
  const FrontierRun run = frontierRun(six);
  EXPECT_EQ(frontierIntegerValue(run.plan, run.cost, -2, 0), -gridColourings(6, 3) / 3);
  const auto table = frontierCoefficients(run.plan, run.cost);
  EXPECT_EQ(sumAt(decimals(table), -2, 0), -gridColourings(6, 3) / 3);
  EXPECT_EQ(sumAt(decimals(table), 1, 1).str(), countSpanningTrees(six).decimal);
  // At real points where terms of both signs cancel, the stated bound holds against the exact
  // rational value of the exact polynomial, and is a few roundings of the terms' sizes (their sum
  // is T at (1 + |x - 1|, 1 + |y - 1|)): at (-2.5, 0.5) that leaves under one digit of 3.7e10.
  using boost::multiprecision::mpq_rational;
  const auto exactlyAt = [&](double x, double y) {
    mpq_rational value = 0;  // by Horner's rule, in x over rows in y
    for (std::size_t i = table.size(); i-- > 0;) {
      mpq_rational row = 0;
      for (std::size_t j = table[i].size(); j-- > 0;)
        row = row * mpq_rational(y) + mpq_rational(table[i][j]);
      value = value * mpq_rational(x) + row;
    }
    return value;
  };
  for (const auto& [x, y] : {std::pair{-2.5, 0.5}, {0.25, -1.5}, {1.5, 0.125}}) {
    const FrontierRealValue value = frontierRealValue(run.plan, run.cost, x, y);
    const mpq_rational error = abs(mpq_rational(value.value.toDouble()) - exactlyAt(x, y));
    EXPECT_LE(error, mpq_rational(value.errorBound.toDouble())) << x << ", " << y;
    const double termSizes =
        exactlyAt(1 + std::abs(x - 1), 1 + std::abs(y - 1)).convert_to<double>();
    EXPECT_LT(value.errorBound.toDouble(), 1e-13 * termSizes);
  }
}

// The limits: a frontier wider than the packed states hold is refused at planning, a run whose
// tables would pass the memory cap before it starts, and a run without a dry run stops once its
// states pass the limit it was given, with nothing instead of a wrong value.
TEST(FrontierEngine, RefusesBeyondItsLimits) {
  const FrontierPlan wide = planFrontier(graphOf(randomCubicMultigraph(400, 2)));
  EXPECT_FALSE(wide.withinWidth());
  EXPECT_FALSE(dryRunFrontier(wide, 1e9).complete);
  EXPECT_FALSE(frontierIntegerValueWithin(wide, 2, 1, 1e9));
  const Graph ten = graphOf(gridEdges(10, 10));
  const FrontierRun run = frontierRun(ten);
  EXPECT_THROW(frontierIntegerValue(run.plan, run.cost, 2, 1, std::size_t{1} << 20),
               FrontierMemoryExceeded);
  EXPECT_THROW(frontierCoefficients(run.plan, run.cost, std::size_t{100} << 20),
               FrontierMemoryExceeded);
  const FrontierCost stopped = dryRunFrontier(run.plan, run.cost.states / 2);
  EXPECT_FALSE(stopped.complete);
  EXPECT_GT(stopped.states, run.cost.states / 2);
  EXPECT_FALSE(frontierIntegerValueWithin(run.plan, 2, 1, run.cost.states / 2));
  EXPECT_FALSE(frontierRealValueWithin(run.plan, 1.5, 2, 1e9, std::size_t{1} << 20));
  EXPECT_EQ(frontierIntegerValueWithin(run.plan, 2, 1, run.cost.states),
            frontierIntegerValue(run.plan, run.cost, 2, 1));
  const FrontierRealValue real = frontierRealValue(run.plan, run.cost, 1.5, 2);
  EXPECT_EQ(frontierRealValueWithin(run.plan, 1.5, 2, run.cost.states)->value, real.value);
  // In memory too small for a step's outcomes all at once, they go in slabs: the same sums.
  EXPECT_EQ(
      frontierRealValueWithin(run.plan, 1.5, 2, run.cost.states, std::size_t{10} << 20)->value,
      real.value);
  // The sums are taken in one order on any number of cores: the same rounding on one.
  runWithWorkerLimit(1, [&] {
    const FrontierRealValue alone = frontierRealValue(run.plan, run.cost, 1.5, 2);
    EXPECT_EQ(alone.value, real.value);
    EXPECT_EQ(alone.errorBound, real.errorBound);
  });
  // The route: beyond a limit the sentence names the engine's cost; within it the automatic
  // route, which runs without the dry run, agrees with the explicit one.
  const ExactCost cost = exactValueCost(ten, 2, 1, 1e-3);
  EXPECT_FALSE(cost.engine);
  EXPECT_NE(cost.refusal.find("the frontier engine (width 11) met over"), std::string::npos)
      << cost.refusal;
  EXPECT_FALSE(exactValueIfCheap(ten, 2, 1, 1e-3));
  // A hub next to every vertex makes each state go on in many ways: a run stops on its
  // outcomes as well as its states.
  EdgeList hubbed = gridEdges(4, 4);
  for (int v = 0; v < 16; ++v)
    hubbed.emplace_back(16, v);
  const FrontierRun hub = frontierRun(graphOf(hubbed));
  ASSERT_GT(hub.cost.outcomes, 5 * hub.cost.states);
  EXPECT_FALSE(frontierIntegerValueWithin(hub.plan, 3, 3, 1.2 * hub.cost.states));
  EXPECT_TRUE(frontierIntegerValueWithin(hub.plan, 3, 3, hub.cost.outcomes));
  const ExactValue cheap = *exactValueIfCheap(ten, 2, 1, 10.0);
  EXPECT_EQ(cheap.engine, ExactEngine::Frontier);
  EXPECT_EQ(cheap.decimal, exactValueOrRefuse(ten, 2, 1, 10.0).decimal);
  EXPECT_EQ(*cheap.decimal, frontierIntegerValue(run.plan, run.cost, 2, 1).str());
  // An exact request runs without the dry run: it meets the states the dry run counts (no more
  // where x = 1 drops the closures), and one beyond its limit stops after about the limit's
  // worth of them, naming them.
  BlockSweeps sweeps = planBlockSweeps(ten);
  const double dryStates = dryRunBlockSweeps(sweeps, 1e9).states;
  EXPECT_EQ(cheap.cost.frontierStates, dryStates);
  EXPECT_LE(exactValueOrRefuse(ten, 1, 2, 10.0).cost.frontierStates, dryStates);
  try {
    exactValueOrRefuse(ten, 2, 1, 1e-3);
    ADD_FAILURE() << "no refusal";
  } catch (const ExactSizeExceeded& refusal) {
    EXPECT_NE(std::string(refusal.what()).find("states before it stopped"), std::string::npos)
        << refusal.what();
  }
}
