#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Runs the real velmora binary with `arguments` (each passed as one argument, no shell
// interpretation) and captures its standard output, its standard error and its exit status.
struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;   // the exit status; -1 when the process was ended by a signal
  long peakKiB = 0;  // the child's largest resident set
  bool timedOut = false;
  double seconds = 0.0;  // wall-clock time from start to end
};

// How the process is set up, for runs that test its behaviour at the edges.
struct ProcessSetup {
  std::string workingDirectory;  // empty: this process's own
  std::size_t memoryLimit = 0;   // a limit on its address space in bytes; 0: none
  // Standard output goes to this file (such as /dev/full) and is not captured.
  std::string outputFile;
  // Standard output is a pipe, closed after this many bytes have been read, as `| head -c`
  // would; the bytes read are captured. Negative: not a pipe.
  long closePipeAfter = -1;
  bool ignoreSigpipe = false;
  // Standard error is a pseudo-terminal in raw mode (no newline translation); what the process
  // writes there is captured in `err`.
  bool errorOnTerminal = false;
  double timeoutSeconds = 300;  // then the process is killed and timedOut set
  // A launcher the binary is started by, such as {MPI launcher, "-np", "2"}; empty: none.
  std::vector<std::string> launcher;
};

ProcessResult runVelmora(const std::vector<std::string>& arguments, const ProcessSetup& setup);
ProcessResult runVelmora(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory = "");

// Path of a file below the source tree, e.g. sourcePath("examples/diamond.txt").
std::string sourcePath(const std::string& relative);
