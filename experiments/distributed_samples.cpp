#include "experiments/distributed_samples.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace {

static_assert(std::is_trivially_copyable_v<WideFloat>);
static_assert(std::is_trivially_copyable_v<CoefficientEntry>);

// Appends and reads back plain values as bytes, in the order they were written.
class ByteWriter {
 public:
  template <typename Value>
  void put(const Value& value) {
    append(&value, sizeof(Value));
  }
  template <typename Value>
  void putAll(const std::vector<Value>& values) {
    put(static_cast<std::uint64_t>(values.size()));
    append(values.data(), values.size() * sizeof(Value));
  }
  std::vector<char>& bytes() { return bytes_; }

 private:
  void append(const void* data, std::size_t size) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + size);
    if (size > 0)
      std::memcpy(bytes_.data() + at, data, size);
  }

  std::vector<char> bytes_;
};

class ByteReader {
 public:
  explicit ByteReader(const std::vector<char>& bytes) : bytes_(bytes) {}
  template <typename Value>
  Value get() {
    Value value;
    std::memcpy(&value, bytes_.data() + at_, sizeof(Value));
    at_ += sizeof(Value);
    return value;
  }
  template <typename Value>
  void getAll(std::vector<Value>& values) {
    const auto count = get<std::uint64_t>();
    const std::size_t start = values.size();
    values.resize(start + count);
    if (count > 0)
      std::memcpy(values.data() + start, bytes_.data() + at_, count * sizeof(Value));
    at_ += count * sizeof(Value);
  }
  bool done() const { return at_ == bytes_.size(); }

 private:
  const std::vector<char>& bytes_;
  std::size_t at_ = 0;
};

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
void putTally(ByteWriter& writer, const Samples& own) {
  writer.put(own.budgetBound);
  writer.put(own.nodesBuilt);
}

template <typename Samples>
void addTally(ByteReader& reader, Samples& gathered) {
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
  ByteWriter writer;
  putTally(writer, own);
  writer.putAll(own.values);
  const std::vector<char> all = group.gatherToLeader(writer.bytes());
  if (!group.leads())
    return own;
  PointSamples gathered;
  gathered.values.reserve(seeds.size());
  for (ByteReader reader(all); !reader.done();) {
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
  ByteWriter writer;
  putTally(writer, own);
  writer.putAll(own.points);
  writer.put(static_cast<std::uint64_t>(own.tables.size()));
  for (const CoefficientMatrix& table : own.tables)
    writer.putAll(table.entries);
  const std::vector<char> all = group.gatherToLeader(writer.bytes());
  if (!group.leads())
    return own;
  CoefficientSamples gathered;
  gathered.tables.reserve(seeds.size());
  for (ByteReader reader(all); !reader.done();) {
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
