#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "estimator/spanning_tree_count.h"
#include "experiments/coefficient_report.h"
#include "graph/instance_reader.h"
#include "library/sample_statistics.h"
#include "support/coefficient_tables.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"
#include "support/process_runner.h"

namespace {

using Lines = std::vector<std::string>;
using Matrix = std::vector<std::vector<double>>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Keeps the piece after the last newline, so a missing final newline shows up as a difference.
Lines splitLines(const std::string& text) {
  Lines lines{""};
  for (char c : text)
    c == '\n' ? lines.emplace_back() : lines.back() += c;
  return lines;
}

// Time figures differ between runs: each must be a finite non-negative number and is replaced
// by a placeholder. The sign of a not-a-number from 0/0 depends on the processor: it is dropped.
std::string normalised(std::string line) {
  const std::string total = "Total CPU time: ", average = "AVERAGE CPU TIME:   ", sec = " (sec)";
  const bool isTotal = line.starts_with(total);
  if (isTotal || (line.starts_with(average) && line.ends_with(sec))) {
    const std::string head = isTotal ? total : average, tail = isTotal ? "" : sec;
    const std::string figure = line.substr(head.size(), line.size() - head.size() - tail.size());
    char* end = nullptr;
    const double seconds = std::strtod(figure.c_str(), &end);
    EXPECT_TRUE(!figure.empty() && *end == '\0' && std::isfinite(seconds) && seconds >= 0.0)
        << line;
    return head + "<time>" + tail;
  }
  for (std::size_t at; (at = line.find("-nan")) != std::string::npos;)
    line.erase(at, 1);
  return line;
}

void expectGolden(const std::string& name, const std::string& output) {
  std::ifstream file(sourcePath("tests/golden/report_" + name + ".txt"));
  const Lines expected = splitLines(std::string(std::istreambuf_iterator<char>(file), {}));
  const Lines actual = splitLines(output);
  EXPECT_EQ(expected.size(), actual.size());
  for (std::size_t k = 0; k < std::min(expected.size(), actual.size()); ++k)
    EXPECT_EQ(expected[k], normalised(actual[k])) << "line " << k + 1;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  return {std::istream_iterator<std::string>(stream), {}};
}

}  // namespace

TEST(CoefficientReport, StatisticsOfEachExperimentAndAveragesOverTheRun) {
  // One edge, so 2 x 2 tables. Experiment 1: t00 samples {1, 3} (mean 2, RE 1 / (2 sqrt 2)),
  // t10 {2, 2} (RE 0, the minimum), t11 {-1, 1} (mean 0: RE 0 and left out of MIN and MAX
  // although its spread would make it infinite); point values {2, 4} (mean 3, RE 0.235702).
  // Experiment 2: t01 {4, 0} (RE 1 / sqrt 2), t00 now 0, and no point values.
  const std::vector<CoefficientMatrix> first = {sparseTable({{1, 0}, {2, -1}}),
                                                sparseTable({{3, 0}, {2, 1}})};
  const std::vector<CoefficientMatrix> second = {sparseTable({{0, 4}, {2, 0}}),
                                                 sparseTable({{0, 0}, {2, 0}})};
  CoefficientTable averages{2, 0.0, {}}, averageErrors = averages;
  std::vector<WideFloat> pointMeans, pointErrors;
  std::ostringstream out;
  std::streambuf* const standardOutput = std::cout.rdbuf(out.rdbuf());
  printExperimentReport(1, first, 0.5f, 3, 2, 2, averages, averageErrors, 2, {2.0, 4.0}, pointMeans,
                        pointErrors);
  printExperimentReport(2, second, 0.25f, 3, 2, 2, averages, averageErrors, 1, {}, pointMeans,
                        pointErrors);
  printSummaryReport(1, averages, 0.375, averageErrors, pointMeans, pointErrors, 2);
  std::cout.rdbuf(standardOutput);
  // Averages over the two experiments, with t00's RE counting experiment 2 as 0.
  EXPECT_EQ(Matrix({{1, 1}, {2, 0}}), denseTable(averages));
  EXPECT_DOUBLE_EQ(1 / (4 * std::sqrt(2.0)), averageErrors.at(0, 0).toDouble());
  EXPECT_DOUBLE_EQ(1 / (2 * std::sqrt(2.0)), averageErrors.at(0, 1).toDouble());
  EXPECT_EQ(std::vector<WideFloat>{3.0}, pointMeans);
  EXPECT_EQ(1u, pointErrors.size());
  expectGolden("direct", out.str());
}

TEST(ReportGolden, OutputMatchesLineByLineWithOnlyTheTimesMasked) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmora_report_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const char* name : {"triangle.txt", "parallel_pair.txt"})
    std::filesystem::copy_file(sourcePath(std::string("examples/") + name), dir / name,
                               std::filesystem::copy_options::overwrite_existing);
  std::ofstream(dir / "no_edges.txt") << "c An instance without edges.\n";

  const char* zeroTime = "\nAVERAGE CPU TIME:   0 (sec)\n";
  const struct {
    const char *golden, *arguments;
    const char* rawText = "";  // must appear unmasked in the output
    const char* err = "";
  } cases[] = {
      {"triangle_verb2", "triangle.txt --B 2 --N 1 --expnum 1 --x 2 --y 3 --verb 2"},
      {"triangle_verb1", "triangle.txt --B 2 --N 1 --expnum 2 --x 2 --y 3 --verb 1"},
      {"triangle_verb1", "triangle.txt --B 2 --N 1 --expnum 2 --x 2 --y 3 --verb 7"},
      {"triangle_verb0", "triangle.txt --B 2 --N 1 --expnum 1 --x 2 --y 3 --verb 0"},
      {"triangle_no_point", "triangle.txt --B 2 --N 1 --expnum 1 --verb 2"},
      {"no_experiments", "triangle.txt --B 2 --N 3 --expnum 0 --x 2 --y 3", zeroTime},
      {"no_experiments_truncated", "triangle.txt --B 2 --N 3 --expnum 0 --x 0 --y 3 --trancation 1",
       zeroTime},
      {"no_edges", "no_edges.txt --B 2 --N 3 --expnum 1 --x 2 --y 3 --verb 2", "",
       "Warning: no edge line (a line whose first field is e) in no_edges.txt; it is read as a "
       "graph without edges\n"},
      {"truncated_x0", "parallel_pair.txt --B 4 --N 3 --expnum 2 --x 0 --y 1 --trancation 1"},
      {"truncated_y0", "parallel_pair.txt --B 4 --N 3 --expnum 1 --x 2 --y 0 --trancation 1"},
      {"no_samples", "triangle.txt --B 2 --N 0 --expnum 1 --x 2 --y 3 --verb 2"},
      {"no_samples_truncated", "triangle.txt --B 2 --N 0 --expnum 1 --x 0 --y 3 --trancation 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.golden) + ": --problem " + c.arguments);
    std::vector<std::string> arguments = words(c.arguments);
    arguments.insert(arguments.begin(), "--problem");
    const ProcessResult run = runVelmora(arguments, dir.string());
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(c.err, run.err);
    EXPECT_NE(std::string::npos, run.out.find(c.rawText));
    expectGolden(c.golden, run.out);
  }
  std::filesystem::remove_all(dir);
}

namespace {

// Tolerance in reported standard errors (RE times the estimate). The two tests below compare
// twelve estimates with the exact values, each a studentised mean of 1000 or more samples. A
// two-sided normal tail beyond 6 has probability 2e-9, so by the union bound a false failure
// has probability about 2.4e-8: a margin of 40 below one in a million for the departure of a
// studentised mean from the normal law at these sample sizes.
constexpr double kStandardErrors = 6.0;
// Relative slack for figures printed with six significant digits and averaged.
constexpr double kPrinted = 2e-5;

// The numbers of every line that starts like `pattern` (a scanf pattern of up to three
// doubles), in output order.
std::vector<std::array<double, 3>> scanLines(const std::string& text, const std::string& pattern) {
  const std::string prefix = pattern.substr(0, pattern.find('%'));
  const auto conversions = std::count(pattern.begin(), pattern.end(), '%');
  std::vector<std::array<double, 3>> found;
  for (const std::string& line : splitLines(text)) {
    if (!line.starts_with(prefix))
      continue;
    auto& n = found.emplace_back(std::array<double, 3>{kNaN, kNaN, kNaN});
    EXPECT_EQ(conversions, std::sscanf(line.c_str(), pattern.c_str(), &n[0], &n[1], &n[2]));
  }
  return found;
}

// Every size x size table printed below a line `title` and one blank line.
std::vector<Matrix> tablesAfter(const std::string& text, const std::string& title, int size) {
  std::string key = "\n";
  key += title + "\n\n";
  std::vector<Matrix> tables;
  for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    std::istringstream numbers(text.substr(at + key.size()));
    Matrix& table = tables.emplace_back(size, std::vector<double>(size, kNaN));
    for (auto& row : table)
      for (double& value : row)
        numbers >> value;
  }
  return tables;
}

ExactTutte exactK4(int& edgeCount) {
  EdgeList edges;
  int vertexCount = 0;
  readInstanceFile(sourcePath("examples/k4.txt"), edges, edgeCount, vertexCount);
  return exactTutte(edges);
}

std::string runK4(const std::string& options) {
  std::vector<std::string> arguments = {"--problem", sourcePath("examples/k4.txt")};
  for (const std::string& word : words(options))
    arguments.push_back(word);
  return runVelmora(arguments).out;
}

}  // namespace

TEST(ReportStatistics, CoefficientAndPointMeansAgreeWithTheExactPolynomial) {
  int m = 0;
  const ExactTutte exact = exactK4(m);
  const std::string out = runK4("--B 2 --N 2000 --expnum 1 --x 2 --y 1 --verb 2");
  const auto means = tablesAfter(out, "-------------  COEFICIENTS  -----------------------", m + 1);
  const auto errors =
      tablesAfter(out, "----------------------  RE -------------------------", m + 1);
  const auto minMax = scanLines(out, "MIN RE: %lf MAX_RE: %lf");
  const auto points = scanLines(out, "Point estimator: %lf RE: %lf");
  ASSERT_TRUE(means.size() == 1 && errors.size() == 1 && minMax.size() == 1 && points.size() == 1);
  double minRE = 1000000.0, maxRE = -1.0;
  for (int i = 0; i <= m; ++i) {
    for (int j = 0; j <= m; ++j) {
      SCOPED_TRACE(::testing::Message() << "x^" << i << " y^" << j);
      const double truth = exact.coefficients[i][j], mean = means[0][i][j], re = errors[0][i][j];
      if (truth == 0.0) {
        // Samples add only non-negative leaf weights, to the monomials of the leaves they
        // reach, so a monomial absent from T always averages exactly 0.
        EXPECT_TRUE(mean == 0.0 && re == 0.0);
        continue;
      }
      // With budget 2 every non-zero coefficient of K4 is non-zero in at least a quarter of
      // the samples, so all 2000 miss it with probability below 0.75^2000 (1e-249): a mean of
      // 0 here is a fault, and it fails this comparison.
      EXPECT_NEAR(truth, mean, kStandardErrors * re * mean + kPrinted * truth);
      minRE = std::min(minRE, re);
      maxRE = std::max(maxRE, re);
    }
  }
  EXPECT_EQ(minRE, minMax[0][0]);
  EXPECT_EQ(maxRE, minMax[0][1]);
  const auto [estimate, re, unused] = points[0];
  EXPECT_NEAR(exact.evaluate(2, 1), estimate,
              kStandardErrors * re * estimate + kPrinted * estimate);
}

TEST(ReportStatistics, TruncatedPointMeansAgreeWithTheExactPolynomial) {
  int m = 0;
  const ExactTutte exact = exactK4(m);
  // At both points fewer than 12% of the samples are 0, so a mean is never 0 in practice.
  for (const auto& [x, y, mcore] : {std::array{0, 2, 0}, std::array{2, 0, 1}}) {
    SCOPED_TRACE(::testing::Message() << "(" << x << ", " << y << ")");
    const std::string out =
        runK4("--B 2 --N 1000 --expnum 2 --trancation 1 --x " + std::to_string(x) + " --y " +
              std::to_string(y) + " --mcore " + std::to_string(mcore));
    const auto blocks = scanLines(out, "Point estimator:   %lf RE %lf");
    const auto summary = scanLines(
        out,
        "AVERAGE POINT ESTIMATOR:   %lf, AVERAGE RE %lf, TOTAL (2) EXPERIMENT AVERAGE RE  %lf");
    ASSERT_TRUE(blocks.size() == 2 && summary.size() == 1);
    for (const auto& [estimate, re, unused] : blocks)
      EXPECT_NEAR(exact.evaluate(x, y), estimate,
                  kStandardErrors * re * estimate + kPrinted * estimate);
    const std::vector<double> estimates = {blocks[0][0], blocks[1][0]};
    EXPECT_NEAR(sampleMean(wideValues(estimates)).toDouble(), summary[0][0],
                kPrinted * summary[0][0]);
    EXPECT_NEAR((blocks[0][1] + blocks[1][1]) / 2, summary[0][1], kPrinted * summary[0][1]);
    // Recomputed from estimates printed to about 1e-3, so the figure carries a rounding error
    // of about 1e-5; dividing by n - 1 or dropping the mean would be off by far more.
    EXPECT_NEAR(relativeError(wideValues(estimates)).toDouble(), summary[0][2], 1e-4);
  }
}

TEST(ReportStatistics, TruncatedRelativeErrorOfTwoValuedSamples) {
  // With budget 1 on two parallel edges at (2, 0) the walk keeps one of the two children with
  // weight 2: deleting leaves a bridge (sample 2 x 2 = 4), contracting leaves a loop, which
  // y = 0 cuts off (sample 0). Samples in {0, 4} with a share p = estimate / 4 of 4s have the
  // relative error sqrt((1 - p) / p / N), whatever p came out.
  const ProcessResult run =
      runVelmora({"--problem", sourcePath("examples/parallel_pair.txt"), "--B", "1", "--N", "1000",
                  "--x", "2", "--y", "0", "--trancation", "1"});
  const auto blocks = scanLines(run.out, "Point estimator:   %lf RE %lf");
  ASSERT_EQ(1u, blocks.size());
  const double p = blocks[0][0] / 4;
  EXPECT_NEAR(std::sqrt((1 - p) / p / 1000), blocks[0][1], kPrinted * blocks[0][1]);
}

TEST(ReportWarnings, GoToStandardErrorOnlyAndOnlyWhenTheBudgetCut) {
  // At B = 1 every sample of the triangle's T(1, 1) = 3 is 2 or 4 (each level keeps one of two
  // children and doubles the weight), so one sample, whose standard error is 0, is off for
  // certain, and so is the mean of three, which is never 3: the checks against the exact count
  // fire whatever the seed.
  const std::string sumOff = "Warning: experiment 1: the coefficients sum to ";
  const struct {
    std::string arguments;
    std::vector<std::string> warnings;  // the start of each line of standard error
  } cases[] = {
      // No level cut: exact, silent, whatever N.
      {"triangle.txt --B 2 --N 1 --x 0 --y 2 --trancation 1 --expnum 2", {}},
      {"triangle.txt --B 2 --N 1 --x 2 --y 1 --verb 0", {}},
      // B = 0 keeps no child: every sample is 0, in both modes.
      {"triangle.txt --B 0 --N 5 --x 0 --y 2 --trancation 1 --expnum 2",
       {"Warning: experiment 1: all 5 samples of T(0, 2) are 0",
        "Warning: experiment 2: all 5 samples of T(0, 2) are 0"}},
      {"triangle.txt --B 0 --N 5 --x 2 --y 1 --verb 0",
       {"Warning: experiment 1: all 5 samples of T(2, 1) are 0",
        "Warning: experiment 1: none of the 5 samples reached a leaf",
        sumOff + "0 (standard error 0) where T(1, 1), their exact sum, is 3: the samples missed"}},
      // One sample at B = 1 holds all the weight: an effective sample size of 1.
      {"triangle.txt --B 1 --N 1 --x 2 --y 1 --verb 0",
       {"Warning: experiment 1: the estimate of T(2, 1) rests on an effective sample size of 1 ",
        sumOff}},
      {"triangle.txt --B 1 --N 1 --verb 0", {sumOff}},
      {"triangle.txt --B 1 --N 1 --expnum 3 --verb 0",
       {sumOff, "Warning: experiment 2: the coefficients sum to ",
        "Warning: experiment 3: the coefficients sum to ",
        "Warning: the 3 experiments' coefficients sum on average to "}},
      // The loop makes T(2, 0) exactly 0: samples that are all 0 are right. Every sample at
      // B = 1 sums to T(1, 1) = 2 (the walk keeps one edge of the pair, weight 2, and the other
      // becomes a bridge or a loop), so no sum is off. One of the two coefficients it reaches is
      // reached by k <= 25 of the 50 samples, so its RE sqrt((50 - k) / (50 k)) is at least 0.14
      // (unless all 50 samples are alike: p = 2^-49); only verb 1 and 2, which print the
      // tables, count such coefficients.
      {"multigraph.txt --B 1 --N 50 --x 2 --y 0 --verb 1", {"Warning: experiment 1: "}},
      {"multigraph.txt --B 1 --N 50 --x 2 --y 0 --verb 0", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::vector<std::string> arguments = words(c.arguments);
    arguments[0] = sourcePath("examples/" + arguments[0]);
    arguments.insert(arguments.begin(), "--problem");
    const ProcessResult run = runVelmora(arguments);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(std::string::npos, run.out.find("Warning"));
    Lines lines = splitLines(run.err);
    ASSERT_EQ(lines.back(), "");
    lines.pop_back();
    ASSERT_EQ(lines.size(), c.warnings.size()) << run.err;
    for (std::size_t k = 0; k < lines.size(); ++k)
      EXPECT_TRUE(lines[k].starts_with(c.warnings[k])) << lines[k];
  }

  // A random 3-regular graph on 300 vertices, T(1, 1) about 10^109. At B = 1 a sample is 2^d
  // for its d branchings, and log2 T(1, 1) is not within 1e-8 of an integer, so a single
  // sample (standard error 0) is off by more than the rounding allowance, for certain. The line
  // gives the count as the report prints numbers.
  const EdgeList cubic = randomCubicMultigraph(300, 3);
  const SpanningTreeCount exact = countSpanningTrees(Graph(300, cubic));
  const double log2Count = exact.naturalLog / std::log(2.0);
  ASSERT_GT(std::abs(log2Count - std::round(log2Count)), 1e-8);
  const std::string path = std::filesystem::temp_directory_path() /
                           ("velmora_cubic_" + std::to_string(getpid()) + ".txt");
  {
    std::ofstream file(path);
    for (const auto& [u, v] : cubic)
      file << "e " << u << " " << v << "\n";
  }
  const ProcessResult run = runVelmora({"--problem", path, "--B", "1", "--N", "1", "--verb", "0"});
  std::filesystem::remove(path);
  std::ostringstream count;
  count << exact.value;
  EXPECT_TRUE(run.err.starts_with(sumOff)) << run.err;
  EXPECT_NE(run.err.find("their exact sum, is " + count.str() + ": "), std::string::npos);
  EXPECT_EQ(1u, splitLines(run.err).size() - 1);
}

TEST(ReportMemory, NormalModeKeepsOnlyTheCoefficientsTheSamplesReach) {
  // m = 20,000: a 40-cycle with a chord, and 19,959 loops, which need no search, so the walk is
  // short. Dense (m + 1)^2 tables of doubles would need 3.2 GB each; the run stays far below
  // 200 MiB at verb 0, and prints what a small run prints.
  const std::string path = std::filesystem::temp_directory_path() /
                           ("velmora_loops_" + std::to_string(getpid()) + ".txt");
  {
    std::ofstream file(path);
    for (int v = 0; v < 40; ++v)
      file << "e " << v << " " << (v + 1) % 40 << "\n";
    file << "e 0 20\n";
    for (int loop = 0; loop < 19959; ++loop)
      file << "e 7 7\n";
  }
  const ProcessResult run = runVelmora({"--problem", path, "--B", "4", "--N", "3", "--x", "2",
                                        "--y", "1", "--verb", "0", "--expnum", "2"});
  std::filesystem::remove(path);
  EXPECT_EQ(0, run.status);
  EXPECT_LT(run.peakKiB, 200 * 1024);
  EXPECT_EQ(2u, scanLines(run.out, "MIN RE: %lf MAX_RE: %lf").size());
  EXPECT_EQ(1u, scanLines(run.out, "AVERAGE POINT ESTIMATOR:   %lf AVERAGE RE %lf").size());
}
