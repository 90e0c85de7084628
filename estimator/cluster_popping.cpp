#include "estimator/cluster_popping.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

ClusterPopper::ClusterPopper(const Graph& graph) {
  const int vertices = graph.vertexIdLimit();
  firstArc_.assign(vertices + 1, 0);
  std::vector<Edge> edges;
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (!graph.hasEdge(id))
      continue;
    const Edge edge = graph.edge(id);
    if (edge.u == edge.v)
      continue;
    edges.push_back(edge);
    ++firstArc_[edge.u + 1];
    ++firstArc_[edge.v + 1];
  }
  for (int v = 0; v < vertices; ++v)
    firstArc_[v + 1] += firstArc_[v];
  const int arcs = firstArc_[vertices];
  head_.resize(arcs);
  reverse_.resize(arcs);
  std::vector<int> next(firstArc_.begin(), firstArc_.end() - 1);
  for (const Edge& edge : edges) {
    const int forward = next[edge.u]++, backward = next[edge.v]++;
    head_[forward] = edge.v;
    head_[backward] = edge.u;
    reverse_[forward] = backward;
    reverse_[backward] = forward;
  }
  label_.assign(arcs, 1.0);
  reached_.assign(vertices, 0);
  index_.assign(vertices, -1);
  lowLink_.assign(vertices, 0);
  component_.assign(vertices, -1);
  onStack_.assign(vertices, 0);
  seen_.assign(vertices, 0);
  bottleneck_.assign(vertices, 0.0);
}

int ClusterPopper::arcTail(int arc) const {
  return static_cast<int>(std::upper_bound(firstArc_.begin(), firstArc_.end(), arc) -
                          firstArc_.begin()) -
         1;
}

std::uint64_t ClusterPopper::sample(double p, RandomStream& random) {
  for (double& label : label_)
    label = random.uniformUnit();
  std::uint64_t draws = label_.size();
  std::fill(reached_.begin(), reached_.end(), 0);
  reachedCount_ = 0;
  unreached_.clear();
  for (int v = 1; v < vertexCount(); ++v)
    unreached_.push_back(v);
  if (vertexCount() > 0) {
    reached_[0] = 1;
    reachedCount_ = 1;
    frontier_.assign(1, 0);
    spreadReach(p);
  }
  while (reachedCount_ < vertexCount())
    draws += popSinkComponents(p, random);
  return draws;
}

void ClusterPopper::spreadReach(double p) {
  reachedCount_ += spreadBackward(reached_, p);
}

int ClusterPopper::spreadBackward(std::vector<char>& marks, double threshold) {
  int marked = 0;
  while (!frontier_.empty()) {
    const int x = frontier_.back();
    frontier_.pop_back();
    for (int a = firstArc_[x]; a < firstArc_[x + 1]; ++a) {
      const int w = head_[a];
      if (!marks[w] && label_[reverse_[a]] < threshold) {
        marks[w] = 1;
        ++marked;
        frontier_.push_back(w);
      }
    }
  }
  return marked;
}

std::uint64_t ClusterPopper::popSinkComponents(double p, RandomStream& random) {
  collectSinkComponents(p);
  std::uint64_t draws = 0;
  for (const int v : pop_) {
    for (int a = firstArc_[v]; a < firstArc_[v + 1]; ++a)
      label_[a] = random.uniformUnit();
    draws += firstArc_[v + 1] - firstArc_[v];
  }
  for (const int v : pop_) {
    if (reached_[v])
      continue;
    for (int a = firstArc_[v]; a < firstArc_[v + 1]; ++a) {
      if (label_[a] < p && reached_[head_[a]]) {
        reached_[v] = 1;
        ++reachedCount_;
        frontier_.push_back(v);
        spreadReach(p);
        break;
      }
    }
  }
  return draws;
}

void ClusterPopper::collectSinkComponents(double p) {
  unreached_.erase(std::remove_if(unreached_.begin(), unreached_.end(),
                                  [this](int v) { return reached_[v] != 0; }),
                   unreached_.end());
  for (const int v : unreached_) {
    index_[v] = -1;
    component_[v] = -1;
  }
  pop_.clear();
  int counter = 0, components = 0;
  auto open = [&](int v) {
    index_[v] = lowLink_[v] = counter++;
    stack_.push_back(v);
    onStack_[v] = 1;
    callVertex_.push_back(v);
    callArc_.push_back(firstArc_[v]);
  };
  for (const int start : unreached_) {
    if (index_[start] != -1)
      continue;
    open(start);
    while (!callVertex_.empty()) {
      const int v = callVertex_.back();
      const int a = callArc_.back();
      if (a < firstArc_[v + 1]) {
        ++callArc_.back();
        // A present arc out of an unreached vertex ends at an unreached vertex.
        if (label_[a] >= p)
          continue;
        const int w = head_[a];
        if (index_[w] == -1)
          open(w);
        else if (onStack_[w])
          lowLink_[v] = std::min(lowLink_[v], index_[w]);
        continue;
      }
      callVertex_.pop_back();
      callArc_.pop_back();
      if (!callVertex_.empty())
        lowLink_[callVertex_.back()] = std::min(lowLink_[callVertex_.back()], lowLink_[v]);
      if (lowLink_[v] != index_[v])
        continue;
      // v roots a component; every component it reaches is already numbered, so it is a sink
      // when no present arc leaves it.
      const std::size_t first =
          std::find(stack_.rbegin(), stack_.rend(), v).base() - 1 - stack_.begin();
      const int id = components++;
      for (std::size_t k = first; k < stack_.size(); ++k) {
        component_[stack_[k]] = id;
        onStack_[stack_[k]] = 0;
      }
      bool sink = true;
      for (std::size_t k = first; k < stack_.size() && sink; ++k) {
        const int u = stack_[k];
        for (int b = firstArc_[u]; b < firstArc_[u + 1]; ++b) {
          if (label_[b] < p && component_[head_[b]] != id) {
            sink = false;
            break;
          }
        }
      }
      if (sink)
        pop_.insert(pop_.end(), stack_.begin() + static_cast<std::ptrdiff_t>(first), stack_.end());
      stack_.resize(first);
    }
  }
}

bool ClusterPopper::rootReachedBelow(double threshold) {
  if (vertexCount() == 0)
    return true;
  std::fill(seen_.begin(), seen_.end(), 0);
  seen_[0] = 1;
  frontier_.assign(1, 0);
  return 1 + spreadBackward(seen_, threshold) == vertexCount();
}

double ClusterPopper::connectionThreshold() {
  if (vertexCount() == 0)
    return 0.0;
  std::fill(bottleneck_.begin(), bottleneck_.end(), std::numeric_limits<double>::infinity());
  using Entry = std::pair<double, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  bottleneck_[0] = 0.0;
  queue.emplace(0.0, 0);
  double largest = 0.0;
  while (!queue.empty()) {
    const auto [value, x] = queue.top();
    queue.pop();
    if (value > bottleneck_[x])
      continue;
    largest = std::max(largest, value);
    for (int a = firstArc_[x]; a < firstArc_[x + 1]; ++a) {
      const int w = head_[a];
      const double through = std::max(value, label_[reverse_[a]]);
      if (through < bottleneck_[w]) {
        bottleneck_[w] = through;
        queue.emplace(through, w);
      }
    }
  }
  return largest;
}
