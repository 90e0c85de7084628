#pragma once

#include <string>

// Normal mode: expnum experiments of N samples of every coefficient (and of T(G; x, y) when a
// point is given), with a report per experiment and a summary.
void runPolynomialExperiments(int expnum, int B, std::string fileName, int N, int verb, int mcore,
                              int x, int y);
