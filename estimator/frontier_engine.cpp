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

#include "estimator/frontier_memory.h"
#include "estimator/parallel_loop.h"
#include "estimator/prime_field.h"

namespace {

using Key = std::uint64_t;
__extension__ using DoubleWord = unsigned __int128;

int labelAt(Key key, int position) {
  return static_cast<int>((key >> (4 * position)) & 15);
}

// The sixteen labels of a key, one a byte, and back: relabelling then takes a few vector
// operations instead of a loop over the positions.
__m128i unpacked(Key key) {
  const __m128i nibbles = _mm_cvtsi64_si128(static_cast<long long>(key));
  const __m128i low = _mm_set1_epi8(0x0F);
  return _mm_unpacklo_epi8(_mm_and_si128(nibbles, low),
                           _mm_and_si128(_mm_srli_epi16(nibbles, 4), low));
}

Key packed(__m128i labels) {
  const __m128i even = _mm_and_si128(labels, _mm_set1_epi16(0x00FF));
  const __m128i odd = _mm_srli_epi16(labels, 8);
  const __m128i pairs = _mm_or_si128(even, _mm_slli_epi16(odd, 4));
  return static_cast<Key>(_mm_cvtsi128_si64(_mm_packus_epi16(pairs, pairs)));
}

// The key with a vertex appended at `size` in a block of its own, numbered after the others:
// one more than the highest label, found in a few vector operations.
Key withNewBlock(Key key, int size) {
  if (size == 0)
    return key;
  const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i highest = _mm_and_si128(
      unpacked(key), _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(size)), positions));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 4));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 2));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 1));
  const Key blocks = static_cast<Key>(_mm_cvtsi128_si32(highest) & 0xFF) + 1;
  return key | (blocks << (4 * size));
}

// The labels above `label` moved down by one: what keeps a key canonical when the block of that
// label vanishes without changing the order in which the others first appear.
__m128i closingGap(__m128i labels, int label) {
  const __m128i above = _mm_cmpgt_epi8(labels, _mm_set1_epi8(static_cast<char>(label)));
  return _mm_add_epi8(labels, above);  // -1 where above
}

// The label at a position of unpacked labels.
int labelIn(__m128i labels, int position) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(labels));
  const auto high =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(labels, labels)));
  return static_cast<int>(((position < 8 ? low : high) >> (8 * (position & 7))) & 0xFF);
}

__m128i positionsBelow(int limit) {
  const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(limit)), positions);
}

// Merging two blocks joins the later-numbered into the earlier, whose first position comes
// first: the others keep their order.
__m128i merged(__m128i labels, int keep, int gone) {
  const __m128i isGone = _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(gone)));
  labels = _mm_or_si128(_mm_andnot_si128(isGone, labels),
                        _mm_and_si128(isGone, _mm_set1_epi8(static_cast<char>(keep))));
  return closingGap(labels, gone);
}

// Canonical labels but for the block of `label`, which now first appears at position `first`
// rather than before the blocks first met between: those move down by one label, and it takes
// the highest of theirs. Blocks of labels above `label` first appear after its old first
// position, so the highest label before `first` tells how many came between. The same as
// renumbering the blocks by first appearance, in a few vector operations instead of a loop
// with a branch a position.
__m128i withBlockMovedBack(__m128i labels, int size, int label, int first) {
  __m128i highest = _mm_and_si128(labels, positionsBelow(first));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 4));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 2));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 1));
  const int top = _mm_cvtsi128_si32(highest) & 0xFF;
  if (top <= label)
    return labels;
  const __m128i isLabel = _mm_and_si128(
      positionsBelow(size), _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(label))));
  const __m128i between =
      _mm_and_si128(_mm_cmpgt_epi8(labels, _mm_set1_epi8(static_cast<char>(label))),
                    _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(top + 1)), labels));
  const __m128i moved = _mm_add_epi8(labels, between);  // -1 where between
  return _mm_or_si128(_mm_andnot_si128(isLabel, moved),
                      _mm_and_si128(isLabel, _mm_set1_epi8(static_cast<char>(top))));
}

// The labels without `position` (those above move down one place, a zero comes in at the top),
// and whether its vertex was the last of its block.
__m128i without(__m128i labels, int size, int position, bool& lastOfBlock) {
  const int label = labelIn(labels, position);
  const unsigned inFrontier = (1u << size) - 1;
  const unsigned sameBlock = static_cast<unsigned>(_mm_movemask_epi8(
                                 _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(label))))) &
                             inFrontier;
  lastOfBlock = sameBlock == (1u << position);
  const __m128i below = positionsBelow(position);
  const __m128i rest = _mm_or_si128(_mm_and_si128(below, labels),
                                    _mm_andnot_si128(below, _mm_srli_si128(labels, 1)));
  if (lastOfBlock)
    return closingGap(rest, label);
  // The block's first position moves on when the vertex leaving was it, which can put the block
  // behind others.
  if (std::countr_zero(sameBlock) == position)
    return withBlockMovedBack(rest, size - 1, label,
                              std::countr_zero(sameBlock & ~(1u << position)) - 1);
  return rest;
}

Key mixed(Key key) {
  key ^= key >> 31;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 29;
  return key * 0x94d049bb133111ebULL;
}

// The index slot: the top bits of the mixed key.
std::size_t hashOf(Key key, int shift) {
  return static_cast<std::size_t>(mixed(key) >> shift);
}

// The states are shared out among a fixed number of partitions by bits of the mixed key that no
// index of fewer than 2^40 slots uses, so that the partitions' tables are built side by side,
// and in the same way on any number of cores.
constexpr int kPartitions = 8;

// Bytes a new state takes besides its values while a vertex's pass runs: its key and two to four
// index slots. Half the cap is left for the table read and the lists.
constexpr double kNewStateBytes = 8.0 + 64.0;

int partitionOf(Key key) {
  return static_cast<int>((mixed(key) >> 20) & (kPartitions - 1));
}

// The states of one step beside their values, `width` cells a state, found through an
// open-addressing index of positions into the arrays.
template <typename Cell>
struct StateTable {
  HugePageVector<Key> keys;
  HugePageVector<Cell> cells;
  std::size_t width = 0;
};

// Builds the next step's table: an open-addressing index whose slots hold the key beside its
// position, so that a probe touches one cache line before the state's cells.
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
    resize(std::bit_ceil(std::max<std::size_t>(16, 2 * expected)));
  }

  void prefetch(Key key) const { __builtin_prefetch(&slots_[hashOf(key, shift_)]); }
  // Every cache line of the state's cells: with a few primes they straddle two lines, with
  // many they span three.
  void prefetchCells(std::size_t position) const {
    if (table_->width == 0)
      return;
    const char* first = reinterpret_cast<const char*>(cellsAt(position));
    const char* last = reinterpret_cast<const char*>(cellsAt(position) + table_->width) - 1;
    const auto line = [](const char* at) { return reinterpret_cast<std::uintptr_t>(at) >> 6; };
    for (const char* at = first; line(at) <= line(last); at += 64)
      __builtin_prefetch(at, 1);
  }

  // The position of state `key`, added with zero cells when new.
  std::size_t positionOf(Key key) {
    std::size_t slot = hashOf(key, shift_);
    while (slots_[slot].position >= 0) {
      if (slots_[slot].key == key)
        return static_cast<std::size_t>(slots_[slot].position);
      slot = (slot + 1) & mask_;
    }
    const std::size_t position = table_->keys.size();
    slots_[slot] = {key, static_cast<std::int64_t>(position)};
    table_->keys.push_back(key);
    table_->cells.resize(table_->cells.size() + table_->width);
    if (2 * table_->keys.size() > slots_.size())
      grow();
    return position;
  }

  Cell* cellsAt(std::size_t position) const {
    return table_->cells.data() + position * table_->width;
  }

 private:
  struct Slot {
    Key key;
    std::int64_t position;  // -1: empty
  };

  void resize(std::size_t capacity) {
    slots_.assign(capacity, Slot{0, -1});
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
  }

  void grow() {
    resize(2 * slots_.size());
    for (std::size_t position = 0; position < table_->keys.size(); ++position) {
      std::size_t slot = hashOf(table_->keys[position], shift_);
      while (slots_[slot].position >= 0)
        slot = (slot + 1) & mask_;
      slots_[slot] = {table_->keys[position], static_cast<std::int64_t>(position)};
    }
  }

  StateTable<Cell>* table_ = nullptr;
  std::vector<Slot> slots_;
  int shift_ = 60;
  std::size_t mask_ = 0;
};

// Builds the next step's table with each state's cells beside its key in the slots of an
// open-addressing table, so that a lookup touches one or two cache lines instead of a slot and
// then the state's cells elsewhere, and the lines can be prefetched from the key's hash alone.
// For values of a few words (points, and the dry run's keys alone); a polynomial's tables are
// too wide to leave a third of the slots empty. The slots are copied into the table in slot
// order when the pass is done, which is the same order on any number of cores.
template <typename Cell>
class RecordBuilder {
 public:
  // Cells held in the record's words: a few residues, or none (the dry run's keys).
  static bool suits(std::size_t width) {
    return std::is_same_v<Cell, std::uint64_t> ? width <= 15 : std::is_empty_v<Cell> && width == 0;
  }

  void start(StateTable<Cell>& table, std::size_t width, std::size_t expected) {
    table_ = &table;
    width_ = width;
    stride_ = width + 1;
    count_ = 0;
    resize(std::bit_ceil(std::max<std::size_t>(16, expected + expected / 8)));
  }

  // The first slot of `key`, whose record's lines (at most three for sixteen words) are
  // fetched meanwhile.
  std::size_t prefetch(Key key) const {
    const std::size_t slot = hashOf(key, shift_);
    const Key* record = records_.data() + slot * stride_;
    _mm_prefetch(reinterpret_cast<const char*>(record), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(record + width_ / 2), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(record + width_), _MM_HINT_T0);
    return slot;
  }

  // The cells of state `key`, added with zero cells when new; `slot` is its first slot from
  // prefetch, unless the table has grown since. Valid until the next call.
  Cell* cellsOf(Key key, std::size_t slot, std::size_t capacity) {
    if (capacity != mask_ + 1)
      slot = hashOf(key, shift_);
    while (true) {
      Key* record = &records_[slot * stride_];
      if (record[0] == key)
        return cellsIn(record);
      if (record[0] == kEmpty)
        break;
      slot = (slot + 1) & mask_;
    }
    if (10 * (count_ + 1) > 7 * (mask_ + 1)) {
      grow();
      return cellsOf(key, 0, 0);
    }
    ++count_;
    Key* record = &records_[slot * stride_];
    record[0] = key;
    std::fill(record + 1, record + stride_, Key{0});
    return cellsIn(record);
  }

  std::size_t size() const { return count_; }
  std::size_t capacity() const { return mask_ + 1; }

  // The states into the table, in slot order.
  void finish() {
    StateTable<Cell>& table = *table_;
    table.keys.clear();
    table.cells.clear();
    table.width = width_;
    table.keys.reserve(count_);
    table.cells.reserve(count_ * width_);
    for (std::size_t slot = 0; slot <= mask_; ++slot) {
      const Key* record = &records_[slot * stride_];
      if (record[0] == kEmpty)
        continue;
      table.keys.push_back(record[0]);
      if constexpr (std::is_same_v<Cell, std::uint64_t>)
        table.cells.insert(table.cells.end(), record + 1, record + stride_);
    }
  }

 private:
  // No canonical key: its first position is always in block 0.
  static constexpr Key kEmpty = ~Key{0};

  static Cell* cellsIn(Key* record) {
    if constexpr (std::is_same_v<Cell, std::uint64_t>)
      return record + 1;
    else
      return nullptr;  // no cells: nothing is read or written through it
  }

  void resize(std::size_t capacity) {
    records_.assign(capacity * stride_, kEmpty);
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
  }

  void grow() {
    HugePageVector<Key> old;
    old.swap(records_);
    resize(2 * (mask_ + 1));
    for (std::size_t at = 0; at < old.size(); at += stride_) {
      if (old[at] == kEmpty)
        continue;
      std::size_t slot = hashOf(old[at], shift_);
      while (records_[slot * stride_] != kEmpty)
        slot = (slot + 1) & mask_;
      std::copy(old.begin() + at, old.begin() + at + stride_, records_.begin() + slot * stride_);
    }
  }

  StateTable<Cell>* table_ = nullptr;
  HugePageVector<Key> records_;  // key, then width_ cells; kEmpty: a free slot
  std::size_t width_ = 0, stride_ = 1, count_ = 0;
  int shift_ = 60;
  std::size_t mask_ = 0;
};

bool isComposite(const SweepStep& step) {
  return step.kind == SweepStepKind::Edge && step.weight != 0;
}

// What a composite edge's outcome took, in place of a count of cycles: out of A (weight a), into
// A joining two blocks (b), or inside a block, in A or not (a + b (y - 1)).
enum CompositeChoice : std::uint16_t { kLeftOut = 0, kJoined = 1, kInsideBlock = 2 };

// One state's contribution to the state it becomes across a vertex's steps: its value times
// y^cycles (x - 1)^closures, that is, one factor y for every edge taken inside a block (in A or
// not) and one factor x - 1 for every component of A closed.
struct Contribution {
  Key key;
  std::uint32_t source;
  std::uint16_t cycles;
  std::uint8_t sourcePartition;
  std::uint8_t closures;  // at most the frontier's width
};
static_assert(sizeof(Contribution) == 16, "a list of outcomes streams through the caches");

using ContributionsByPartition = std::array<std::vector<Contribution>, kPartitions>;

// The steps of one vertex: its arrival, its edges back (loops included) and the vertices that
// leave after them. One pass over the states takes them all, so a state is looked up once per
// outcome instead of once per step.
struct VertexSteps {
  std::size_t first = 0;  // the AddVertex step
  std::size_t last = 0;   // the last step before the next vertex
};

// A composite edge (a folded block's) starts a pass of its own, whose outcomes carry which of its
// weights they took; the vertex's removals follow its last composite edge.
std::vector<VertexSteps> vertexStepsOf(const FrontierPlan& plan) {
  std::vector<VertexSteps> groups;
  for (std::size_t t = 0; t < plan.steps.size(); ++t) {
    if (plan.steps[t].kind == SweepStepKind::AddVertex || isComposite(plan.steps[t]))
      groups.push_back({t, t});
    else
      groups.back().last = t;
  }
  return groups;
}

// Appends the outcomes of state `key` across `group` to `out`: every way of taking the vertex's
// edges that merge blocks in or out of A, with the removals after them applied.
template <typename Arithmetic>
class OutcomeEnumerator {
 public:
  OutcomeEnumerator(const FrontierPlan& plan, const Arithmetic& arithmetic)
      : plan_(plan), arithmetic_(arithmetic) {}

  void enumerate(Key key, std::uint32_t source, std::uint8_t partition, const VertexSteps& group,
                 ContributionsByPartition& out) {
    group_ = &group;
    source_ = source;
    partition_ = partition;
    out_ = &out;
    const SweepStep& step = plan_.steps[group.first];
    if (isComposite(step)) {
      const __m128i labels = unpacked(key);
      const int first = labelAt(key, step.first), second = labelAt(key, step.second);
      if (first == second) {
        afterRemovals(labels, group.first + 1, kInsideBlock);
      } else {
        afterRemovals(labels, group.first + 1, kLeftOut);
        afterRemovals(merged(labels, std::min(first, second), std::max(first, second)),
                      group.first + 1, kJoined);
      }
      return;
    }
    const int size = group.first == 0 ? 0 : plan_.sizes[group.first - 1];
    afterEdges(unpacked(withNewBlock(key, size)), group.first + 1, 0);
  }

 private:
  // The labels stay unpacked through a state's outcomes, packed once into each outcome's key.
  void afterEdges(__m128i labels, std::size_t t, int cycles) {
    for (; t <= group_->last && plan_.steps[t].kind == SweepStepKind::Edge; ++t) {
      const SweepStep& step = plan_.steps[t];
      const int first = labelIn(labels, step.first), second = labelIn(labels, step.second);
      if (first == second) {
        if (arithmetic_.cycleIsZero())
          return;
        ++cycles;
        continue;
      }
      afterEdges(merged(labels, std::min(first, second), std::max(first, second)), t + 1, cycles);
    }
    afterRemovals(labels, t, cycles);
  }

  void afterRemovals(__m128i labels, std::size_t t, int cycles) {
    int closures = 0;
    for (; t <= group_->last; ++t) {
      const SweepStep& step = plan_.steps[t];
      bool lastOfBlock = false;
      labels = without(labels, plan_.sizes[t - 1], step.first, lastOfBlock);
      if (lastOfBlock && !step.emptiesFrontier) {
        if (arithmetic_.closureIsZero())
          return;
        ++closures;
      }
    }
    const Key key = packed(labels);
    (*out_)[partitionOf(key)].push_back({key, source_, static_cast<std::uint16_t>(cycles),
                                         partition_, static_cast<std::uint8_t>(closures)});
  }

  const FrontierPlan& plan_;
  const Arithmetic& arithmetic_;
  const VertexSteps* group_ = nullptr;
  std::uint32_t source_ = 0;
  std::uint8_t partition_ = 0;
  ContributionsByPartition* out_ = nullptr;
};

// The sweep itself, a vertex at a time. Arithmetic gives the values: Cell, width(step) cells per
// state after a step (-1 before the first), one(cells), enter(first, last) before a vertex's
// steps, and addTransformed(into, from, cycles, closures), which adds a state's cells times
// y^cycles (x - 1)^closures into another's; cycleIsZero() and closureIsZero() let states worth
// nothing go. `expected(step)` bounds the states after a vertex's last step, for the tables'
// sizes; afterStep(step, states) is told them and stops the sweep by returning false.
//
// Each vertex takes two parallel passes: the outcomes of fixed runs of states are listed by the
// partition they land in, then each partition's table is built from its lists in the runs'
// order. So the sums are taken in one order on any number of cores, and the floating-point
// values come out the same. The tables are far larger than the caches on the graphs that
// matter, so each lookup would wait for memory: the outcomes go in batches, whose index slots
// are all prefetched before any is probed, and whose cells are prefetched before any is added
// to.
//
// `tableLimit` bounds the states a vertex's pass may make: a pass that makes more is left
// unfinished, and the sweep ends there, as when afterStep stops it. It keeps a run without a
// dry run, and the dry run itself, within their memory while the table grows.
template <typename Arithmetic, typename Expected, typename AfterStep>
StateTable<typename Arithmetic::Cell> sweep(
    const FrontierPlan& plan, Arithmetic& arithmetic, Expected expected, AfterStep afterStep,
    double tableLimit = std::numeric_limits<double>::infinity(), double* outcomesListed = nullptr) {
  using Cell = typename Arithmetic::Cell;
  using Tables = std::array<StateTable<Cell>, kPartitions>;
  constexpr std::size_t kBatch = 64, kRun = 4096, kSlab = 16;
  // Lookups prefetched this many outcomes ahead of their use, a stream that keeps the core's
  // misses in flight rather than a batch whose first lookups wait.
  constexpr std::size_t kAhead = 16;
  // A quarter of the memory for the lists of outcomes, shared among a slab's runs,
  // and each partition's share of the table's limit.
  const double runListLimit = tableLimit * kNewStateBytes / 2 / sizeof(Contribution) / kSlab;
  const double partitionLimit = tableLimit / kPartitions;
  Tables current, next;
  for (StateTable<Cell>& table : current)
    table.width = arithmetic.width(-1);
  StateTable<Cell>& first = current[partitionOf(0)];
  first.keys.push_back(0);
  first.cells.resize(first.width);
  arithmetic.one(first.cells.data());
  std::array<StateBuilder<Cell>, kPartitions> builders;
  std::array<RecordBuilder<Cell>, kPartitions> recordBuilders;
  struct Run {
    int partition;
    std::size_t begin, end;
  };
  std::vector<Run> runs;
  std::vector<ContributionsByPartition> lists;
  for (const VertexSteps& group : vertexStepsOf(plan)) {
    arithmetic.enter(group.first, group.last);
    std::size_t count = 0;
    runs.clear();
    for (int p = 0; p < kPartitions; ++p) {
      for (std::size_t begin = 0; begin < current[p].keys.size(); begin += kRun)
        runs.push_back({p, begin, std::min(current[p].keys.size(), begin + kRun)});
      count += current[p].keys.size();
    }
    lists.resize(std::min(runs.size(), kSlab));
    const std::size_t share = expected(group.last, count) / kPartitions;
    const std::size_t width = arithmetic.width(static_cast<int>(group.last));
    const bool inRecords = RecordBuilder<Cell>::suits(width);
    // Each partition's table is cleared on its own core: on the larger steps clearing and
    // copying the tables are a tenth of the work, too much to leave to one core.
    parallelFor(kPartitions, [&](int q) {
      if (inRecords)
        recordBuilders[q].start(next[q], width, share + share / 4 + 16);
      else
        builders[q].start(next[q], width, share + share / 4 + 16);
    });
    // A slab of runs at a time, so that the lists stay small whatever a state's outcomes; the
    // runs still reach each partition in their order.
    // Flags of the runs whose lists, and of the partitions whose tables, outgrew their shares.
    bool full = false;
    std::array<char, kSlab + kPartitions> overflow{};
    // The outcomes of a slab's runs into partition q's records: a batch's records are
    // prefetched by their keys' hashes, then found and added to.
    const auto addInRecords = [&](RecordBuilder<Cell>& builder, int q, std::size_t slabRuns) {
      struct Ahead {
        std::size_t slot, capacity;
      };
      std::array<Ahead, kAhead> ahead;
      for (std::size_t k = 0; k < slabRuns && !overflow[kSlab + q]; ++k) {
        const std::vector<Contribution>& list = lists[k][q];
        const std::size_t primed = std::min(list.size(), kAhead);
        for (std::size_t c = 0; c < primed; ++c)
          ahead[c] = {builder.prefetch(list[c].key), builder.capacity()};
        for (std::size_t c = 0; c < list.size(); ++c) {
          const Ahead here = ahead[c % kAhead];
          if (c + kAhead < list.size())
            ahead[c % kAhead] = {builder.prefetch(list[c + kAhead].key), builder.capacity()};
          const StateTable<Cell>& source = current[list[c].sourcePartition];
          arithmetic.addTransformed(builder.cellsOf(list[c].key, here.slot, here.capacity),
                                    source.cells.data() + list[c].source * source.width,
                                    list[c].cycles, list[c].closures);
          if (c % kBatch == kBatch - 1 && static_cast<double>(builder.size()) > partitionLimit) {
            overflow[kSlab + q] = 1;
            break;
          }
        }
        if (static_cast<double>(builder.size()) > partitionLimit)
          overflow[kSlab + q] = 1;
      }
    };
    for (std::size_t slab = 0; slab < runs.size() && !full; slab += kSlab) {
      const std::size_t slabEnd = std::min(runs.size(), slab + kSlab);
      parallelFor(static_cast<int>(slabEnd - slab), [&](int k) {
        OutcomeEnumerator<Arithmetic> enumerator(plan, arithmetic);
        for (std::vector<Contribution>& list : lists[k])
          list.clear();
        const Run& run = runs[slab + k];
        std::size_t listed = 0;
        for (std::size_t s = run.begin; s < run.end && !overflow[k]; ++s) {
          enumerator.enumerate(current[run.partition].keys[s], static_cast<std::uint32_t>(s),
                               static_cast<std::uint8_t>(run.partition), group, lists[k]);
          if (s % 64 == 63) {
            listed = 0;
            for (const std::vector<Contribution>& list : lists[k])
              listed += list.size();
            overflow[k] = static_cast<double>(listed) > runListLimit;
          }
        }
      });
      for (std::size_t k = 0; k < slabEnd - slab; ++k)
        full = full || overflow[k];
      if (full)
        break;
      if (outcomesListed)
        for (std::size_t k = 0; k < slabEnd - slab; ++k)
          for (const std::vector<Contribution>& list : lists[k])
            *outcomesListed += static_cast<double>(list.size());
      parallelFor(kPartitions, [&](int q) {
        if (inRecords) {
          addInRecords(recordBuilders[q], q, slabEnd - slab);
          return;
        }
        StateBuilder<Cell>& builder = builders[q];
        for (std::size_t k = 0; k < slabEnd - slab && !overflow[kSlab + q]; ++k) {
          std::vector<Contribution>& list = lists[k][q];
          std::array<std::size_t, kBatch> positions;
          for (std::size_t from = 0; from < list.size(); from += kBatch) {
            const std::size_t to = std::min(list.size(), from + kBatch);
            for (std::size_t c = from; c < to; ++c)
              builder.prefetch(list[c].key);
            for (std::size_t c = from; c < to; ++c) {
              positions[c - from] = builder.positionOf(list[c].key);
              builder.prefetchCells(positions[c - from]);
            }
            for (std::size_t c = from; c < to; ++c) {
              const StateTable<Cell>& source = current[list[c].sourcePartition];
              arithmetic.addTransformed(builder.cellsAt(positions[c - from]),
                                        source.cells.data() + list[c].source * source.width,
                                        list[c].cycles, list[c].closures);
            }
            if (static_cast<double>(next[q].keys.size()) > partitionLimit) {
              overflow[kSlab + q] = 1;
              break;
            }
          }
        }
      });
      for (int q = 0; q < kPartitions; ++q)
        full = full || overflow[kSlab + q];
    }
    if (full)
      break;
    if (inRecords)
      parallelFor(kPartitions, [&](int q) { recordBuilders[q].finish(); });
    std::swap(current, next);
    std::size_t states = 0;
    for (const StateTable<Cell>& table : current)
      states += table.keys.size();
    if (!afterStep(group.last, states))
      break;
  }
  // The states of all partitions as one table (in partition order).
  StateTable<Cell> all;
  all.width = current[0].width;
  for (const StateTable<Cell>& table : current) {
    all.keys.insert(all.keys.end(), table.keys.begin(), table.keys.end());
    all.cells.insert(all.cells.end(), table.cells.begin(), table.cells.end());
  }
  return all;
}

// Keys alone: the dry run.
struct NoValues {
  struct Cell {};
  std::size_t width(int) const { return 0; }
  void one(Cell*) const {}
  void enter(std::size_t, std::size_t) const {}
  bool cycleIsZero() const { return false; }
  bool closureIsZero() const { return false; }
  void addTransformed(Cell*, const Cell*, int, int) const {}
};

// A guess at the states after a vertex's steps without a dry run: as many as before, times the
// growth of the last vertex's pass and a tenth more. The tables grow when it falls short, so
// it only needs to be right most of the time; twice as many as before, the guess of old, left
// the tables half empty and spread their lookups over twice the memory.
struct GrowingStates {
  double previous = 1.0;
  std::size_t operator()(std::size_t, std::size_t count) {
    const double states = static_cast<double>(count);
    const double growth = std::clamp(states / previous, 0.5, 4.0);
    previous = std::max(states, 1.0);
    return static_cast<std::size_t>(states * growth * 1.1) + 16;
  }
};

// The upper bound on the states after step t that the dry run measured.
struct MeasuredStates {
  const FrontierCost* cost;
  std::size_t operator()(std::size_t t, std::size_t) const {
    return static_cast<std::size_t>(cost->stepStates[t]);
  }
};

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
  // factors[c][d]: y^c (x - 1)^d, held, for each prime.
  std::vector<std::vector<std::vector<std::uint64_t>>> factors;
  bool yIsZero, xIsOne;

  // compositeFactors[slot][choice][d]: a composite edge's weight for the choice times
  // (x - 1)^d, held, for each prime; slotOf[weight id] its slot, for the ids the steps use.
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
    if (!plan.folds.empty())
      holdCompositeFactors(xValue, yValue, closures);
  }

  // Each fold's weights a and b (series_parallel_folds.h) for every prime, then the tables of the
  // composite edges the steps take.
  void holdCompositeFactors(std::int64_t xValue, std::int64_t yValue, int closures) {
    slotOf.assign(sweepPlan->folds.size() + 1, -1);
    for (const SweepStep& step : sweepPlan->steps)
      if (isComposite(step) && slotOf[step.weight] < 0) {
        slotOf[step.weight] = static_cast<int>(compositeFactors.size());
        compositeFactors.emplace_back(3, std::vector<std::vector<std::uint64_t>>(closures + 1));
      }
    for (std::size_t k = 0; k < fields.size(); ++k) {
      const PrimeField& field = fields[k];
      const std::uint64_t p = field.prime();
      const std::uint64_t xMinusOne = field.fromInteger(xValue - 1);
      const std::uint64_t yMinusOne = field.fromInteger(yValue - 1);
      const auto times = [&](std::uint64_t a, std::uint64_t b) { return field.multiply(a, b); };
      std::vector<std::uint64_t> out{field.one()}, in{field.one()};
      for (const EdgeFold& fold : sweepPlan->folds) {
        const std::uint64_t a1 = out[fold.left], b1 = in[fold.left];
        const std::uint64_t a2 = out[fold.right], b2 = in[fold.right];
        const std::uint64_t mixed = addModulo(times(a1, b2), times(b1, a2), p);
        if (fold.kind == EdgeFold::Kind::Parallel) {
          out.push_back(times(a1, a2));
          in.push_back(addModulo(mixed, times(times(b1, b2), yMinusOne), p));
        } else {
          out.push_back(addModulo(times(times(a1, a2), xMinusOne), mixed, p));
          in.push_back(times(b1, b2));
        }
      }
      for (std::size_t w = 1; w < slotOf.size(); ++w) {
        if (slotOf[w] < 0)
          continue;
        const std::uint64_t weights[3] = {out[w], in[w],
                                          addModulo(out[w], times(in[w], yMinusOne), p)};
        for (int choice = 0; choice < 3; ++choice) {
          std::uint64_t factor = weights[choice];
          for (int d = 0; d <= closures; ++d, factor = times(factor, xMinusOne))
            compositeFactors[slotOf[w]][choice][d].push_back(factor);
        }
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
    if (composite) {
      const std::vector<std::uint64_t>& factor = (*composite)[cycles][closures];
      for (std::size_t k = 0; k < fields.size(); ++k)
        into[k] = addModulo(into[k], fields[k].multiply(from[k], factor[k]), fields[k].prime());
      return;
    }
    if (cycles == 0 && closures == 0) {
      for (std::size_t k = 0; k < fields.size(); ++k)
        into[k] = addModulo(into[k], from[k], fields[k].prime());
      return;
    }
    const std::vector<std::uint64_t>& factor = factors[cycles][closures];
    for (std::size_t k = 0; k < fields.size(); ++k)
      into[k] = addModulo(into[k], fields[k].multiply(from[k], factor[k]), fields[k].prime());
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
    slotOf.assign(sweepPlan->folds.size() + 1, -1);
    const Cell X{xMinusOne, kUnit * std::fabs(xMinusOne)}, Y{y - 1.0, kUnit * std::fabs(y - 1.0)};
    std::vector<Cell> out{{1.0, 0.0}}, in{{1.0, 0.0}};
    for (const EdgeFold& fold : sweepPlan->folds) {
      const Cell &a1 = out[fold.left], &b1 = in[fold.left];
      const Cell &a2 = out[fold.right], &b2 = in[fold.right];
      const Cell mixed = plus(times(a1, b2), times(b1, a2));
      const Cell a = fold.kind == EdgeFold::Kind::Parallel ? times(a1, a2)
                                                           : plus(times(times(a1, a2), X), mixed);
      const Cell b = fold.kind == EdgeFold::Kind::Parallel ? plus(mixed, times(times(b1, b2), Y))
                                                           : times(b1, b2);
      out.push_back(a);
      in.push_back(b);
    }
    for (const SweepStep& step : sweepPlan->steps)
      if (isComposite(step) && slotOf[step.weight] < 0) {
        slotOf[step.weight] = static_cast<int>(composites.size());
        const std::uint32_t w = step.weight;
        composites.push_back({out[w], in[w], plus(out[w], times(in[w], Y))});
      }
  }

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

std::vector<TableShape> tableShapes(const FrontierPlan& plan) {
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

  // binomials[c][b]: C(c, b) modulo each prime, for as many edges as a vertex has back.
  std::vector<std::vector<std::vector<std::uint64_t>>> binomials;

  // A composite edge's weights as their non-zero terms X^x Y^y, by choice (CompositeChoice).
  struct Term {
    int x, y;
    std::vector<std::uint64_t> coefficient;  // modulo each prime
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
  }
  void holdCompositeTerms() {
    std::vector<std::uint32_t> ids;
    slotOf.assign(sweepPlan->folds.size() + 1, -1);
    for (const SweepStep& step : sweepPlan->steps)
      if (isComposite(step) && slotOf[step.weight] < 0) {
        slotOf[step.weight] = static_cast<int>(ids.size());
        ids.push_back(step.weight);
      }
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
              terms[choice].push_back({x, y, std::move(coefficient)});
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
              multiple[k] == 1 ? source[k]
                               : static_cast<std::uint64_t>(static_cast<DoubleWord>(source[k]) *
                                                            multiple[k] % primes[k]);
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

namespace {

// The constants below were measured where a state goes on in about 3.6 ways (grids, C60, random
// 3-regular graphs: 3.3 to 4.2); a hub's many edges back make a state's outcomes many more (64 a
// state on the co-appearance network of Les Miserables), and each costs about as much.
constexpr double kOutcomesPerState = 3.6;

double outcomeSpread(const FrontierCost& cost) {
  return cost.states > 0.0 ? std::max(1.0, cost.outcomes / (kOutcomesPerState * cost.states)) : 1.0;
}

}  // namespace

FrontierEstimate estimateFrontierRun(const FrontierPlan& plan, const FrontierCost& cost,
                                     FrontierTask task, int primes) {
  // Seconds per state for its lookups and per value word, and bytes per state for its key and
  // its slots in the index (16 bytes, two to four per state) besides its values in both tables.
  constexpr double kStateSeconds = 230e-9, kWordSeconds = 8e-9, kRealSeconds = 60e-9;
  // A polynomial's words are added in loops over its table, once per power of y a vertex's
  // cycles spread them over: 8.5 ns a word on one core (the 8 x 8 and 10 x 10 grids and C60
  // within 15%), and both cores take the work about 1.5 times as fast (bench/RESULTS.md).
  constexpr double kPolynomialWordSeconds = 8.5e-9, kPolynomialTwoCoreSpeedUp = 1.5;
  // The lists of a vertex's outcomes add up to four of 16 bytes per state.
  constexpr double kStateBytes = 2 * 8.0 + 64.0 + 64.0;
  FrontierEstimate estimate;
  if (task != FrontierTask::Polynomial) {
    const double words = task == FrontierTask::RealPoint ? 4.0 : primes;
    estimate.seconds =
        cost.states *
        (kStateSeconds + (task == FrontierTask::RealPoint ? kRealSeconds : kWordSeconds * words));
    estimate.bytes = cost.maxStates * (kStateBytes + 2 * 8.0 * words);
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
  StateTable<typename Arithmetic::Cell> last = sweep(
      plan, arithmetic, GrowingStates{},
      [&](std::size_t t, std::size_t count) {
        states += static_cast<double>(count);
        finished = t + 1 == plan.steps.size();
        return states <= stateLimit &&
               static_cast<double>(count) * bytesPerState <= static_cast<double>(memoryCap);
      },
      static_cast<double>(memoryCap) / 2 / (kNewStateBytes + bytesPerState / 2));
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
