#pragma once

#include <cstdint>

#include "estimator/sample_batch.h"
#include "graph/graph.h"
#include "library/process_exchange.h"
#include "library/sample_summary.h"

// A library estimate's samples, drawn without keeping them: the samples of one part of a run,
// which are the seeds from `seedsBefore` to `seedsBefore + count` of the run's generator seeded
// with `runSeed` (estimator/random_source.h). They are shared among the processes of
// `processes` in contiguous runs of blocks of kSummaryBlockSamples, and on each process drawn
// in rounds of a few thousand (each round on all its cores, as estimatePointSamples shares a
// batch out), each block summed as its round ends. Every process returns the same summary,
// which depends on the seed alone, whatever the processes and cores. Memory: a round's samples
// and seeds, and the summary tree's nodes, whatever the count. Throws what the walks throw
// (WalkMemoryExhausted, WalkStopped) on every process when it happens on any
// (shared_outcome.h).
struct StreamedPoints {
  SampleSummary summary;
  bool budgetBound = false;  // some level of some sample had more candidates than the budget
  std::int64_t nodesBuilt = 0;
};
StreamedPoints streamPointSamples(const Graph& root, const WalkSettings& settings,
                                  std::uint64_t runSeed, std::uint64_t seedsBefore,
                                  std::int64_t count, const ProcessExchange& processes);

// The same for the level walk's coefficients (and its value at the point the settings name,
// if any).
struct StreamedCoefficients {
  CoefficientSummary summary;
  bool budgetBound = false;
  std::int64_t nodesBuilt = 0;
};
StreamedCoefficients streamCoefficientSamples(const Graph& root, const WalkSettings& settings,
                                              std::uint64_t runSeed, std::uint64_t seedsBefore,
                                              std::int64_t count, const ProcessExchange& processes);
