// How the variance of one sample of the reduced walk grows with the graph: for families of
// growing graphs (random 3-regular, square grids, dense random graphs of average degree 16, all
// generated here from fixed seeds) and each point, the walk at B = 1 with the tilt its pilot
// chooses, measured for a bounded time per cell. Prints, as Markdown tables:
//   - per graph and point: RV of one sample (variance / mean^2 of the samples drawn), the
//     spread of log |sample| and the RV a log-normal of that spread would have (the spread sees
//     a heavy tail long before the samples meet the huge values that carry its variance), nodes
//     per sample, ns per node on one core, and the work to a relative error of 1%, the larger
//     of the two RVs x nodes x ns / 0.01^2; at (1, 1) the estimate against the exact count;
//   - per family and point: the growth law, the slopes of log(1 + RV) and of the log-spread's
//     square against the number of vertices (for a log-normal the two are the same number).
//   velmora_variance_growth [--quick] [--seconds S] [--families cubic,grid,dense]
//                           [--points 1:1,2:1] [--resistance POWER] [--radius R] [--smallest N]
//                           [--largest N] [--guide-by-pilot] [--graphs A.txt,B.txt]
//                           [--fit ROUNDS] [--fit-share F]
//                           [--fit-objective second-moment|cross-entropy] [--fit-features 0,1,2]
// --resistance tilts each choice by the resistance ratio to that power (resistance_guide.h);
// --guide-by-pilot runs the pilot with and without that guide (half the pilot's time each) and
// keeps the guide where its predicted work is below half the other's: the tilt column then ends
// in "g" where it is guided.
// --graphs measures the graphs of these files instead of the families (a file named cubic* counts
// as a 3-regular graph, dense* as a dense one, for the growth law). --fit ROUNDS fits the
// fitted ratio (estimator/ratio_fit.h) from the pilot's choice in that many rounds, its pilots
// about F (default 0.5) of the cell's time, and measures the walk at the fitted weights: the
// tilt column then ends in "f", and the fit's rounds go to standard error. The measured samples
// get the same time as without the fit. --fit-objective cross-entropy fits by that objective
// instead (ratio_fit.h); --fit-features lets the fit move only the weights of those features
// (fitted_ratio.h), the others keeping the pilot's choice.
// The default table takes about 66 cells x S = 15 s of one core; --quick about a minute.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "estimator/random_stream.h"
#include "estimator/ratio_fit.h"
#include "estimator/sample_batch.h"
#include "estimator/spanning_tree_count.h"
#include "estimator/tilt_choice.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"
#include "variance_measurement.h"

namespace {

using Point = std::pair<double, double>;

struct Options {
  bool quick = false;
  double seconds = 15.0;
  std::vector<std::string> families{"cubic", "grid", "dense"};
  std::vector<Point> points{{1, 1}, {2, 1}, {1, 2}, {3, 3}, {2, 0}, {0, 2}};
  double resistancePower = 0.0;
  int radius = 0;
  bool guideByPilot = false;
  std::vector<std::string> graphs;
  int fitRounds = 0;
  double fitShare = 0.5;
  RatioObjective fitObjective = RatioObjective::SecondMoment;
  unsigned fitFeatures = kAllRatioFeatures;
  int smallest = 0, largest = 1 << 30;  // graphs with fewer or more vertices are left out
};

std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);)
    parts.push_back(part);
  return parts;
}

Options parse(int argc, char** argv) {
  Options options;
  bool secondsGiven = false;
  for (int k = 1; k < argc; ++k) {
    const std::string argument = argv[k];
    const bool hasValue = k + 1 < argc;
    if (argument == "--quick") {
      options.quick = true;
    } else if (argument == "--seconds" && hasValue) {
      options.seconds = std::atof(argv[++k]);
      secondsGiven = true;
    } else if (argument == "--families" && hasValue) {
      options.families = splitAt(argv[++k], ',');
    } else if (argument == "--graphs" && hasValue) {
      options.graphs = splitAt(argv[++k], ',');
    } else if (argument == "--fit" && hasValue) {
      options.fitRounds = std::atoi(argv[++k]);
    } else if (argument == "--fit-objective" && hasValue) {
      options.fitObjective = std::string(argv[++k]) == "cross-entropy"
                                 ? RatioObjective::CrossEntropy
                                 : RatioObjective::SecondMoment;
    } else if (argument == "--fit-features" && hasValue) {
      options.fitFeatures = 0;
      for (const std::string& feature : splitAt(argv[++k], ','))
        options.fitFeatures |= 1u << std::atoi(feature.c_str());
    } else if (argument == "--fit-share" && hasValue) {
      options.fitShare = std::atof(argv[++k]);
    } else if (argument == "--guide-by-pilot") {
      options.guideByPilot = true;
    } else if (argument == "--radius" && hasValue) {
      options.radius = std::atoi(argv[++k]);
    } else if (argument == "--smallest" && hasValue) {
      options.smallest = std::atoi(argv[++k]);
    } else if (argument == "--largest" && hasValue) {
      options.largest = std::atoi(argv[++k]);
    } else if (argument == "--resistance" && hasValue) {
      options.resistancePower = std::atof(argv[++k]);
    } else if (argument == "--points" && hasValue) {
      options.points.clear();
      for (const std::string& p : splitAt(argv[++k], ',')) {
        const std::vector<std::string> xy = splitAt(p, ':');
        options.points.emplace_back(std::atof(xy.at(0).c_str()), std::atof(xy.at(1).c_str()));
      }
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argument.c_str());
      std::exit(1);
    }
  }
  if (options.quick && !secondsGiven)
    options.seconds = 1.5;
  return options;
}

bool isConnected(int vertexCount, const EdgeList& edges) {
  std::vector<std::vector<int>> adjacent(vertexCount);
  for (const auto& [u, v] : edges) {
    adjacent[u].push_back(v);
    adjacent[v].push_back(u);
  }
  std::vector<char> seen(vertexCount, 0);
  std::vector<int> frontier{0};
  seen[0] = 1;
  int reached = 1;
  while (!frontier.empty()) {
    const int vertex = frontier.back();
    frontier.pop_back();
    for (int far : adjacent[vertex])
      if (!seen[far]) {
        seen[far] = 1;
        ++reached;
        frontier.push_back(far);
      }
  }
  return reached == vertexCount;
}

// A simple connected 3-regular graph: the configuration model, by rejection.
EdgeList randomCubic(int vertexCount, RandomStream& random) {
  while (true) {
    std::vector<int> stubs;
    for (int v = 0; v < vertexCount; ++v)
      stubs.insert(stubs.end(), 3, v);
    shuffleUniformly(stubs, random);
    EdgeList edges;
    for (std::size_t k = 0; k < stubs.size(); k += 2)
      edges.emplace_back(std::min(stubs[k], stubs[k + 1]), std::max(stubs[k], stubs[k + 1]));
    EdgeList sorted = edges;
    std::sort(sorted.begin(), sorted.end());
    const bool simple =
        std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end() &&
        std::none_of(edges.begin(), edges.end(), [](const auto& e) { return e.first == e.second; });
    if (simple && isConnected(vertexCount, edges))
      return edges;
  }
}

EdgeList grid(int side) {
  EdgeList edges;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      if (c + 1 < side)
        edges.emplace_back(r * side + c, r * side + c + 1);
      if (r + 1 < side)
        edges.emplace_back(r * side + c, (r + 1) * side + c);
    }
  return edges;
}

// G(n, p) with p = degree / (n - 1), redrawn until connected.
EdgeList denseRandom(int vertexCount, double degree, RandomStream& random) {
  const double chance = degree / (vertexCount - 1);
  while (true) {
    EdgeList edges;
    for (int u = 0; u < vertexCount; ++u)
      for (int v = u + 1; v < vertexCount; ++v)
        if (random.uniformUnit() < chance)
          edges.emplace_back(u, v);
    if (isConnected(vertexCount, edges))
      return edges;
  }
}

struct FamilyMember {
  std::string label;
  int vertexCount;
  EdgeList edges;
};

std::vector<FamilyMember> family(const std::string& name, bool quick) {
  std::vector<FamilyMember> members;
  RandomStream random(name == "cubic" ? 20 : 21);
  if (name == "cubic") {
    for (int n : quick ? std::vector<int>{100, 300} : std::vector<int>{100, 300, 1000, 3000})
      members.push_back({"3-regular " + std::to_string(n), n, randomCubic(n, random)});
  } else if (name == "grid") {
    for (int side : quick ? std::vector<int>{6, 10} : std::vector<int>{10, 15, 20, 30})
      members.push_back(
          {"grid " + std::to_string(side) + "x" + std::to_string(side), side * side, grid(side)});
  } else if (name == "dense") {
    for (int n : quick ? std::vector<int>{30, 50} : std::vector<int>{50, 100, 150})
      members.push_back({"G(n, 16/n) " + std::to_string(n), n, denseRandom(n, 16.0, random)});
  } else {
    std::fprintf(stderr, "unknown family %s\n", name.c_str());
    std::exit(1);
  }
  return members;
}

// The graphs of instance files, each its own family: "cubic" or "dense" by the file's name.
std::vector<std::pair<std::string, FamilyMember>> graphFiles(
    const std::vector<std::string>& paths) {
  std::vector<std::pair<std::string, FamilyMember>> files;
  for (const std::string& path : paths) {
    EdgeList edges;
    int edgeCount = 0, vertexCount = 0;
    readInstanceFile(path, edges, edgeCount, vertexCount);
    const std::string stem = path.substr(path.find_last_of('/') + 1);
    const std::string family = stem.rfind("cubic", 0) == 0   ? "cubic"
                               : stem.rfind("dense", 0) == 0 ? "dense"
                                                             : stem;
    const std::string label = family == "cubic"   ? "3-regular " + std::to_string(vertexCount)
                              : family == "dense" ? "G(n, 16/n) " + std::to_string(vertexCount)
                                                  : stem;
    files.push_back({family, {label, vertexCount, edges}});
  }
  return files;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The pilot gets about a quarter of the cell: its share per tilt from the time of a few samples.
TiltChoice pilotTilt(const Graph& graph, const WalkSettings& settings, double seconds) {
  const auto start = std::chrono::steady_clock::now();
  const std::vector<std::uint64_t> probe = pilotSeeds(4);
  estimatePointSamples(graph, settings, probe);
  const double perSample = std::max(secondsSince(start) / 4.0, 1e-9);
  const std::size_t rungs = tiltLadder().size();
  const auto share = static_cast<std::size_t>(
      std::clamp(seconds / 4.0 / (static_cast<double>(rungs) * perSample), 4.0, 200.0));
  return chooseTilt(graph, settings, pilotSeeds(rungs * share));
}

// The settings the pilot chose: the tilt, and with `byPilot` also whether to keep the guide.
WalkSettings pilotChoice(const Graph& graph, WalkSettings settings, double seconds, bool byPilot) {
  if (!byPilot || settings.resistancePower == 0.0) {
    settings.tilt = pilotTilt(graph, settings, seconds).tilt;
    return settings;
  }
  WalkSettings unguided = settings;
  unguided.resistancePower = 0.0;
  const TiltChoice plain = pilotTilt(graph, unguided, seconds / 2.0);
  const TiltChoice guided = pilotTilt(graph, settings, seconds / 2.0);
  // The guide costs more a node and a pilot's prediction is rough: it must promise at most half
  // the work.
  if (2.0 * guided.predictedWork < plain.predictedWork) {
    settings.tilt = guided.tilt;
    return settings;
  }
  unguided.tilt = plain.tilt;
  return unguided;
}

// Seeds of the fit's pilots, apart from the tilt pilot's and the measured samples'.
std::vector<std::uint64_t> fitSeeds(std::size_t count) {
  std::vector<std::uint64_t> seeds(count);
  for (std::size_t k = 0; k < count; ++k)
    seeds[k] = 0xbf58476d1ce4e5b9ULL * (k + 1) + 777;
  return seeds;
}

// The fitted ratio from the pilot's choice, its pilots about `seconds` long in all; the rounds
// and the weights go to standard error.
WalkSettings fittedChoice(const Graph& graph, WalkSettings settings, double seconds,
                          const Options& options) {
  const int rounds = options.fitRounds;
  const RatioWeights start = constantTiltWeights(settings.tilt, settings.resistancePower != 0.0);
  WalkSettings probe = settings;
  probe.fittedRatio = start;
  const auto started = std::chrono::steady_clock::now();
  estimatePointSamples(graph, probe, pilotSeeds(8));
  const double perSample = std::max(secondsSince(started) / 8.0, 1e-9);
  const auto perRound =
      static_cast<std::size_t>(std::clamp(seconds / rounds / perSample, 64.0, 4000.0));
  const RatioFit fit = fitRatio(graph, settings, start, fitSeeds(perRound * rounds), rounds,
                                options.fitObjective, options.fitFeatures);
  for (const RatioFitRound& round : fit.rounds) {
    std::fprintf(stderr, "  round at (");
    for (double w : round.start)
      std::fprintf(stderr, " %.3g", w);
    std::fprintf(stderr, " ): pilot RV %.4g, log-normal %.4g, nodes %.0f; fit's M / M0 %.3g\n",
                 round.sampledVariance, round.logNormalVariance, round.nodesPerSample,
                 round.predictedSecondMoment);
  }
  std::fprintf(stderr, "  fitted (");
  for (double w : fit.weights)
    std::fprintf(stderr, " %.3g", w);
  std::fprintf(stderr, " )\n");
  settings.fittedRatio = fit.weights;
  return settings;
}

// Least-squares slope of ys against xs.
double slope(const std::vector<double>& xs, const std::vector<double>& ys) {
  const double n = static_cast<double>(xs.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (std::size_t k = 0; k < xs.size(); ++k) {
    sx += xs[k];
    sy += ys[k];
    sxx += xs[k] * xs[k];
    sxy += xs[k] * ys[k];
  }
  const double denominator = n * sxx - sx * sx;
  return denominator > 0 ? (n * sxy - sx * sy) / denominator : NAN;
}

std::string pointName(const Point& point) {
  char text[32];
  std::snprintf(text, sizeof text, "(%g, %g)", point.first, point.second);
  return text;
}

// Against the exact count: the ratio, and how many standard errors (from the measured RV) off.
std::string againstExact(const Measurement& m, const SpanningTreeCount& exact) {
  const double ratio = std::exp(log(abs(m.mean)) - exact.naturalLog);
  const double standardError = std::sqrt(m.relativeVariance / m.samples);
  char text[128];
  std::snprintf(text, sizeof text, "%s / %s = %.4g (%+.1f SE)", printed(m.mean).c_str(),
                printed(exact.value).c_str(), ratio, (ratio - 1.0) / standardError);
  return text;
}

// One cell's samples and its row of the table.
Measurement measureCell(const FamilyMember& member, const Graph& graph, const Point& point,
                        const WalkSettings& settings, double seconds, const Options& options) {
  const Measurement m = measure(graph, settings, seconds);
  const double variance = std::max(m.relativeVariance, m.logNormalVariance());
  const double work = variance * m.nodesPerSample * m.nsPerNode * 1e-9 / 1e-4;
  std::string exact = "";
  if (point == Point{1, 1})
    exact = againstExact(m, countSpanningTrees(graph));
  const char* mark = settings.fittedRatio                                      ? " f"
                     : settings.resistancePower != 0.0 && options.guideByPilot ? " g"
                                                                               : "";
  std::printf(
      "| %s | %d | %zu | %s | %.3g%s | %.0f | %.4g | %.3g | %.4g | %.0f | %.0f | %.4g | %s |\n",
      member.label.c_str(), member.vertexCount, member.edges.size(), pointName(point).c_str(),
      settings.tilt, mark, m.samples, m.relativeVariance, m.logSpread, m.logNormalVariance(),
      m.nodesPerSample, m.nsPerNode, work, exact.c_str());
  std::fflush(stdout);
  return m;
}

struct Growth {
  std::vector<double> vertices, logVariance, logSpreadSquared;
};

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  const auto started = std::chrono::steady_clock::now();
  std::printf("Reduced walk, B = 1, one core, %g s a cell, resistance power %g, radius %d.\n\n",
              options.seconds, options.resistancePower, options.radius);
  std::printf(
      "| graph | n | m | point | tilt | samples | RV | sd log | RV log-normal | nodes | ns/node | "
      "work to 1%% (s) | at (1, 1): estimate / exact |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::map<std::pair<std::string, Point>, Growth> growth;
  std::vector<std::pair<std::string, FamilyMember>> members = graphFiles(options.graphs);
  std::vector<std::string> families;
  if (options.graphs.empty()) {
    families = options.families;
    for (const std::string& name : options.families)
      for (FamilyMember& member : family(name, options.quick))
        members.push_back({name, std::move(member)});
  } else {
    for (const auto& [name, member] : members)
      if (std::find(families.begin(), families.end(), name) == families.end())
        families.push_back(name);
  }
  for (const auto& [name, member] : members) {
    if (member.vertexCount < options.smallest || member.vertexCount > options.largest)
      continue;
    const Graph graph(member.vertexCount, member.edges);
    for (const Point& point : options.points) {
      WalkSettings settings{1, 0, point.first, point.second, 0, WalkKind::Reduced};
      settings.resistancePower = options.resistancePower;
      settings.resistanceRadius = options.radius;
      const auto cellStart = std::chrono::steady_clock::now();
      settings = pilotChoice(graph, settings, options.seconds, options.guideByPilot);
      const double rest =
          std::max(options.seconds - secondsSince(cellStart), options.seconds / 2.0);
      std::vector<WalkSettings> configurations{settings};
      if (options.fitRounds > 0) {
        std::fprintf(stderr, "%s at %s:\n", member.label.c_str(), pointName(point).c_str());
        configurations.push_back(
            fittedChoice(graph, settings, options.seconds * options.fitShare, options));
      }
      for (const WalkSettings& measured : configurations) {
        const Measurement m = measureCell(member, graph, point, measured, rest, options);
        Growth& law = growth[{measured.fittedRatio ? name + " fitted" : name, point}];
        law.vertices.push_back(member.vertexCount);
        law.logVariance.push_back(std::log1p(m.relativeVariance));
        law.logSpreadSquared.push_back(m.logSpread * m.logSpread);
      }
    }
  }
  if (options.fitRounds > 0) {
    const std::size_t unfitted = families.size();
    for (std::size_t k = 0; k < unfitted; ++k)
      families.push_back(families[k] + " fitted");
  }
  std::printf("\nGrowth law, per 100 vertices: slope of log(1 + RV) | slope of (sd log)^2\n\n");
  std::printf("| family |");
  for (const Point& point : options.points)
    std::printf(" %s |", pointName(point).c_str());
  std::printf("\n|---|");
  for (std::size_t k = 0; k < options.points.size(); ++k)
    std::printf("---|");
  std::printf("\n");
  for (const std::string& name : families) {
    std::printf("| %s |", name.c_str());
    for (const Point& point : options.points) {
      const Growth& law = growth[{name, point}];
      std::printf(" %.3g / %.3g |", 100.0 * slope(law.vertices, law.logVariance),
                  100.0 * slope(law.vertices, law.logSpreadSquared));
    }
    std::printf("\n");
  }
  std::printf("\nTotal %.0f s.\n", secondsSince(started));
  return 0;
}
