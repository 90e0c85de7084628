#include "experiments/second_opinion.h"

#include <cmath>

#include "experiments/sample_statistics.h"

int secondOpinionSamples(int samples) {
  const int share = samples / kSecondOpinionShare;
  return share >= kLeastSecondOpinionSamples ? share : 0;
}

std::vector<WideFloat> TiltedSamples::allValues() const {
  std::vector<WideFloat> values = first.samples.values;
  values.insert(values.end(), second.samples.values.begin(), second.samples.values.end());
  return values;
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
                                const TiltChoice& choice, const std::vector<std::uint64_t>& seeds) {
  const int secondCount = secondOpinionSamples(static_cast<int>(seeds.size()));
  const auto split = seeds.end() - secondCount;
  TiltedSamples run;
  run.first.tilt = choice.tilt;
  run.second.tilt = choice.neighbour;
  WalkSettings tilted = settings;
  tilted.tilt = choice.tilt;
  run.first.samples = estimatePointSamples(root, tilted, {seeds.begin(), split});
  if (secondCount == 0)
    return run;
  tilted.tilt = choice.neighbour;
  run.second.samples = estimatePointSamples(root, tilted, {split, seeds.end()});
  run.secondWeight = secondWeightOf(static_cast<double>(seeds.size() - secondCount),
                                    static_cast<double>(secondCount), choice);
  return run;
}

ErrorBar partEstimate(const std::vector<WideFloat>& samples) {
  return {sampleMean(samples),
          sampleStdDev(samples) / std::sqrt(static_cast<double>(samples.size()))};
}

ErrorBar combinedEstimate(const TiltedSamples& run) {
  const ErrorBar first = partEstimate(run.first.samples.values);
  if (run.second.samples.values.empty())
    return first;
  const ErrorBar second = partEstimate(run.second.samples.values);
  const double w = run.secondWeight;
  const WideFloat firstError = (1.0 - w) * first.standardError;
  const WideFloat secondError = w * second.standardError;
  return {(1.0 - w) * first.value + w * second.value,
          sqrt(firstError * firstError + secondError * secondError)};
}

std::vector<std::string> secondOpinionWarnings(double x, double y, const TiltedSamples& run) {
  if (run.second.samples.values.empty())
    return {};
  return tiltAgreementWarnings(x, y, {run.first.tilt, partEstimate(run.first.samples.values)},
                               {run.second.tilt, partEstimate(run.second.samples.values)},
                               run.budgetBound());
}
