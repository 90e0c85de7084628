// The real binary started by the MPI launcher, against the same command line in one process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/process_runner.h"

namespace {

// 0 processes: the binary alone, without the launcher.
ProcessResult runOn(int processes, const std::vector<std::string>& arguments) {
  // The launcher refuses to start processes as root, as CI runs, unless told twice.
  setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
  setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
#if defined(__SANITIZE_ADDRESS__)
  // The MPI library keeps memory to the end of its processes by design; a leak check of the
  // processes it starts would only report that.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
#endif
  ProcessSetup setup;
  setup.workingDirectory = sourcePath("");
  setup.timeoutSeconds = 120;  // a process left waiting would hang the run
  if (processes > 0) {
    // -q keeps the launcher's own notice of a non-zero exit status off standard error.
    setup.launcher = {VELMORA_MPIEXEC, "-q", "--oversubscribe", "-np", std::to_string(processes)};
  }
  return runVelmora(arguments, setup);
}

// The elapsed times differ from run to run; everything else must not.
std::string withTimesMasked(const std::string& report) {
  std::istringstream lines(report);
  std::string masked;
  for (std::string line; std::getline(lines, line);) {
    for (const std::string label : {"Total CPU time: ", "AVERAGE CPU TIME:   "}) {
      if (line.starts_with(label))
        line = label + "<time>" +
               line.substr(line.find(' ', label.size()) == std::string::npos
                               ? line.size()
                               : line.find(' ', label.size()));
    }
    masked += line + "\n";
  }
  return masked;
}

std::vector<std::string> split(const std::string& words) {
  std::istringstream stream(words);
  std::vector<std::string> out;
  for (std::string word; stream >> word;)
    out.push_back(word);
  return out;
}

}  // namespace

TEST(DistributedRun, ReportsOfExactRunsAreThoseOfOneProcess) {
  // Budgets that never cut, so every sample is the exact value and the reports of one process
  // and of several agree to the last digit; N = 7 splits unevenly over 2 and 3 processes.
  const std::vector<std::string> commandLines = {
      "--problem examples/diamond.txt --B 64 --N 7 --expnum 3 --x 0 --y 2 --trancation 1",
      "--problem examples/k4.txt --B 64 --N 7 --expnum 2 --x 2 --y 1 --verb 0",
      "--problem examples/k4.txt --B 64 --N 7 --expnum 2 --x 2 --y 1 --verb 1",
      "--problem examples/k4.txt --B 64 --N 7 --expnum 2 --x 2 --y 1 --verb 2",
      "--problem examples/multigraph.txt --B 64 --N 7 --expnum 2 --verb 2 --mcore 0"};
  for (const std::string& commandLine : commandLines) {
    const ProcessResult alone = runOn(0, split(commandLine));
    ASSERT_EQ(alone.status, 0) << commandLine;
    for (int processes : {2, 3}) {
      SCOPED_TRACE(testing::Message() << processes << " processes: " << commandLine);
      const ProcessResult shared = runOn(processes, split(commandLine));
      EXPECT_FALSE(shared.timedOut);
      EXPECT_EQ(shared.status, 0);
      EXPECT_EQ(withTimesMasked(shared.out), withTimesMasked(alone.out));
      EXPECT_EQ(shared.err, "");
    }
  }
}

TEST(DistributedRun, RefusalsAndUnusableFilesArePrintedOnceWithTheSameStatus) {
  const std::vector<std::string> commandLines = {
      "",
      "--problem examples/triangle.txt --N 1",
      "--x 0.5",
      "--problem examples/triangle.txt --N 1 --B 1 --trancation 1 --x 2 --y 3",
      "--problem no_such_file.txt --N 1 --B 1",
      "--problem tests/golden/short_edge_line.txt --N 1 --B 1 --trancation 1 --x 0 --y 1"};
  for (const std::string& commandLine : commandLines) {
    SCOPED_TRACE(commandLine);
    const ProcessResult alone = runOn(0, split(commandLine));
    const ProcessResult shared = runOn(2, split(commandLine));
    EXPECT_FALSE(shared.timedOut);
    EXPECT_EQ(shared.status, alone.status);
    EXPECT_EQ(shared.status, 1);
    EXPECT_EQ(shared.out, alone.out);
    EXPECT_EQ(shared.err, alone.err);
  }
}

TEST(DistributedRun, ABudgetThatCutsStaysUnbiased) {
  // The diamond: T = x^3 + 2x^2 + x + 2xy + y + y^2, so T(2, 1) = 24 and T(0, 2) = 6. As in the
  // single-process checks, an estimate beyond 6 reported standard errors has probability
  // about 2e-9.
  const std::vector<std::pair<std::string, double>> cases = {
      {"--problem examples/diamond.txt --B 1 --N 20000 --x 2 --y 1 --verb 0", 24.0},
      {"--problem examples/diamond.txt --B 1 --N 20000 --x 0 --y 2 --trancation 1", 6.0}};
  for (const auto& [commandLine, exact] : cases) {
    SCOPED_TRACE(commandLine);
    const ProcessResult shared = runOn(2, split(commandLine));
    ASSERT_EQ(shared.status, 0);
    // "Point estimator:   E RE R" (truncated) or "Point estimator: E RE: R" (normal).
    const std::size_t at = shared.out.find("Point estimator:");
    ASSERT_NE(at, std::string::npos) << shared.out;
    std::istringstream fields(shared.out.substr(at + 16));
    double estimate = 0.0, re = 0.0;
    std::string label;
    fields >> estimate >> label >> re;
    ASSERT_TRUE(fields && label.starts_with("RE")) << shared.out;
    EXPECT_NEAR(estimate, exact, 6.0 * re * estimate);
    EXPECT_GT(re, 0.0);
  }
}
