#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/exported_function.h"
#include "support/process_runner.h"

namespace {

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::string banner(char width, const std::string& line) {
  const std::string stars(width == 'T' ? 79 : 51, '*');
  return stars + "\n" + line + "\n" + stars + "\n";
}

struct Case {
  std::vector<std::string> arguments;
  std::string out;  // the whole of standard output; only its start for a run that goes ahead
  int status;
  std::string err = "";
};

}  // namespace

TEST(CommandLine, OutputAndStatusOfWholeRuns) {
  const std::string table = readText(sourcePath("tests/golden/option_table.txt"));
  const std::string help =
      table +
      "\n (Usage example: Velmora.exe --problem diamond.txt --B=1 --N=1000 --x 0 --y 1 "
      "--trancation 1 --expnum 10 --verb 1 --mcore 1)\n";
  const std::string parseFailure = table + "\n";
  const std::string zeroNeeded =
      "To evaluate the trancated polynomial,  x or y must be set to zero\n";
  const std::string triangle = "examples/triangle.txt";
  auto normal = [](const std::string& file) {
    return banner('N', "Starting 1 experiments for " + file + " with B=1 N=1");
  };
  auto with = [](std::vector<std::string> more, const std::string& file = "examples/triangle.txt") {
    std::vector<std::string> all = {"--problem", file, "--N", "1", "--B", "1"};
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const std::string badLine = "tests/golden/short_edge_line.txt",
                    badId = "tests/golden/negative_vertex_id.txt",
                    hugeId = "tests/golden/vertex_id_out_of_range.txt",
                    noEdgeLine = "tests/golden/no_edge_line.txt", unreadable = "/proc/self/mem";
  // The refusal rows follow the checking order; a run that goes ahead is matched by its banner.
  const std::vector<Case> cases = {
      {{}, help, 1},
      {with({"--help", "--x", "0"}), help, 1},
      {{"--help", "--x", "0.5"}, parseFailure, 1},
      {{"--x", "0"}, "No input graph was specified\n", 1},
      {{"--problem", triangle}, "No sample size was specified\n", 1},
      {{"--problem", triangle, "--N", "1"}, "No budget was specified\n", 1},
      {with({"--trancation", "1", "--x", "0"}),
       "To evaluate the trancated polynomial, both x and y must be specified\n", 1},
      {with({"--trancation", "1", "--x", "2", "--y", "3"}), zeroNeeded, 1},
      {with({"--trancation", "1", "--x", "-1", "--y", "0"}), zeroNeeded, 1},
      {with({"--trancation", "0", "--x", "2", "--y", "3"}), zeroNeeded, 1},
      {with({"--y", "1"}), "To evaluate the polynomial, both x and y must be specified\n", 1},
      {with({"--x", "0.5", "--y", "0"}), parseFailure, 1},
      {{"--problem", triangle, "--N", "abc", "--B", "1"}, parseFailure, 1},
      {with({"--N", "2"}), parseFailure, 1},
      {with({"--n", "2"}), parseFailure, 1},
      {with({"--B"}), parseFailure, 1},
      {with({"--verb", "0"}), normal(triangle), 0},
      {with({"--trancation", "0", "--x", "0", "--y", "1", "--verb", "0", "--mcore", "0"}),
       normal(triangle), 0},
      {with({"--trancation", "1", "--x", "-2", "--y", "3"}),
       banner('T',
              "Starting (trancated) 1 experiments for " + triangle + " (x,y)=(-2,3)  with B=1 N=1"),
       0},
      {{"--problem=" + triangle, "--B=2", "--N=3", "--tranc", "1", "--x", "0", "--y", "1",
        "--expnum", "2", "--verb", "2"},
       banner('T',
              "Starting (trancated) 2 experiments for " + triangle + " (x,y)=(0,1)  with B=2 N=3"),
       0},
      {with({}, "no_such_file.txt"), normal("no_such_file.txt") + "Error in openening file", 1},
      {with({}, "examples"), normal("examples") + "Error in openening file", 1},
      {with({}, ""), normal("") + "Error in openening file", 1},
      {with({}, badLine),
       normal(badLine) +
           "Error in line 3 of the instance file: an edge line needs two vertex ids after the e\n",
       1},
      {with({}, badId),
       normal(badId) + "Error in line 2 of the instance file: vertex ids must not be negative\n",
       1},
      {with({}, hugeId),
       normal(hugeId) + "Error in line 3 of the instance file: vertex id out of range\n", 1},
      // Opens, but every read fails: nothing read must not pass for an empty graph.
      {with({}, unreadable),
       normal(unreadable) + "Error in reading the instance file after line 0\n", 1},
      {with({"--x", "1", "--y", "1"}, noEdgeLine), normal(noEdgeLine), 0,
       "Warning: no edge line (a line whose first field is e) in " + noEdgeLine +
           "; it is read as a graph without edges\n"},
  };
  for (const Case& c : cases) {
    ProcessResult run = runVelmora(c.arguments, sourcePath(""));
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(c.status == 0 ? run.out.substr(0, c.out.size()) : run.out, c.out);
    EXPECT_EQ(run.status, c.status);
    // Standard error starts with what the case expects; a run on a budget that cuts may add
    // warnings about its estimates, and nothing else.
    ASSERT_TRUE(run.err.starts_with(c.err)) << run.err;
    std::istringstream warnings(run.err.substr(c.err.size()));
    for (std::string line; std::getline(warnings, line);)
      EXPECT_TRUE(c.status == 0 && line.starts_with("Warning: ")) << line;
  }
}

TEST(CommandLine, VertexIdsNeedNotStartAtZeroOrBeContiguous) {
  // The 4-cycle on 1..4 has T = x^3 + x^2 + x + y, so T(2, 0) = 14; the path 0-5-7 with a loop
  // at 7 has T = x^2 y, so T(2, 3) = 12. A budget of 100 never cuts either tree: every sample
  // is exact.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--problem", "examples/numbered_from_one.txt", "--trancation", "1", "--x", "2", "--y", "0"},
       "Point estimator:   14 RE 0\n"},
      {{"--problem", "tests/golden/vertex_id_gaps.txt", "--x", "2", "--y", "3"},
       "Point estimator: 12 RE: 0\n"},
  };
  for (auto [arguments, estimate] : cases) {
    arguments.insert(arguments.end(), {"--N", "3", "--B", "100"});
    ProcessResult run = runVelmora(arguments, sourcePath(""));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find(estimate), std::string::npos) << run.out;
  }
}

TEST(CommandLine, UnwritableOutputEndsTheRunWithStatusOne) {
  const std::string writeFailure =
      "Error in writing to standard output; the report is incomplete\n";
  // A budget that never cuts: the runs are exact and warn about nothing.
  const std::vector<std::string> triangle = {"--problem", "examples/triangle.txt", "--B", "4"};
  auto with = [&triangle](std::vector<std::string> more) {
    more.insert(more.begin(), triangle.begin(), triangle.end());
    return more;
  };
  ProcessSetup setup;
  setup.workingDirectory = sourcePath("");

  // A full disk: the banner cannot be written, so no sample is drawn.
  setup.outputFile = "/dev/full";
  for (const char* mode : {"0", "1"}) {
    const ProcessResult run =
        runVelmora(with({"--N", "10", "--x", "0", "--y", "1", "--trancation", mode}), setup);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, writeFailure);
  }

  // A reader that goes away, as `| head -1` does, with SIGPIPE ignored: the run would never
  // end if it went on writing (2^31 - 1 experiments), so it must stop at the next report.
  setup.outputFile = "";
  setup.closePipeAfter = 60;
  setup.ignoreSigpipe = true;
  setup.timeoutSeconds = 120;
  for (const char* mode : {"0", "1"}) {
    const ProcessResult run = runVelmora(with({"--N", "1", "--expnum", "2147483647", "--x", "0",
                                               "--y", "1", "--verb", "0", "--trancation", mode}),
                                         setup);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, writeFailure);
    EXPECT_EQ(run.out.size(), 60u);
  }
}

TEST(CommandLine, ExhaustedMemoryNamesTheBudget) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  // Every level of the 8 x 8 grid's tree doubles until memory runs out: the address space is
  // limited to 1 GiB, which about 2^18 of its graphs fill.
  ProcessSetup setup;
  setup.memoryLimit = std::size_t{1} << 30;
  const std::string grid = sourcePath("bench/graphs/grid8x8.txt");
  const ProcessResult run = runVelmora(
      {"--problem", grid, "--B", "100000000", "--N", "1", "--verb", "0", "--mcore", "0"}, setup);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "Out of memory: B = 100000000 keeps too many graphs of this instance; lower B\n");
  EXPECT_EQ(run.out, banner('N', "Starting 1 experiments for " + grid + " with B=100000000 N=1"));
}

namespace {

// What a terminal shows after `text` on a line that a carriage return rewrites from its start.
std::string visibleLine(const std::string& text) {
  std::string line;
  std::size_t column = 0;
  for (char c : text) {
    if (c == '\r') {
      column = 0;
      continue;
    }
    if (column == line.size())
      line += c;
    else
      line[column] = c;
    ++column;
  }
  return line;
}

}  // namespace

TEST(CommandLine, ProgressOnATerminalOnly) {
  // Sized on this machine and build: N samples of an experiment take about 1.2 s, so the three
  // experiments pass the meter's two quiet seconds and show at least two of them. The budget
  // never cuts, so the run is exact and warns about nothing: standard error holds the meter
  // alone.
  std::vector<std::string> arguments = {
      "--problem", "bench/graphs/petersen.txt", "--B", "1000000", "--verb", "0", "--N"};
  ProcessSetup setup;
  setup.workingDirectory = sourcePath("");
  std::vector<std::string> trial = arguments;
  const int trialSamples = 1000;
  trial.push_back(std::to_string(trialSamples));
  const ProcessResult timing = runVelmora(trial, setup);
  float seconds = 0;
  ASSERT_EQ(std::sscanf(timing.out.substr(timing.out.find("Total CPU time: ")).c_str(),
                        "Total CPU time: %f", &seconds),
            1);
  const long N = std::lround(trialSamples * 1.2 / std::max(seconds, 1e-3f));
  arguments.insert(arguments.end(), {std::to_string(N), "--expnum", "3"});

  setup.errorOnTerminal = true;
  const ProcessResult shown = runVelmora(arguments, setup);
  EXPECT_EQ(shown.status, 0);
  EXPECT_GT(shown.seconds, 2.5);
  EXPECT_EQ(shown.out.find('\r'), std::string::npos);
  EXPECT_NE(shown.out.find("SUMMARY OF 3 experiments:"), std::string::npos);
  // Every update rewrites the one line; none ends it, and the last leaves it blank.
  EXPECT_EQ(shown.err.find('\n'), std::string::npos);
  EXPECT_EQ(visibleLine(shown.err).find_first_not_of(' '), std::string::npos) << shown.err;
  int lastExperiment = 0;
  long lastSamples = -1;
  int updates = 0;
  for (std::size_t at = shown.err.find('\r'); at != std::string::npos;
       at = shown.err.find('\r', at + 1)) {
    int experiment = 0, experiments = 0;
    long samples = 0, perExperiment = 0;
    char unit[8] = "";
    if (std::sscanf(shown.err.c_str() + at, "\rexperiment %d/%d  samples %ld/%ld  %*d %7s",
                    &experiment, &experiments, &samples, &perExperiment, unit) != 5)
      continue;  // a line being blanked
    ++updates;
    EXPECT_EQ(experiments, 3);
    EXPECT_EQ(perExperiment, N);
    EXPECT_TRUE(experiment > lastExperiment ||
                (experiment == lastExperiment && samples >= lastSamples));
    EXPECT_LE(samples, N);
    EXPECT_TRUE(std::string(unit) == "s" || std::string(unit) == "min") << unit;
    lastExperiment = experiment;
    lastSamples = samples;
  }
  EXPECT_GE(updates, 2) << shown.err;
  EXPECT_EQ(lastExperiment, 3);
  EXPECT_NE(shown.err.find(" left"), std::string::npos);

  // The same run with standard error in a file shows nothing.
  setup.errorOnTerminal = false;
  const ProcessResult hidden = runVelmora(arguments, setup);
  EXPECT_EQ(hidden.status, 0);
  EXPECT_EQ(hidden.err, "");
}

TEST(ExportedFunction, IsInTheDynamicSymbolTableAndAdds) {
  FILE* pipe = popen("nm -D --defined-only -C '" VELMORA_BINARY "'", "r");
  ASSERT_NE(pipe, nullptr);
  std::string symbols;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe))
    symbols += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(symbols.find(" QV_DLL(double, double, double*)\n"), std::string::npos);
  double sum = -1;
  QV_DLL(1.5, -4.25, &sum);
  EXPECT_EQ(sum, -2.75);
  QV_DLL(0.1, 0.2, &sum);
  EXPECT_EQ(sum, 0.1 + 0.2);
}
