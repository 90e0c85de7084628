#pragma once

#include <cstdint>
#include <vector>

#include "estimator/random_stream.h"
#include "graph/graph.h"

// Exact samples of a connected graph's bi-directed form conditioned on every vertex reaching a
// root, by cluster popping (partial rejection sampling).
//
// Each edge {u, v} that is not a loop becomes the arcs u -> v and v -> u, and every arc carries
// a label drawn uniformly from [0, 1); at a retention p the arc is present when its label is
// below p. The probability that every vertex reaches the root over the present arcs equals the
// probability that the graph stays connected when each edge is kept independently with
// probability p, so a telescoping product of such probabilities over a falling p counts the
// connected spanning subgraphs, T(1, y).
//
// Popping: draw every label; while some vertex cannot reach the root, the vertices that cannot
// form a set that no present arc leaves, and its sink strongly connected components (over the
// present arcs) are the minimal such sets. Every label of an arc whose tail lies in one of them
// is drawn again. The reached set only grows (a reached vertex's path to the root keeps its
// arcs), so the search for the newly reached is incremental. The output is the product law of
// the labels conditioned on the event: the events "this set is a closed cluster" are those of an
// extremal instance, for which the popping is exact. Given the present set, each label is
// uniform below or above p, so thinning a sample to a retention p' < p is reading its labels
// against p'.
class ClusterPopper {
 public:
  // The graph's vertices must be numbered 0 .. vertexCount - 1 (the Graph's own ids are); the
  // root is vertex 0. Loops carry no arc.
  explicit ClusterPopper(const Graph& graph);

  int vertexCount() const { return static_cast<int>(firstArc_.size()) - 1; }
  int arcCount() const { return static_cast<int>(head_.size()); }
  int arcHead(int arc) const { return head_[arc]; }
  int arcTail(int arc) const;

  // Draws the labels conditioned on every vertex reaching the root at retention p, 0 < p <= 1,
  // from `random` alone. Returns the number of labels drawn (every arc once, and each redraw).
  // The graph must be connected, or this never ends.
  std::uint64_t sample(double p, RandomStream& random);
  const std::vector<double>& labels() const { return label_; }

  // Whether every vertex reaches the root over the arcs labelled below `threshold`. O(arcs).
  bool rootReachedBelow(double threshold);
  // The smallest threshold t such that every vertex reaches the root over the arcs labelled at
  // most t: the largest, over the vertices, of the least bottleneck label of a path to the root.
  // O(arcs log arcs).
  double connectionThreshold();

 private:
  // Reverse search over present arcs from the vertices on `frontier_`, marking every unreached
  // tail as reached.
  void spreadReach(double p);
  // The same search into any marks, at retention `threshold`: the vertices it marks.
  int spreadBackward(std::vector<char>& marks, double threshold);
  // Redraws the out-arcs of every vertex in a sink component of the unreached vertices.
  std::uint64_t popSinkComponents(double p, RandomStream& random);
  // Tarjan's strongly connected components of the unreached vertices over present arcs,
  // appending the vertices of the sink ones to `pop_`.
  void collectSinkComponents(double p);

  // Arcs in order of their tails: vertex v's out-arcs are firstArc_[v] .. firstArc_[v+1] - 1;
  // reverse_[a] is the opposite arc of a.
  std::vector<int> firstArc_, head_, reverse_;
  std::vector<double> label_;
  std::vector<char> reached_;
  int reachedCount_ = 0;
  std::vector<int> frontier_, pop_;
  // The vertices not reached when the last round began (a superset of the unreached ones).
  std::vector<int> unreached_;

  // Tarjan's scratch.
  std::vector<int> index_, lowLink_, component_, stack_, callVertex_, callArc_;
  std::vector<char> onStack_;
  // The threshold searches' scratch.
  std::vector<char> seen_;
  std::vector<double> bottleneck_;
};
