#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "estimator/prime_field.h"

// A symmetric integer matrix held by its diagonal and its non-zero entries above it.
struct SymmetricIntegerMatrix {
  struct Entry {
    int row;
    int column;  // row != column; each unordered pair at most once
    std::int64_t value;
  };
  int size = 0;
  std::vector<std::int64_t> diagonal;
  std::vector<Entry> offDiagonal;
};

// Symmetric Gaussian elimination of a sparse matrix, planned once and replayed modulo as many
// primes as a determinant needs.
//
// The order is greedy minimum degree: each step eliminates a vertex of the matrix's graph with
// the fewest neighbours, which joins its neighbours pairwise (the fill). On sparse graphs this
// keeps the fill small (paths, trees and cycles none at all; grids O(n log n)); on expanders
// such as random 3-regular graphs the remaining graph turns dense after a while, and from the
// point where its vertices' degrees reach half their number the rest is eliminated as one dense
// block, whose contiguous rows cost less per operation than any sparse structure. The plan lists
// every update of the sparse steps as the storage slots it reads and writes, so that a replay is
// a plain loop.
//
// The elimination divides by its pivots, so a replay succeeds only when no pivot is 0 modulo the
// prime. For a positive definite matrix (a reduced Laplacian) every pivot over the rationals is
// a ratio of leading principal minors of the reordered matrix, all positive, so only the primes
// that divide one of those minors fail: finitely many, and for word-size primes rarely any.
class SparseElimination {
 public:
  // Plans the elimination of `matrix`, or gives nothing when one replay would take more than
  // `operationLimit` multiply-subtract updates (a few nanoseconds each). Planning costs about
  // what one replay does, in time and memory, and stops early when the limit is passed.
  static std::optional<SparseElimination> plan(const SymmetricIntegerMatrix& matrix,
                                               double operationLimit);

  // The determinant modulo field.prime(), or nothing when a pivot is 0 modulo it. Time: the
  // updates of the plan (updatesPerReplay()).
  std::optional<std::uint64_t> determinantModulo(const PrimeField& field) const;

  double updatesPerReplay() const { return updates_; }
  int denseBlockSize() const { return denseSize_; }

 private:
  // One sparse step: the pivot's slot, followed by the slots of its row's entries towards its
  // `neighbours` remaining neighbours; `firstUpdate` indexes updateSlots_.
  struct Step {
    int pivotSlot;
    int neighbours;
    std::size_t firstUpdate;
  };

  std::vector<std::int64_t> initialSlots_;
  std::vector<Step> steps_;
  // For each step, for each pair i <= j of its neighbours: the slot of entry (i, j).
  std::vector<std::uint32_t> updateSlots_;
  std::int64_t denseBase_ =
      0;  // the dense block's first slot; rows of denseSize_ slots, upper half used
  int denseSize_ = 0;
  double updates_ = 0.0;
};
