#include "estimator/frontier_order.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace {

// The current edges as neighbour lists: one entry per edge end (so parallel edges repeat the
// neighbour), loops apart.
struct Adjacency {
  std::vector<std::vector<int>> neighbours;
  // Beside each neighbour, the weight id of its edge (series_parallel_folds.h); empty when
  // every edge is plain.
  std::vector<std::vector<std::uint32_t>> weights;
  std::vector<int> loops;
  std::vector<int> vertices;  // ids with at least one edge, ascending
};

Adjacency adjacencyOf(const Graph& graph, const std::vector<std::uint32_t>* edgeWeights) {
  Adjacency adjacency;
  const int limit = graph.vertexIdLimit();
  adjacency.neighbours.resize(limit);
  if (edgeWeights)
    adjacency.weights.resize(limit);
  adjacency.loops.assign(limit, 0);
  for (int vertex = 0; vertex < limit; ++vertex) {
    if (!graph.hasVertex(vertex))
      continue;
    graph.forEachIncidentEdge(vertex, [&](int id, int far) {
      if (far == vertex) {
        ++adjacency.loops[vertex];
        return;
      }
      adjacency.neighbours[vertex].push_back(far);
      if (edgeWeights)
        adjacency.weights[vertex].push_back((*edgeWeights)[id]);
    });
    if (!adjacency.neighbours[vertex].empty() || adjacency.loops[vertex] > 0)
      adjacency.vertices.push_back(vertex);
  }
  return adjacency;
}

// Breadth-first distances from `start` in its component; returns the last vertex reached (one
// of the farthest).
int farthestFrom(const Adjacency& adjacency, int start, std::vector<int>& stamp, int mark) {
  std::deque<int> queue{start};
  stamp[start] = mark;
  int last = start;
  while (!queue.empty()) {
    last = queue.front();
    queue.pop_front();
    for (int far : adjacency.neighbours[last])
      if (stamp[far] != mark) {
        stamp[far] = mark;
        queue.push_back(far);
      }
  }
  return last;
}

// Ends of a long path of every component: two sweeps of breadth-first search.
std::vector<std::pair<int, int>> peripheralPairs(const Adjacency& adjacency) {
  const int limit = static_cast<int>(adjacency.neighbours.size());
  std::vector<int> seen(limit, -1), first(limit, -1), second(limit, -1);
  std::vector<std::pair<int, int>> pairs;
  for (int vertex : adjacency.vertices) {
    if (seen[vertex] >= 0)
      continue;
    farthestFrom(adjacency, vertex, seen, 0);
    const int one = farthestFrom(adjacency, vertex, first, 0);
    const int other = farthestFrom(adjacency, one, second, 0);
    pairs.emplace_back(one, other);
  }
  return pairs;
}

std::vector<int> breadthFirstOrder(const Adjacency& adjacency,
                                   const std::vector<std::pair<int, int>>& starts) {
  std::vector<int> stamp(adjacency.neighbours.size(), -1), order;
  for (const auto& [start, unused] : starts) {
    const std::size_t from = order.size();
    order.push_back(start);
    stamp[start] = 0;
    for (std::size_t next = from; next < order.size(); ++next)
      for (int far : adjacency.neighbours[order[next]])
        if (stamp[far] < 0) {
          stamp[far] = 0;
          order.push_back(far);
        }
  }
  return order;
}

// Greedy growth: next, the vertex next to the frontier after which the frontier is smallest;
// on a tie the one with more edges back, then the one found first. Gives up (returns nothing)
// once the frontier outgrows the limit or the work passes `workLimit` neighbour visits.
std::vector<int> greedyOrder(const Adjacency& adjacency, const std::vector<int>& starts,
                             double workLimit) {
  const int limit = static_cast<int>(adjacency.neighbours.size());
  std::vector<char> seen(limit, 0);
  std::vector<int> pendingEdges(limit, 0);  // edges to vertices not yet seen
  for (int vertex : adjacency.vertices)
    pendingEdges[vertex] = static_cast<int>(adjacency.neighbours[vertex].size());
  std::vector<int> order, frontier, candidates, mark(limit, -1), shared(limit, 0);
  double work = 0.0;
  std::size_t nextStart = 0;
  while (order.size() < adjacency.vertices.size()) {
    candidates.clear();
    for (int member : frontier)
      for (int far : adjacency.neighbours[member])
        if (!seen[far] && mark[far] != static_cast<int>(order.size())) {
          mark[far] = static_cast<int>(order.size());
          candidates.push_back(far);
        }
    if (candidates.empty()) {
      while (seen[starts[nextStart]])
        ++nextStart;
      candidates.push_back(starts[nextStart]);
    }
    int best = -1, bestSize = std::numeric_limits<int>::max(), bestBack = -1;
    for (int candidate : candidates) {
      const std::vector<int>& near = adjacency.neighbours[candidate];
      work += static_cast<double>(near.size());
      int unseen = 0, back = 0;
      for (int far : near) {
        if (seen[far]) {
          ++back;
          ++shared[far];
        } else {
          ++unseen;
        }
      }
      int released = 0;
      for (int far : near)
        if (seen[far] && shared[far] > 0) {
          released += shared[far] == pendingEdges[far];
          shared[far] = 0;
        }
      const int size = static_cast<int>(frontier.size()) + (unseen > 0) - released;
      if (size < bestSize || (size == bestSize && back > bestBack)) {
        best = candidate;
        bestSize = size;
        bestBack = back;
      }
    }
    if (work > workLimit || bestSize > kMaxFrontierWidth)
      return {};
    seen[best] = 1;
    order.push_back(best);
    for (int far : adjacency.neighbours[best])
      if (seen[far])
        --pendingEdges[far], --pendingEdges[best];
    frontier.erase(std::remove_if(frontier.begin(), frontier.end(),
                                  [&](int member) { return pendingEdges[member] == 0; }),
                   frontier.end());
    if (pendingEdges[best] > 0)
      frontier.push_back(best);
  }
  return order;
}

// The steps of the sweep in `order`; an empty plan of width kMaxFrontierWidth + 1 once the
// frontier outgrows the limit.
FrontierPlan planOf(const Adjacency& adjacency, const std::vector<int>& order) {
  FrontierPlan plan;
  const int limit = static_cast<int>(adjacency.neighbours.size());
  std::vector<int> position(limit, -1), pendingEdges(limit, 0), frontier;
  std::vector<char> seen(limit, 0);
  for (int vertex : adjacency.vertices)
    pendingEdges[vertex] = static_cast<int>(adjacency.neighbours[vertex].size());
  const auto record = [&](SweepStep step) {
    plan.steps.push_back(step);
    plan.sizes.push_back(static_cast<std::uint8_t>(frontier.size()));
    plan.score += std::pow(4.0, static_cast<double>(frontier.size()));
  };
  const auto forget = [&](int vertex) {
    const int at = position[vertex];
    frontier.erase(frontier.begin() + at);
    for (int k = at; k < static_cast<int>(frontier.size()); ++k)
      position[frontier[k]] = k;
    position[vertex] = -1;
    record({SweepStepKind::Forget, static_cast<std::uint8_t>(at), 0, frontier.empty()});
  };
  for (int vertex : order) {
    if (static_cast<int>(frontier.size()) == kMaxFrontierWidth) {
      plan = {};
      plan.width = kMaxFrontierWidth + 1;
      return plan;
    }
    seen[vertex] = 1;
    position[vertex] = static_cast<int>(frontier.size());
    frontier.push_back(vertex);
    plan.width = std::max(plan.width, static_cast<int>(frontier.size()));
    const auto at = static_cast<std::uint8_t>(position[vertex]);
    record({SweepStepKind::AddVertex, at});
    plan.loopCount += adjacency.loops[vertex];
    // Plain edges first, then composite ones: each composite edge takes a pass of its own.
    const std::vector<int>& near = adjacency.neighbours[vertex];
    for (const bool composite : {false, true})
      for (std::size_t k = 0; k < near.size(); ++k) {
        const int far = near[k];
        const std::uint32_t weight = adjacency.weights.empty() ? 0 : adjacency.weights[vertex][k];
        if (!seen[far] || far == vertex || (weight != 0) != composite)
          continue;
        record({SweepStepKind::Edge, static_cast<std::uint8_t>(position[far]), at, false, weight});
        --pendingEdges[far];
        --pendingEdges[vertex];
      }
    for (int far : adjacency.neighbours[vertex])
      if (position[far] >= 0 && pendingEdges[far] == 0)
        forget(far);
    if (pendingEdges[vertex] == 0)
      forget(vertex);
  }
  return plan;
}

}  // namespace

namespace {

FrontierPlan planOfAdjacency(const Graph& graph, const Adjacency& adjacency) {
  const std::vector<std::pair<int, int>> ends = peripheralPairs(adjacency);
  std::vector<int> firstEnds, secondEnds;
  for (const auto& [one, other] : ends) {
    firstEnds.push_back(one);
    secondEnds.push_back(other);
  }
  // Every step looks at the neighbours of the neighbours of a frontier of at most
  // kMaxFrontierWidth vertices: linear in the edges for bounded degrees. A hub of high degree
  // next to the frontier makes that quadratic, and the greedy orders are then left out.
  const double workLimit = std::max(1e7, 256.0 * (2.0 * graph.edgeCount + 1.0));
  std::vector<std::vector<int>> orders;
  orders.push_back(breadthFirstOrder(adjacency, ends));
  orders.push_back(greedyOrder(adjacency, firstEnds, workLimit));
  orders.push_back(greedyOrder(adjacency, secondEnds, workLimit));
  FrontierPlan best;
  best.width = kMaxFrontierWidth + 1;
  for (const std::vector<int>& order : orders) {
    if (order.size() != adjacency.vertices.size())
      continue;
    FrontierPlan plan = planOf(adjacency, order);
    if (plan.withinWidth() && (!best.withinWidth() || plan.score < best.score))
      best = std::move(plan);
  }
  best.vertexCount = static_cast<int>(adjacency.vertices.size());
  best.componentCount = static_cast<int>(ends.size());
  best.rank = best.vertexCount - best.componentCount;
  int edges = 0;
  for (int vertex : adjacency.vertices)
    edges += 2 * adjacency.loops[vertex] + static_cast<int>(adjacency.neighbours[vertex].size());
  best.edgeCount = edges / 2;
  best.unfoldedEdgeCount = best.edgeCount;
  best.unfoldedRank = best.rank;
  return best;
}

}  // namespace

FrontierPlan planFrontier(const Graph& graph) {
  return planOfAdjacency(graph, adjacencyOf(graph, nullptr));
}

FrontierPlan planFrontier(const FoldedBlock& block) {
  const Graph graph(block.vertexCount, block.edges);
  FrontierPlan plan = planOfAdjacency(graph, adjacencyOf(graph, &block.weights));
  plan.folds = block.folds;
  // Each fold stands for one edge more; a series fold for one vertex more as well, on the
  // component, so one more in the rank.
  for (const EdgeFold& fold : block.folds) {
    ++plan.unfoldedEdgeCount;
    plan.unfoldedRank += fold.kind == EdgeFold::Kind::Series;
  }
  return plan;
}
