#include "library/shared_outcome.h"

#include <new>
#include <stdexcept>

#include "estimator/exact_evaluator.h"
#include "estimator/walk_levels.h"
#include "library/sampling_run.h"

namespace {

// The first byte of every process's share: how its computation ended.
enum class Outcome : char {
  Done = 'd',
  OutOfMemory = 'm',
  Stopped = 's',
  Refused = 'r',
  InvalidArgument = 'i',
  Failed = 'f'
};

std::string shared(Outcome outcome, const std::string& text) {
  return static_cast<char>(outcome) + text;
}

std::string attempt(const std::function<std::string()>& compute) {
  try {
    return shared(Outcome::Done, compute());
  } catch (const std::bad_alloc&) {
    return shared(Outcome::OutOfMemory, "");
  } catch (const EstimateStopped&) {
    return shared(Outcome::Stopped, "");
  } catch (const WalkStopped&) {
    return shared(Outcome::Stopped, "");
  } catch (const ExactSizeExceeded& refusal) {
    return shared(Outcome::Refused, refusal.what());
  } catch (const std::invalid_argument& failure) {
    return shared(Outcome::InvalidArgument, failure.what());
  } catch (const std::exception& failure) {
    return shared(Outcome::Failed, failure.what());
  }
}

[[noreturn]] void rethrow(const std::string& share) {
  const std::string text = share.substr(1);
  switch (static_cast<Outcome>(share.front())) {
    case Outcome::OutOfMemory:
      throw WalkMemoryExhausted();
    case Outcome::Stopped:
      throw EstimateStopped();
    case Outcome::Refused:
      throw ExactSizeExceeded(text);
    case Outcome::InvalidArgument:
      throw std::invalid_argument(text);
    default:
      throw std::runtime_error("a process of the run failed: " + text);
  }
}

// Each share without its outcome byte, once every process has done.
std::vector<std::string> unpacked(std::vector<std::string> shares) {
  for (const std::string& share : shares)
    if (share.empty() || share.front() != static_cast<char>(Outcome::Done))
      rethrow(share.empty() ? shared(Outcome::Failed, "it sent nothing") : share);
  for (std::string& share : shares)
    share.erase(0, 1);
  return shares;
}

}  // namespace

std::vector<std::string> computeTogether(const ProcessExchange& processes,
                                         const std::function<std::string()>& compute) {
  if (processes.size() == 1)
    return {compute()};
  return unpacked(processes.allGather(attempt(compute)));
}

std::string computeOnLeader(const ProcessExchange& processes,
                            const std::function<std::string()>& compute) {
  if (processes.size() == 1)
    return compute();
  const std::string own = processes.rank() == 0 ? attempt(compute) : shared(Outcome::Done, "");
  return unpacked(processes.allGather(own)).front();
}
