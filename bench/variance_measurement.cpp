#include "variance_measurement.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>

#include "graph/instance_reader.h"

double Measurement::logNormalVariance() const {
  if (zeroShare >= 1.0)
    return INFINITY;
  return std::exp(logSpread * logSpread) / (1.0 - zeroShare) - 1.0;
}

Measurement measure(const Graph& graph, const WalkSettings& settings, double seconds,
                    std::size_t maxSamples) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  double elapsed = 0.0, sum = 0.0, squares = 0.0, logSum = 0.0, logSquares = 0.0;
  std::int64_t nodes = 0;
  std::uint64_t nextSeed = 1;
  std::size_t batch = 16, drawn = 0, nonZero = 0;
  WideFloat scale = 0.0;
  while (elapsed < seconds && (maxSamples == 0 || drawn < maxSamples)) {
    if (maxSamples > 0)
      batch = std::min(batch, maxSamples - drawn);
    std::vector<std::uint64_t> seeds(batch);
    for (std::uint64_t& seed : seeds)
      seed = 0x9e3779b97f4a7c15ULL * nextSeed++;
    const PointSamples result = estimatePointSamples(graph, settings, seeds);
    for (const WideFloat& value : result.values) {
      if (scale.isZero() && !value.isZero())
        scale = abs(value);
      const double scaled = scale.isZero() ? 0.0 : (value / scale).toDouble();
      sum += scaled;
      squares += scaled * scaled;
      if (!value.isZero()) {
        const double logarithm = log(abs(value));
        logSum += logarithm;
        logSquares += logarithm * logarithm;
        ++nonZero;
      }
    }
    nodes += result.nodesBuilt;
    drawn += batch;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    batch = std::min<std::size_t>(batch * 2, 1 << 16);
  }
  Measurement m;
  m.samples = static_cast<double>(drawn);
  const double mean = sum / m.samples;
  m.mean = scale * mean;
  m.relativeVariance = (squares / m.samples - mean * mean) / (mean * mean);
  m.nodesPerSample = static_cast<double>(nodes) / m.samples;
  m.nsPerNode = nodes > 0 ? elapsed * 1e9 / static_cast<double>(nodes) : 0.0;
  m.secondsPerSample = elapsed / m.samples;
  if (nonZero > 0) {
    const double logMean = logSum / static_cast<double>(nonZero);
    m.logSpread =
        std::sqrt(std::max(0.0, logSquares / static_cast<double>(nonZero) - logMean * logMean));
  }
  m.zeroShare = 1.0 - static_cast<double>(nonZero) / m.samples;
  return m;
}

std::vector<std::uint64_t> pilotSeeds(std::size_t count) {
  std::vector<std::uint64_t> seeds(count);
  for (std::size_t k = 0; k < count; ++k)
    seeds[k] = 0xd1b54a32d192ed03ULL * (k + 1) + 12345;
  return seeds;
}

std::string printed(WideFloat value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

Graph loadGraph(const std::string& path) {
  EdgeList edges;
  int edgeCount = 0, vertexCount = 0;
  readInstanceFile(path, edges, edgeCount, vertexCount);
  return Graph(vertexCount, edges);
}
