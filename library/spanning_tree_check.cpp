#include "library/spanning_tree_check.h"

#include "estimator/exact_route.h"

SpanningTreeCheck::SpanningTreeCheck(const Graph& graph) : graph_(graph) {}

const std::optional<WideFloat>& SpanningTreeCheck::exactCount() {
  if (!counted_) {
    counted_ = true;
    exactCount_ = cheapExactValue(graph_, 1.0, 1.0);
  }
  return exactCount_;
}

std::vector<std::string> SpanningTreeCheck::afterExperiment(int experiment, ErrorBar estimate,
                                                            bool budgetBound) {
  estimates_.push_back(estimate);
  anyCut_ = anyCut_ || budgetBound;
  // A run the budget never cut is exact and needs no reference.
  if (!budgetBound || !exactCount())
    return {};
  return spanningTreeWarnings(experiment, estimate, *exactCount(), budgetBound);
}

std::vector<std::string> SpanningTreeCheck::afterRun() {
  // With one experiment its own line has said it all.
  if (estimates_.size() < 2 || !anyCut_ || !exactCount())
    return {};
  return averageSpanningTreeWarnings(static_cast<int>(estimates_.size()),
                                     averageEstimate(estimates_), *exactCount(), anyCut_);
}
