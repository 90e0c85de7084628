#include "app/command_line.h"

#include <exception>
#include <iostream>
#include <new>
#include <string>

#include <boost/program_options.hpp>

#include "app/run_config.h"
#include "distributed/process_group.h"
#include "estimator/walk_levels.h"
#include "experiments/distributed_samples.h"
#include "experiments/point_experiments.h"
#include "experiments/polynomial_experiments.h"
#include "experiments/run_stopped.h"

namespace po = boost::program_options;

namespace {

const char* const kCaption =
    " \n"
    " *************************************************************** \n"
    " Velmora package for Tutte Polynomial estimation. \n"
    " *************************************************************** \n"
    " Allowed options";

const char* const kUsage =
    " (Usage example: Velmora.exe --problem diamond.txt --B=1 --N=1000 --x 0 --y 1 "
    "--trancation 1 --expnum 10 --verb 1 --mcore 1)";

void declareOptions(po::options_description& options, RunConfig& config) {
  options.add_options()("help", "produce help message")(
      "problem", po::value<std::string>(&config.problem), "input graph instance file")(
      "N", po::value<int>(&config.N), "sample size")("B", po::value<int>(&config.B), "budget")(
      "x", po::value<int>(&config.x), "evaluate at (x)")("y", po::value<int>(&config.y),
                                                         "evaluate at (y)")(
      "trancation", po::value<int>(&config.trancation),
      "1 if trancate the tree at x=0 or y=0 (point estimate only!) , 0 - normal execution")(
      "verb", po::value<int>(&config.verb),
      "verbosity level (0-minimal information, 1-low, 2-high)")(
      "expnum", po::value<int>(&config.expnum), "number of experiments")(
      "mcore", po::value<int>(&config.mcore), "0 - use single core, 1 - use multi core (default)");
}

// The first reason, in checking order, why these settings can't run; empty when they can.
std::string refusal(const po::variables_map& given, const RunConfig& config) {
  if (!given.count("problem"))
    return "No input graph was specified";
  if (!given.count("N"))
    return "No sample size was specified";
  if (!given.count("B"))
    return "No budget was specified";
  bool hasX = given.count("x") > 0;
  bool hasY = given.count("y") > 0;
  if (given.count("trancation")) {
    if (!hasX || !hasY)
      return "To evaluate the trancated polynomial, both x and y must be specified";
    if (config.x == -1 || config.y == -1 || (config.x > 0 && config.y > 0))
      return "To evaluate the trancated polynomial,  x or y must be set to zero";
  }
  if (hasX != hasY)
    return "To evaluate the polynomial, both x and y must be specified";
  return "";
}

void printBanner(const RunConfig& config) {
  if (config.trancation != 0) {
    const std::string stars(79, '*');
    std::cout << stars << std::endl;
    std::cout << "Starting (trancated) " << config.expnum << " experiments for " << config.problem
              << " (x,y)=(" << config.x << "," << config.y << ")  with B=" << config.B
              << " N=" << config.N << std::endl;
    std::cout << stars << std::endl;
  } else {
    const std::string stars(51, '*');
    std::cout << stars << std::endl;
    std::cout << "Starting " << config.expnum << " experiments for " << config.problem
              << " with B=" << config.B << " N=" << config.N << std::endl;
    std::cout << stars << std::endl;
  }
}

void dispatch(const RunConfig& config) {
  if (config.trancation != 0) {
    runPointEstimateExperiments(config.expnum, config.B, config.problem, config.N, config.mcore,
                                config.x, config.y);
  } else {
    runPolynomialExperiments(config.expnum, config.B, config.problem, config.N, config.verb,
                             config.mcore, config.x, config.y);
  }
}

// A report that could not be written is no result, whatever the run computed. Every process
// of the run learns whether the leader's output failed, so that all end alike.
bool outputFailed() {
  std::cout.flush();
  const bool written = static_cast<bool>(std::cout);
  if (!written)
    std::cerr << "Error in writing to standard output; the report is incomplete" << std::endl;
  return !ProcessGroup::current().allAgree(written);
}

// Memory runs out in a run when the budget lets a level keep more graphs than fit; that is no
// fault of the command line, so it does not get the option table.
int reportExhaustedMemory(const std::bad_alloc& failure, const RunConfig& config) {
  std::cerr << "Out of memory: " << exhaustedMemoryReason(config.B) << std::endl;
  // The processes of a run that share a failure end together; a failure of this process
  // alone would leave the others waiting for it.
  if (dynamic_cast<const SharedMemoryExhausted*>(&failure) == nullptr)
    ProcessGroup::current().abandonOthers(1);
  return 1;
}

}  // namespace

int runCommandLine(int argc, const char* const argv[]) {
  RunConfig config;
  po::options_description options(kCaption);
  declareOptions(options, config);
  bool running = false;
  try {
    po::variables_map given;
    po::store(po::parse_command_line(argc, argv, options), given);
    po::notify(given);
    if (given.count("help") || given.empty()) {
      std::cout << options << std::endl;
      std::cout << kUsage << std::endl;
      return 1;
    }
    std::string reason = refusal(given, config);
    if (!reason.empty()) {
      std::cout << reason << std::endl;
      return 1;
    }
    printBanner(config);
    if (outputFailed())
      return 1;
    running = true;
    dispatch(config);
  } catch (const RunStopped& stop) {
    return stop.status;
  } catch (const std::exception& failure) {
    if (const auto* memory = dynamic_cast<const std::bad_alloc*>(&failure); running && memory)
      return reportExhaustedMemory(*memory, config);
    std::cout << options << "\n";
    if (running && dynamic_cast<const SharedFailure*>(&failure) == nullptr)
      ProcessGroup::current().abandonOthers(1);
    return 1;
  }
  return outputFailed() ? 1 : 0;
}
