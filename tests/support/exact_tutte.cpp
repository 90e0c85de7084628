#include "support/exact_tutte.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>

namespace {

using Polynomial = std::vector<std::vector<double>>;

// True when u and v are connected in `edges` without using edge `skip`.
bool connectedWithout(const EdgeList& edges, std::size_t skip, int u, int v) {
  std::vector<int> frontier{u};
  std::vector<int> seen{u};
  while (!frontier.empty()) {
    int w = frontier.back();
    frontier.pop_back();
    if (w == v)
      return true;
    for (std::size_t k = 0; k < edges.size(); ++k) {
      if (k == skip)
        continue;
      auto [a, b] = edges[k];
      if (a != w && b != w)
        continue;
      int other = a == w ? b : a;
      if (std::find(seen.begin(), seen.end(), other) == seen.end()) {
        seen.push_back(other);
        frontier.push_back(other);
      }
    }
  }
  return false;
}

EdgeList without(const EdgeList& edges, std::size_t index) {
  EdgeList rest = edges;
  rest.erase(rest.begin() + static_cast<long>(index));
  return rest;
}

EdgeList contracted(const EdgeList& edges, std::size_t index) {
  auto [u, v] = edges[index];
  EdgeList rest = without(edges, index);
  for (auto& [a, b] : rest) {
    if (a == v)
      a = u;
    if (b == v)
      b = u;
  }
  return rest;
}

void accumulate(const EdgeList& edges, int bridges, int loops, Polynomial& result) {
  if (edges.empty()) {
    result[bridges][loops] += 1.0;
    return;
  }
  auto [u, v] = edges.front();
  if (u == v) {
    accumulate(without(edges, 0), bridges, loops + 1, result);
  } else if (!connectedWithout(edges, 0, u, v)) {
    accumulate(contracted(edges, 0), bridges + 1, loops, result);
  } else {
    accumulate(without(edges, 0), bridges, loops, result);
    accumulate(contracted(edges, 0), bridges, loops, result);
  }
}

}  // namespace

double ExactTutte::evaluate(double x, double y) const {
  double value = 0.0;
  for (std::size_t i = 0; i < coefficients.size(); ++i)
    for (std::size_t j = 0; j < coefficients[i].size(); ++j)
      value += coefficients[i][j] * std::pow(x, static_cast<double>(i)) *
               std::pow(y, static_cast<double>(j));
  return value;
}

ExactTutte exactTutte(const EdgeList& edges) {
  std::size_t size = edges.size() + 1;
  ExactTutte result{Polynomial(size, std::vector<double>(size, 0.0))};
  accumulate(edges, 0, 0, result.coefficients);
  return result;
}
