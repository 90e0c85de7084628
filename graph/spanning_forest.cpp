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
bool walkToMeeting(int vertexLimit, const std::vector<SpanningForest::Link>& up, int a, int b) {
  ForestScratch& scratch = forestScratch();
  const std::uint32_t first = scratch.newStampPair(vertexLimit);
  std::uint32_t* const marks = scratch.marks.data();
  int* const vertices[2] = {scratch.vertices[0].data(), scratch.vertices[1].data()};
  int* const edges[2] = {scratch.edges[0].data(), scratch.edges[1].data()};
  const SpanningForest::Link* const links = up.data();
  vertices[0][0] = a;
  vertices[1][0] = b;
  scratch.length[0] = scratch.length[1] = 0;
  marks[a] = first;
  if (a == b)
    return true;
  marks[b] = first + 1;
  // The positions and lengths are locals, so that the stores into the lists cannot alias them
  // and they stay in registers.
  int at[2] = {a, b};
  int length[2] = {0, 0};
  enum Step { Moved, AtRoot, Met, Broken };
  auto step = [&](const int side) {
    const SpanningForest::Link link = links[at[side]];
    if (link.edge < 0)
      return AtRoot;
    const int parent = link.parent;
    at[side] = parent;
    edges[side][length[side]] = link.edge;
    vertices[side][++length[side]] = parent;
    const std::uint32_t mark = marks[parent];
    if (mark == first + 1 - side) {
      const int other = 1 - side;
      while (vertices[other][length[other]] != parent)
        --length[other];
      return Met;
    }
    if (mark == first + side)
      return Broken;
    marks[parent] = first + side;
    return Moved;
  };
  Step outcome = Broken;
  for (;;) {
    const Step fromA = step(0);
    if (fromA >= Met) {
      outcome = fromA;
      break;
    }
    const Step fromB = step(1);
    if (fromB >= Met) {
      outcome = fromB;
      break;
    }
    if (fromA == AtRoot && fromB == AtRoot)
      break;
  }
  scratch.length[0] = length[0];
  scratch.length[1] = length[1];
  return outcome == Met;
}

}  // namespace

SpanningForest::SpanningForest(const Graph& graph) : up_(graph.vertexIdLimit(), kRootLink) {
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
      if (towards[member] != kRoot)
        up_[member] = {towards[member], graph.otherEnd(towards[member], member)};
      done[member] = 1;
    }
  }
}

SpanningForest::PathRuns SpanningForest::pathRunsBetween(const Graph& graph, int a, int b,
                                                         bool& found) {
  ForestScratch& scratch = forestScratch();
  found = walkToMeeting(graph.vertexIdLimit(), up_, a, b);
  if (!found)
    return {nullptr, 0, nullptr, 0};
  return {scratch.edges[0].data(), scratch.length[0], scratch.edges[1].data(), scratch.length[1]};
}

const std::vector<int>& SpanningForest::pathBetween(const Graph& graph, int a, int b, bool& found) {
  ForestScratch& scratch = forestScratch();
  scratch.path.clear();
  found = walkToMeeting(graph.vertexIdLimit(), up_, a, b);
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
  makeForestEdge(graph, edge);
  // The children of the end that vanishes hang on the end that stays once the graph has merged
  // them; the edge between the two is finishContraction's.
  const int gone = graph.vanishingEnd(edge);
  const int stays = graph.otherEnd(edge, gone);
  graph.forEachIncidentEdge(gone, [&](int incident, int far) {
    if (far != stays && up_[far].edge == incident)
      up_[far].parent = stays;
  });
}

void SpanningForest::makeForestEdge(const Graph& graph, int edge) {
  const Edge ends = graph.edge(edge);
  if (holds(edge, ends.u, ends.v))
    return;
  const bool found = walkToMeeting(graph.vertexIdLimit(), up_, ends.u, ends.v);
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
    up_[vertices[k]] = {edges[k - 1], vertices[k - 1]};
  up_[vertices[0]] = {edge, vertices[0] == ends.u ? ends.v : ends.u};
}

void SpanningForest::finishContraction(int edge, int stays, int gone) {
  assert((up_[stays].edge == edge || up_[gone].edge == edge) &&
         "a contracted edge is a forest edge");
  if (up_[stays].edge == edge)
    up_[stays] = up_[gone];  // the parent went into its child
  up_[gone] = kRootLink;
}

void SpanningForest::replaceByTwin(int dropped, int kept, int u, int v) {
  if (up_[u].edge == dropped)
    up_[u].edge = kept;
  else if (up_[v].edge == dropped)
    up_[v].edge = kept;
}

// The walks up are bounded by the number of vertices, so that a forest broken by a caller's
// missed notice cannot hang them.
int SpanningForest::rootOf(const Graph& graph, int vertex) const {
  for (int steps = 0; up_[vertex].edge != kRoot; ++steps) {
    if (steps > graph.vertexIdLimit())
      return kRoot;
    vertex = up_[vertex].parent;
  }
  return vertex;
}

void SpanningForest::reroot(const Graph& graph, int vertex) {
  Link previous = kRootLink;
  for (int steps = 0; vertex >= 0 && steps <= graph.vertexIdLimit(); ++steps) {
    const Link link = up_[vertex];
    up_[vertex] = previous;
    previous = {link.edge, vertex};
    vertex = link.edge == kRoot ? -1 : link.parent;
  }
}

void SpanningForest::renumberVertices(const std::vector<int>& newId) {
  std::vector<Link> renumbered(up_.size(), kRootLink);
  for (std::size_t old = 0; old < up_.size(); ++old) {
    const Link link = up_[old];
    renumbered[newId[old]] = link.edge == kRoot ? kRootLink : Link{link.edge, newId[link.parent]};
  }
  up_ = std::move(renumbered);
}

void SpanningForest::reconnect(const Graph& graph, int edge, int u, int v,
                               const std::vector<int>& path) {
  const int cutOff = up_[u].edge == edge ? u : v;
  up_[cutOff] = kRootLink;
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
      up_[inside] = {crossing, atCutOff ? next : at};
      return;
    }
    at = next;
    atCutOff = nextCutOff;
  }
  assert(false && "a path between the ends of a deleted edge crosses the cut");
}
