#pragma once

#include <cstdint>
#include <vector>

#include "estimator/wide_float.h"
#include "graph/graph.h"
#include "graph/reduced_graph.h"

// A per-node estimate of what the reduced walk's two children are worth against each other,
// T(G - e) / T(G / e) for the branch edge e, from the graph's electrical network.
//
// At (1, 1) a reduced graph with factors (a, b, ., .) on its edges is worth the product of the a
// times the sum over spanning trees of the product of the conductances w = b / a of the tree's
// edges, and the chance that a random tree (drawn in proportion to that product) holds e is
// w_e R_e, R_e the effective resistance between e's ends. Hence
//   T(G - e) / T(G / e) = (1 - w_e R_e) / R_e,
// and a walk that tilts each choice by that ratio draws every sample equal to T(1, 1). Elsewhere
// the same network, with the node's own factors, still sees what a constant tilt cannot: an edge
// that is nearly a bridge (w R near 1) is costly to delete wherever connectivity matters.
//
// R_e is found by conjugate gradients on the Laplacian with a diagonal preconditioner, to a
// relative residual of `tolerance`: an approximate ratio changes the variance, never the mean.
// With a `radius` > 0 only the vertices within that distance of e's ends take part and the
// vertices just beyond are tied to one grounded node, which can only lower R_e (closing a switch
// never raises a resistance): the ratio of a neighbourhood, whose cost does not grow with the
// graph. With a `radius` < 0 every vertex but e's ends is tied to the grounded node, and R_e has a
// closed form, 1 / (w_uv + G_u G_v / (G_u + G_v)) with w_uv the conductance between e's ends and
// G_u, G_v the ends' conductance to the rest: a lower bound on R_e, close where the ends' degrees
// are large (a dense graph), at the cost of the ends' degrees and no solve. Cost per node:
// O(vertices + edges) of the part that takes part to set up, and O(its edges) per iteration; the
// iterations grow like the square root of the Laplacian's condition number times log(1 /
// tolerance): a few tens on random regular graphs, hundreds on a 30 x 30 grid.
class ResistanceGuide {
 public:
  explicit ResistanceGuide(int radius = 0, double tolerance = 1e-4)
      : radius_(radius), tolerance_(tolerance) {}

  // The ratio above for the branch edge of an inner node, raised to `power`; 1 when the network
  // cannot say (a factor a of 0, or a conductance that is not finite and positive).
  double deletionRatio(const ReducedGraph<WideFloat>& node, double power = 1.0);

 private:
  // Numbers the vertices that take part densely (the branch edge's ends first) and builds their
  // Laplacian; false when some conductance is unusable.
  bool buildLaplacian(const ReducedGraph<WideFloat>& node);
  // The branch edge's effective resistance with the rest of the graph shorted; 0 when some
  // conductance is unusable.
  double shortedResistance(const ReducedGraph<WideFloat>& node) const;
  double solveForResistance();

  int radius_;
  double tolerance_;
  std::vector<int> denseId_, distance_, rowStart_, column_, order_;
  std::vector<std::uint32_t> stamp_;
  std::uint32_t generation_ = 0;
  // The Laplacian in compressed rows without the diagonal, which is kept apart.
  std::vector<double> offDiagonal_, diagonal_;
  std::vector<double> solution_, residual_, direction_, product_, preconditioned_;
};
