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

}  // namespace

double ResistanceGuide::deletionRatio(const ReducedGraph<WideFloat>& node, double power) {
  const Graph& topology = node.topology();
  conductance_.assign(topology.edgeIdLimit(), 0.0);
  for (int id = 0; id < topology.edgeIdLimit(); ++id) {
    if (!topology.hasEdge(id))
      continue;
    const EdgeFactors<WideFloat>& f = node.factors(id);
    if (f.a.isZero())
      return 1.0;
    const double w = abs(f.b / f.a).toDouble();
    if (!(w > 0.0) || !std::isfinite(w))
      return 1.0;
    conductance_[id] = w;
  }
  const int edge = node.branchEdge();
  const double w = conductance_[edge];
  // Clamped so that an inexact solve cannot make either child look worthless.
  const double share = std::clamp(w * resistance(topology, conductance_, edge), 1e-9, 1.0 - 1e-9);
  return std::pow((1.0 - share) * w / share, power);
}

void ResistanceGuide::buildLaplacian(const Graph& topology,
                                     const std::vector<double>& conductance) {
  denseId_.assign(topology.vertexIdLimit(), -1);
  int count = 0;
  for (int v = 0; v < topology.vertexIdLimit(); ++v)
    if (topology.hasVertex(v))
      denseId_[v] = count++;
  rowStart_.assign(1, 0);
  column_.clear();
  offDiagonal_.clear();
  diagonal_.assign(count, 0.0);
  for (int v = 0; v < topology.vertexIdLimit(); ++v) {
    if (denseId_[v] < 0)
      continue;
    topology.forEachIncidentEdge(v, [&](int edge, int far) {
      if (far == v)
        return;  // a loop carries no current
      column_.push_back(denseId_[far]);
      offDiagonal_.push_back(-conductance[edge]);
      diagonal_[denseId_[v]] += conductance[edge];
    });
    rowStart_.push_back(static_cast<int>(column_.size()));
  }
  // A vertex with no edge carries no current; 1 keeps the preconditioner finite.
  for (double& d : diagonal_)
    if (d == 0.0)
      d = 1.0;
}

double ResistanceGuide::resistance(const Graph& topology, const std::vector<double>& conductance,
                                   int edge) {
  buildLaplacian(topology, conductance);
  const std::size_t n = diagonal_.size();
  const Edge ends = topology.edge(edge);
  const int u = denseId_[ends.u], v = denseId_[ends.v];
  // L phi = e_u - e_v is consistent (its right side sums to 0 on the component), so conjugate
  // gradients converge on the singular Laplacian without grounding a vertex.
  solution_.assign(n, 0.0);
  residual_.assign(n, 0.0);
  residual_[u] = 1.0;
  residual_[v] = -1.0;
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
  return solution_[u] - solution_[v];
}
