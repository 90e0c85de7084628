#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>

#include "graph/components.h"
#include "graph/graph.h"
#include "graph/spanning_forest.h"
#include "support/graph_builders.h"
#include "support/graph_invariants.h"

namespace {

using Ends = std::pair<int, int>;
using Table = std::vector<std::vector<int>>;  // [power of x][power of y] -> coefficient

// The only reads of Graph's views in this file, besides the invariant checker.
std::map<int, Ends> currentEdges(const Graph& g) {
  std::map<int, Ends> out;
  for (int id = 0; id < g.edgeIdLimit(); ++id)
    if (g.hasEdge(id))
      out[id] = {g.edge(id).u, g.edge(id).v};
  return out;
}
Ends edgeEnds(const Graph& g, int id) {
  return currentEdges(g).at(id);
}
// Number of edges listed at v, a loop once; -1 when v is not a vertex.
int degree(const Graph& g, int v) {
  return g.hasVertex(v) ? g.degree(v) : -1;
}
// 'l' loop, 'b' bridge, 'o' ordinary; read only while classified.
char kind(const Graph& g, int id) {
  return g.edgeClass(id) == EdgeClass::Loop     ? 'l'
         : g.edgeClass(id) == EdgeClass::Bridge ? 'b'
                                                : 'o';
}
std::size_t searchTableSize(const Graph& g) {
  return static_cast<std::size_t>(g.vertexIdLimit());
}

// Brute force: are a and b joined without edge `skip`? Union-find over the current edges.
bool joinedWithout(const std::map<int, Ends>& edges, int skip, int a, int b) {
  std::map<int, int> parent;
  auto root = [&](int x) {
    while (parent.count(x) && parent[x] != x)
      x = parent[x];
    return x;
  };
  for (const auto& [id, e] : edges)
    if (id != skip)
      parent[root(e.first)] = root(e.second);
  return root(a) == root(b);
}

// The whole deletion-contraction tree, walked with Graph's own operations.
void walk(Graph g, Table& result) {
  g.classifyEdges();
  expectGraphInvariants(g);
  if (g.ordinaryCount() == 0) {
    ++result[g.bridgeCount()][g.loopCount()];
    return;
  }
  const int branch = g.firstOrdinaryEdge();
  Graph contracted = g;
  g.deleteEdge(branch);
  contracted.contractEdge(branch);
  walk(std::move(g), result);
  walk(std::move(contracted), result);
}

// The Tutte polynomial as text, x powers descending and then y powers ascending: "x^2+x+y".
std::string tutte(const EdgeList& list) {
  const int size = static_cast<int>(list.size()) + 1;
  Table t(size, std::vector<int>(size));
  walk(graphOf(list), t);
  auto power = [](std::string var, int k) {
    if (k > 1)
      var.append("^").append(std::to_string(k));
    return k == 0 ? std::string() : var;
  };
  std::string out;
  for (int i = size - 1; i >= 0; --i)
    for (int j = 0; j < size; ++j) {
      if (t[i][j] == 0)
        continue;
      const std::string term = power("x", i) + power("y", j);
      out += out.empty() ? "" : "+";
      out += t[i][j] > 1 || term.empty() ? std::to_string(t[i][j]) + term : term;
    }
  return out;
}

const EdgeList kTriangle{{0, 1}, {1, 2}, {2, 0}};
const EdgeList kK4{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};

}  // namespace

TEST(Graph, ConstructionKeepsLoopsAndParallelPairsAsWritten) {
  Graph empty(0, {});
  empty.classifyEdges();
  EXPECT_EQ(empty.edgeCount + empty.vertexCount + empty.loopCount() + empty.bridgeCount(), 0);
  Graph loop = graphOf({{0, 0}});
  EXPECT_EQ(degree(loop, 0), 1);
  Graph pair = graphOf({{0, 1}, {1, 0}});
  EXPECT_EQ(edgeEnds(pair, 0), Ends(0, 1));
  EXPECT_EQ(edgeEnds(pair, 1), Ends(1, 0));
  EXPECT_EQ(degree(pair, 0), 2);
  EXPECT_EQ(degree(pair, 1), 2);
  for (const Graph* g : {&empty, &loop, &pair})
    expectGraphInvariants(*g);
}

TEST(Graph, IdsNumberedFromOneOrWithGapsGetTablesOfTheDistinctCount) {
  const EdgeList fromOne{{1, 2}, {2, 3}, {3, 1}};
  const EdgeList gaps{{5, 2000000000}, {2000000000, 5}, {2000000000, 2000000000}};
  EXPECT_EQ(searchTableSize(graphOf(fromOne)), 3u);
  EXPECT_EQ(searchTableSize(graphOf(gaps)), 2u);
  EXPECT_EQ(tutte(fromOne), "x^2+x+y");
  EXPECT_EQ(tutte(gaps), "xy+y^2");
}

TEST(Graph, CopiesAreIndependentAndBranchOnTheSameEdge) {
  Graph source = graphOf(kK4);
  source.contractEdge(0);
  Graph first = source, second = source;
  first.classifyEdges();
  second.classifyEdges();
  EXPECT_EQ(first.firstOrdinaryEdge(), second.firstOrdinaryEdge());
  Graph copy = first;
  EXPECT_TRUE(copy.classified);
  EXPECT_EQ(copy.firstOrdinaryEdge(), first.firstOrdinaryEdge());
  copy.contractEdge(copy.firstOrdinaryEdge());
  EXPECT_EQ(first.edgeCount, 5);
  expectGraphInvariants(first);
  expectGraphInvariants(copy);
}

TEST(Graph, DeletionLeavesIsolatedVerticesInPlace) {
  Graph g = graphOf({{0, 1}, {1, 2}, {2, 2}});
  g.classifyEdges();
  g.deleteEdge(0);
  g.deleteEdge(2);
  EXPECT_FALSE(g.classified);
  EXPECT_EQ(g.edgeCount, 1);
  EXPECT_EQ(degree(g, 0), 0);
  EXPECT_EQ(degree(g, 2), 1);
  expectGraphInvariants(g);
}

TEST(Components, CountTheVerticesCurrentEdgesTouch) {
  // Two components over ids with gaps (dense after construction), a loop-only vertex as a
  // component of its own, and a vertex left bare by deletions, which drops out.
  Graph g = graphOf({{10, 11}, {11, 12}, {12, 10}, {20, 21}, {20, 21}, {30, 30}, {40, 41}});
  Components found = findComponents(g);
  EXPECT_EQ(found.vertexCount, 8);
  EXPECT_EQ(found.count, 4);
  EXPECT_EQ(found.rank(), 4);
  EXPECT_EQ(found.componentOf, (std::vector<int>{0, 0, 0, 1, 1, 2, 3, 3}));
  g.deleteEdge(6);
  found = findComponents(g);
  EXPECT_EQ(found.vertexCount, 6);
  EXPECT_EQ(found.count, 3);
  EXPECT_EQ(found.componentOf[6], -1);
  // Contraction merges ends: the triangle's rank drops by one, its component stays.
  g.contractEdge(0);
  EXPECT_EQ(findComponents(g).rank(), 2);
  EXPECT_EQ(findComponents(Graph()).count, 0);
}

TEST(Graph, ContractionKeepsTheBusierEndAndTheEdgesUOnATie) {
  // Edge 0 = (0, 1): after its deletion 0 has two edges and 1 has four, so 0 vanishes.
  Graph g = graphOf({{0, 1}, {0, 2}, {3, 0}, {1, 4}, {1, 5}, {6, 1}, {1, 7}});
  g.contractEdge(0);
  EXPECT_EQ(degree(g, 0), -1);
  EXPECT_EQ(degree(g, 1), 6);
  EXPECT_EQ(edgeEnds(g, 1), Ends(1, 2));
  EXPECT_EQ(edgeEnds(g, 2), Ends(3, 1));
  expectGraphInvariants(g);
  // Edge 0 = (1, 0) with two more edges at each end: u = 1 survives. Edge 1 is its parallel
  // twin and edge 2 a loop at the vanishing vertex: both end up as loops listed once at 1.
  Graph tie = graphOf({{1, 0}, {0, 1}, {0, 0}, {1, 2}});
  tie.classifyEdges();
  tie.contractEdge(0);
  EXPECT_FALSE(tie.classified);
  EXPECT_EQ(degree(tie, 0), -1);
  EXPECT_EQ(degree(tie, 1), 3);
  EXPECT_EQ(edgeEnds(tie, 1), Ends(1, 1));
  EXPECT_EQ(edgeEnds(tie, 2), Ends(1, 1));
  tie.classifyEdges();
  EXPECT_EQ(tie.loopCount(), 2);
  EXPECT_EQ(kind(tie, 3), 'b');
  expectGraphInvariants(tie);
}

#ifdef NDEBUG  // Debug builds assert on these broken preconditions instead.
TEST(Graph, AbsentIdsAndLoopContractionsLeaveTheGraphUnchanged) {
  Graph g = graphOf({{0, 1}, {1, 1}, {1, 2}});
  g.deleteEdge(0);
  g.classifyEdges();
  g.deleteEdge(0);
  g.deleteEdge(7);
  g.contractEdge(0);
  g.contractEdge(-3);
  g.contractEdge(1);
  EXPECT_TRUE(g.classified);
  EXPECT_EQ(g.edgeCount, 2);
  EXPECT_EQ(g.vertexCount, 3);
  EXPECT_EQ(degree(g, 1), 2);
  EXPECT_EQ(edgeEnds(g, 1), Ends(1, 1));
  expectGraphInvariants(g);
}
#endif

TEST(Graph, ClassifiesSmallGraphs) {
  // The kinds of edges 0, 1, ... in order.
  const std::pair<EdgeList, std::string> cases[] = {
      {{}, ""},
      {{{0, 1}}, "b"},
      {{{0, 1}, {0, 1}}, "oo"},
      {kTriangle, "ooo"},
      {{{0, 1}, {1, 2}, {1, 2}}, "boo"},
      {{{0, 0}, {0, 1}}, "lb"},
      {{{0, 1}, {1, 1}}, "bl"},
      {{{0, 1}, {2, 3}}, "bb"},
      {{{3, 2}, {1, 0}}, "bb"},
      {{{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}}, "bbbbb"},
      {{{5, 0}, {5, 1}, {5, 2}, {5, 3}, {5, 4}}, "bbbbb"},
      {{{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 5}, {5, 3}}, "ooobooo"},
  };
  for (const auto& [edges, expected] : cases) {
    Graph g = graphOf(edges);
    g.classifyEdges();
    expectGraphInvariants(g);
    std::string kinds;
    for (int id = 0; id < g.edgeCount; ++id)
      kinds += kind(g, id);
    EXPECT_EQ(kinds, expected);
  }
}

TEST(Graph, ClassifiesALongPathWithoutRecursing) {
  const int n = 200000;
  EdgeList path(n - 1);
  for (int i = 0; i + 1 < n; ++i)
    path[i] = {i, i + 1};
  Graph g(n, path);
  g.classifyEdges();
  EXPECT_EQ(g.bridgeCount(), n - 1);
  EXPECT_EQ(g.ordinaryCount(), 0);
}

TEST(Graph, RandomEditsKeepInvariantsAndAgreeWithBruteForceClassification) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    auto below = [&rng](int k) { return std::uniform_int_distribution<int>(0, k - 1)(rng); };
    Graph g = graphOf(randomMultigraphUpTo(10, 6, rng));
    while (g.edgeCount > 0) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      g.classifyEdges();
      expectGraphInvariants(g);
      const auto edges = currentEdges(g);
      for (const auto& [id, e] : edges)
        EXPECT_EQ(kind(g, id) == 'b',
                  e.first != e.second && !joinedWithout(edges, id, e.first, e.second));
      auto pick = std::next(edges.begin(), below(static_cast<int>(edges.size())));
      const auto [id, e] = *pick;
      if (e.first == e.second || below(2) == 0) {
        g.deleteEdge(id);
      } else {
        const int survivor = degree(g, e.first) < degree(g, e.second) ? e.second : e.first;
        g.contractEdge(id);
        EXPECT_EQ(degree(g, e.first + e.second - survivor), -1);
      }
      expectGraphInvariants(g);
    }
  }
}

TEST(Graph, DeletionContractionGivesKnownTuttePolynomials) {
  EXPECT_EQ(tutte(kTriangle), "x^2+x+y");
  EXPECT_EQ(tutte(kK4), "x^3+3x^2+2x+4xy+2y+3y^2+y^3");
  EXPECT_EQ(tutte({{0, 1}, {1, 0}}), "x+y");
  EXPECT_EQ(tutte({{0, 0}}), "y");
  EXPECT_EQ(tutte({{0, 1}}), "x");
  EXPECT_EQ(tutte({{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}}), "x^4+x^3+x^2+x+y");
  EXPECT_EQ(tutte({}), "1");
}

// Both children of a classified node, kept classified by the editing itself, against a full
// search of the same edited graph.
void expectSameClasses(const Graph& kept, Graph searched) {
  searched.classifyEdges();
  expectGraphInvariants(kept);
  ASSERT_TRUE(kept.classified);
  EXPECT_EQ(kept.loopCount(), searched.loopCount());
  EXPECT_EQ(kept.bridgeCount(), searched.bridgeCount());
  if (kept.ordinaryCount() > 0) {
    EXPECT_EQ(kept.firstOrdinaryEdge(), searched.firstOrdinaryEdge());
  }
  for (const auto& edge : currentEdges(kept))
    EXPECT_EQ(kind(kept, edge.first), kind(searched, edge.first)) << "edge " << edge.first;
}

TEST(Graph, BranchEdgeChildrenKeepTheClassesAFullSearchWouldFind) {
  // Small dense multigraphs (many twins and loops) and larger sparse ones (long cycles, chains
  // of new bridges, searches that run out on one side), each walked down to a leaf.
  const std::tuple<unsigned, int, int> shapes[] = {{300, 14, 7}, {150, 40, 20}, {60, 90, 60}};
  for (const auto& [seeds, maxEdges, maxVertices] : shapes)
    for (unsigned seed = 1; seed <= seeds; ++seed) {
      std::mt19937 rng(seed);
      auto below = [&rng](int k) { return std::uniform_int_distribution<int>(0, k - 1)(rng); };
      Graph g = graphOf(randomMultigraphUpTo(maxEdges, maxVertices, rng));
      for (g.classifyEdges(); g.ordinaryCount() > 0;) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " of " << maxEdges << " edges");
        Graph deleted = g, contracted = g, searchedDeleted = g, searchedContracted = g;
        deleted.deleteBranchEdge();
        contracted.contractBranchEdge();
        searchedDeleted.deleteEdge(g.firstOrdinaryEdge());
        searchedContracted.contractEdge(g.firstOrdinaryEdge());
        expectSameClasses(deleted, searchedDeleted);
        expectSameClasses(contracted, searchedContracted);
        g = below(2) == 0 ? deleted : contracted;
      }
    }
}

TEST(Graph, DeletionChildrenOfLongCyclesAndNecklaces) {
  // A cycle of n vertices: deleting one edge makes the other n - 1 bridges, found without
  // recursion.
  const int n = 100000;
  Graph ring = graphOf(cycleEdges(n));
  ring.classifyEdges();
  ring.deleteBranchEdge();
  EXPECT_EQ(ring.bridgeCount(), n - 1);
  EXPECT_EQ(ring.ordinaryCount(), 0);
  // A ring of 1000 links, doubled and single in turn, starting with a doubled one. Deleting one
  // edge of the first link leaves a ring: two paths everywhere, no bridge. Deleting its twin
  // opens the ring, and the 500 single links become bridges between 2-edge-connected pairs:
  // the search runs out on one side again and again.
  EdgeList necklace;
  for (int i = 0; i < 1000; ++i) {
    necklace.push_back({i, (i + 1) % 1000});
    if (i % 2 == 0)
      necklace.push_back({i, (i + 1) % 1000});
  }
  Graph beads = graphOf(necklace);
  beads.classifyEdges();
  for (int expectedBridges : {0, 500}) {
    Graph searched = beads;
    searched.deleteEdge(beads.firstOrdinaryEdge());
    beads.deleteBranchEdge();
    EXPECT_EQ(beads.bridgeCount(), expectedBridges);
    expectSameClasses(beads, searched);
  }
}

namespace {

// The edges of a shortest a-b path over the current non-loop edges; empty when a == b or when
// none exists.
std::vector<int> pathOf(const std::map<int, Ends>& edges, int a, int b) {
  std::map<int, int> reachedBy{{a, -1}};
  std::vector<int> queue{a};
  for (std::size_t head = 0; head < queue.size() && !reachedBy.count(b); ++head) {
    for (const auto& [id, e] : edges) {
      const int w = queue[head];
      if (e.first == e.second || (e.first != w && e.second != w))
        continue;
      const int far = e.first == w ? e.second : e.first;
      if (reachedBy.emplace(far, id).second)
        queue.push_back(far);
    }
  }
  std::vector<int> path;
  if (!reachedBy.count(b))
    return path;
  for (int w = b; w != a;) {
    const Ends e = edges.at(reachedBy[w]);
    path.insert(path.begin(), reachedBy[w]);
    w = e.first == w ? e.second : e.first;
  }
  return path;
}

// Between two edits: exactly the pairs of one component have a forest path, each path walks
// from its first vertex to its second over current edges, and the forest has one edge per
// vertex beyond one per component. While `maximal`, every edge off the forest has a smaller id
// than every edge on its forest path, so the smallest id on a cycle is never a forest edge.
void expectSpanningForest(const Graph& g, SpanningForest& forest, bool maximal) {
  const auto edges = currentEdges(g);
  std::vector<int> vertices;
  for (int v = 0; v < g.vertexIdLimit(); ++v)
    if (g.hasVertex(v))
      vertices.push_back(v);
  int forestEdges = 0;
  for (const auto& [id, e] : edges)
    forestEdges += forest.holds(id, e.first, e.second);
  int components = 0;
  for (int a : vertices) {
    bool first = true;
    for (int b : vertices) {
      bool found = false;
      const std::vector<int> path = forest.pathBetween(g, a, b, found);
      EXPECT_EQ(found, a == b || !pathOf(edges, a, b).empty()) << a << "-" << b;
      first = first && !(found && b < a);
      int at = a;
      for (int id : path) {
        ASSERT_TRUE(edges.count(id)) << "a forest path uses a deleted edge";
        const Ends e = edges.at(id);
        ASSERT_TRUE(e.first == at || e.second == at) << "a forest path breaks off";
        at = e.first == at ? e.second : e.first;
      }
      EXPECT_TRUE(!found || at == b) << "a forest path ends elsewhere";
    }
    components += first;
  }
  EXPECT_EQ(forestEdges, static_cast<int>(vertices.size()) - components);
  if (!maximal)
    return;
  for (const auto& [id, e] : edges) {
    if (e.first == e.second || forest.holds(id, e.first, e.second))
      continue;
    bool found = false;
    for (int onPath : forest.pathBetween(g, e.first, e.second, found))
      EXPECT_LT(id, onPath) << "edge " << id << " is the smallest of its cycle";
  }
}

}  // namespace

// Random edits of random multigraphs, each told to the forest as the reduced graph tells it:
// contractions, deletions of edges off the forest, of one of two parallel edges, and of forest
// edges (bridges among them), after which the forest is checked against the graph.
TEST(SpanningForest, FollowsRandomEditsAndGivesPathsWithinComponents) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto below = [&rng](int k) { return std::uniform_int_distribution<int>(0, k - 1)(rng); };
    Graph g = graphOf(randomMultigraphUpTo(16, 8, rng));
    SpanningForest forest(g);
    bool maximal = true;  // until an edit that keeps only a forest
    expectSpanningForest(g, forest, maximal);
    while (g.edgeCount > 0) {
      const auto edges = currentEdges(g);
      const auto [id, e] = *std::next(edges.begin(), below(static_cast<int>(edges.size())));
      const auto [u, v] = e;
      int twin = -1;
      for (const auto& [other, ends] : edges)
        if (other != id && std::minmax(ends.first, ends.second) == std::minmax(u, v))
          twin = other;
      if (u != v && below(2) == 0) {
        forest.prepareContraction(g, id);
        const int stays = g.contractEdge(id);
        forest.finishContraction(id, stays, stays == u ? v : u);
      } else if (u != v && twin >= 0) {
        g.deleteEdge(id);
        forest.replaceByTwin(id, twin, u, v);
        maximal = false;
      } else {
        const bool held = forest.holds(id, u, v);
        g.deleteEdge(id);
        if (held) {
          forest.reconnect(g, id, u, v, pathOf(currentEdges(g), u, v));
          maximal = false;
        }
      }
      expectSpanningForest(g, forest, maximal);
    }
  }
}
