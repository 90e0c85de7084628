#include "estimator/resistance_guide.h"

#include <algorithm>
#include <cmath>

namespace {

double dot(const std::vector<double>& u, const std::vector<double>& v) {
  double sum = 0.0;
  for (std::size_t k = 0; k < u.size(); ++k)
    sum += u[k] * v[k];
  return sum;
}

// The conductance b / a of an edge, or 0 when it has none that a network could use.
double conductanceOf(const EdgeFactors<WideFloat>& factors) {
  if (factors.a.isZero())
    return 0.0;
  const double w = abs(factors.b / factors.a).toDouble();
  return w > 0.0 && std::isfinite(w) ? w : 0.0;
}

}  // namespace

double ResistanceGuide::deletionRatio(const ReducedGraph<WideFloat>& node, double power) {
  const double w = conductanceOf(node.factors(node.branchEdge()));
  if (w == 0.0)
    return 1.0;
  double resistance = 0.0;
  if (radius_ < 0) {
    resistance = shortedResistance(node);
  } else {
    if (!buildLaplacian(node))
      return 1.0;
    resistance = solveForResistance();
  }
  if (resistance == 0.0)
    return 1.0;
  // Clamped so that an inexact solve cannot make either child look worthless.
  const double share = std::clamp(w * resistance, 1e-9, 1.0 - 1e-9);
  return std::pow((1.0 - share) * w / share, power);
}

// The branch edge u v, the other edges between u and v beside it, and the edges from u and from
// v to the rest, each group joined in parallel, the rest a single node:
//   R = 1 / (w_uv + G_u G_v / (G_u + G_v)).
double ResistanceGuide::shortedResistance(const ReducedGraph<WideFloat>& node) const {
  const Graph& topology = node.topology();
  const Edge branch = topology.edge(node.branchEdge());
  double between = conductanceOf(node.factors(node.branchEdge())), fromU = 0.0, fromV = 0.0;
  bool usable = true;
  const auto add = [&](int end, double& toRest) {
    topology.forEachIncidentEdge(end, [&](int edge, int far) {
      if (far == end || edge == node.branchEdge())
        return;  // a loop carries no current
      const double w = conductanceOf(node.factors(edge));
      usable = usable && w > 0.0;
      if (far == branch.u || far == branch.v)
        between += end == branch.u ? w : 0.0;  // counted once, from u's side
      else
        toRest += w;
    });
  };
  add(branch.u, fromU);
  add(branch.v, fromV);
  if (!usable)
    return 0.0;
  const double rest = fromU + fromV > 0.0 ? fromU * fromV / (fromU + fromV) : 0.0;
  return 1.0 / (between + rest);
}

bool ResistanceGuide::buildLaplacian(const ReducedGraph<WideFloat>& node) {
  const Graph& topology = node.topology();
  const Edge branch = topology.edge(node.branchEdge());
  const auto limit = static_cast<std::size_t>(topology.vertexIdLimit());
  if (stamp_.size() < limit) {
    stamp_.assign(limit, 0);
    denseId_.assign(limit, -1);
    distance_.assign(limit, 0);
    generation_ = 0;
  }
  if (++generation_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    generation_ = 1;
  }
  // The branch edge's ends, then every vertex, or those breadth-first within the radius.
  order_.clear();
  const auto reach = [&](int vertex, int distance) {
    if (stamp_[vertex] == generation_)
      return;
    stamp_[vertex] = generation_;
    denseId_[vertex] = static_cast<int>(order_.size());
    distance_[vertex] = distance;
    order_.push_back(vertex);
  };
  reach(branch.u, 0);
  reach(branch.v, 0);
  if (radius_ == 0) {
    for (int v = 0; v < topology.vertexIdLimit(); ++v)
      if (topology.hasVertex(v))
        reach(v, 0);
  }
  for (std::size_t k = 0; radius_ > 0 && k < order_.size(); ++k) {
    const int vertex = order_[k];
    if (distance_[vertex] < radius_)
      topology.forEachIncidentEdge(vertex,
                                   [&](int, int far) { reach(far, distance_[vertex] + 1); });
  }
  const std::size_t count = order_.size();
  rowStart_.assign(1, 0);
  column_.clear();
  offDiagonal_.clear();
  diagonal_.assign(count, 0.0);
  bool usable = true;
  for (std::size_t row = 0; row < count; ++row) {
    const int vertex = order_[row];
    topology.forEachIncidentEdge(vertex, [&](int edge, int far) {
      if (far == vertex)
        return;  // a loop carries no current
      const double w = conductanceOf(node.factors(edge));
      usable = usable && w > 0.0;
      diagonal_[row] += w;
      // A neighbour beyond the radius is the grounded node: its potential is 0.
      if (stamp_[far] == generation_) {
        column_.push_back(denseId_[far]);
        offDiagonal_.push_back(-w);
      }
    });
    rowStart_.push_back(static_cast<int>(column_.size()));
    // A vertex with no edge carries no current; 1 keeps the preconditioner finite.
    if (diagonal_[row] == 0.0)
      diagonal_[row] = 1.0;
  }
  return usable;
}

// Conjugate gradients for L phi = e_u - e_v, the branch edge's ends numbered 0 and 1; without
// a grounded node L is singular, but the system is consistent (its right side sums to 0 on the
// component), and conjugate gradients converge on it all the same.
double ResistanceGuide::solveForResistance() {
  const std::size_t n = diagonal_.size();
  solution_.assign(n, 0.0);
  residual_.assign(n, 0.0);
  residual_[0] = 1.0;
  residual_[1] = -1.0;
  preconditioned_.resize(n);
  product_.resize(n);
  for (std::size_t k = 0; k < n; ++k)
    preconditioned_[k] = residual_[k] / diagonal_[k];
  direction_ = preconditioned_;
  double rz = dot(residual_, preconditioned_);
  const double stop = tolerance_ * tolerance_ * 2.0;  // |r|^2 against |e_u - e_v|^2 = 2
  for (std::size_t iteration = 0; iteration < 4 * n + 20; ++iteration) {
    for (std::size_t row = 0; row < n; ++row) {
      double sum = diagonal_[row] * direction_[row];
      for (int k = rowStart_[row]; k < rowStart_[row + 1]; ++k)
        sum += offDiagonal_[k] * direction_[column_[k]];
      product_[row] = sum;
    }
    const double curvature = dot(direction_, product_);
    if (!(curvature > 0.0))
      break;
    const double step = rz / curvature;
    for (std::size_t k = 0; k < n; ++k) {
      solution_[k] += step * direction_[k];
      residual_[k] -= step * product_[k];
    }
    if (dot(residual_, residual_) < stop)
      break;
    for (std::size_t k = 0; k < n; ++k)
      preconditioned_[k] = residual_[k] / diagonal_[k];
    const double next = dot(residual_, preconditioned_);
    const double beta = next / rz;
    rz = next;
    for (std::size_t k = 0; k < n; ++k)
      direction_[k] = preconditioned_[k] + beta * direction_[k];
  }
  return solution_[0] - solution_[1];
}
