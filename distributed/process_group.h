#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/process_exchange.h"

// The processes of one run: a single process, or the ranks an MPI launcher (mpirun, srun)
// started, which share the samples of every experiment. Everything MPI is in this class, so
// that the rest of the program sees a group of processes and nothing more. It is also the
// exchange through which the library's estimates share their samples
// (library/process_exchange.h): a program of someone else's makes one in main and names it in
// SamplingOptions::processes.
//
// Every collective call below must be made by every process of the group in the same order.
class ProcessGroup : public ProcessExchange {
 public:
  // Joins the launcher's group when the process was started by one; otherwise the group is this
  // process alone and MPI is never initialised, so a plain run behaves as if MPI did not exist.
  ProcessGroup(int& argc, char**& argv);
  ~ProcessGroup() override;
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;

  // The group of the running program: the one main made, or a group of one.
  static ProcessGroup& current();

  int rank() const override { return rank_; }
  int size() const override { return size_; }
  // How many processes of the group share this machine (and its memory).
  int sizeOnThisMachine() const override { return sizeOnThisMachine_; }
  // Rank 0 reads the instance file, draws the run seed, gathers the samples and prints.
  bool leads() const { return rank_ == 0; }

  // The first index of rank r's contiguous block of `count` samples (r = size() gives count).
  std::int64_t blockStart(std::int64_t count, int r) const;

  // Copies the leader's bytes into every process's `bytes` (resized to fit).
  void broadcast(std::vector<char>& bytes) const;
  std::uint64_t broadcast(std::uint64_t value) const;
  // True on every process when `ok` is true on all of them.
  bool allAgree(bool ok) const;
  // The leader receives every process's bytes, concatenated in rank order; the others get
  // nothing back.
  std::string gatherToLeader(const std::string& bytes) const;
  // Every process's bytes, in rank order, on every process.
  std::vector<std::string> allGather(const std::string& bytes) const override;

  // Ends every process of a group of several at once with `status`, for a failure on this
  // process that the others cannot learn of and would wait on forever. Does nothing in a
  // group of one.
  void abandonOthers(int status) const;

 private:
  ProcessGroup();  // the group of one, when main made none
  int rank_ = 0;
  int size_ = 1;
  int sizeOnThisMachine_ = 1;
  bool usesMpi_ = false;
};
