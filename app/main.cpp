#include <iostream>
#include <streambuf>

#include "app/command_line.h"
#include "distributed/process_group.h"

namespace {

// Accepts and drops everything, and never fails.
class DiscardingBuffer : public std::streambuf {
 protected:
  int overflow(int character) override { return traits_type::not_eof(character); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

}  // namespace

int main(int argc, char* argv[]) {
  // Started by an MPI launcher, every process runs the whole command line (the same checks,
  // the same collective steps), and only the leader's output reaches the user.
  ProcessGroup group(argc, argv);
  DiscardingBuffer discard;
  std::streambuf* const out = std::cout.rdbuf();
  std::streambuf* const err = std::cerr.rdbuf();
  if (!group.leads()) {
    std::cout.rdbuf(&discard);
    std::cerr.rdbuf(&discard);
  }
  const int status = runCommandLine(argc, argv);
  std::cout.rdbuf(out);
  std::cerr.rdbuf(err);
  return status;
}
