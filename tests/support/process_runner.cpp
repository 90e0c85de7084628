#include "support/process_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

std::string sourcePath(const std::string& relative) {
  return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

ProcessResult runVelmora(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory) {
  std::string outPath = temporaryPath("out");
  std::string errPath = temporaryPath("err");
  pid_t child = fork();
  if (child == 0) {
    int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
      _exit(127);
    std::vector<char*> argv;
    std::string binary = VELMORA_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int waitStatus = 0;
  struct rusage usage {};
  wait4(child, &waitStatus, 0, &usage);
  ProcessResult result;
  result.out = readWhole(outPath);
  result.err = readWhole(errPath);
  result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  result.peakKiB = usage.ru_maxrss;
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}
