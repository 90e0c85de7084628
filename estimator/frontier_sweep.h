#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "estimator/frontier_engine.h"
#include "estimator/frontier_keys.h"
#include "estimator/frontier_order.h"
#include "estimator/frontier_tables.h"
#include "estimator/parallel_loop.h"

// The frontier engine's sweep (frontier_engine.h): each vertex's pass lists every state's outcomes
// and builds the next step's tables from them, on all cores, in an order that does not depend on
// their number. Internal to the engine.
namespace frontier_detail {

inline bool isComposite(const SweepStep& step) {
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
  std::uint32_t source;  // the state's position in its table
  std::uint16_t cycles;
  std::uint8_t sourceTable;  // which of the tables read
  std::uint8_t closures;     // at most the frontier's width
};
static_assert(sizeof(Contribution) == 16, "a list of outcomes streams through the caches");

// The outcomes of a run of states, grouped by the partition they land in, each group in the
// states' order: partition q's are at [starts[q], starts[q + 1]).
struct RunOutcomes {
  std::vector<Contribution> outcomes;
  std::vector<std::uint32_t> starts;
};

// The steps of one vertex: its arrival, its edges back (loops included) and the vertices that
// leave after them. One pass over the states takes them all, so a state is looked up once per
// outcome instead of once per step.
struct VertexSteps {
  std::size_t first = 0;  // the AddVertex step
  std::size_t last = 0;   // the last step before the next vertex
};

// A composite edge (a folded block's) starts a pass of its own, whose outcomes carry which of its
// weights they took; the vertex's removals follow its last composite edge.
inline std::vector<VertexSteps> vertexStepsOf(const FrontierPlan& plan) {
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

  void enumerate(Key key, std::uint32_t source, std::uint8_t sourceTable, const VertexSteps& group,
                 std::vector<Contribution>& out) {
    group_ = &group;
    source_ = source;
    sourceTable_ = sourceTable;
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
    out_->push_back({packed(labels), source_, static_cast<std::uint16_t>(cycles), sourceTable_,
                     static_cast<std::uint8_t>(closures)});
  }

  const FrontierPlan& plan_;
  const Arithmetic& arithmetic_;
  const VertexSteps* group_ = nullptr;
  std::uint32_t source_ = 0;
  std::uint8_t sourceTable_ = 0;
  std::vector<Contribution>* out_ = nullptr;
};

// The lines of a state's cells, ahead of their use: the sources of a list of outcomes climb
// through a run of states in uneven steps, which the hardware's prefetchers do not follow.
template <typename Cell>
void prefetchCells(const StateTable<Cell>& table, std::size_t position) {
  if (table.width == 0)
    return;
  const char* first = reinterpret_cast<const char*>(table.cells.data() + position * table.width);
  _mm_prefetch(first, _MM_HINT_T0);
  _mm_prefetch(first + sizeof(Cell) * table.width - 1, _MM_HINT_T0);
}

// States a partition's table is sized for: with a few residues a state its records take one or
// two megabytes, so that the lookups of a partition's outcomes stay within a core's own cache.
inline constexpr std::size_t kPartitionStates = std::size_t{1} << 14;

inline std::size_t partitionsFor(std::size_t expectedStates) {
  return std::clamp(std::bit_ceil(expectedStates / kPartitionStates + 1), kMinPartitions,
                    kMaxPartitions);
}

// Lists the outcomes of states [begin, end) of `table` across `group` into `run`, grouped by
// their partitions.
template <typename Arithmetic, typename Cell>
void listRun(OutcomeEnumerator<Arithmetic>& enumerator, const StateTable<Cell>& table,
             std::uint8_t tableIndex, std::size_t begin, std::size_t end, const VertexSteps& group,
             std::size_t partitions, RunOutcomes& run) {
  thread_local std::vector<Contribution> outcomes;
  thread_local std::vector<std::uint16_t> partitionsOf;
  outcomes.clear();
  for (std::size_t s = begin; s < end; ++s)
    enumerator.enumerate(table.keys[s], static_cast<std::uint32_t>(s), tableIndex, group, outcomes);
  run.starts.assign(partitions + 1, 0);
  partitionsOf.resize(outcomes.size());
  for (std::size_t c = 0; c < outcomes.size(); ++c) {
    partitionsOf[c] = static_cast<std::uint16_t>(partitionOf(outcomes[c].key, partitions));
    ++run.starts[partitionsOf[c] + 1];
  }
  for (std::size_t q = 0; q < partitions; ++q)
    run.starts[q + 1] += run.starts[q];
  // Exactly the room the run needs and an eighth, rather than twice it.
  if (run.outcomes.capacity() < outcomes.size()) {
    run.outcomes.clear();
    run.outcomes.reserve(outcomes.size() + outcomes.size() / 8);
  }
  run.outcomes.resize(outcomes.size());
  std::vector<std::uint32_t> at(run.starts.begin(), run.starts.end() - 1);
  for (std::size_t c = 0; c < outcomes.size(); ++c)
    run.outcomes[at[partitionsOf[c]]++] = outcomes[c];
}

// The outcomes landing in one partition, run after run.
class PartitionOutcomes {
 public:
  PartitionOutcomes(const std::vector<RunOutcomes>& runs, std::size_t runCount,
                    std::size_t partition)
      : runs_(runs), runCount_(runCount), partition_(partition) {}

  const Contribution* next() {
    while (at_ == end_) {
      if (run_ == runCount_)
        return nullptr;
      const RunOutcomes& run = runs_[run_++];
      at_ = run.outcomes.data() + run.starts[partition_];
      end_ = run.outcomes.data() + run.starts[partition_ + 1];
    }
    return at_++;
  }

 private:
  const std::vector<RunOutcomes>& runs_;
  std::size_t runCount_, partition_, run_ = 0;
  const Contribution* at_ = nullptr;
  const Contribution* end_ = nullptr;
};

// Adds one partition's outcomes into its records, each record's lines and its source's cells
// prefetched this many outcomes ahead of their use: a stream that keeps the core's misses in
// flight. Returns false once the records pass `limit` states.
template <std::size_t kAhead, typename Arithmetic, typename Cell>
bool addInRecords(RecordBuilder<Cell>& builder, PartitionOutcomes outcomes,
                  const std::vector<StateTable<Cell>>& sources, const Arithmetic& arithmetic,
                  double limit) {
  struct Ahead {
    const Contribution* outcome;
    std::size_t slot, capacity;
  };
  std::array<Ahead, kAhead> ahead;
  std::size_t pulled = 0, added = 0;
  const auto pull = [&] {
    const Contribution* outcome = outcomes.next();
    if (outcome == nullptr)
      return false;
    ahead[pulled++ % kAhead] = {outcome, builder.prefetch(outcome->key), builder.capacity()};
    prefetchCells(sources[outcome->sourceTable], outcome->source);
    return true;
  };
  while (pulled < kAhead && pull()) {
  }
  while (added < pulled) {
    const Ahead here = ahead[added++ % kAhead];
    pull();
    const StateTable<Cell>& source = sources[here.outcome->sourceTable];
    arithmetic.addTransformed(builder.cellsOf(here.outcome->key, here.slot, here.capacity),
                              source.cells.data() + here.outcome->source * source.width,
                              here.outcome->cycles, here.outcome->closures);
    if (added % 64 == 0 && static_cast<double>(builder.size()) > limit)
      return false;
  }
  return static_cast<double>(builder.size()) <= limit;
}

// The same into a table of wide values through its index, a batch at a time: the batch's index
// slots are all prefetched before any is probed, and its cells before any is added to.
template <std::size_t kBatch, typename Arithmetic, typename Cell>
bool addInTable(StateBuilder<Cell>& builder, const StateTable<Cell>& table,
                PartitionOutcomes outcomes, const std::vector<StateTable<Cell>>& sources,
                const Arithmetic& arithmetic, double limit) {
  std::array<const Contribution*, kBatch> batch;
  std::array<std::size_t, kBatch> positions;
  while (true) {
    std::size_t size = 0;
    while (size < kBatch && (batch[size] = outcomes.next()) != nullptr)
      ++size;
    if (size == 0)
      return true;
    for (std::size_t c = 0; c < size; ++c) {
      builder.prefetch(batch[c]->key);
      prefetchCells(sources[batch[c]->sourceTable], batch[c]->source);
    }
    for (std::size_t c = 0; c < size; ++c) {
      positions[c] = builder.positionOf(batch[c]->key);
      builder.prefetchCells(positions[c]);
    }
    for (std::size_t c = 0; c < size; ++c) {
      const StateTable<Cell>& source = sources[batch[c]->sourceTable];
      arithmetic.addTransformed(builder.cellsAt(positions[c]),
                                source.cells.data() + batch[c]->source * source.width,
                                batch[c]->cycles, batch[c]->closures);
    }
    if (static_cast<double>(table.keys.size()) > limit)
      return false;
  }
}

// The partitions' states side by side into one table, in partition order, each partition's
// copied on its own core: from its records, or from its own table.
template <typename Cell>
void gather(const std::vector<RecordBuilder<Cell>>& records,
            const std::vector<StateTable<Cell>>& tables, std::size_t partitions, std::size_t width,
            StateTable<Cell>& table, std::vector<std::size_t>& offsets) {
  const bool fromRecords = !records.empty();
  offsets.assign(partitions + 1, 0);
  for (std::size_t q = 0; q < partitions; ++q)
    offsets[q + 1] = offsets[q] + (fromRecords ? records[q].size() : tables[q].keys.size());
  table.width = width;
  table.keys.clear();
  table.cells.clear();
  reserveGrowing(table.keys, offsets.back());
  reserveGrowing(table.cells, offsets.back() * width);
  table.keys.resize(offsets.back());
  table.cells.resize(offsets.back() * width);
  parallelFor(static_cast<int>(partitions), [&](int q) {
    const auto p = static_cast<std::size_t>(q);
    Key* keys = table.keys.data() + offsets[p];
    Cell* cells = table.cells.data() + offsets[p] * width;
    if (fromRecords) {
      records[p].finish(keys, cells);
      return;
    }
    std::copy(tables[p].keys.begin(), tables[p].keys.end(), keys);
    std::copy(tables[p].cells.begin(), tables[p].cells.end(), cells);
  });
}

template <typename Cell>
std::size_t statesIn(const std::vector<StateTable<Cell>>& tables) {
  std::size_t states = 0;
  for (const StateTable<Cell>& table : tables)
    states += table.keys.size();
  return states;
}

// A stretch of one of the tables read, whose outcomes are listed together.
struct Run {
  std::uint8_t table;
  std::size_t begin, end;
};

// The tables' states cut into runs of `length`, table after table.
template <typename Cell>
void runsOf(const std::vector<StateTable<Cell>>& tables, std::size_t length,
            std::vector<Run>& runs) {
  runs.clear();
  for (std::size_t t = 0; t < tables.size(); ++t)
    for (std::size_t begin = 0; begin < tables[t].keys.size(); begin += length)
      runs.push_back(
          {static_cast<std::uint8_t>(t), begin, std::min(tables[t].keys.size(), begin + length)});
}

// The sweep itself, a vertex at a time. Arithmetic gives the values: Cell, width(step) cells per
// state after a step (-1 before the first), one(cells), enter(first, last) before a vertex's
// steps, and addTransformed(into, from, cycles, closures), which adds a state's cells times
// y^cycles (x - 1)^closures into another's; cycleIsZero() and closureIsZero() let states worth
// nothing go. `expected(step)` bounds the states after a vertex's last step, for the tables'
// sizes; afterStep(step, states) is told them and stops the sweep by returning false.
//
// Each vertex takes two parallel passes. First the outcomes of fixed runs of states are listed,
// each run's grouped by the partition of the next table they land in; then each partition's
// table is built from its groups in the runs' order. So the sums are taken in one order on any
// number of cores, and the floating-point values come out the same. A step has as many
// partitions as keep each one's table within a core's cache (partitionsFor): the tables are far
// larger than the caches on the graphs that matter, and a lookup into the whole table would wait
// for memory, where one into a partition's finds it cached; what is left to fetch from memory
// is the source's cells, prefetched ahead. The partitions' records, or their tables of narrow
// values, are then copied side by side into one table (gather); tables of wide values (the
// polynomial's) stay apart, each read where it was built.
//
// `tableLimit` bounds the states a vertex's pass may make: a pass that makes more is left
// unfinished, and the sweep ends there, as when afterStep stops it. It keeps a run without a dry
// run, and the dry run itself, within their memory while the table grows.
template <typename Arithmetic, typename Expected, typename AfterStep>
inline StateTable<typename Arithmetic::Cell> sweep(
    const FrontierPlan& plan, Arithmetic& arithmetic, Expected expected, AfterStep afterStep,
    double tableLimit = std::numeric_limits<double>::infinity(), double* outcomesListed = nullptr) {
  using Cell = typename Arithmetic::Cell;
  constexpr std::size_t kBatch = 64, kAhead = 16, kShortestRun = 4096;
  constexpr std::size_t kGatheredBytes = 128;
  // At most a quarter of the memory that `tableLimit` allows for the lists of outcomes.
  const double listLimit = tableLimit * kNewStateBytes / 2 / sizeof(Contribution);
  // The tables read and made: one table of records gathered, or one per partition of wide
  // values, left where they were built rather than copied.
  std::vector<StateTable<Cell>> current(1), next;
  current[0].width = arithmetic.width(-1);
  current[0].keys.assign(1, Key{0});
  current[0].cells.assign(current[0].width, Cell{});
  arithmetic.one(current[0].cells.data());
  std::vector<Run> runs;
  std::vector<RunOutcomes> outcomes;
  std::vector<RecordBuilder<Cell>> recordBuilders;
  std::vector<StateBuilder<Cell>> builders;
  std::vector<StateTable<Cell>> partitionTables;
  std::vector<std::size_t> offsets;
  for (const VertexSteps& group : vertexStepsOf(plan)) {
    arithmetic.enter(group.first, group.last);
    const std::size_t width = arithmetic.width(static_cast<int>(group.last));
    const bool inRecords = RecordBuilder<Cell>::suits(width);
    // Narrow values are gathered into one table, whose sources are read through huge pages;
    // a polynomial's would cost a copy as large as its step.
    const bool gathered = inRecords || width * sizeof(Cell) <= kGatheredBytes;
    const std::size_t expectedStates = expected(group.last, statesIn(current));
    // The tables left apart are named by a byte in each outcome.
    const std::size_t partitions =
        std::min(partitionsFor(expectedStates), gathered ? kMaxPartitions : std::size_t{256});
    // Runs long enough that each partition's group of a run is a few dozen outcomes.
    const std::size_t runLength = std::max(kShortestRun, 16 * partitions);
    runsOf(current, runLength, runs);
    // The outcomes listed before they are added: the four a state that the engine's memory
    // estimate allows (16 MiB at least), within the limit.
    const double listBudget =
        std::min(listLimit, std::max(4.0 * static_cast<double>(expectedStates), double{1 << 20}));
    const std::size_t share = expectedStates / partitions + expectedStates / partitions / 4 + 16;
    const double partitionLimit = tableLimit / static_cast<double>(partitions);
    next.resize(gathered ? 1 : partitions);
    recordBuilders.resize(inRecords ? partitions : 0);
    builders.resize(inRecords ? 0 : partitions);
    std::vector<StateTable<Cell>>& built = gathered ? partitionTables : next;
    built.resize(inRecords ? 0 : partitions);
    std::vector<char> overflow(partitions, 0);
    // Runs listed side by side between looks at the budget: a sixteenth of it at four outcomes a
    // state, and two at least, one for each core.
    const std::size_t listedTogether = std::clamp<std::size_t>(
        static_cast<std::size_t>(listBudget / (64.0 * static_cast<double>(runLength))), 2, 64);
    // The step's runs go in slabs whose lists fit their memory, most often one slab: each
    // partition's table is built slab after slab, and its states are met in the runs' order
    // however the runs are split.
    bool full = false;
    std::size_t first = 0;
    do {  // at least once, which starts the tables when no state is left
      std::size_t last = first, listed = 0;
      while (last < runs.size() && static_cast<double>(listed) < listBudget) {
        const std::size_t end = std::min(runs.size(), last + listedTogether);
        outcomes.resize(std::max(outcomes.size(), end - first));
        parallelFor(static_cast<int>(end - last), [&](int k) {
          OutcomeEnumerator<Arithmetic> enumerator(plan, arithmetic);
          const Run& run = runs[last + static_cast<std::size_t>(k)];
          listRun(enumerator, current[run.table], run.table, run.begin, run.end, group, partitions,
                  outcomes[last - first + static_cast<std::size_t>(k)]);
        });
        for (; last < end; ++last)
          listed += outcomes[last - first].outcomes.size();
      }
      if (outcomesListed)
        *outcomesListed += static_cast<double>(listed);
      const bool starting = first == 0;
      parallelFor(static_cast<int>(partitions), [&](int q) {
        const auto p = static_cast<std::size_t>(q);
        const PartitionOutcomes slab(outcomes, last - first, p);
        if (inRecords) {
          if (starting)
            recordBuilders[p].start(width, share);
          overflow[p] =
              !addInRecords<kAhead>(recordBuilders[p], slab, current, arithmetic, partitionLimit);
        } else {
          if (starting)
            builders[p].start(built[p], width, share);
          overflow[p] =
              !addInTable<kBatch>(builders[p], built[p], slab, current, arithmetic, partitionLimit);
        }
      });
      full = std::find(overflow.begin(), overflow.end(), 1) != overflow.end();
      first = last;
    } while (first < runs.size() && !full);
    if (full)
      break;
    if (gathered)
      gather(recordBuilders, partitionTables, partitions, width, next[0], offsets);
    std::swap(current, next);
    if (!afterStep(group.last, statesIn(current)))
      break;
  }
  if (current.size() == 1)
    return std::move(current[0]);
  StateTable<Cell> all;
  gather({}, current, current.size(), current[0].width, all, offsets);
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

}  // namespace frontier_detail
