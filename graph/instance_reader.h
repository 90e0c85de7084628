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

// Why an instance file cannot be used: the kind, for callers that answer each kind in their own
// way, and the one-line description (without a line end).
struct InstanceProblem {
  enum class Kind { CannotOpen, ReadFailed, MalformedLine };
  Kind kind;
  std::string text;
};

// Reads the instance file `fileName` as readInstance does; returns the problem when it cannot
// be opened (missing, unreadable or a directory: "Error in openening file"), cannot be read to
// its end, or holds a malformed edge line.
std::optional<InstanceProblem> loadInstance(const std::string& fileName, EdgeList& edges,
                                            int& edgeCount, int& vertexCount);

// loadInstance for the tool: returns, when the file cannot be used, the text that tells the
// user why, to be printed as it is ("Error in openening file" when it cannot be opened, without
// a line end; a one-line description of a read failure or malformed edge line, with one).
std::optional<std::string> loadInstanceFile(const std::string& fileName, EdgeList& edges,
                                            int& edgeCount, int& vertexCount);

// A file with no edge line at all most likely uses another edge-list format ("u v" lines):
// the answer for a graph without edges is right for what was read, but the user is told.
std::string noEdgeLineWarning(const std::string& fileName);

// loadInstanceFile for tools that stop at once: prints the problem and ends the process with
// status 1, or warns on standard error when the file has no edge line.
void readInstanceFile(std::string fileName, EdgeList& edges, int& edgeCount, int& vertexCount);
