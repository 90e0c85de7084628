#include "experiments/spanning_tree_check.h"

#include "estimator/spanning_tree_count.h"
#include "graph/graph.h"

SpanningTreeCheck::SpanningTreeCheck(const RunInstance& instance, bool leads)
    : instance_(instance), leads_(leads) {}

const std::optional<WideFloat>& SpanningTreeCheck::exactCount() {
  if (!counted_) {
    counted_ = true;
    const Graph graph(instance_.vertexCount, instance_.edges);
    if (const auto count = countSpanningTreesWithin(graph, kSpanningTreeUpdateLimit))
      exactCount_ = count->value;
  }
  return exactCount_;
}

std::vector<std::string> SpanningTreeCheck::afterExperiment(int experiment,
                                                            const CoefficientSamples& samples) {
  if (!leads_ || samples.tables.empty())
    return {};
  estimates_.push_back(spanningTreeEstimate(samples.tables));
  anyCut_ = anyCut_ || samples.budgetBound;
  // A run the budget never cut is exact and needs no reference.
  if (!samples.budgetBound || !exactCount())
    return {};
  return spanningTreeWarnings(experiment, estimates_.back(), *exactCount(), samples.budgetBound);
}

std::vector<std::string> SpanningTreeCheck::afterRun() {
  // With one experiment its own line has said it all.
  if (estimates_.size() < 2 || !anyCut_ || !exactCount())
    return {};
  return averageSpanningTreeWarnings(static_cast<int>(estimates_.size()),
                                     averageEstimate(estimates_), *exactCount(), anyCut_);
}
