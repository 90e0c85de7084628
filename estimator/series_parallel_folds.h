#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "graph/instance_reader.h"

// A 2-connected block with its series and parallel classes folded into composite edges, for the
// frontier engine: fewer vertices and edges to sweep, and on networks with
// chains of degree-two vertices a far smaller frontier (the orders find better sweeps of what is
// left). A composite edge carries two weights, a while it stays out of A and b once it joins A,
// so that over the folded graph
//   T = sum over A of prod_(e not in A) a_e prod_(e in A) b_e X^(k(A) - k(E)) Y^(|A| - |V| + k(A))
// with X = x - 1 and Y = y - 1.
// A plain edge has a = b = 1. Two edges side by side (parallel) become
//   a = a1 a2,  b = a1 b2 + b1 a2 + b1 b2 Y      (both in: the second closes a cycle),
// and two edges through a vertex w of degree two (series), w removed, become
//   a = a1 a2 X + a1 b2 + b1 a2,  b = b1 b2       (both out: w is a component of its own).
// Both keep each composite edge's value inside a block of A, a + b Y, what the edges it
// stands for would give there.
struct EdgeFold {
  enum class Kind : std::uint8_t { Series, Parallel };
  Kind kind;
  std::uint32_t left, right;  // weight ids of the parts
};

// Weight ids: 0 is a plain edge, k >= 1 the fold folds[k - 1], whose parts have smaller ids.
struct FoldedBlock {
  int vertexCount = 0;
  EdgeList edges;
  std::vector<std::uint32_t> weights;  // one a folded edge
  std::vector<EdgeFold> folds;
};

// Folds parallel edges together and removes vertices of degree two until neither is left or two
// vertices remain (a block that is series-parallel ends as one composite edge). `edges` must be
// a 2-connected block without loops on the ids 0 .. vertexCount - 1, as graph/blocks.h gives
// them. O(edges) expected, by hashing the vertex pairs.
FoldedBlock foldSeriesParallel(int vertexCount, const EdgeList& edges);

// The three weights of each composite edge in `ids`, by the formulas above in any arithmetic:
// out of A (a), joining two blocks of A (b), and inside a block of A (a + b Y). `ring` gives
// one(), times(p, q) and plus(p, q); X and Y are x - 1 and y - 1 in it. Each fold's parts serve it
// alone (the plain edge, id 0, aside), so they are let go once it is made. O(folds) operations.
template <typename Value, typename Ring>
std::vector<std::array<Value, 3>> foldedWeights(const std::vector<EdgeFold>& folds,
                                                const std::vector<std::uint32_t>& ids,
                                                const Ring& ring, const Value& X, const Value& Y) {
  std::vector<Value> out{ring.one()}, in{ring.one()};
  std::vector<char> wanted(folds.size() + 1, 0);
  for (std::uint32_t id : ids)
    wanted[id] = 1;
  const auto take = [&](std::vector<Value>& values, std::uint32_t id) {
    if (id == 0 || wanted[id])
      return values[id];
    return Value(std::move(values[id]));
  };
  for (const EdgeFold& fold : folds) {
    const Value a1 = take(out, fold.left), b1 = take(in, fold.left);
    const Value a2 = take(out, fold.right), b2 = take(in, fold.right);
    const Value mixed = ring.plus(ring.times(a1, b2), ring.times(b1, a2));
    if (fold.kind == EdgeFold::Kind::Parallel) {
      out.push_back(ring.times(a1, a2));
      in.push_back(ring.plus(mixed, ring.times(ring.times(b1, b2), Y)));
    } else {
      out.push_back(ring.plus(ring.times(ring.times(a1, a2), X), mixed));
      in.push_back(ring.times(b1, b2));
    }
  }
  std::vector<std::array<Value, 3>> weights;
  for (std::uint32_t id : ids)
    weights.push_back({out[id], in[id], ring.plus(out[id], ring.times(in[id], Y))});
  return weights;
}

// A weight as a polynomial in X = x - 1 and Y = y - 1, its coefficients modulo each of K primes:
// coefficients[(i * (degreeY + 1) + j) * K + k] for X^i Y^j modulo the k-th prime.
struct FoldPolynomial {
  int degreeX = 0;
  int degreeY = 0;
  std::vector<std::uint64_t> coefficients;
};

// A composite edge's three values: out of A (a), joining two blocks of A (b), and inside a block
// of A, in A or not (a + b Y).
struct CompositeWeights {
  FoldPolynomial out, joined, inside;
};

// The weights of weight id `id` (folds as in FoldedBlock) modulo `primes` (each below 2^63).
// Every fold's weights are polynomials with non-negative coefficients; their degrees grow with
// the edges folded, and their products cost about foldPolynomialWork(folds).
std::vector<CompositeWeights> compositeWeightsModulo(const std::vector<EdgeFold>& folds,
                                                     const std::vector<std::uint32_t>& ids,
                                                     const std::vector<std::uint64_t>& primes);

// The coefficient products (times the primes) that compositeWeightsModulo takes: a chain of L
// edges folds in about L^2 / 2 of them.
double foldPolynomialWork(const std::vector<EdgeFold>& folds);

// The largest degrees in X and in Y among a fold's three weights, for each weight id.
struct FoldDegrees {
  int x = 0, y = 0;
};
std::vector<FoldDegrees> foldDegrees(const std::vector<EdgeFold>& folds);

// The edges a weight id stands for, and the vertices of degree two folded away inside it.
struct FoldSize {
  int edges = 1, vertices = 0;
};
std::vector<FoldSize> foldSizes(const std::vector<EdgeFold>& folds);
