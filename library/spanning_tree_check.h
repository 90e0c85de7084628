#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estimator/wide_float.h"
#include "graph/graph.h"
#include "library/trust_checks.h"

// Normal mode's check against the truth: the coefficients of every sample sum to its estimate
// of T(1, 1), the number of spanning trees, which is known exactly. After each experiment whose
// budget cut, and for the run's average, a warning when the estimate is far from it
// (trust_checks.h). The exact count is taken once, when a budget first cuts, and not at all
// where it would cost more than about a second (cheapExactValue, estimator/exact_route.h).
class SpanningTreeCheck {
 public:
  // The graph must outlive the check.
  explicit SpanningTreeCheck(const Graph& graph);

  // The warning about experiment `experiment`, whose samples estimate T(1, 1) by `estimate`,
  // if any, for the caller to print or return.
  std::vector<std::string> afterExperiment(int experiment, ErrorBar estimate, bool budgetBound);
  // The warning about the average of the experiments, if there were several.
  std::vector<std::string> afterRun();

 private:
  // Nothing when counting would cost too much. Counts at the first call.
  const std::optional<WideFloat>& exactCount();

  const Graph& graph_;
  bool counted_ = false;
  bool anyCut_ = false;
  std::optional<WideFloat> exactCount_;
  std::vector<ErrorBar> estimates_;
};
