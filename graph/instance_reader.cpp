#include "graph/instance_reader.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <unordered_set>

void splitLine(std::string& line, std::vector<std::string>& tokens, std::string delimiter) {
  std::size_t position = line.find(delimiter);
  while (position != std::string::npos) {
    tokens.push_back(line.substr(0, position));
    line.erase(0, position + delimiter.size());
    position = line.find(delimiter);
  }
  tokens.push_back(line);
}

namespace {

std::string lineError(long lineNumber, const std::string& problem) {
  return "Error in line " + std::to_string(lineNumber) + " of the instance file: " + problem;
}

// Opening a directory as a stream succeeds on Linux, so only regular files (or what a
// link resolves to) count as openable instance files.
bool isReadableFile(const std::string& fileName) {
  struct stat status {};
  return !fileName.empty() && stat(fileName.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

std::optional<std::string> readInstance(std::istream& input, EdgeList& edges, int& edgeCount,
                                        int& vertexCount) {
  std::unordered_set<int> vertexIds;
  std::string line;
  std::vector<std::string> tokens;
  long lineNumber = 0;
  while (std::getline(input, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    tokens.clear();
    splitLine(line, tokens, " ");
    if (tokens[0] != "e")
      continue;
    if (tokens.size() < 3)
      return lineError(lineNumber, "an edge line needs two vertex ids after the e");
    int u = std::atoi(tokens[1].c_str());
    int v = std::atoi(tokens[2].c_str());
    if (u < 0 || v < 0)
      return lineError(lineNumber, "vertex ids must not be negative");
    edges.emplace_back(u, v);
    vertexIds.insert(u);
    vertexIds.insert(v);
  }
  edgeCount = static_cast<int>(edges.size());
  vertexCount = static_cast<int>(vertexIds.size());
  return std::nullopt;
}

void readInstanceFile(std::string fileName, EdgeList& edges, int& edgeCount, int& vertexCount) {
  std::ifstream input;
  if (isReadableFile(fileName))
    input.open(fileName);
  if (!input.is_open() || !input.good()) {
    std::cout << "Error in openening file";
    std::exit(1);
  }
  if (auto problem = readInstance(input, edges, edgeCount, vertexCount)) {
    std::cout << *problem << std::endl;
    std::exit(1);
  }
}
