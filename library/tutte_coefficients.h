#pragma once

#include "graph/instance_reader.h"
#include "library/coefficient_table.h"
#include "library/sampling_run.h"

// Estimates of every coefficient t_ij of T(G; x, y) = sum t_ij x^i y^j, as the tool's normal
// mode computes them: both tables are (m + 1) x (m + 1), row i for the power of x and column j
// for the power of y, and hold only the cells some sample reached (every other coefficient's
// mean and error are 0).
struct TutteCoefficients {
  CoefficientTable means;
  // Each coefficient's standard error relative to its mean; 0 where the mean is 0, and
  // everywhere when the run is exact.
  CoefficientTable relativeErrors;
  SamplingReport run;
};

// N samples of the level walk without pruning, at most B nodes per depth. When the budget cut,
// the warnings include the tool's check of the coefficients' sum against the exact number of
// spanning trees, T(1, 1), unless counting them would take more than about a second of one
// core (kSpanningTreeUpdateLimit). Throws what estimateTutteValue throws for the sampling
// options, memory and stops. Time: about N walks of m depths of at most B graphs each, the
// count, and memory for the coefficients the samples reach.
TutteCoefficients estimateTutteCoefficients(const EdgeList& edges, const SamplingOptions& options);
