#pragma once

#include <functional>
#include <string>
#include <vector>

#include "library/process_exchange.h"

// Runs `compute` on every process of `processes` and shares what it returned: every process's
// bytes, in rank order, on every process. When it failed on any process, every process throws
// the failure of the first that failed (in rank order), of the same kind where the library
// names one (exhausted memory, a stop, a refused exact request, an invalid argument), so that no
// process is left waiting for another and every caller sees one outcome. A process alone runs
// `compute` as it is.
std::vector<std::string> computeTogether(const ProcessExchange& processes,
                                         const std::function<std::string()>& compute);

// The leader's bytes on every process: `compute` runs on rank 0 only, the others wait, and its
// failure is every process's as above.
std::string computeOnLeader(const ProcessExchange& processes,
                            const std::function<std::string()>& compute);
