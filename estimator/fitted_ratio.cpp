#include "estimator/fitted_ratio.h"

#include <algorithm>
#include <cmath>

RatioWeights constantTiltWeights(double tilt, bool shortedGuide) {
  RatioWeights weights{};
  weights[0] = std::log(tilt);
  weights[1] = 1.0;
  weights[2] = shortedGuide ? 1.0 : 0.0;
  return weights;
}

double fittedLogit(const RatioWeights& weights, const RatioFeatures& features) {
  static const double kLimit = std::log((1.0 - kFittedChanceFloor) / kFittedChanceFloor);
  double logit = 0.0;
  for (int k = 0; k < kRatioFeatureCount; ++k)
    logit += weights[k] * features[k];
  return std::clamp(logit, -kLimit, kLimit);
}

RatioFeatures RatioFeatureReader::read(const ReducedGraph<WideFloat>& node, int rootEdges) {
  const Graph& topology = node.topology();
  const EdgeFactors<WideFloat>& factors = node.factors(node.branchEdge());
  const Edge branch = topology.edge(node.branchEdge());
  RatioFeatures features{};
  features[0] = 1.0;
  features[1] = log(abs(factors.a)) - log(abs(factors.b));
  const double ratio = shorted_.deletionRatio(node, 1.0);
  features[2] = ratio > 0.0 && std::isfinite(ratio) ? std::log(ratio) : 0.0;
  features[3] = std::min(commonNeighbours(topology, branch.u, branch.v), 3);
  features[4] = topology.degree(branch.u) + topology.degree(branch.v) - 6;
  features[5] = rootEdges > 0 ? 1.0 - static_cast<double>(node.edgeCount()) / rootEdges : 0.0;
  features[6] = features[1] * features[5];
  return features;
}

// Marks u's neighbours, then counts v's among them: O(deg u + deg v).
int RatioFeatureReader::commonNeighbours(const Graph& topology, int u, int v) {
  const auto limit = static_cast<std::size_t>(topology.vertexIdLimit());
  if (marks_.size() < limit) {
    marks_.assign(limit, 0);
    stamp_ = 0;
  }
  if (++stamp_ == 0) {
    std::fill(marks_.begin(), marks_.end(), 0);
    stamp_ = 1;
  }
  topology.forEachIncidentEdge(u, [&](int, int far) { marks_[far] = stamp_; });
  int common = 0;
  topology.forEachIncidentEdge(v, [&](int, int far) {
    if (far != u && far != v && marks_[far] == stamp_) {
      ++common;
      marks_[far] = 0;  // a parallel pair would count once anyway; a reduced node has none
    }
  });
  return common;
}
