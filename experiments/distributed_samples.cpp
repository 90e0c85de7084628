#include "experiments/distributed_samples.h"

#include "library/byte_packing.h"

#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

static_assert(std::is_trivially_copyable_v<WideFloat>);
static_assert(std::is_trivially_copyable_v<CoefficientEntry>);

// This process's block of seeds.
std::vector<std::uint64_t> ownSeeds(const ProcessGroup& group,
                                    const std::vector<std::uint64_t>& seeds) {
  const auto count = static_cast<std::int64_t>(seeds.size());
  return {seeds.begin() + group.blockStart(count, group.rank()),
          seeds.begin() + group.blockStart(count, group.rank() + 1)};
}

// Runs `compute` on every process; if it fails anywhere, every process throws, with the
// allocation failure kept as such so that it is reported as exhausted memory.
template <typename Compute>
auto computeTogether(const ProcessGroup& group, Compute compute) {
  decltype(compute()) result;
  bool ok = true, outOfMemory = false;
  try {
    result = compute();
  } catch (const std::bad_alloc&) {
    ok = false;
    outOfMemory = true;
  } catch (const std::exception&) {
    ok = false;
  }
  if (group.allAgree(ok))
    return result;
  if (!group.allAgree(!outOfMemory))
    throw SharedMemoryExhausted();
  throw SharedFailure("a process of the run failed");
}

// What every process's block starts with: whether the budget cut, and the nodes built.
template <typename Samples>
void putTally(BytePacker& writer, const Samples& own) {
  writer.put(own.budgetBound);
  writer.put(own.nodesBuilt);
}

template <typename Samples>
void addTally(ByteUnpacker& reader, Samples& gathered) {
  gathered.budgetBound = reader.get<bool>() || gathered.budgetBound;
  gathered.nodesBuilt += reader.get<std::int64_t>();
}

}  // namespace

PointSamples gatherPointSamples(const ProcessGroup& group, const Graph& root,
                                const WalkSettings& settings,
                                const std::vector<std::uint64_t>& seeds,
                                const SampleHook& afterEachSample) {
  PointSamples own = computeTogether(group, [&] {
    return estimatePointSamples(root, settings, ownSeeds(group, seeds), afterEachSample);
  });
  if (group.size() == 1)
    return own;
  BytePacker writer;
  putTally(writer, own);
  writer.putAll(own.values);
  const std::string all = group.gatherToLeader(writer.bytes());
  if (!group.leads())
    return own;
  PointSamples gathered;
  gathered.values.reserve(seeds.size());
  for (ByteUnpacker reader(all); !reader.done();) {
    addTally(reader, gathered);
    reader.getAll(gathered.values);
  }
  return gathered;
}

CoefficientSamples gatherCoefficientSamples(const ProcessGroup& group, const Graph& root,
                                            const WalkSettings& settings,
                                            const std::vector<std::uint64_t>& seeds,
                                            const SampleHook& afterEachSample) {
  CoefficientSamples own = computeTogether(group, [&] {
    return estimateCoefficientSamples(root, settings, ownSeeds(group, seeds), afterEachSample);
  });
  if (group.size() == 1)
    return own;
  BytePacker writer;
  putTally(writer, own);
  writer.putAll(own.points);
  writer.put(static_cast<std::uint64_t>(own.tables.size()));
  for (const CoefficientMatrix& table : own.tables)
    writer.putAll(table.entries);
  const std::string all = group.gatherToLeader(writer.bytes());
  if (!group.leads())
    return own;
  CoefficientSamples gathered;
  gathered.tables.reserve(seeds.size());
  for (ByteUnpacker reader(all); !reader.done();) {
    addTally(reader, gathered);
    reader.getAll(gathered.points);
    const auto tables = reader.get<std::uint64_t>();
    for (std::uint64_t t = 0; t < tables; ++t) {
      gathered.tables.push_back({{}, root.edgeCount});
      reader.getAll(gathered.tables.back().entries);
    }
  }
  return gathered;
}
