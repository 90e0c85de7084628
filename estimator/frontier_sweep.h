#pragma once

#include <algorithm>
#include <array>
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
inline StateTable<typename Arithmetic::Cell> sweep(
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
          if (c + kAhead < list.size()) {
            const Contribution& later = list[c + kAhead];
            ahead[c % kAhead] = {builder.prefetch(later.key), builder.capacity()};
            prefetchCells(current[later.sourcePartition], later.source);
          }
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

}  // namespace frontier_detail
