// The variance of one sample and the work to 1%: for each graph, point, walk and budget, draws
// samples on all cores for a while and prints the relative variance of one sample (RV =
// variance / mean^2), nodes per sample, nanoseconds per node, and the work to an RE of 1%,
// time per sample x RV / 0.01^2, in core-seconds of this machine with both cores.
//   velmora_variance [--seconds S] [--budgets 1,16,256] [--walks level,reduced]
//                    [--order bfs|rcm|input] [--points 1:1,2:1] GRAPH.txt...
// The order is the reduced walk's branch order (estimator/branch_order.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "estimator/tilt_choice.h"
#include "graph/graph.h"
#include "variance_measurement.h"

namespace {

struct Options {
  double seconds = 10.0;
  std::vector<int> budgets{1};
  std::vector<WalkKind> walks{WalkKind::Level, WalkKind::Reduced};
  BranchOrder order = BranchOrder::BreadthFirst;
  double tilt = 0.0;  // 0: chosen by a pilot
  std::vector<std::pair<double, double>> points{{1, 1}, {2, 1}, {1, 2}, {3, 3}, {2, 0}, {0, 2}};
  std::vector<std::string> graphs;
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
  for (int k = 1; k < argc; ++k) {
    const std::string argument = argv[k];
    const bool hasValue = k + 1 < argc;
    if (argument == "--seconds" && hasValue) {
      options.seconds = std::atof(argv[++k]);
    } else if (argument == "--budgets" && hasValue) {
      options.budgets.clear();
      for (const std::string& b : splitAt(argv[++k], ','))
        options.budgets.push_back(std::atoi(b.c_str()));
    } else if (argument == "--walks" && hasValue) {
      options.walks.clear();
      for (const std::string& w : splitAt(argv[++k], ','))
        options.walks.push_back(w == "reduced" ? WalkKind::Reduced : WalkKind::Level);
    } else if (argument == "--order" && hasValue) {
      const std::string o = argv[++k];
      options.order = o == "input" ? BranchOrder::Input
                      : o == "rcm" ? BranchOrder::CuthillMcKee
                                   : BranchOrder::BreadthFirst;
    } else if (argument == "--tilt" && hasValue) {
      options.tilt = std::atof(argv[++k]);
    } else if (argument == "--points" && hasValue) {
      options.points.clear();
      for (const std::string& p : splitAt(argv[++k], ',')) {
        const std::vector<std::string> xy = splitAt(p, ':');
        options.points.emplace_back(std::atof(xy.at(0).c_str()), std::atof(xy.at(1).c_str()));
      }
    } else {
      options.graphs.push_back(argument);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  std::printf("%-14s %-10s %-8s %6s %6s %10s %13s %11s %9s %9s %12s %8s\n", "graph", "point",
              "walk", "B", "tilt", "samples", "mean", "RV", "nodes", "ns/node", "s to 1%",
              "pilot s");
  for (const std::string& path : options.graphs) {
    const Graph graph = loadGraph(path);
    const std::string name = splitAt(splitAt(path, '/').back(), '.').front();
    for (const auto& [x, y] : options.points)
      for (WalkKind walk : options.walks)
        for (int budget : options.budgets) {
          WalkSettings settings{budget, 1, x, y, 0, walk, options.order, 1.0};
          double pilotSeconds = 0.0;
          if (walk == WalkKind::Reduced) {
            const auto start = std::chrono::steady_clock::now();
            WalkSettings pilot = settings;
            pilot.budget = 1;  // the tilt is the tree's, whatever the budget
            settings.tilt = options.tilt > 0.0
                                ? options.tilt
                                : chooseTilt(graph, pilot, pilotSeeds(13 * 200)).tilt;
            pilotSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          }
          const Measurement m = measure(graph, settings, options.seconds);
          char point[32];
          std::snprintf(point, sizeof point, "(%g,%g)", x, y);
          std::printf("%-14s %-10s %-8s %6d %6.3g %10.0f %13s %11.4g %9.1f %9.0f %12.4g %8.3g\n",
                      name.c_str(), point, walk == WalkKind::Reduced ? "reduced" : "level", budget,
                      settings.tilt, m.samples, printed(m.mean).c_str(), m.relativeVariance,
                      m.nodesPerSample, m.nsPerNode, m.secondsPerSample * m.relativeVariance / 1e-4,
                      pilotSeconds);
          std::fflush(stdout);
        }
  }
  return 0;
}
