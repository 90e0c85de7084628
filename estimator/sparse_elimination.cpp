#include "estimator/sparse_elimination.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <set>
#include <utility>

namespace {

// The remaining graph is eliminated as one dense block once the vertex of least degree is joined
// to this share of the others: past that point fill makes it nearly complete anyway.
constexpr double kDenseShare = 0.5;

using Adjacency = std::vector<std::vector<int>>;

// Each vertex's neighbours in the matrix's graph, sorted.
Adjacency adjacencyOf(const SymmetricIntegerMatrix& matrix) {
  Adjacency adjacency(matrix.size);
  for (const SymmetricIntegerMatrix::Entry& entry : matrix.offDiagonal) {
    if (entry.value == 0)
      continue;
    adjacency[entry.row].push_back(entry.column);
    adjacency[entry.column].push_back(entry.row);
  }
  for (std::vector<int>& neighbours : adjacency) {
    std::sort(neighbours.begin(), neighbours.end());
    neighbours.erase(std::unique(neighbours.begin(), neighbours.end()), neighbours.end());
  }
  return adjacency;
}

// A neighbour's new neighbours once `eliminated` is gone and its neighbours form a clique.
std::vector<int> withClique(const std::vector<int>& own, const std::vector<int>& clique, int self,
                            int eliminated) {
  std::vector<int> merged;
  merged.reserve(own.size() + clique.size());
  std::set_union(own.begin(), own.end(), clique.begin(), clique.end(), std::back_inserter(merged));
  std::erase_if(merged, [&](int vertex) { return vertex == self || vertex == eliminated; });
  return merged;
}

// Updates of one elimination step with `neighbours` neighbours: every pair i <= j.
double stepUpdates(double neighbours) {
  return neighbours * (neighbours + 1.0) / 2.0;
}

// Updates of the dense elimination of a block of `size` rows, upper halves only.
double denseUpdates(double size) {
  return size * (size + 1.0) * (size + 2.0) / 6.0;
}

struct Ordering {
  std::vector<int> sparseOrder;
  // Per vertex of a sparse step: its neighbours when it was eliminated, sorted.
  std::vector<std::vector<int>> pattern;
  std::vector<int> denseVertices;  // sorted
  double updates = 0.0;
};

std::optional<Ordering> minimumDegreeOrdering(const SymmetricIntegerMatrix& matrix,
                                              double operationLimit) {
  Adjacency adjacency = adjacencyOf(matrix);
  std::set<std::pair<std::size_t, int>> byDegree;
  for (int vertex = 0; vertex < matrix.size; ++vertex)
    byDegree.insert({adjacency[vertex].size(), vertex});
  Ordering ordering;
  ordering.pattern.resize(matrix.size);
  while (!byDegree.empty()) {
    const auto [degree, vertex] = *byDegree.begin();
    const double others = static_cast<double>(byDegree.size() - 1);
    if (degree > 0 && static_cast<double>(degree) >= kDenseShare * others)
      break;
    byDegree.erase(byDegree.begin());
    ordering.updates += stepUpdates(static_cast<double>(degree));
    if (ordering.updates > operationLimit)
      return std::nullopt;
    const std::vector<int>& clique = adjacency[vertex];
    for (int neighbour : clique) {
      byDegree.erase({adjacency[neighbour].size(), neighbour});
      adjacency[neighbour] = withClique(adjacency[neighbour], clique, neighbour, vertex);
      byDegree.insert({adjacency[neighbour].size(), neighbour});
    }
    ordering.sparseOrder.push_back(vertex);
    ordering.pattern[vertex] = std::move(adjacency[vertex]);
  }
  for (const auto& [degree, vertex] : byDegree)
    ordering.denseVertices.push_back(vertex);
  std::sort(ordering.denseVertices.begin(), ordering.denseVertices.end());
  ordering.updates += denseUpdates(static_cast<double>(ordering.denseVertices.size()));
  if (ordering.updates > operationLimit)
    return std::nullopt;
  return ordering;
}

// Where each matrix entry lives. A sparse step's vertex owns a row: its diagonal, then its
// entries towards its pattern, in pattern order. The dense block is square and row-major, of
// which only the upper half is used. Entry (a, b) lives in the row of whichever of a and b is
// eliminated first: the later one is still present then and, being adjacent, in its pattern
// (edges of the remaining graph only ever gain, through fill).
class SlotMap {
 public:
  explicit SlotMap(const Ordering& ordering) : ordering_(ordering) {
    const std::size_t vertices = ordering.pattern.size();
    rowStart_.assign(vertices, -1);
    sparsePosition_.assign(vertices, -1);
    densePosition_.assign(vertices, -1);
    std::int64_t slot = 0;
    for (std::size_t k = 0; k < ordering.sparseOrder.size(); ++k) {
      const int vertex = ordering.sparseOrder[k];
      sparsePosition_[vertex] = static_cast<int>(k);
      rowStart_[vertex] = slot;
      slot += 1 + static_cast<std::int64_t>(ordering.pattern[vertex].size());
    }
    denseBase_ = slot;
    denseSize_ = static_cast<std::int64_t>(ordering.denseVertices.size());
    for (std::size_t k = 0; k < ordering.denseVertices.size(); ++k)
      densePosition_[ordering.denseVertices[k]] = static_cast<int>(k);
    slotCount_ = denseBase_ + denseSize_ * denseSize_;
  }

  std::int64_t slotCount() const { return slotCount_; }
  std::int64_t denseBase() const { return denseBase_; }

  std::int64_t diagonal(int vertex) const {
    if (rowStart_[vertex] >= 0)
      return rowStart_[vertex];
    return dense(densePosition_[vertex], densePosition_[vertex]);
  }

  std::int64_t entry(int a, int b) const {
    if (eliminatedAfter(a, b))
      std::swap(a, b);
    if (rowStart_[a] < 0)
      return dense(std::min(densePosition_[a], densePosition_[b]),
                   std::max(densePosition_[a], densePosition_[b]));
    const std::vector<int>& pattern = ordering_.pattern[a];
    const auto at = std::lower_bound(pattern.begin(), pattern.end(), b);
    return rowStart_[a] + 1 + (at - pattern.begin());
  }

 private:
  bool eliminatedAfter(int a, int b) const {
    if (sparsePosition_[a] < 0)
      return sparsePosition_[b] >= 0;
    return sparsePosition_[b] >= 0 && sparsePosition_[b] < sparsePosition_[a];
  }
  std::int64_t dense(std::int64_t row, std::int64_t column) const {
    return denseBase_ + row * denseSize_ + column;
  }

  const Ordering& ordering_;
  std::vector<std::int64_t> rowStart_;
  std::vector<int> sparsePosition_;
  std::vector<int> densePosition_;
  std::int64_t denseBase_ = 0;
  std::int64_t denseSize_ = 0;
  std::int64_t slotCount_ = 0;
};

}  // namespace

std::optional<SparseElimination> SparseElimination::plan(const SymmetricIntegerMatrix& matrix,
                                                         double operationLimit) {
  const std::optional<Ordering> ordering = minimumDegreeOrdering(matrix, operationLimit);
  if (!ordering)
    return std::nullopt;
  const SlotMap slots(*ordering);
  // Slots are held as 32-bit indices in the update list.
  if (slots.slotCount() > std::numeric_limits<std::uint32_t>::max())
    return std::nullopt;
  SparseElimination elimination;
  elimination.initialSlots_.assign(slots.slotCount(), 0);
  for (int vertex = 0; vertex < matrix.size; ++vertex)
    elimination.initialSlots_[slots.diagonal(vertex)] = matrix.diagonal[vertex];
  for (const SymmetricIntegerMatrix::Entry& entry : matrix.offDiagonal)
    elimination.initialSlots_[slots.entry(entry.row, entry.column)] += entry.value;
  for (int vertex : ordering->sparseOrder) {
    const std::vector<int>& pattern = ordering->pattern[vertex];
    elimination.steps_.push_back({static_cast<int>(slots.diagonal(vertex)),
                                  static_cast<int>(pattern.size()),
                                  elimination.updateSlots_.size()});
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      elimination.updateSlots_.push_back(static_cast<std::uint32_t>(slots.diagonal(pattern[i])));
      for (std::size_t j = i + 1; j < pattern.size(); ++j)
        elimination.updateSlots_.push_back(
            static_cast<std::uint32_t>(slots.entry(pattern[i], pattern[j])));
    }
  }
  elimination.denseBase_ = slots.denseBase();
  elimination.denseSize_ = static_cast<int>(ordering->denseVertices.size());
  elimination.updates_ = ordering->updates;
  return elimination;
}

std::optional<std::uint64_t> SparseElimination::determinantModulo(const PrimeField& field) const {
  std::vector<std::uint64_t> slots(initialSlots_.size());
  for (std::size_t k = 0; k < slots.size(); ++k)
    slots[k] = field.fromInteger(initialSlots_[k]);
  std::uint64_t determinant = field.one();
  // Multiplies the determinant by the pivot and gives its inverse, or nothing when it is 0.
  auto takePivot = [&](std::uint64_t pivot) -> std::optional<std::uint64_t> {
    if (pivot == 0)
      return std::nullopt;
    determinant = field.multiply(determinant, pivot);
    return field.inverse(pivot);
  };
  // Sparse steps: A[a][b] -= A[v][a] * A[v][b] / A[v][v] for every pair of v's neighbours. No
  // step writes its own row, so the row can be read in place.
  const std::uint32_t* target = updateSlots_.data();
  for (const Step& step : steps_) {
    const std::optional<std::uint64_t> inverse = takePivot(slots[step.pivotSlot]);
    if (!inverse)
      return std::nullopt;
    const std::uint64_t* row = slots.data() + step.pivotSlot + 1;
    for (int i = 0; i < step.neighbours; ++i) {
      const std::uint64_t scale = field.multiply(row[i], *inverse);
      for (int j = i; j < step.neighbours; ++j, ++target)
        slots[*target] = field.subtract(slots[*target], field.multiply(row[j], scale));
    }
  }
  // The dense block, row by row on the upper half.
  std::uint64_t* const block = slots.data() + denseBase_;
  const std::size_t size = static_cast<std::size_t>(denseSize_);
  for (std::size_t k = 0; k < size; ++k) {
    const std::uint64_t* pivotRow = block + k * size;
    const std::optional<std::uint64_t> inverse = takePivot(pivotRow[k]);
    if (!inverse)
      return std::nullopt;
    for (std::size_t i = k + 1; i < size; ++i) {
      if (pivotRow[i] == 0)
        continue;
      const std::uint64_t scale = field.multiply(pivotRow[i], *inverse);
      std::uint64_t* row = block + i * size;
      for (std::size_t j = i; j < size; ++j)
        row[j] = field.subtract(row[j], field.multiply(pivotRow[j], scale));
    }
  }
  return field.toInteger(determinant);
}
