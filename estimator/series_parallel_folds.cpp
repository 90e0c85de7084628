#include "estimator/series_parallel_folds.h"

#include <algorithm>
#include <unordered_map>

namespace {

struct LiveEdge {
  int u, v;
  std::uint32_t weight;
  bool alive;
};

std::uint64_t pairKey(int u, int v) {
  return (static_cast<std::uint64_t>(std::min(u, v)) << 32) |
         static_cast<std::uint32_t>(std::max(u, v));
}

class Folder {
 public:
  Folder(int vertexCount, const EdgeList& edges)
      : incident_(vertexCount), degree_(vertexCount, 0), vertices_(vertexCount) {
    for (const auto& [u, v] : edges)
      add(u, v, 0);
  }

  void foldSeries() {
    std::vector<int> work;
    for (int v = 0; v < static_cast<int>(degree_.size()); ++v)
      if (degree_[v] == 2)
        work.push_back(v);
    while (!work.empty() && vertices_ > 2) {
      const int w = work.back();
      work.pop_back();
      if (degree_[w] != 2)
        continue;
      int parts[2], ends[2], found = 0;
      for (int id : incident_[w])
        if (edges_[id].alive && found < 2) {
          parts[found] = id;
          ends[found++] = edges_[id].u == w ? edges_[id].v : edges_[id].u;
        }
      for (int id : parts)
        kill(id);
      degree_[w] = 0;
      --vertices_;
      const std::uint32_t weight =
          compose(EdgeFold::Kind::Series, edges_[parts[0]].weight, edges_[parts[1]].weight);
      add(ends[0], ends[1], weight);
      for (int end : ends)
        if (degree_[end] == 2)
          work.push_back(end);
    }
  }

  FoldedBlock result() && {
    FoldedBlock block;
    std::vector<int> renamed(degree_.size(), -1);
    for (int v = 0; v < static_cast<int>(degree_.size()); ++v)
      if (degree_[v] > 0)
        renamed[v] = block.vertexCount++;
    for (const LiveEdge& edge : edges_)
      if (edge.alive) {
        block.edges.emplace_back(renamed[edge.u], renamed[edge.v]);
        block.weights.push_back(edge.weight);
      }
    block.folds = std::move(folds_);
    return block;
  }

 private:
  // A new edge, or the edge already between its ends folded with it.
  void add(int u, int v, std::uint32_t weight) {
    const auto [at, fresh] = byPair_.try_emplace(pairKey(u, v), static_cast<int>(edges_.size()));
    if (!fresh) {
      LiveEdge& edge = edges_[at->second];
      edge.weight = compose(EdgeFold::Kind::Parallel, edge.weight, weight);
      return;
    }
    edges_.push_back({u, v, weight, true});
    incident_[u].push_back(at->second);
    incident_[v].push_back(at->second);
    ++degree_[u];
    ++degree_[v];
  }

  void kill(int id) {
    LiveEdge& edge = edges_[id];
    edge.alive = false;
    byPair_.erase(pairKey(edge.u, edge.v));
    --degree_[edge.u];
    --degree_[edge.v];
  }

  std::uint32_t compose(EdgeFold::Kind kind, std::uint32_t left, std::uint32_t right) {
    folds_.push_back({kind, left, right});
    return static_cast<std::uint32_t>(folds_.size());
  }

  std::vector<LiveEdge> edges_;
  std::vector<std::vector<int>> incident_;
  std::vector<int> degree_;  // live edges, parallel ones folded
  std::unordered_map<std::uint64_t, int> byPair_;
  std::vector<EdgeFold> folds_;
  int vertices_;
};

}  // namespace

FoldedBlock foldSeriesParallel(int vertexCount, const EdgeList& edges) {
  Folder folder(vertexCount, edges);
  folder.foldSeries();
  return std::move(folder).result();
}
