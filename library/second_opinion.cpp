#include "library/second_opinion.h"

#include <cmath>

int secondOpinionSamples(int samples) {
  const int share = samples / kSecondOpinionShare;
  return share >= kLeastSecondOpinionSamples ? share : 0;
}

SampleSummary TiltedSamples::allSamples() const {
  return SampleSummary::merged(first.samples.summary, second.samples.summary);
}

namespace {

double secondWeightOf(double firstSamples, double secondSamples, const TiltChoice& choice) {
  const double first = choice.relativeVariance, second = choice.neighbourRelativeVariance;
  if (!(first > 0.0 && second > 0.0 && std::isfinite(first) && std::isfinite(second)))
    return secondSamples / (firstSamples + secondSamples);
  return secondSamples / second / (firstSamples / first + secondSamples / second);
}

}  // namespace

TiltedSamples drawTiltedSamples(const Graph& root, const WalkSettings& settings,
                                const TiltChoice& choice, std::uint64_t runSeed,
                                std::uint64_t seedsBefore, int samples,
                                const ProcessExchange& processes) {
  const int secondCount = secondOpinionSamples(samples);
  const int firstCount = samples - secondCount;
  TiltedSamples run;
  run.first.tilt = choice.tilt;
  run.second.tilt = choice.neighbour;
  WalkSettings tilted = settings;
  tilted.tilt = choice.tilt;
  run.first.samples = streamPointSamples(root, tilted, runSeed, seedsBefore, firstCount, processes);
  if (secondCount == 0)
    return run;
  tilted.tilt = choice.neighbour;
  run.second.samples =
      streamPointSamples(root, tilted, runSeed, seedsBefore + firstCount, secondCount, processes);
  run.secondWeight =
      secondWeightOf(static_cast<double>(firstCount), static_cast<double>(secondCount), choice);
  return run;
}

ErrorBar combinedEstimate(const TiltedSamples& run) {
  const ErrorBar first = run.first.samples.summary.estimate();
  if (run.second.samples.summary.count == 0)
    return first;
  const ErrorBar second = run.second.samples.summary.estimate();
  const double w = run.secondWeight;
  const WideFloat firstError = (1.0 - w) * first.standardError;
  const WideFloat secondError = w * second.standardError;
  return {(1.0 - w) * first.value + w * second.value,
          sqrt(firstError * firstError + secondError * secondError)};
}

std::vector<std::string> secondOpinionWarnings(double x, double y, const TiltedSamples& run) {
  if (run.second.samples.summary.count == 0)
    return {};
  return tiltAgreementWarnings(x, y, {run.first.tilt, run.first.samples.summary.estimate()},
                               {run.second.tilt, run.second.samples.summary.estimate()},
                               run.budgetBound());
}
