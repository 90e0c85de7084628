// Micro-benchmarks of the hot operations (copy, classify, delete, contract), of one whole
// sample of each estimator, of the exact spanning-tree count, of the exact evaluator and of the
// frontier engine, on the fixed instances of bench/graphs.
#include <benchmark/benchmark.h>

#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "estimator/branch_order.h"
#include "estimator/exact_evaluator.h"
#include "estimator/exact_route.h"
#include "estimator/full_expansion.h"
#include "estimator/integer_polynomial.h"
#include "estimator/level_walk.h"
#include "estimator/reduced_walk.h"
#include "estimator/spanning_tree_count.h"
#include "estimator/wide_float.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"

namespace {

const std::vector<std::string> kGraphs = {"grid8x8",  "k10",       "petersen",
                                          "cubic100", "cubic1000", "multigraph"};
// Within the exact evaluator's reach, or just beyond it (grid6x6).
const std::vector<std::string> kSmallGraphs = {"petersen", "k10",       "grid5x5",
                                               "grid6x6",  "quartic20", "quartic23"};
// The point of the exact values: not an integer, so that fewer factors coincide by chance.
constexpr double kExactX = 1.5, kExactY = 2.5;

Graph loadGraph(const std::string& name) {
  static std::map<std::string, Graph> cache;
  auto found = cache.find(name);
  if (found == cache.end()) {
    EdgeList edges;
    int edgeCount = 0;
    int vertexCount = 0;
    readInstanceFile(std::string(VELMORA_BENCH_GRAPHS) + "/" + name + ".txt", edges, edgeCount,
                     vertexCount);
    found = cache.emplace(name, Graph(vertexCount, edges)).first;
  }
  return found->second;
}

void copyGraph(benchmark::State& state, const std::string& name) {
  Graph source = loadGraph(name);
  source.classifyEdges();
  for (auto _ : state) {
    Graph copy(source);
    benchmark::DoNotOptimize(copy);
  }
  state.SetItemsProcessed(state.iterations());
}

void classifyGraph(benchmark::State& state, const std::string& name) {
  Graph graph = loadGraph(name);
  for (auto _ : state) {
    graph.classifyEdges();
    benchmark::DoNotOptimize(graph.classified);
  }
  state.SetItemsProcessed(state.iterations());
}

// Deletes every edge in id order, or contracts every edge that has not become a loop; only the
// copy that each round starts from is not timed.
void removeEdges(benchmark::State& state, const std::string& name, bool contract) {
  const Graph source = loadGraph(name);
  std::int64_t operations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Graph graph(source);
    state.ResumeTiming();
    for (int id = 0; id < graph.edgeIdLimit(); ++id) {
      if (!contract) {
        graph.deleteEdge(id);
      } else if (const Edge e = graph.edge(id); e.u != e.v) {
        graph.contractEdge(id);
      } else {
        continue;
      }
      ++operations;
    }
    benchmark::DoNotOptimize(graph.edgeCount);
  }
  state.SetItemsProcessed(operations);
}

// One whole sample per iteration through the walk object, each from its own seed. Items are
// tree nodes built, so items per second is the walk's node rate (1e9 / it: ns per node).
template <bool Coefficients>
void wholeSample(benchmark::State& state, const std::string& name) {
  Graph graph = loadGraph(name);
  graph.classifyEdges();
  const int budget = static_cast<int>(state.range(0));
  const int mcore = static_cast<int>(state.range(1));
  LevelWalk walk(budget, mcore);
  std::uint64_t seed = 1;
  for (auto _ : state) {
    if constexpr (Coefficients) {
      WideFloat point = 0.0;
      benchmark::DoNotOptimize(walk.sampleCoefficients(graph, 2, 1, seed++, &point));
    } else {
      benchmark::DoNotOptimize(walk.samplePoint(graph, 2, 0, seed++));
    }
  }
  state.SetItemsProcessed(walk.nodesBuilt());
}

// One whole sample of the reduced walk at (2, 1) per iteration, with tilt 1; items are tree
// nodes built, as above.
void reducedSample(benchmark::State& state, const std::string& name) {
  const ReducedNode root = reducedRoot(loadGraph(name), 2, 1);
  ReducedWalk walk(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::uint64_t seed = 1;
  for (auto _ : state)
    benchmark::DoNotOptimize(walk.sample(root, seed++));
  state.SetItemsProcessed(walk.nodesBuilt());
}

// The exact number of spanning trees, which normal mode checks its coefficients against.
void countTrees(benchmark::State& state, const std::string& name) {
  const Graph graph = loadGraph(name);
  for (auto _ : state)
    benchmark::DoNotOptimize(countSpanningTrees(graph));
}

// The exact evaluator through the library: the whole polynomial, or the value at one point.
void exactPolynomial(benchmark::State& state, const std::string& name) {
  const Graph graph = loadGraph(name);
  for (auto _ : state)
    benchmark::DoNotOptimize(exactTutteCoefficients(graph));
}

void exactValue(benchmark::State& state, const std::string& name) {
  const Graph graph = loadGraph(name);
  for (auto _ : state)
    benchmark::DoNotOptimize(exactTutteValue(graph, kExactX, kExactY));
}

// The frontier engine through the library's exact route (the orders and the dry run included),
// at the standard integer points and one real point, and the whole polynomial. The counters are
// the frontier's width, its states summed over the vertices' steps and the predicted seconds.
const std::vector<std::string> kFrontierGraphs = {"grid8x8", "grid10x10", "c60", "grid12x12",
                                                  "grid14x14"};

void frontierValue(benchmark::State& state, const std::string& name, double x, double y) {
  const Graph graph = loadGraph(name);
  for (auto _ : state) {
    const ExactValue value = exactValueOrRefuse(graph, x, y, 1e4);
    benchmark::DoNotOptimize(value.value);
    state.counters["width"] = value.cost.frontierWidth;
    state.counters["states"] = value.cost.frontierStates;
    state.counters["predicted_s"] = value.cost.predictedSeconds;
  }
}

void frontierPolynomial(benchmark::State& state, const std::string& name) {
  const Graph graph = loadGraph(name);
  for (auto _ : state) {
    const ExactPolynomial polynomial = exactPolynomialOrRefuse(graph, 1e4);
    benchmark::DoNotOptimize(polynomial.coefficients);
    state.counters["width"] = polynomial.cost.frontierWidth;
    state.counters["states"] = polynomial.cost.frontierStates;
    state.counters["predicted_s"] = polynomial.cost.predictedSeconds;
  }
}

void registerFrontier() {
  const std::pair<double, double> points[] = {{2, 1}, {1, 2}, {3, 3}, {2, 0}, {0, 2}, {1.5, 2.5}};
  for (const std::string& name : kFrontierGraphs) {
    for (const auto& [x, y] : points) {
      std::ostringstream label;
      label << "frontier/value/" << name << "/" << x << "," << y;
      benchmark::RegisterBenchmark(label.str().c_str(), frontierValue, name, x, y)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(name == "grid12x12" || name == "grid14x14" ? 1 : 3);
    }
  }
  for (const std::string name : {"grid8x8", "c60", "grid10x10"})
    benchmark::RegisterBenchmark(("frontier/polynomial/" + name).c_str(), frontierPolynomial, name)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

// The expansion under the exact evaluator, with or without its cache and without its limits:
// what the cache saves. The counters are the nodes expanded and the cache hits of one run.
template <typename Value>
void expansion(benchmark::State& state, const std::string& name, bool cached) {
  const Graph graph = loadGraph(name);
  EdgeFactors<Value> inputEdge;
  if constexpr (std::is_same_v<Value, IntegerPolynomial>)
    inputEdge = {1, 1, IntegerPolynomial::monomial(1, 0), IntegerPolynomial::monomial(0, 1)};
  else
    inputEdge = {1.0, 1.0, kExactX, kExactY};
  const ReducedGraph<Value> root(graph.vertexIdLimit(),
                                 branchOrderedEdges(graph, BranchOrder::BreadthFirst), inputEdge);
  for (auto _ : state) {
    FullExpansion<Value> expansion(cached);
    benchmark::DoNotOptimize(expansion.valueOf(root));
    state.counters["nodes"] = static_cast<double>(expansion.nodesExpanded());
    state.counters["hits"] = static_cast<double>(expansion.cacheHits());
  }
}

// The arithmetic of a walk on numbers of ordinary size: per depth one level-weight update and
// one node weight, per leaf one weighted monomial added to the sum. Number is double or
// WideFloat, side by side.
template <typename Number>
void walkArithmetic(benchmark::State& state) {
  std::vector<double> ratios(1024), monomials(1024);
  for (std::size_t k = 0; k < ratios.size(); ++k) {
    ratios[k] = 1.0 + static_cast<double>(k % 7) / 8.0;
    monomials[k] = static_cast<double>(1 + k % 5);
  }
  for (auto _ : state) {
    Number levelWeight = 1.0, sum = 0.0;
    for (std::size_t k = 0; k < ratios.size(); ++k) {
      levelWeight = Number(ratios[k]) * levelWeight;
      const Number nodeWeight = Number(1.0 / static_cast<double>(1 + k % 3)) * levelWeight;
      sum = Number(monomials[k]) * nodeWeight * Number(monomials[ratios.size() - 1 - k]) + sum;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(ratios.size()));
}

void registerExact() {
  for (const std::string& name : kSmallGraphs) {
    const Graph graph = loadGraph(name);
    if (graph.edgeCount <= kExactPolynomialMaxReducedEdges) {
      benchmark::RegisterBenchmark(("exact/polynomial/" + name).c_str(), exactPolynomial, name)
          ->Unit(benchmark::kMillisecond);
    }
    if (name != "grid6x6") {
      benchmark::RegisterBenchmark(("exact/value/" + name).c_str(), exactValue, name)
          ->Unit(benchmark::kMillisecond);
    }
    for (const bool cached : {true, false}) {
      const std::string suffix = name + (cached ? "/cache:1" : "/cache:0");
      benchmark::RegisterBenchmark(("expansion/polynomial/" + suffix).c_str(),
                                   expansion<IntegerPolynomial>, name, cached)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("expansion/value/" + suffix).c_str(), expansion<WideFloat>,
                                   name, cached)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

void registerAll() {
  registerExact();
  registerFrontier();
  benchmark::RegisterBenchmark("arithmetic/double", walkArithmetic<double>);
  benchmark::RegisterBenchmark("arithmetic/wide", walkArithmetic<WideFloat>);
  for (const std::string& name : kGraphs) {
    benchmark::RegisterBenchmark(("copy/" + name).c_str(), copyGraph, name);
    benchmark::RegisterBenchmark(("classify/" + name).c_str(), classifyGraph, name);
    benchmark::RegisterBenchmark(("delete/" + name).c_str(), removeEdges, name, false);
    benchmark::RegisterBenchmark(("contract/" + name).c_str(), removeEdges, name, true);
    benchmark::RegisterBenchmark(("spanning_trees/" + name).c_str(), countTrees, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("reduced/" + name).c_str(), reducedSample, name)
        ->ArgsProduct({{1, 16, 256}, {0, 1}})
        ->ArgNames({"B", "mcore"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (auto* sample : {&wholeSample<false>, &wholeSample<true>}) {
      const std::string kind = sample == &wholeSample<false> ? "point/" : "coefficients/";
      benchmark::RegisterBenchmark((kind + name).c_str(), *sample, name)
          ->ArgsProduct({{1, 16, 256, 1024}, {0, 1}})
          ->ArgNames({"B", "mcore"})
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
