#include "graph/components.h"

#include <numeric>
#include <utility>

namespace {

// Union-find with path halving and union by size: near-constant time per operation.
class DisjointSets {
 public:
  explicit DisjointSets(int size) : parent_(size), size_(size, 1) {
    std::iota(parent_.begin(), parent_.end(), 0);
  }

  int find(int element) {
    while (parent_[element] != element) {
      parent_[element] = parent_[parent_[element]];
      element = parent_[element];
    }
    return element;
  }

  void join(int a, int b) {
    a = find(a);
    b = find(b);
    if (a == b)
      return;
    if (size_[a] < size_[b])
      std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
  }

 private:
  std::vector<int> parent_;
  std::vector<int> size_;
};

}  // namespace

Components findComponents(const Graph& graph) {
  const int limit = graph.vertexIdLimit();
  DisjointSets sets(limit);
  std::vector<bool> touched(limit, false);
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (!graph.hasEdge(id))
      continue;
    const Edge edge = graph.edge(id);
    touched[edge.u] = touched[edge.v] = true;
    sets.join(edge.u, edge.v);
  }
  Components components;
  components.componentOf.assign(limit, -1);
  std::vector<int> numberOfRoot(limit, -1);
  for (int vertex = 0; vertex < limit; ++vertex) {
    if (!touched[vertex])
      continue;
    int& number = numberOfRoot[sets.find(vertex)];
    if (number < 0)
      number = components.count++;
    components.componentOf[vertex] = number;
    ++components.vertexCount;
  }
  return components;
}
