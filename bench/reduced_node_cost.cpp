// A fixed number of reduced-walk samples (B = 1, tilt 1, breadth-first order) on one core, for
// profilers and for checking that a change keeps every sample: prints the nodes per sample, the
// nanoseconds per node and a digest of the exact bits of all samples. The seeds are those of
// velmora_variance, so its samples are among these.
// --resistance P guides the walk by the resistance ratio to the power P (sample_batch.h).
//   velmora_reduced_node_cost [--samples N] [--point X:Y] [--resistance P] GRAPH.txt...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "variance_measurement.h"

namespace {

// FNV-1a over the significand's bits and the binary exponent of every sample, in seed order.
std::uint64_t digestOf(const std::vector<WideFloat>& values) {
  std::uint64_t digest = 0xcbf29ce484222325ULL;
  auto mix = [&digest](std::uint64_t word) {
    for (int byte = 0; byte < 8; ++byte) {
      digest ^= (word >> (8 * byte)) & 0xff;
      digest *= 0x100000001b3ULL;
    }
  };
  for (const WideFloat& value : values) {
    const std::int64_t exponent = value.binaryExponent();
    // Scaling by a power of two is exact, so the significand keeps every bit.
    const double significand = (value * WideFloat::scaledByPowerOfTwo(1.0, -exponent)).toDouble();
    std::uint64_t bits = 0;
    std::memcpy(&bits, &significand, sizeof bits);
    mix(bits);
    mix(static_cast<std::uint64_t>(exponent));
  }
  return digest;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t samples = 2000;
  double x = 2.0, y = 1.0, resistancePower = 0.0;
  std::vector<std::string> graphs;
  for (int k = 1; k < argc; ++k) {
    const std::string argument = argv[k];
    if (argument == "--samples" && k + 1 < argc) {
      samples = std::strtoull(argv[++k], nullptr, 10);
    } else if (argument == "--point" && k + 1 < argc) {
      char* rest = nullptr;
      x = std::strtod(argv[++k], &rest);
      y = std::strtod(rest + (*rest == ':'), nullptr);
    } else if (argument == "--resistance" && k + 1 < argc) {
      resistancePower = std::strtod(argv[++k], nullptr);
    } else {
      graphs.push_back(argument);
    }
  }
  std::printf("%-14s %8s %10s %9s %18s\n", "graph", "samples", "nodes", "ns/node", "digest");
  for (const std::string& path : graphs) {
    const Graph graph = loadGraph(path);
    WalkSettings settings{1, 0, x, y, 0, WalkKind::Reduced, BranchOrder::BreadthFirst, 1.0};
    settings.resistancePower = resistancePower;
    std::vector<std::uint64_t> seeds(samples);
    for (std::size_t k = 0; k < samples; ++k)
      seeds[k] = 0x9e3779b97f4a7c15ULL * (k + 1);
    const auto start = std::chrono::steady_clock::now();
    const PointSamples result = estimatePointSamples(graph, settings, seeds);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double nodes = static_cast<double>(result.nodesBuilt);
    std::printf("%-14s %8zu %10.1f %9.0f %016llx\n", path.c_str(), samples,
                nodes / static_cast<double>(samples), seconds * 1e9 / nodes,
                static_cast<unsigned long long>(digestOf(result.values)));
  }
  return 0;
}
