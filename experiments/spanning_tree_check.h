#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "estimator/wide_float.h"
#include "experiments/run_instance.h"
#include "experiments/trust_checks.h"

// Normal mode's check against the truth: the coefficients of every sample sum to its estimate
// of T(1, 1), the number of spanning trees, which is known exactly. After each experiment whose
// budget cut, and for the run's average, a warning goes to standard error when the estimate is
// far from it (trust_checks.h). Only the leader, which holds every sample and prints, does the
// work; the exact count is taken once, when a budget first cuts, and not at all beyond
// kSpanningTreeUpdateLimit.
class SpanningTreeCheck {
 public:
  SpanningTreeCheck(const RunInstance& instance, bool leads);

  // The experiment's warning, if any, for the caller to print or return.
  std::vector<std::string> afterExperiment(int experiment, const CoefficientSamples& samples);
  // The warning about the average of the experiments, if there were several.
  std::vector<std::string> afterRun();

 private:
  // Nothing when counting would cost too much. Counts at the first call.
  const std::optional<WideFloat>& exactCount();

  const RunInstance& instance_;
  bool leads_;
  bool counted_ = false;
  bool anyCut_ = false;
  std::optional<WideFloat> exactCount_;
  std::vector<ErrorBar> estimates_;
};

// The check is left out when counting the spanning trees would take more than this many
// modular updates: about a second of one core, reached by a random 3-regular graph of about
// 1,700 vertices or a square grid of 71 x 71.
inline constexpr double kSpanningTreeUpdateLimit = 5e8;
