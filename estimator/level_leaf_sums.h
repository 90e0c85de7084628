#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"

// Sums the leaf weights of one level by coefficient. Every step removes one edge from every
// node, so all nodes of a level have the same number of edges, and a leaf's bridges and loops
// add up to it: within a level the number of bridges alone names the coefficient, and no two
// levels share one.
class LevelLeafSums {
 public:
  // Makes room for the coefficients of a graph with `edgeCount` edges; all sums empty.
  void reset(int edgeCount) {
    sums_.assign(edgeCount + 1, WideFloat(0.0));
    loops_.assign(edgeCount + 1, -1);
    touched_.clear();
  }

  void add(int bridges, int loops, WideFloat weight) {
    if (loops_[bridges] < 0)
      touched_.push_back(bridges);
    sums_[bridges] += weight;
    loops_[bridges] = loops;
  }

  // Appends the level's sums to `entries` and clears them for the next level.
  void moveInto(std::vector<CoefficientEntry>& entries) {
    for (int bridges : touched_) {
      entries.push_back({bridges, loops_[bridges], sums_[bridges]});
      sums_[bridges] = 0.0;
      loops_[bridges] = -1;
    }
    touched_.clear();
  }

 private:
  std::vector<WideFloat> sums_;
  std::vector<int> loops_;  // -1 where no leaf has been added
  std::vector<int> touched_;
};
