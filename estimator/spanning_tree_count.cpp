#include "estimator/spanning_tree_count.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <boost/multiprecision/gmp.hpp>

#include "estimator/prime_field.h"
#include "estimator/sparse_elimination.h"
#include "graph/components.h"

namespace {

using boost::multiprecision::mpz_int;

// Bits of the modulus one prime adds: the primes used lie just below 2^63.
constexpr double kBitsPerPrime = 62.99;

// The Laplacian of the graph's non-loop edges without, in each component, the row and column of
// its vertex of largest degree: every choice gives the same determinant, and this one gives the
// smallest bound (below).
SymmetricIntegerMatrix reducedLaplacian(const Graph& graph) {
  const Components components = findComponents(graph);
  const int limit = graph.vertexIdLimit();
  std::vector<std::int64_t> degree(limit, 0);
  std::vector<std::pair<int, int>> links;
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (!graph.hasEdge(id) || graph.edge(id).u == graph.edge(id).v)
      continue;
    const Edge edge = graph.edge(id);
    ++degree[edge.u];
    ++degree[edge.v];
    links.emplace_back(edge.u, edge.v);
  }
  std::vector<int> leftOut(components.count, -1);
  for (int vertex = 0; vertex < limit; ++vertex) {
    const int component = components.componentOf[vertex];
    if (component >= 0 && (leftOut[component] < 0 || degree[vertex] > degree[leftOut[component]]))
      leftOut[component] = vertex;
  }
  std::vector<int> row(limit, -1);
  SymmetricIntegerMatrix matrix;
  for (int vertex = 0; vertex < limit; ++vertex) {
    const int component = components.componentOf[vertex];
    if (component >= 0 && leftOut[component] != vertex) {
      row[vertex] = matrix.size++;
      matrix.diagonal.push_back(degree[vertex]);
    }
  }
  // Parallel edges add up into one entry.
  std::vector<std::pair<int, int>> pairs;
  for (const auto& [u, v] : links)
    if (row[u] >= 0 && row[v] >= 0)
      pairs.push_back(std::minmax(row[u], row[v]));
  std::sort(pairs.begin(), pairs.end());
  for (std::size_t k = 0; k < pairs.size();) {
    std::size_t end = k;
    while (end < pairs.size() && pairs[end] == pairs[k])
      ++end;
    matrix.offDiagonal.push_back(
        {pairs[k].first, pairs[k].second, -static_cast<std::int64_t>(end - k)});
    k = end;
  }
  return matrix;
}

// The product of diagonal[begin, end), split in halves so that the operands stay balanced.
mpz_int product(const std::vector<std::int64_t>& diagonal, std::size_t begin, std::size_t end) {
  if (end - begin <= 16) {
    mpz_int result = 1;
    for (std::size_t k = begin; k < end; ++k)
      result *= diagonal[k];
    return result;
  }
  const std::size_t middle = begin + (end - begin) / 2;
  return product(diagonal, begin, middle) * product(diagonal, middle, end);
}

double log2OfProduct(const std::vector<std::int64_t>& diagonal) {
  double bits = 0.0;
  for (std::int64_t entry : diagonal)
    bits += std::log2(static_cast<double>(entry));
  return bits;
}

// n rounded once to 53 bits, to nearest even.
WideFloat nearestWideFloat(const mpz_int& n) {
  if (n == 0)
    return 0.0;
  const std::int64_t bits = static_cast<std::int64_t>(boost::multiprecision::msb(n)) + 1;
  if (bits <= 53)
    return n.convert_to<double>();  // exact
  const auto shift = static_cast<unsigned>(bits - 53);
  mpz_int top = n >> shift;
  const mpz_int rest = n - (top << shift);
  const mpz_int half = mpz_int(1) << (shift - 1);
  if (rest > half || (rest == half && boost::multiprecision::bit_test(top, 0)))
    ++top;  // may reach 2^53, still exact in a double
  return WideFloat::scaledByPowerOfTwo(top.convert_to<double>(), shift);
}

std::uint64_t remainder(const mpz_int& n, std::uint64_t prime) {
  return mpz_fdiv_ui(n.backend().data(), prime);
}

// The determinant from its residues modulo primes, added one at a time until their product
// exceeds `bound` (Garner's form of the Chinese remainder theorem). The determinant of a
// positive semidefinite matrix is at least 0 and, by Hadamard's inequality, at most the product
// of its diagonal, which is `bound`: so it is the one residue in [0, product of the primes)
// and the result is exact. A prime at which the elimination meets a zero pivot is passed over.
mpz_int determinantByRemainders(const SparseElimination& elimination, const mpz_int& bound) {
  mpz_int value = 0, modulus = 1;
  DescendingWordPrimes primes;
  while (modulus <= bound) {
    const PrimeField field(primes.next());
    const std::optional<std::uint64_t> determinant = elimination.determinantModulo(field);
    if (!determinant)
      continue;
    // value + modulus * t is the determinant modulo `modulus` and now modulo p too.
    auto held = [&field](std::uint64_t residue) {
      return field.fromInteger(static_cast<std::int64_t>(residue));  // residue < p < 2^63
    };
    const std::uint64_t p = field.prime();
    const std::uint64_t t = field.toInteger(
        field.multiply(field.subtract(held(*determinant), held(remainder(value, p))),
                       field.inverse(held(remainder(modulus, p)))));
    value += modulus * t;
    modulus *= field.prime();
  }
  return value;
}

}  // namespace

std::optional<SpanningTreeCount> countSpanningTreesWithin(const Graph& graph,
                                                          double operationLimit) {
  const SymmetricIntegerMatrix laplacian = reducedLaplacian(graph);
  // Two primes more than the bound needs, for the rare one that is passed over.
  const double primes = std::floor(log2OfProduct(laplacian.diagonal) / kBitsPerPrime) + 3.0;
  const std::optional<SparseElimination> elimination =
      SparseElimination::plan(laplacian, operationLimit / primes);
  if (!elimination)
    return std::nullopt;
  const mpz_int count = determinantByRemainders(
      *elimination, product(laplacian.diagonal, 0, laplacian.diagonal.size()));
  const WideFloat value = nearestWideFloat(count);
  return SpanningTreeCount{count.str(), value, log(value)};
}

SpanningTreeCount countSpanningTrees(const Graph& graph) {
  return *countSpanningTreesWithin(graph, std::numeric_limits<double>::infinity());
}
