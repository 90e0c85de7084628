#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "estimator/cluster_popping.h"
#include "estimator/random_stream.h"
#include "graph/components.h"
#include "graph/graph.h"
#include "support/exact_tutte.h"

namespace {

const EdgeList kTriangle{{0, 1}, {1, 2}, {2, 0}};
// A double edge, a pendant vertex and a loop.
const EdgeList kMultigraph{{0, 1}, {0, 1}, {1, 2}, {2, 0}, {2, 3}, {1, 1}};

bool connectedBy(int vertices, const EdgeList& edges, unsigned kept) {
  EdgeList keptEdges;
  for (std::size_t e = 0; e < edges.size(); ++e)
    if (kept >> e & 1U)
      keptEdges.push_back(edges[e]);
  // A vertex that no kept edge touches is left out of the components' vertex count.
  const Components components = findComponents(Graph(vertices, keptEdges));
  return components.count == 1 && components.vertexCount == vertices;
}

// Whether every vertex reaches vertex 0 over the arcs in `present`.
bool rootReached(const ClusterPopper& popper, unsigned present) {
  std::vector<char> reached(popper.vertexCount(), 0);
  reached[0] = 1;
  for (bool grew = true; grew;) {
    grew = false;
    for (int a = 0; a < popper.arcCount(); ++a) {
      if ((present >> a & 1U) && reached[popper.arcHead(a)] && !reached[popper.arcTail(a)])
        reached[popper.arcTail(a)] = grew = true;
    }
  }
  return std::find(reached.begin(), reached.end(), 0) == reached.end();
}

double subsetProbability(unsigned set, int size, double p) {
  const int count = __builtin_popcount(set);
  return std::pow(p, count) * std::pow(1 - p, size - count);
}

// Connection probability of the undirected graph, of its bi-directed form towards the root, and
// T(1, y) = (1 + q)^m q^-(n-1) R(q / (1 + q)), all by enumeration.
TEST(ClusterPopping, RootReachOfTheBidirectedFormIsTheConnectionProbability) {
  for (const EdgeList& edges : {kTriangle, kMultigraph}) {
    int vertices = 0;
    for (const auto& [u, v] : edges)
      vertices = std::max({vertices, u + 1, v + 1});
    const ClusterPopper popper(Graph(vertices, edges));
    for (const double q : {0.5, 1.0, 3.0}) {
      const double p = q / (1 + q);
      const int m = static_cast<int>(edges.size());
      double undirected = 0, bidirected = 0;
      for (unsigned kept = 0; kept < 1U << m; ++kept)
        undirected += connectedBy(vertices, edges, kept) ? subsetProbability(kept, m, p) : 0;
      for (unsigned present = 0; present < 1U << popper.arcCount(); ++present)
        bidirected +=
            rootReached(popper, present) ? subsetProbability(present, popper.arcCount(), p) : 0;
      EXPECT_NEAR(bidirected, undirected, 1e-12);
      const double t = std::pow(1 + q, m) * std::pow(q, 1 - vertices) * undirected;
      EXPECT_NEAR(t, exactTutte(edges).evaluate(1, 1 + q), 1e-9 * t);
    }
  }
}

// Every present-arc set's frequency against its conditioned probability, and each sample's
// connection threshold against reading the labels on either side of it.
TEST(ClusterPopping, SamplesTheConditionedLaw) {
  const EdgeList edges{{0, 1}, {0, 1}, {1, 2}, {2, 0}};
  ClusterPopper popper(Graph(3, edges));
  const int arcs = popper.arcCount();
  const double p = 0.4;
  std::vector<double> expected(1U << arcs, 0.0);
  for (unsigned set = 0; set < expected.size(); ++set)
    expected[set] = rootReached(popper, set) ? subsetProbability(set, arcs, p) : 0;
  const double total = std::accumulate(expected.begin(), expected.end(), 0.0);
  const int samples = 200000;
  std::vector<int> count(expected.size(), 0);
  RandomStream random(7);
  for (int k = 0; k < samples; ++k) {
    popper.sample(p, random);
    unsigned set = 0;
    for (int a = 0; a < arcs; ++a)
      set |= (popper.labels()[a] < p ? 1U : 0U) << a;
    ++count[set];
    const double threshold = popper.connectionThreshold();
    ASSERT_LT(threshold, p);
    ASSERT_TRUE(popper.rootReachedBelow(std::nextafter(threshold, 1.0)));
    ASSERT_FALSE(popper.rootReachedBelow(threshold));
  }
  for (unsigned set = 0; set < expected.size(); ++set) {
    const double share = expected[set] / total;
    const double standardError = std::sqrt(share * (1 - share) / samples);
    EXPECT_NEAR(count[set] / double(samples), share, 4.5 * standardError + 1e-12) << set;
  }
}

}  // namespace
