#pragma once

#include <string>

// The parsed command line. Every field starts with the value a run sees when its option is
// absent; the presence of an option is read from the option library's variable map.
struct RunConfig {
  std::string problem;
  int N = 1000;
  int B = 10;
  int x = -1;
  int y = -1;
  int trancation = 0;
  int verb = 1;
  int expnum = 1;
  int mcore = 1;
};
