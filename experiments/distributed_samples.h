#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "distributed/process_group.h"
#include "estimator/sample_batch.h"
#include "graph/graph.h"

// A failure that every process of the run throws together, so that none waits for another.
class SharedMemoryExhausted : public std::bad_alloc {};
class SharedFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The samples of one experiment, shared among the processes of the group: process r computes
// the contiguous block of sample indices that blockStart gives it, with those samples' seeds,
// and the leader gathers every block in rank order, so that it holds all samples in sample
// order, the same samples whatever the number of processes. Every process must call with the
// same seeds. The others return their own block only. `afterEachSample` runs for this process's
// samples. When some process fails (its memory ran out, say), all of them throw.
PointSamples gatherPointSamples(const ProcessGroup& group, const Graph& root,
                                const WalkSettings& settings,
                                const std::vector<std::uint64_t>& seeds,
                                const SampleHook& afterEachSample = {});
CoefficientSamples gatherCoefficientSamples(const ProcessGroup& group, const Graph& root,
                                            const WalkSettings& settings,
                                            const std::vector<std::uint64_t>& seeds,
                                            const SampleHook& afterEachSample = {});
