#pragma once

#include <string>

// Truncated mode: expnum experiments of N samples of T(G; x, y) each, with a report per
// experiment and a summary.
void runPointEstimateExperiments(int expnum, int B, std::string fileName, int N, int mcore, int x,
                                 int y);
