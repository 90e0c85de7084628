#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "graph/reduced_graph.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"

namespace {

using Factors = EdgeFactors<double>;
struct FactorEdge {
  int u;
  int v;
  Factors factors;
};
using FactorGraph = std::vector<FactorEdge>;

FactorGraph liveEdges(const ReducedGraph<double>& node) {
  FactorGraph edges;
  const Graph& g = node.topology();
  for (int id = 0; id < g.edgeIdLimit(); ++id)
    if (g.hasEdge(id))
      edges.push_back({g.edge(id).u, g.edge(id).v, node.factors(id)});
  return edges;
}

bool joined(const FactorGraph& edges, std::size_t skip, int a, int b) {
  std::vector<int> frontier{a};
  std::set<int> seen{a};
  while (!frontier.empty()) {
    const int w = frontier.back();
    frontier.pop_back();
    for (std::size_t k = 0; k < edges.size(); ++k) {
      const auto& e = edges[k];
      if (k == skip || (e.u != w && e.v != w))
        continue;
      const int far = e.u == w ? e.v : e.u;
      if (seen.insert(far).second)
        frontier.push_back(far);
    }
  }
  return seen.count(b) > 0;
}

// The value of a graph whose edges carry factors, by the three rules that define them, on the
// first edge: independent of the reductions under test.
double factorValue(FactorGraph edges) {
  if (edges.empty())
    return 1.0;
  const FactorEdge e = edges.front();
  FactorGraph deleted(edges.begin() + 1, edges.end());
  FactorGraph contracted = deleted;
  for (auto& f : contracted) {
    f.u = f.u == e.v ? e.u : f.u;
    f.v = f.v == e.v ? e.u : f.v;
  }
  if (e.u == e.v)
    return e.factors.Y * factorValue(deleted);
  if (!joined(edges, 0, e.u, e.v))
    return e.factors.X * factorValue(contracted);
  return e.factors.a * factorValue(deleted) + e.factors.b * factorValue(contracted);
}

double nodeValue(const ReducedGraph<double>& node) {
  return node.weight() * factorValue(liveEdges(node));
}

// No loop, no bridge, no two edges with the same ends, no vertex with one or two edges.
void expectFullyReduced(const ReducedGraph<double>& node) {
  const FactorGraph edges = liveEdges(node);
  std::set<std::pair<int, int>> pairs;
  std::vector<int> degree(node.topology().vertexIdLimit(), 0);
  for (std::size_t k = 0; k < edges.size(); ++k) {
    const auto [u, v, factors] = edges[k];
    ASSERT_NE(u, v) << "a loop is left";
    EXPECT_TRUE(pairs.insert(std::minmax(u, v)).second) << "parallel edges are left";
    EXPECT_TRUE(joined(edges, k, u, v)) << "a bridge is left";
    ++degree[u];
    ++degree[v];
  }
  for (int d : degree)
    EXPECT_TRUE(d == 0 || d >= 3) << "a vertex of degree " << d << " is left";
}

double relativeGap(double a, double b) {
  return std::abs(a - b) / std::max({1.0, std::abs(a), std::abs(b)});
}

int vertexCount(const EdgeList& edges) {
  std::set<int> ids;
  for (auto [u, v] : edges)
    ids.insert({u, v});
  return static_cast<int>(ids.size());
}

const double kPoints[][2] = {{1, 1}, {2, 1},  {1, 2},     {2, 0},     {0, 2},
                             {3, 3}, {-2, 0}, {0.5, 1.5}, {-1.5, 2.5}};

// A ring of `beads` cubes, each without the edge between its vertices 0 and 1 and joined to the
// next one by an edge from its vertex 1 to the next one's vertex 0: 3-regular, no bead reduces
// away, and any two ring edges are a 2-edge cut, so deleting one makes every other one a bridge.
EdgeList necklace(int beads) {
  EdgeList edges;
  for (int i = 0; i < beads; ++i) {
    const int b = 8 * i;
    for (int v = 0; v < 8; ++v)
      for (int bit : {1, 2, 4})
        if (v < (v ^ bit) && !(v == 0 && bit == 1))
          edges.emplace_back(b + v, b + (v ^ bit));
    edges.emplace_back(b + 1, 8 * ((i + 1) % beads));
  }
  return edges;
}

}  // namespace

// The two merge rules, each against plain deletion-contraction, on the smallest graphs that
// need them: the reduced graph of a cycle, a theta graph and a dumbbell has no edge left.
TEST(ReducedGraph, SeriesParallelGraphsReduceToTheirValue) {
  const EdgeList cases[] = {
      {{0, 1}, {1, 2}, {2, 0}},                                  // a cycle: series, then a loop
      {{0, 1}, {0, 1}, {0, 1}},                                  // three parallel edges
      {{0, 1}, {1, 2}, {0, 2}, {0, 3}, {3, 2}},                  // a theta graph
      {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 5}, {5, 3}},  // two triangles and a bridge
      {{0, 0}, {0, 1}, {1, 1}, {2, 3}, {3, 2}},                  // loops and a separate double edge
  };
  for (const EdgeList& edges : cases) {
    for (const auto& [x, y] : kPoints) {
      const ReducedGraph<double> root(vertexCount(edges), edges, {1, 1, x, y});
      EXPECT_TRUE(root.isLeaf());
      EXPECT_LE(relativeGap(root.weight(), exactTutte(edges).evaluate(x, y)), 1e-12);
    }
  }
}

// Every node of random walks down the tree: fully reduced, and worth what its two children are
// worth together; the root worth T. On random multigraphs with loops, parallel edges and
// several components, at integer, negative and fractional points.
TEST(ReducedGraph, EveryEditKeepsTheValueAndLeavesNothingToReduce) {
  std::mt19937_64 rng(7);
  int innerNodes = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const EdgeList edges = trial % 2 == 0 ? randomMultigraphUpTo(14, 8, rng)
                                          : randomCubicMultigraph(8 + trial / 2 % 2 * 2, rng());
    const auto [x, y] = kPoints[trial % std::size(kPoints)];
    ReducedGraph<double> node(vertexCount(edges), edges, {1, 1, x, y});
    double value = nodeValue(node);
    ASSERT_LE(relativeGap(value, exactTutte(edges).evaluate(x, y)), 1e-9);
    while (!node.isLeaf()) {
      expectFullyReduced(node);
      ReducedGraph<double> deleted = node, contracted = node;
      deleted.deleteBranchEdge();
      contracted.contractBranchEdge();
      const double deletedValue = nodeValue(deleted), contractedValue = nodeValue(contracted);
      ASSERT_LE(relativeGap(value, deletedValue + contractedValue), 1e-9) << "trial " << trial;
      const bool deletes = rng() % 2 == 0;
      node = deletes ? deleted : contracted;
      value = deletes ? deletedValue : contractedValue;
      ++innerNodes;
    }
  }
  EXPECT_GT(innerNodes, 150);  // the walks are not all trivial
}

// Long walks on larger graphs, where values are out of reach: the reductions after every edit
// still leave nothing a reduction from scratch would find. On random 3-regular multigraphs, and
// on necklaces, where deletions and parallel merges leave bridges again and again.
TEST(ReducedGraph, LongWalksStayFullyReduced) {
  std::mt19937_64 rng(11);
  for (int vertices : {40, 120, 80, 160}) {
    const EdgeList edges =
        vertices % 80 == 0 ? necklace(vertices / 8) : randomCubicMultigraph(vertices, 3 + vertices);
    ReducedGraph<double> node(vertices, edges, {1, 1, 2, 1});
    int depth = 0;
    while (!node.isLeaf()) {
      expectFullyReduced(node);
      if (rng() % 2 == 0)
        node.deleteBranchEdge();
      else
        node.contractBranchEdge();
      ++depth;
    }
    EXPECT_GT(depth, 5);
  }
}

// Renumbering the vertices changes names only: a renumbered node and the original, walked down
// by the same choices, keep the same branch edges, bit-equal weights and factors, and ends that
// correspond one to one; the renumbered one stays fully reduced. On random multigraphs and
// cubic multigraphs, and on necklaces, whose walks merge parallel pairs into bridges.
TEST(ReducedGraph, RenumberingInBranchOrderChangesNamesOnly) {
  std::mt19937_64 rng(13);
  for (int trial = 0; trial < 120; ++trial) {
    const EdgeList edges = trial % 3 == 0   ? randomMultigraphUpTo(30, 12, rng)
                           : trial % 3 == 1 ? randomCubicMultigraph(24 + trial % 5 * 8, rng())
                                            : necklace(3 + trial % 4);
    const int vertices = vertexCount(edges);
    ReducedGraph<double> original(vertices, edges, {1, 1, 2, 1.5});
    ReducedGraph<double> renamed = original;
    renamed.renumberInBranchOrder();
    std::vector<int> nameOf(original.topology().vertexIdLimit(), -1);
    for (;;) {
      ASSERT_EQ(renamed.branchEdge(), original.branchEdge()) << "trial " << trial;
      ASSERT_EQ(renamed.weight(), original.weight()) << "trial " << trial;
      const Graph& a = original.topology();
      const Graph& b = renamed.topology();
      for (int id = 0; id < a.edgeIdLimit(); ++id) {
        ASSERT_EQ(a.hasEdge(id), b.hasEdge(id));
        if (!a.hasEdge(id))
          continue;
        const Factors& f = original.factors(id);
        const Factors& g = renamed.factors(id);
        ASSERT_TRUE(f.a == g.a && f.b == g.b && f.X == g.X && f.Y == g.Y) << "edge " << id;
        for (auto [from, to] :
             {std::pair{a.edge(id).u, b.edge(id).u}, {a.edge(id).v, b.edge(id).v}}) {
          if (nameOf[from] < 0)
            nameOf[from] = to;
          ASSERT_EQ(nameOf[from], to) << "trial " << trial << " edge " << id;
        }
      }
      if (original.isLeaf())
        break;
      expectFullyReduced(renamed);
      if (rng() % 2 == 0) {
        original.deleteBranchEdge();
        renamed.deleteBranchEdge();
      } else {
        original.contractBranchEdge();
        renamed.contractBranchEdge();
      }
    }
  }
}
