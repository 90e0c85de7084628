#include "support/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string temporaryPath(const char* stem) {
  static int counter = 0;
  return "/tmp/velmora_" + std::string(stem) + "_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++);
}

void closeIfOpen(int& fd) {
  if (fd >= 0)
    close(fd);
  fd = -1;
}

// The descriptors the child writes to, and the parent's ends of them.
struct Channels {
  std::string outPath = temporaryPath("out");
  std::string errPath = temporaryPath("err");
  int pipeRead = -1, pipeWrite = -1;
  int terminal = -1, terminalSlave = -1;
};

[[noreturn]] void execVelmora(const std::vector<std::string>& arguments, const ProcessSetup& setup,
                              Channels& channels) {
  const std::string outTarget = setup.outputFile.empty() ? channels.outPath : setup.outputFile;
  const int outFd = channels.pipeWrite >= 0
                        ? channels.pipeWrite
                        : open(outTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int errFd = channels.terminalSlave >= 0
                        ? channels.terminalSlave
                        : open(channels.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(outFd, STDOUT_FILENO);
  dup2(errFd, STDERR_FILENO);
  closeIfOpen(channels.pipeRead);
  closeIfOpen(channels.terminal);
  if (setup.ignoreSigpipe)
    signal(SIGPIPE, SIG_IGN);  // an ignored signal stays ignored across exec
  if (setup.memoryLimit > 0) {
    const rlimit limit{setup.memoryLimit, setup.memoryLimit};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (!setup.workingDirectory.empty() && chdir(setup.workingDirectory.c_str()) != 0)
    _exit(127);
  std::vector<std::string> copies = setup.launcher;
  copies.push_back(VELMORA_BINARY);
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : copies)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

// Reads what is ready on `fd` into `text`; closes `fd` at its end (a pseudo-terminal reports
// the end, once the child has gone, as an error).
void drain(int& fd, std::string& text) {
  char buffer[4096];
  const ssize_t count = read(fd, buffer, sizeof buffer);
  if (count > 0)
    text.append(buffer, static_cast<std::size_t>(count));
  else
    closeIfOpen(fd);
}

}  // namespace

std::string sourcePath(const std::string& relative) {
  return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

ProcessResult runVelmora(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory) {
  ProcessSetup setup;
  setup.workingDirectory = workingDirectory;
  return runVelmora(arguments, setup);
}

ProcessResult runVelmora(const std::vector<std::string>& arguments, const ProcessSetup& setup) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Channels channels;
  if (setup.closePipeAfter >= 0) {
    int ends[2];
    if (pipe(ends) == 0) {
      channels.pipeRead = ends[0];
      channels.pipeWrite = ends[1];
    }
  }
  if (setup.errorOnTerminal) {
    termios raw{};
    cfmakeraw(&raw);
    openpty(&channels.terminal, &channels.terminalSlave, nullptr, &raw, nullptr);
  }
  const pid_t child = fork();
  if (child == 0)
    execVelmora(arguments, setup, channels);
  closeIfOpen(channels.pipeWrite);
  closeIfOpen(channels.terminalSlave);

  ProcessResult result;
  long pipeBytesLeft = setup.closePipeAfter;
  if (pipeBytesLeft == 0)
    closeIfOpen(channels.pipeRead);
  int waitStatus = 0;
  bool exited = false;
  while (!exited || channels.pipeRead >= 0 || channels.terminal >= 0) {
    pollfd watched[2] = {{channels.pipeRead, POLLIN, 0}, {channels.terminal, POLLIN, 0}};
    poll(watched, 2, 10);
    if (channels.pipeRead >= 0 && watched[0].revents != 0) {
      drain(channels.pipeRead, result.out);
      if (static_cast<long>(result.out.size()) >= pipeBytesLeft) {
        result.out.resize(static_cast<std::size_t>(pipeBytesLeft));
        closeIfOpen(channels.pipeRead);
      }
    }
    if (channels.terminal >= 0 && watched[1].revents != 0)
      drain(channels.terminal, result.err);
    struct rusage usage {};
    if (!exited && wait4(child, &waitStatus, WNOHANG, &usage) == child) {
      exited = true;
      result.peakKiB = usage.ru_maxrss;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    if (!exited && elapsed.count() > setup.timeoutSeconds) {
      kill(child, SIGKILL);
      result.timedOut = true;
    }
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (setup.closePipeAfter < 0 && setup.outputFile.empty())
    result.out = readWhole(channels.outPath);
  if (!setup.errorOnTerminal)
    result.err = readWhole(channels.errPath);
  result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  std::remove(channels.outPath.c_str());
  std::remove(channels.errPath.c_str());
  return result;
}
