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

namespace {

struct Degrees {
  int outX = 0, outY = 0, inX = 0, inY = 0;
};

// The degrees of each weight id's a and b.
std::vector<Degrees> weightDegrees(const std::vector<EdgeFold>& folds) {
  std::vector<Degrees> degrees(1);
  for (const EdgeFold& fold : folds) {
    const Degrees l = degrees[fold.left], r = degrees[fold.right];
    Degrees d;
    const int mixedX = std::max(l.outX + r.inX, l.inX + r.outX);
    const int mixedY = std::max(l.outY + r.inY, l.inY + r.outY);
    if (fold.kind == EdgeFold::Kind::Parallel) {
      d = {l.outX + r.outX, l.outY + r.outY, std::max(mixedX, l.inX + r.inX),
           std::max(mixedY, l.inY + r.inY + 1)};
    } else {
      d = {std::max(mixedX, l.outX + r.outX + 1), std::max(mixedY, l.outY + r.outY), l.inX + r.inX,
           l.inY + r.inY};
    }
    degrees.push_back(d);
  }
  return degrees;
}

class PolynomialRing {
 public:
  explicit PolynomialRing(const std::vector<std::uint64_t>& primes) : primes_(primes) {}

  FoldPolynomial one() const {
    FoldPolynomial p;
    p.coefficients.assign(primes_.size(), 1);
    return p;
  }

  // a X^shiftX Y^shiftY times b.
  FoldPolynomial times(const FoldPolynomial& a, const FoldPolynomial& b, int shiftX = 0,
                       int shiftY = 0) const {
    const std::size_t K = primes_.size();
    FoldPolynomial result = zero(a.degreeX + b.degreeX + shiftX, a.degreeY + b.degreeY + shiftY);
    for (int i = 0; i <= a.degreeX; ++i)
      for (int j = 0; j <= a.degreeY; ++j)
        for (int u = 0; u <= b.degreeX; ++u)
          for (int v = 0; v <= b.degreeY; ++v) {
            const std::uint64_t* left = at(a, i, j);
            const std::uint64_t* right = at(b, u, v);
            std::uint64_t* into = at(result, i + u + shiftX, j + v + shiftY);
            for (std::size_t k = 0; k < K; ++k) {
              __extension__ using Wide = unsigned __int128;
              into[k] = static_cast<std::uint64_t>(
                  (static_cast<Wide>(left[k]) * right[k] + into[k]) % primes_[k]);
            }
          }
    return result;
  }

  FoldPolynomial plus(const FoldPolynomial& a, const FoldPolynomial& b) const {
    FoldPolynomial result = zero(std::max(a.degreeX, b.degreeX), std::max(a.degreeY, b.degreeY));
    for (const FoldPolynomial* term : {&a, &b})
      for (int i = 0; i <= term->degreeX; ++i)
        for (int j = 0; j <= term->degreeY; ++j)
          for (std::size_t k = 0; k < primes_.size(); ++k) {
            std::uint64_t& into = at(result, i, j)[k];
            into = (into + at(*term, i, j)[k]) % primes_[k];
          }
    return result;
  }

 private:
  FoldPolynomial zero(int degreeX, int degreeY) const {
    FoldPolynomial p;
    p.degreeX = degreeX;
    p.degreeY = degreeY;
    p.coefficients.assign(static_cast<std::size_t>(degreeX + 1) * (degreeY + 1) * primes_.size(),
                          0);
    return p;
  }
  std::uint64_t* at(FoldPolynomial& p, int i, int j) const {
    return p.coefficients.data() +
           (static_cast<std::size_t>(i) * (p.degreeY + 1) + j) * primes_.size();
  }
  const std::uint64_t* at(const FoldPolynomial& p, int i, int j) const {
    return p.coefficients.data() +
           (static_cast<std::size_t>(i) * (p.degreeY + 1) + j) * primes_.size();
  }

  const std::vector<std::uint64_t>& primes_;
};

}  // namespace

std::vector<CompositeWeights> compositeWeightsModulo(const std::vector<EdgeFold>& folds,
                                                     const std::vector<std::uint32_t>& ids,
                                                     const std::vector<std::uint64_t>& primes) {
  const PolynomialRing ring(primes);
  const FoldPolynomial one = ring.one();
  const FoldPolynomial X = ring.times(one, one, 1, 0), Y = ring.times(one, one, 0, 1);
  std::vector<CompositeWeights> weights;
  for (const auto& [out, joined, inside] : foldedWeights(folds, ids, ring, X, Y))
    weights.push_back({out, joined, inside});
  return weights;
}

double foldPolynomialWork(const std::vector<EdgeFold>& folds) {
  const std::vector<Degrees> degrees = weightDegrees(folds);
  const auto size = [](int x, int y) { return (x + 1.0) * (y + 1.0); };
  double work = 0.0;
  for (const EdgeFold& fold : folds) {
    const Degrees l = degrees[fold.left], r = degrees[fold.right];
    work += 2.0 * (size(l.outX, l.outY) + size(l.inX, l.inY)) *
            (size(r.outX, r.outY) + size(r.inX, r.inY));
  }
  return work;
}

std::vector<FoldDegrees> foldDegrees(const std::vector<EdgeFold>& folds) {
  std::vector<FoldDegrees> result;
  for (const Degrees& d : weightDegrees(folds))
    result.push_back({std::max(d.outX, d.inX), std::max(d.outY, d.inY + 1)});
  return result;
}

std::vector<FoldSize> foldSizes(const std::vector<EdgeFold>& folds) {
  std::vector<FoldSize> sizes(1);
  for (const EdgeFold& fold : folds)
    sizes.push_back({sizes[fold.left].edges + sizes[fold.right].edges,
                     sizes[fold.left].vertices + sizes[fold.right].vertices +
                         (fold.kind == EdgeFold::Kind::Series)});
  return sizes;
}
