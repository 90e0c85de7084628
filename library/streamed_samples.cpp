#include "library/streamed_samples.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "estimator/random_source.h"
#include "library/byte_packing.h"
#include "library/shared_outcome.h"
#include "library/summary_tree.h"

namespace {

// Samples per round, a multiple of the block: a round's samples are held until its blocks are
// summed. A point sample is a few bytes; a coefficient table holds every monomial its leaves
// reached.
constexpr std::int64_t kPointRoundSamples = 256 * kSummaryBlockSamples;
constexpr std::int64_t kCoefficientRoundSamples = 16 * kSummaryBlockSamples;

template <typename Summary>
struct Share {
  SummaryTree<Summary> tree;
  bool budgetBound = false;
  std::int64_t nodesBuilt = 0;
};

void pack(BytePacker& packer, const SampleSummary& summary) {
  packer.put(summary);
}
void unpack(ByteUnpacker& unpacker, SampleSummary& summary) {
  summary = unpacker.get<SampleSummary>();
}
void pack(BytePacker& packer, const CoefficientSummary& summary) {
  packer.put(summary.count);
  packer.putAll(summary.cells);
  packer.put(summary.sums);
  packer.put(summary.points);
  packer.put(summary.samplesWithLeaves);
}
void unpack(ByteUnpacker& unpacker, CoefficientSummary& summary) {
  summary.count = unpacker.get<std::int64_t>();
  unpacker.getAll(summary.cells);
  summary.sums = unpacker.get<SampleSummary>();
  summary.points = unpacker.get<SampleSummary>();
  summary.samplesWithLeaves = unpacker.get<std::int64_t>();
}

template <typename Summary>
std::string packed(const Share<Summary>& share) {
  BytePacker packer;
  packer.put(share.budgetBound);
  packer.put(share.nodesBuilt);
  packer.put(static_cast<std::uint64_t>(share.tree.nodes().size()));
  for (const auto& node : share.tree.nodes()) {
    packer.put(node.firstBlock);
    packer.put(node.blocks);
    pack(packer, node.sum);
  }
  return std::move(packer.bytes());
}

// Every process's share, in rank order, as one: its blocks follow on from the last's.
template <typename Summary>
void addShare(const std::string& bytes, Share<Summary>& all) {
  ByteUnpacker unpacker(bytes);
  all.budgetBound = unpacker.get<bool>() || all.budgetBound;
  all.nodesBuilt += unpacker.get<std::int64_t>();
  const auto nodes = unpacker.get<std::uint64_t>();
  for (std::uint64_t k = 0; k < nodes; ++k) {
    typename SummaryTree<Summary>::Node node{
        unpacker.get<std::int64_t>(), unpacker.get<std::int64_t>(), {}};
    unpack(unpacker, node.sum);
    all.tree.add(std::move(node));
  }
}

// Draws this process's blocks of the part, round by round: drawRound(seeds, share) runs the
// round's samples and adds their blocks to the share's tree.
template <typename Summary, typename DrawRound>
Share<Summary> ownShare(std::uint64_t runSeed, std::uint64_t seedsBefore, std::int64_t count,
                        std::int64_t roundSamples, const ProcessExchange& processes,
                        DrawRound drawRound) {
  const std::int64_t blocks = (count + kSummaryBlockSamples - 1) / kSummaryBlockSamples;
  const std::int64_t firstBlock = blocks * processes.rank() / processes.size();
  const std::int64_t endBlock = blocks * (processes.rank() + 1) / processes.size();
  const std::int64_t start = firstBlock * kSummaryBlockSamples;
  const std::int64_t end = std::min(endBlock * kSummaryBlockSamples, count);
  SampleSeedSource source(runSeed);
  source.skip(seedsBefore + static_cast<std::uint64_t>(start));
  Share<Summary> share{SummaryTree<Summary>(firstBlock)};
  for (std::int64_t at = start; at < end; at += roundSamples)
    drawRound(drawExperimentSeeds(static_cast<int>(std::min(roundSamples, end - at)), source),
              share);
  return share;
}

template <typename Summary, typename DrawRound>
Share<Summary> streamed(std::uint64_t runSeed, std::uint64_t seedsBefore, std::int64_t count,
                        std::int64_t roundSamples, const ProcessExchange& processes,
                        DrawRound drawRound) {
  const std::vector<std::string> shares = computeTogether(processes, [&] {
    return packed(
        ownShare<Summary>(runSeed, seedsBefore, count, roundSamples, processes, drawRound));
  });
  Share<Summary> all;
  for (const std::string& share : shares)
    addShare(share, all);
  return all;
}

// The blocks of a round of `samples` values, in order.
template <typename Value, typename AddBlock>
void forEachBlock(const std::vector<Value>& samples, AddBlock addBlock) {
  for (std::size_t at = 0; at < samples.size(); at += kSummaryBlockSamples) {
    const std::size_t size = std::min<std::size_t>(kSummaryBlockSamples, samples.size() - at);
    addBlock(at, size);
  }
}

}  // namespace

StreamedPoints streamPointSamples(const Graph& root, const WalkSettings& settings,
                                  std::uint64_t runSeed, std::uint64_t seedsBefore,
                                  std::int64_t count, const ProcessExchange& processes) {
  const Share<SampleSummary> all = streamed<SampleSummary>(
      runSeed, seedsBefore, count, kPointRoundSamples, processes,
      [&](const std::vector<std::uint64_t>& seeds, Share<SampleSummary>& share) {
        const PointSamples round = estimatePointSamples(root, settings, seeds);
        const std::span<const WideFloat> values(round.values);
        forEachBlock(round.values, [&](std::size_t at, std::size_t size) {
          share.tree.add(SampleSummary::of(values.subspan(at, size)));
        });
        share.budgetBound = share.budgetBound || round.budgetBound;
        share.nodesBuilt += round.nodesBuilt;
      });
  return {all.tree.total(), all.budgetBound, all.nodesBuilt};
}

StreamedCoefficients streamCoefficientSamples(const Graph& root, const WalkSettings& settings,
                                              std::uint64_t runSeed, std::uint64_t seedsBefore,
                                              std::int64_t count,
                                              const ProcessExchange& processes) {
  const Share<CoefficientSummary> all = streamed<CoefficientSummary>(
      runSeed, seedsBefore, count, kCoefficientRoundSamples, processes,
      [&](const std::vector<std::uint64_t>& seeds, Share<CoefficientSummary>& share) {
        const CoefficientSamples round = estimateCoefficientSamples(root, settings, seeds);
        const std::span<const CoefficientMatrix> tables(round.tables);
        const std::span<const WideFloat> points(round.points);
        forEachBlock(round.tables, [&](std::size_t at, std::size_t size) {
          share.tree.add(CoefficientSummary::of(
              tables.subspan(at, size), points.empty() ? points : points.subspan(at, size)));
        });
        share.budgetBound = share.budgetBound || round.budgetBound;
        share.nodesBuilt += round.nodesBuilt;
      });
  return {all.tree.total(), all.budgetBound, all.nodesBuilt};
}
