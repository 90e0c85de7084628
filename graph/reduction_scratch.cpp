#include "graph/reduction_scratch.h"

ReductionScratch& reductionScratch() {
  thread_local ReductionScratch scratch;
  return scratch;
}
