#pragma once

#include <istream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One pair (u, v) of vertex ids per edge line, in file order; a pair's position is its edge id.
using EdgeList = std::vector<std::pair<int, int>>;

// Cuts `line` at every occurrence of `delimiter` and appends the pieces to `tokens`, erasing
// each cut piece and its delimiter from `line`. Two delimiters in a row give an empty token; at
// least one token is always appended.
void splitLine(std::string& line, std::vector<std::string>& tokens, std::string delimiter);

// Reads edge lines from `input` and appends them to `edges`. Returns a one-line description of
// the first malformed edge line (naming its line number), or nothing when the input is sound.
std::optional<std::string> readInstance(std::istream& input, EdgeList& edges, int& edgeCount,
                                        int& vertexCount);

// Reads the instance file `fileName`. Ends the process with status 1 when the file cannot be
// opened or holds a malformed edge line.
void readInstanceFile(std::string fileName, EdgeList& edges, int& edgeCount, int& vertexCount);
