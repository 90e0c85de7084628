#pragma once

// What the variance benchmarks share: drawing samples of one walk at one point for a bounded
// time and summarising them, the tilt pilot's seeds, and reading a graph.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "estimator/wide_float.h"
#include "graph/graph.h"

struct Measurement {
  WideFloat mean = 0.0;
  double samples = 0, relativeVariance = 0, nodesPerSample = 0, nsPerNode = 0, secondsPerSample = 0;
  // The spread of log |sample| over the non-zero samples, and the share of zero samples: a heavy
  // tail shows in them long before the rare huge samples that carry its variance are met.
  double logSpread = 0, zeroShare = 0;
  // The relative variance a log-normal of that spread would have, exp(spread^2) / (1 - zeros) - 1.
  double logNormalVariance() const;
};

// Samples in batches of growing size until `seconds` are spent or `maxSamples` are drawn (0: no
// cap); sums in double after scaling by the first non-zero sample, so that values beyond a
// double's range are measured too. The seeds are fixed, so the samples are the same on every
// run; only how many of them are drawn depends on the time.
Measurement measure(const Graph& graph, const WalkSettings& settings, double seconds,
                    std::size_t maxSamples = 0);

// Seeds apart from the measured samples' own.
std::vector<std::uint64_t> pilotSeeds(std::size_t count);

// A wide number as the stream prints it.
std::string printed(WideFloat value);

Graph loadGraph(const std::string& path);
