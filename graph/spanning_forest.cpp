#include "graph/spanning_forest.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <numeric>
#include <utility>

namespace {

// Working memory of the walks up, per thread: marks stamped per walk, and each side's vertices
// and edges from its start up to where it stands (vertices[side][k] and vertices[side][k + 1]
// are the ends of edges[side][k]). Sized by the graph once, so that a walk is plain loads and
// stores.
struct ForestScratch {
  std::vector<std::uint32_t> marks;
  std::uint32_t stamp = 0;
  std::vector<int> vertices[2];
  std::vector<int> edges[2];
  int length[2] = {0, 0};  // edges on each side
  std::vector<int> path;

  // Two stamps no mark holds yet, for vertex ids below `vertexLimit`.
  std::uint32_t newStampPair(int vertexLimit) {
    if (marks.size() < static_cast<std::size_t>(vertexLimit)) {
      marks.resize(vertexLimit, 0);
      for (int side = 0; side < 2; ++side) {
        vertices[side].resize(vertexLimit + 1);
        edges[side].resize(vertexLimit + 1);
      }
    }
    if (stamp >= 0xfffffff0u) {
      std::fill(marks.begin(), marks.end(), 0);
      stamp = 0;
    }
    stamp += 2;
    return stamp - 1;
  }
};

ForestScratch& forestScratch() {
  thread_local ForestScratch scratch;
  return scratch;
}

// Walks up from a and b in turns until one side reaches a vertex the other has passed: the
// lowest common ancestor, where both sides' lists are cut. Returns false when the walks end at
// two roots (different trees) or when a walk meets itself (a broken forest).
bool walkToMeeting(const Graph& graph, const std::vector<int>& up, int a, int b) {
  ForestScratch& scratch = forestScratch();
  const std::uint32_t first = scratch.newStampPair(graph.vertexIdLimit());
  std::uint32_t* const marks = scratch.marks.data();
  int* const vertices[2] = {scratch.vertices[0].data(), scratch.vertices[1].data()};
  int* const edges[2] = {scratch.edges[0].data(), scratch.edges[1].data()};
  int* const length = scratch.length;
  const int* const parentEdge = up.data();
  vertices[0][0] = a;
  vertices[1][0] = b;
  length[0] = length[1] = 0;
  marks[a] = first;
  if (a == b)
    return true;
  marks[b] = first + 1;
  int at[2] = {a, b};
  for (;;) {
    bool moved = false;
    for (int side = 0; side < 2; ++side) {
      const int edge = parentEdge[at[side]];
      if (edge < 0)
        continue;
      moved = true;
      const int parent = graph.otherEnd(edge, at[side]);
      at[side] = parent;
      edges[side][length[side]] = edge;
      vertices[side][++length[side]] = parent;
      const std::uint32_t mark = marks[parent];
      if (mark == first + side)
        return false;
      if (mark == first + 1 - side) {
        const int other = 1 - side;
        while (vertices[other][length[other]] != parent)
          --length[other];
        return true;
      }
      marks[parent] = first + side;
    }
    if (!moved)
      return false;
  }
}

}  // namespace

SpanningForest::SpanningForest(const Graph& graph) : up_(graph.vertexIdLimit(), kRoot) {
  const int vertexLimit = graph.vertexIdLimit();
  std::vector<int> leader(vertexLimit);
  std::iota(leader.begin(), leader.end(), 0);
  auto find = [&leader](int x) {
    while (leader[x] != x)
      x = leader[x] = leader[leader[x]];
    return x;
  };
  std::vector<std::vector<int>> forestEdges(vertexLimit);
  for (int id = graph.edgeIdLimit() - 1; id >= 0; --id) {
    if (!graph.hasEdge(id))
      continue;
    const Edge edge = graph.edge(id);
    const int a = find(edge.u), b = find(edge.v);
    if (a == b)
      continue;
    leader[a] = b;
    forestEdges[edge.u].push_back(id);
    forestEdges[edge.v].push_back(id);
  }
  // Breadth-first over forest edges from `start`: the order reached, with each vertex's edge
  // towards `start` in `towards`.
  std::vector<int> towards(vertexLimit, kRoot);
  std::vector<char> seen(vertexLimit, 0);
  std::vector<int> order;
  auto spread = [&](int start) {
    order.assign(1, start);
    seen[start] = 1;
    towards[start] = kRoot;
    for (std::size_t head = 0; head < order.size(); ++head) {
      for (int edge : forestEdges[order[head]]) {
        const int far = graph.otherEnd(edge, order[head]);
        if (!seen[far]) {
          seen[far] = 1;
          towards[far] = edge;
          order.push_back(far);
        }
      }
    }
    for (int vertex : order)
      seen[vertex] = 0;
  };
  std::vector<char> done(vertexLimit, 0);
  for (int vertex = 0; vertex < vertexLimit; ++vertex) {
    if (!graph.hasVertex(vertex) || done[vertex])
      continue;
    // The centre: the middle of a longest path, found by two searches.
    spread(vertex);
    spread(order.back());
    std::vector<int> diameter{order.back()};
    while (towards[diameter.back()] != kRoot)
      diameter.push_back(graph.otherEnd(towards[diameter.back()], diameter.back()));
    spread(diameter[diameter.size() / 2]);
    for (int member : order) {
      up_[member] = towards[member];
      done[member] = 1;
    }
  }
}

const std::vector<int>& SpanningForest::pathBetween(const Graph& graph, int a, int b, bool& found) {
  ForestScratch& scratch = forestScratch();
  scratch.path.clear();
  found = walkToMeeting(graph, up_, a, b);
  if (!found)
    return scratch.path;
  const int* const up = scratch.edges[0].data();
  const int* const down = scratch.edges[1].data();
  scratch.path.assign(up, up + scratch.length[0]);
  for (int k = scratch.length[1] - 1; k >= 0; --k)
    scratch.path.push_back(down[k]);
  return scratch.path;
}

void SpanningForest::prepareContraction(const Graph& graph, int edge) {
  const Edge ends = graph.edge(edge);
  if (holds(edge, ends.u, ends.v))
    return;
  const bool found = walkToMeeting(graph, up_, ends.u, ends.v);
  assert(found && "the ends of an edge lie in one tree");
  if (!found)
    return;
  ForestScratch& scratch = forestScratch();
  int side = -1, at = 0;
  for (int s = 0; s < 2; ++s) {
    for (int k = 0; k < scratch.length[s]; ++k) {
      if (side < 0 || scratch.edges[s][k] < scratch.edges[side][at])
        side = s, at = k;
    }
  }
  if (side < 0)
    return;  // a loop closes no cycle through the forest
  // Dropping edges[side][at] cuts off the part below vertices[side][at], which holds this
  // side's end: turn the path from the end up to there, and hang the end on the new edge.
  const std::vector<int>& vertices = scratch.vertices[side];
  const std::vector<int>& edges = scratch.edges[side];
  for (int k = at; k >= 1; --k)
    up_[vertices[k]] = edges[k - 1];
  up_[vertices[0]] = edge;
}

void SpanningForest::finishContraction(int edge, int stays, int gone) {
  assert((up_[stays] == edge || up_[gone] == edge) && "a contracted edge is a forest edge");
  if (up_[stays] == edge)
    up_[stays] = up_[gone];  // the parent went into its child
}

void SpanningForest::replaceByTwin(int dropped, int kept, int u, int v) {
  if (up_[u] == dropped)
    up_[u] = kept;
  else if (up_[v] == dropped)
    up_[v] = kept;
}

// The walks up are bounded by the number of vertices, so that a forest broken by a caller's
// missed notice cannot hang them.
int SpanningForest::rootOf(const Graph& graph, int vertex) const {
  for (int steps = 0; up_[vertex] != kRoot; ++steps) {
    if (steps > graph.vertexIdLimit())
      return kRoot;
    vertex = graph.otherEnd(up_[vertex], vertex);
  }
  return vertex;
}

void SpanningForest::reroot(const Graph& graph, int vertex) {
  int previous = kRoot;
  for (int steps = 0; vertex >= 0 && steps <= graph.vertexIdLimit(); ++steps) {
    const int edge = up_[vertex];
    const int parent = edge == kRoot ? -1 : graph.otherEnd(edge, vertex);
    up_[vertex] = previous;
    previous = edge;
    vertex = parent;
  }
}

void SpanningForest::renumberVertices(const std::vector<int>& newId) {
  std::vector<int> renumbered(up_.size(), kRoot);
  for (std::size_t old = 0; old < up_.size(); ++old)
    renumbered[newId[old]] = up_[old];
  up_ = std::move(renumbered);
}

void SpanningForest::reconnect(const Graph& graph, int edge, int u, int v,
                               const std::vector<int>& path) {
  const int cutOff = up_[u] == edge ? u : v;
  up_[cutOff] = kRoot;
  if (path.empty())
    return;  // the edge was a bridge: what it cut off is a tree of its own
  // The path starts on one side of the cut and ends on the other: the first edge whose ends
  // lie on different sides crosses it.
  int at = u;
  bool atCutOff = rootOf(graph, at) == cutOff;
  for (int crossing : path) {
    const int next = graph.otherEnd(crossing, at);
    const bool nextCutOff = rootOf(graph, next) == cutOff;
    if (nextCutOff != atCutOff) {
      const int inside = atCutOff ? at : next;
      reroot(graph, inside);
      up_[inside] = crossing;
      return;
    }
    at = next;
    atCutOff = nextCutOff;
  }
  assert(false && "a path between the ends of a deleted edge crosses the cut");
}
