#pragma once

#include <string>
#include <vector>

// Runs the real velmora binary with `arguments` (each passed as one argument, no shell
// interpretation) and captures its standard output, its standard error and its exit status.
struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;
  long peakKiB = 0;  // the child's largest resident set
};

ProcessResult runVelmora(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory = "");

// Path of a file below the source tree, e.g. sourcePath("examples/diamond.txt").
std::string sourcePath(const std::string& relative);
