#include "distributed/process_group.h"

#include <mpi.h>

#include <cstdlib>
#include <numeric>

#include "library/process_exchange.h"

namespace {

ProcessGroup* runningGroup = nullptr;

int checkedCount(std::size_t bytes) {
  return static_cast<int>(bytes);  // blocks are far below 2 GiB: a few bytes per sample
}

}  // namespace

ProcessGroup::ProcessGroup() = default;

ProcessGroup::ProcessGroup(int& argc, char**& argv) {
  if (startedByLauncher()) {
    MPI_Init(&argc, &argv);
    usesMpi_ = true;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    MPI_Comm machine;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank_, MPI_INFO_NULL, &machine);
    MPI_Comm_size(machine, &sizeOnThisMachine_);
    MPI_Comm_free(&machine);
  }
  runningGroup = this;
}

ProcessGroup::~ProcessGroup() {
  if (runningGroup == this)
    runningGroup = nullptr;
  if (usesMpi_)
    MPI_Finalize();
}

ProcessGroup& ProcessGroup::current() {
  static ProcessGroup alone;
  return runningGroup != nullptr ? *runningGroup : alone;
}

std::int64_t ProcessGroup::blockStart(std::int64_t count, int r) const {
  return count * r / size_;
}

void ProcessGroup::broadcast(std::vector<char>& bytes) const {
  if (!usesMpi_)
    return;
  std::uint64_t size = broadcast(static_cast<std::uint64_t>(bytes.size()));
  bytes.resize(size);
  // Sent in pieces below 2 GiB, the largest count one call takes.
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 30;
  for (std::uint64_t at = 0; at < size; at += kPiece) {
    const int piece = static_cast<int>(std::min(kPiece, size - at));
    MPI_Bcast(bytes.data() + at, piece, MPI_BYTE, 0, MPI_COMM_WORLD);
  }
}

std::uint64_t ProcessGroup::broadcast(std::uint64_t value) const {
  if (usesMpi_)
    MPI_Bcast(&value, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
  return value;
}

bool ProcessGroup::allAgree(bool ok) const {
  if (!usesMpi_)
    return ok;
  int mine = ok ? 1 : 0, all = 0;
  MPI_Allreduce(&mine, &all, 1, MPI_INT, MPI_LAND, MPI_COMM_WORLD);
  return all != 0;
}

void ProcessGroup::abandonOthers(int status) const {
  if (usesMpi_ && size_ > 1)
    MPI_Abort(MPI_COMM_WORLD, status);
}

std::string ProcessGroup::gatherToLeader(const std::string& bytes) const {
  if (!usesMpi_)
    return bytes;
  const int mine = checkedCount(bytes.size());
  std::vector<int> counts(leads() ? size_ : 0);
  MPI_Gather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
  std::vector<int> offsets(counts.size(), 0);
  if (leads())
    std::exclusive_scan(counts.begin(), counts.end(), offsets.begin(), 0);
  std::string all(leads() ? static_cast<std::size_t>(offsets.back()) + counts.back() : 0, '\0');
  MPI_Gatherv(bytes.data(), mine, MPI_BYTE, all.data(), counts.data(), offsets.data(), MPI_BYTE, 0,
              MPI_COMM_WORLD);
  return all;
}

std::vector<std::string> ProcessGroup::allGather(const std::string& bytes) const {
  if (!usesMpi_)
    return {bytes};
  const int mine = checkedCount(bytes.size());
  std::vector<int> counts(size_);
  MPI_Allgather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, MPI_COMM_WORLD);
  std::vector<int> offsets(counts.size(), 0);
  std::exclusive_scan(counts.begin(), counts.end(), offsets.begin(), 0);
  std::string all(static_cast<std::size_t>(offsets.back()) + counts.back(), '\0');
  MPI_Allgatherv(bytes.data(), mine, MPI_BYTE, all.data(), counts.data(), offsets.data(), MPI_BYTE,
                 MPI_COMM_WORLD);
  std::vector<std::string> shares;
  for (int r = 0; r < size_; ++r)
    shares.push_back(all.substr(offsets[r], counts[r]));
  return shares;
}
