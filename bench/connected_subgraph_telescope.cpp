// T(1, y), y > 1, of a connected graph by a telescoping product of root-connection
// probabilities, each estimated from exact samples of cluster popping (estimator/
// cluster_popping.h): a research program set against the reduced walk (bench/RESULTS.md).
//
// With q = y - 1 and p = q / (1 + q), T(1, y) = (1 + q)^m q^-(n-1) R(p), where R(p) is the
// probability that the graph stays connected when each edge is kept with probability p (m counts
// the loops). Over a schedule 1 = p_0 > p_1 > ... > p_K = p, R(p) is the product of the ratios
// R(p_i+1) / R(p_i), and each ratio is the chance that a sample conditioned at p_i stays
// root-connected when read at p_i+1. The steps draw independent samples, so the product of the
// ratio estimates is unbiased; its relative variance is prod (1 + (1 - r_i) / (r_i N_i)) - 1,
// and RV x work below takes its first-order part, sum_i (1 - r_i) / (r_i N_i), which is what
// falls in proportion to the work.
//
// A pilot with seeds of its own fixes the schedule: at each p_i it draws samples, finds each
// one's connection threshold (the least retention at which it stays root-connected) and takes
// the --ratio quantile of them as p_i+1. It also fixes the samples per step, in proportion to
// sqrt(v_i / c_i) (v_i = (1 - r_i) / r_i, c_i the pilot's arc draws per sample), which minimises
// the relative variance for the work; the figure of merit is then RV * work = (sum_i
// sqrt(v_i c_i))^2, whatever the number of samples. Samples draw from their own streams, seeded
// in sample order (step by step) from the run's seed, so a fixed seed gives the same digits.
//
//   velmora_connected_subgraph_telescope [--y Y] [--samples N] [--pilot M] [--ratio R]
//       [--seed S] [--check] [--steps] GRAPH.txt...
// --samples: mean samples per step of the measured run; --pilot: pilot samples per step;
// --check: the exact value (estimator/exact_route.h, up to a minute) beside the estimate;
// --steps: the schedule on standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "estimator/cluster_popping.h"
#include "estimator/exact_route.h"
#include "estimator/random_source.h"
#include "estimator/random_stream.h"
#include "variance_measurement.h"

namespace {

struct Options {
  double y = 2.0;
  double meanSamples = 2000;
  int pilotSamples = 200;
  double ratio = 0.2;
  std::uint64_t seed = 20;
  bool check = false, steps = false;
  std::vector<std::string> graphs;
};

// One step of the schedule: from retention `from` to `to`.
struct Step {
  double from = 1, to = 1;
  // The pilot's cost per sample in arc draws (labels drawn, and in proportion the searches):
  // a count, not a time, so that the allocation and with it the digits do not depend on load.
  double pilotRatio = 1, pilotDrawsPerSample = 1;
  std::size_t samples = 0;
  // The measured run's figures.
  std::size_t hits = 0;
  std::uint64_t draws = 0;
  double seconds = 0;
  double ratio() const { return static_cast<double>(hits) / static_cast<double>(samples); }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The pilot's schedule: each next retention is the `ratio` quantile of the connection
// thresholds of samples at the current one, until the target p is passed.
std::vector<Step> pilotSchedule(ClusterPopper& popper, double p, const Options& options) {
  SampleSeedSource seeds(options.seed ^ 0x632be59bd9b4e019ULL);
  std::vector<Step> schedule;
  std::vector<double> thresholds(options.pilotSamples);
  double current = 1.0;
  while (current > p) {
    std::uint64_t draws = 0;
    for (double& threshold : thresholds) {
      RandomStream random(seeds.next());
      draws += popper.sample(current, random);
      threshold = popper.connectionThreshold();
    }
    Step step;
    step.from = current;
    step.pilotDrawsPerSample = static_cast<double>(draws) / options.pilotSamples;
    std::sort(thresholds.begin(), thresholds.end());
    const auto quantile = static_cast<std::size_t>(options.ratio * options.pilotSamples);
    step.to = std::max(p, thresholds[std::min(quantile, thresholds.size() - 1)]);
    const auto below = std::upper_bound(thresholds.begin(), thresholds.end(), step.to);
    step.pilotRatio =
        std::max(1.0, static_cast<double>(below - thresholds.begin())) / options.pilotSamples;
    schedule.push_back(step);
    current = step.to;
  }
  return schedule;
}

// Samples per step in proportion to sqrt(v_i / c_i), with mean `meanSamples`.
void allocateSamples(std::vector<Step>& schedule, double meanSamples) {
  std::vector<double> weight;
  double total = 0;
  for (const Step& step : schedule) {
    const double v = (1 - step.pilotRatio) / step.pilotRatio;
    weight.push_back(std::sqrt(std::max(v, 1e-6) / step.pilotDrawsPerSample));
    total += weight.back();
  }
  for (std::size_t i = 0; i < schedule.size(); ++i) {
    const double share = weight[i] / total * meanSamples * static_cast<double>(schedule.size());
    schedule[i].samples = std::max<std::size_t>(2, static_cast<std::size_t>(std::llround(share)));
  }
}

void runSchedule(ClusterPopper& popper, std::vector<Step>& schedule, std::uint64_t seed) {
  SampleSeedSource seeds(seed);
  for (Step& step : schedule) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < step.samples; ++k) {
      RandomStream random(seeds.next());
      step.draws += popper.sample(step.from, random);
      step.hits += popper.rootReachedBelow(step.to);
    }
    step.seconds = secondsSince(start);
  }
}

struct Estimate {
  double log10Value = 0;  // -inf when a step saw no hit
  double relativeVariance = 0;
  // sum_i v_i / N_i: the relative variance to first order in 1 / N, which is what scales with
  // the work (near 1% the two agree).
  double firstOrderVariance = 0;
  double seconds = 0, samples = 0, draws = 0;
};

Estimate combine(const std::vector<Step>& schedule, int n, int m, double q) {
  Estimate estimate;
  double logR = 0, varianceFactor = 1;
  for (const Step& step : schedule) {
    const double r = step.ratio();
    logR += std::log(r);
    if (r > 0) {
      varianceFactor *= 1 + (1 - r) / (r * static_cast<double>(step.samples));
      estimate.firstOrderVariance += (1 - r) / (r * static_cast<double>(step.samples));
    }
    estimate.seconds += step.seconds;
    estimate.samples += static_cast<double>(step.samples);
    estimate.draws += static_cast<double>(step.draws);
  }
  estimate.relativeVariance = varianceFactor - 1;
  const double logT = m * std::log1p(q) - (n - 1) * std::log(q) + logR;
  estimate.log10Value = logT / std::log(10.0);
  return estimate;
}

std::string scientific(double log10Value) {
  if (!std::isfinite(log10Value))
    return "0";
  const double exponent = std::floor(log10Value);
  char text[64];
  std::snprintf(text, sizeof text, "%.6fe%+.0f", std::pow(10.0, log10Value - exponent), exponent);
  return text;
}

// The exact value beside the estimate: their ratio and the distance in standard errors.
std::string checked(const Graph& graph, double y, const Estimate& estimate) {
  const std::optional<ExactValue> exact = exactValueWithin(graph, 1.0, y, kExactRequestSeconds);
  if (!exact)
    return "exact: none within a minute";
  const double ratio = std::pow(10.0, estimate.log10Value - log10(exact->value));
  char text[160];
  std::snprintf(text, sizeof text, "exact %s (%s): estimate / exact = %.4f (%+.1f SE)",
                scientific(log10(exact->value)).c_str(),
                std::string(exactEngineName(exact->engine)).c_str(), ratio,
                (ratio - 1) / std::sqrt(estimate.relativeVariance));
  return text;
}

void reportGraph(const std::string& path, const Options& options) {
  Graph graph = loadGraph(path);
  ClusterPopper popper(graph);
  // The labels start at 1, so every arc lies below 2: a plain connectivity test.
  if (!popper.rootReachedBelow(2.0)) {
    std::fprintf(stderr, "%s: not connected; skipped\n", path.c_str());
    return;
  }
  const double q = options.y - 1, p = q / (1 + q);
  const auto pilotStart = std::chrono::steady_clock::now();
  std::vector<Step> schedule = pilotSchedule(popper, p, options);
  const double pilotSeconds = secondsSince(pilotStart);
  allocateSamples(schedule, options.meanSamples);
  runSchedule(popper, schedule, options.seed);
  const Estimate estimate = combine(schedule, graph.vertexCount, graph.edgeCount, q);

  for (const Step& step : options.steps ? schedule : std::vector<Step>{})
    std::fprintf(stderr, "  %-10.6f -> %-10.6f ratio %.4f (pilot %.4f) samples %6zu  %.1f us\n",
                 step.from, step.to, step.ratio(), step.pilotRatio, step.samples,
                 1e6 * step.seconds / static_cast<double>(step.samples));
  const double workTimesRV = estimate.firstOrderVariance * estimate.seconds;
  // (sum_i sqrt(v_i c_i))^2 with the pilot's ratios and the run's costs: RV x work at the best
  // allocation, which stays finite when a step of a short run saw no hit.
  double merit = 0;
  for (const Step& step : schedule)
    merit += std::sqrt((1 - step.pilotRatio) / step.pilotRatio * step.seconds /
                       static_cast<double>(step.samples));
  std::printf(
      "| %s | %d | %d | (1, %g) | %zu | %.0f | %.0f | %.1f | %.3g | %.3g | %.3g | %.3g | %.3g "
      "| %.3g | %.1f | %s |",
      path.c_str(), graph.vertexCount, graph.edgeCount, options.y, schedule.size(),
      estimate.samples / static_cast<double>(schedule.size()), estimate.draws / estimate.samples,
      estimate.draws / popper.arcCount() / estimate.samples,
      1e9 * estimate.seconds / estimate.draws, estimate.relativeVariance, workTimesRV,
      workTimesRV / 1e-4, merit * merit / 1e-4, pilotSeconds, estimate.seconds,
      scientific(estimate.log10Value).c_str());
  if (options.check)
    std::printf(" %s |", checked(graph, options.y, estimate).c_str());
  std::printf("\n");
  std::fflush(stdout);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int k = 1; k < argc; ++k) {
    const std::string argument = argv[k];
    const bool hasValue = k + 1 < argc;
    if (argument == "--y" && hasValue)
      options.y = std::strtod(argv[++k], nullptr);
    else if (argument == "--samples" && hasValue)
      options.meanSamples = std::strtod(argv[++k], nullptr);
    else if (argument == "--pilot" && hasValue)
      options.pilotSamples = std::max(10, std::atoi(argv[++k]));
    else if (argument == "--ratio" && hasValue)
      options.ratio = std::strtod(argv[++k], nullptr);
    else if (argument == "--seed" && hasValue)
      options.seed = std::strtoull(argv[++k], nullptr, 10);
    else if (argument == "--check")
      options.check = true;
    else if (argument == "--steps")
      options.steps = true;
    else
      options.graphs.push_back(argument);
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  if (!(options.y > 1) || !(options.ratio > 0 && options.ratio < 1) || options.graphs.empty()) {
    std::fprintf(stderr,
                 "usage: velmora_connected_subgraph_telescope [--y Y > 1] [--samples N] "
                 "[--pilot M] [--ratio R in (0, 1)] [--seed S] [--check] [--steps] GRAPH...\n");
    return 2;
  }
  std::printf(
      "| graph | n | m | point | steps K | samples/step | arc draws/sample | draws/arc "
      "| ns/draw | RV | RV x work (s) | work to 1%% (s, one core) | at the pilot's ratios (s) "
      "| pilot (s) | run (s) "
      "| estimate |%s\n",
      options.check ? " exact |" : "");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|%s\n",
              options.check ? "---|" : "");
  for (const std::string& path : options.graphs)
    reportGraph(path, options);
  return 0;
}
