#pragma once

#include <istream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One pair (u, v) of vertex ids per edge line, in file order; a pair's position is its edge id.
using EdgeList = std::vector<std::pair<int, int>>;

// Cuts `line` at every occurrence of `delimiter` and appends the pieces to `tokens`, erasing
// each cut piece and its delimiter from `line` (which is left holding the last piece). Two
// delimiters in a row give an empty token; at least one token is always appended; an empty
// delimiter cuts nothing. Time linear in the line's length.
void splitLine(std::string& line, std::vector<std::string>& tokens, std::string delimiter);

// Reads edge lines from `input` and appends them to `edges`. Lines end at a line feed, a
// carriage return, or both in that order; a UTF-8 byte-order mark at the start is skipped.
// Memory does not grow with a line's length: the input is read in chunks and only an edge
// line's two ids are taken from it. Returns a one-line description of what makes the input
// unusable: the first malformed edge line (too few fields, an id outside the int range or
// negative), naming its line number, or a read that failed before the end of the input, naming
// the last line read whole. Returns nothing when the input is sound; the counts are set only
// then.
std::optional<std::string> readInstance(std::istream& input, EdgeList& edges, int& edgeCount,
                                        int& vertexCount);

// Reads the instance file `fileName`. Ends the process with status 1 when the file cannot be
// opened, cannot be read to its end or holds a malformed edge line. Warns on standard error
// when the file has no edge line at all, which usually means another edge-list format.
void readInstanceFile(std::string fileName, EdgeList& edges, int& edgeCount, int& vertexCount);
