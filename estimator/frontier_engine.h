#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include <boost/multiprecision/gmp.hpp>

#include "estimator/frontier_order.h"
#include "estimator/wide_float.h"

// Exact Tutte values and polynomials by a transfer matrix along a sweep (frontier_order.h):
//   T(G; x, y) = sum over A of (x - 1)^(k(A) - k(G)) (y - 1)^(|A| - |V| + k(A)).
// The sweep carries one value per partition of the frontier into the blocks that the chosen
// edges connect, with the edges taken so far summed out. An edge either stays out of A, or
// joins A and merges two blocks, or joins A inside one block (closing a cycle: a factor y - 1,
// so the state is worth y times itself). A vertex leaving the frontier as the last of its block
// closes a component of A: a factor x - 1, except for the last component of each connected
// component of G (the one whose vertex empties the frontier). Equal partitions are merged by
// adding their values, so the work is the sum over steps of the partitions met, times the cost
// of a value; at x = 1 (or y = 0) the states worth nothing are dropped as they appear.
//
// States are canonical (blocks numbered by first appearance along the frontier) and packed four
// bits a vertex into one word, held in a flat array beside their values and found through an
// open-addressing index rebuilt at every step. Memory: two such tables, keys plus values, and
// the index; refused beyond a cap before the run (FrontierMemoryExceeded). The states are shared
// out among partitions by their hash, as many as keep each partition's table within a core's
// cache, whose tables are built on all cores (estimator/parallel_loop.h), each from its outcomes
// in a fixed order: so the values, rounding included, are the same on any number of cores.

using FrontierInteger = boost::multiprecision::mpz_int;

// The memory the engine may take by default, and what it refuses beyond.
inline constexpr std::size_t kFrontierMemoryCap = std::size_t{4} << 30;

class FrontierMemoryExceeded : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// What a sweep will cost, from a dry run over the states alone.
struct FrontierCost {
  int width = 0;
  double states = 0.0;             // summed over the steps
  double outcomes = 0.0;           // the ways the states met go on, summed over the steps
  double maxStates = 0.0;          // of the largest step
  std::vector<double> stepStates;  // after each step, for the tables' sizes
  // Stopped at the state limit: the figures are lower bounds.
  bool complete = true;
};

// Counts the states of every step of `plan` (no values), stopping once the states summed over
// the steps pass `stateLimit`. Cost: about a third of a run at a point, O(states) memory.
FrontierCost dryRunFrontier(const FrontierPlan& plan, double stateLimit);

// The primes a run carries per state: their product must exceed twice the largest value
// possible; the polynomial's counts are at most 2^m.
int primesForIntegerPoint(const FrontierPlan& plan, std::int64_t x, std::int64_t y);
// log2 of a bound on the sum of the sizes of T(x, y)'s terms (so on |T(x, y)|) that the primes
// above are chosen by.
double integerPointBits(const FrontierPlan& plan, std::int64_t x, std::int64_t y);
int primesForPolynomial(const FrontierPlan& plan);

enum class FrontierTask { IntegerPoint, RealPoint, Polynomial };

// What a state of a run takes besides its values' words (estimateFrontierRun), where it goes on
// in about 3.6 ways: its lookups and lists. With each step's partitions within the caches, whole
// states took 105-145 ns on the 12 x 12 grid (6 primes) and 125-170 ns on the 14 x 14 grid (6 to
// 8 primes) on both cores of this project's machine, C60 about as predicted; with 8 ns a word on
// top, the model is 0.9 to 1.5 times these (bench/RESULTS.md).
inline constexpr double kFrontierStateSeconds = 110e-9;

// The time and memory a run would take, from the dry run's states: a per-state cost for the
// lookups plus a per-word cost for the values, measured on this project's 2-core machine on
// square grids (bench/RESULTS.md); the memory is that of the largest step's two tables and
// index. `primes` as the functions above give them (ignored at real points).
struct FrontierEstimate {
  double seconds = 0.0;
  double bytes = 0.0;
};
FrontierEstimate estimateFrontierRun(const FrontierPlan& plan, const FrontierCost& cost,
                                     FrontierTask task, int primes);

// T(G; x, y) exactly at an integer point, any sign: the value modulo enough word-size primes
// (one pass carries all of them), put together by Chinese remaindering.
// Throws FrontierMemoryExceeded when the largest step's tables would pass `memoryCap`.
FrontierInteger frontierIntegerValue(const FrontierPlan& plan, const FrontierCost& cost,
                                     std::int64_t x, std::int64_t y,
                                     std::size_t memoryCap = kFrontierMemoryCap);

// T(G; x, y) in floating point with a bound on its error: beside every value the sweep carries a
// bound on its accumulated rounding error (each product and sum adds at most 2^-53 of its
// rounded result, inflated slightly for the rounding of the bound itself), so |value - T| <=
// errorBound holds for every sign of x - 1 and y - 1. Where every term is non-negative
// (x, y >= 1) the bound is a small multiple of 2^-53 |T| per step; where terms cancel it is
// relative to the sum of their sizes, and the digits left are log10(|value| / errorBound).
struct FrontierRealValue {
  WideFloat value;
  WideFloat errorBound;
};
FrontierRealValue frontierRealValue(const FrontierPlan& plan, const FrontierCost& cost, double x,
                                    double y, std::size_t memoryCap = kFrontierMemoryCap);

// The same without a dry run, for callers that would rather spend a bounded effort than predict
// it: the run stops once its states summed over the steps pass `stateLimit`, or its largest
// step would pass `memoryCap`, and gives nothing. Costs at most the states' worth of a run.
// `statesSpent`, when given, receives the states the run met.
std::optional<FrontierInteger> frontierIntegerValueWithin(
    const FrontierPlan& plan, std::int64_t x, std::int64_t y, double stateLimit,
    std::size_t memoryCap = kFrontierMemoryCap, double* statesSpent = nullptr);
std::optional<FrontierRealValue> frontierRealValueWithin(const FrontierPlan& plan, double x,
                                                         double y, double stateLimit,
                                                         std::size_t memoryCap = kFrontierMemoryCap,
                                                         double* statesSpent = nullptr);

// The coefficients t_ij of T(G; x, y), row i for x^i and column j for y^j, i up to the rank r and
// j up to the nullity m - r. States carry the counts of edge subsets by (components closed,
// cycles closed), modulo primes whose product exceeds 2^m (no count is larger), which the end
// turns into the coefficients in x and y. Each state's table is as large as the components and
// cycles possible so far, so memory grows with the states times a quarter of (r + 1)(m - r + 1)
// or so mid-sweep.
std::vector<std::vector<FrontierInteger>> frontierCoefficients(
    const FrontierPlan& plan, const FrontierCost& cost, std::size_t memoryCap = kFrontierMemoryCap);
