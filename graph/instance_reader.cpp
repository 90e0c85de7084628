#include "graph/instance_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string_view>
#include <unordered_set>

void splitLine(std::string& line, std::vector<std::string>& tokens, std::string delimiter) {
  // Searching on from the last cut and erasing once at the end keeps the split linear; erasing
  // each piece as it is cut would move the rest of the line every time. An empty delimiter
  // would cut forever without advancing, so it cuts nothing.
  std::size_t start = 0;
  std::size_t position = delimiter.empty() ? std::string::npos : line.find(delimiter);
  while (position != std::string::npos) {
    tokens.push_back(line.substr(start, position - start));
    start = position + delimiter.size();
    position = line.find(delimiter, start);
  }
  line.erase(0, start);
  tokens.push_back(line);
}

namespace {

// Reads a field the way atoi does (white space, an optional sign, then decimal digits up to
// the first other character) one character at a time, so that no field is ever held whole, and
// notes whether the value fits in an int, where atoi's result would be undefined.
class IdField {
 public:
  void feed(char c) {
    switch (stage_) {
      case Stage::Space:
        if (c == '\t' || c == '\v' || c == '\f')
          return;
        stage_ = Stage::Digits;
        if (c == '-' || c == '+') {
          negative_ = c == '-';
          return;
        }
        [[fallthrough]];
      case Stage::Digits:
        if (c < '0' || c > '9') {
          stage_ = Stage::Done;
          return;
        }
        // Past 2^31 every value is out of range, so the magnitude stops growing there.
        if (magnitude_ <= kLimit)
          magnitude_ = magnitude_ * 10 + (c - '0');
        return;
      case Stage::Done:
        return;
    }
  }

  bool fitsInInt() const { return magnitude_ <= (negative_ ? kLimit : kLimit - 1); }
  bool isNegative() const { return negative_ && magnitude_ > 0; }
  int value() const { return static_cast<int>(negative_ ? -magnitude_ : magnitude_); }

 private:
  enum class Stage { Space, Digits, Done };
  static constexpr long long kLimit = 1LL << 31;

  Stage stage_ = Stage::Space;
  bool negative_ = false;
  long long magnitude_ = 0;
};

std::string lineError(long lineNumber, const std::string& problem) {
  return "Error in line " + std::to_string(lineNumber) + " of the instance file: " + problem;
}

// Cuts the input into lines and fields as it streams past. Only the first field is looked at
// on every line, and only the two ids of an edge line are read, so a line's length costs time
// but no memory: a gigabyte of comment is skipped, not stored.
class InstanceScanner {
 public:
  explicit InstanceScanner(EdgeList& edges) : edges_(edges) {}
  // An edge line's fields 0 to 2 are read: the e and the two ids.
  static constexpr int kFieldsRead = 3;

  // Feeds the next character of the input; returns false once a line was refused (see error()).
  bool feed(char c) {
    if (markMatched_ >= 0 && !skipByteOrderMark(c))
      return true;
    return feedCharacter(c);
  }

  // Ends the input: a last line without a line end counts like any other.
  bool finish() {
    if (markMatched_ > 0 && !replayMarkPrefix())
      return false;
    return !lineStarted_ || endLine();
  }

  long completedLines() const { return lineNumber_; }
  const std::optional<std::string>& error() const { return error_; }
  const std::unordered_set<int>& vertexIds() const { return vertexIds_; }

 private:
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

  // At the start of the input: holds back what matches the UTF-8 byte-order mark and drops it
  // once it is whole. Returns true when `c` is still to be read as text.
  bool skipByteOrderMark(char c) {
    if (c == kByteOrderMark[static_cast<std::size_t>(markMatched_)]) {
      if (++markMatched_ == static_cast<int>(kByteOrderMark.size()))
        markMatched_ = -1;
      return false;
    }
    return replayMarkPrefix();
  }

  // Reads the held-back start of a mark that did not come whole as ordinary text.
  bool replayMarkPrefix() {
    const int held = markMatched_;
    markMatched_ = -1;
    for (int k = 0; k < held; ++k)
      if (!feedCharacter(kByteOrderMark[static_cast<std::size_t>(k)]))
        return false;
    return true;
  }

  bool feedCharacter(char c) {
    if (afterCarriageReturn_) {
      afterCarriageReturn_ = false;
      if (c == '\n')
        return true;  // the second half of a CR LF line end
    }
    if (c == '\n' || c == '\r') {
      afterCarriageReturn_ = c == '\r';
      return endLine();
    }
    lineStarted_ = true;
    if (c == ' ') {
      field_ = std::min(field_ + 1, kFieldsRead);
    } else if (field_ == 0) {
      firstFieldIsE_ = !firstFieldStarted_ && c == 'e';
      firstFieldStarted_ = true;
    } else if (firstFieldIsE_ && field_ < kFieldsRead) {
      ids_[field_ - 1].feed(c);
    }
    return true;
  }

  bool endLine() {
    ++lineNumber_;
    const bool edgeLine = firstFieldIsE_;
    const int fields = field_ + 1;
    const IdField u = ids_[0], v = ids_[1];
    lineStarted_ = firstFieldStarted_ = firstFieldIsE_ = false;
    field_ = 0;
    ids_[0] = ids_[1] = IdField{};
    if (!edgeLine)
      return true;
    if (fields < kFieldsRead)
      return refuse("an edge line needs two vertex ids after the e");
    if (!u.fitsInInt() || !v.fitsInInt())
      return refuse("vertex id out of range");
    if (u.isNegative() || v.isNegative())
      return refuse("vertex ids must not be negative");
    if (edges_.size() >= static_cast<std::size_t>(INT_MAX))
      return refuse("more edges than a graph can hold");
    edges_.emplace_back(u.value(), v.value());
    vertexIds_.insert(u.value());
    vertexIds_.insert(v.value());
    return true;
  }

  bool refuse(const std::string& problem) {
    error_ = lineError(lineNumber_, problem);
    return false;
  }

  EdgeList& edges_;
  std::unordered_set<int> vertexIds_;
  std::optional<std::string> error_;
  long lineNumber_ = 0;
  int markMatched_ = 0;  // bytes of the mark seen at the start; -1 once past it
  bool afterCarriageReturn_ = false;
  // The line being read.
  bool lineStarted_ = false;
  // Blanks seen so far, which is the index of the current field; counting stops at the first
  // field that is never read, so a line of any number of blanks cannot overflow it.
  int field_ = 0;
  bool firstFieldStarted_ = false;
  bool firstFieldIsE_ = false;
  IdField ids_[2];
};

InstanceProblem readError(long completedLines) {
  return {InstanceProblem::Kind::ReadFailed,
          "Error in reading the instance file after line " + std::to_string(completedLines)};
}

// Opening a directory as a stream succeeds on Linux, so only regular files (or what a
// link resolves to) count as openable instance files.
bool isReadableFile(const std::string& fileName) {
  struct stat status {};
  return !fileName.empty() && stat(fileName.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

std::optional<InstanceProblem> scanInstance(std::istream& input, EdgeList& edges, int& edgeCount,
                                            int& vertexCount) {
  InstanceScanner scanner(edges);
  auto malformed = [&scanner] {
    return InstanceProblem{InstanceProblem::Kind::MalformedLine, *scanner.error()};
  };
  std::streambuf* const buffer = input.rdbuf();
  if (buffer == nullptr || !input.good())
    return readError(0);
  // Character by character from the stream's buffer: a file buffer reports an I/O error by
  // throwing from its refill, and only this way is every character before the error counted
  // (a block read would lose the partial block, and with it the line number).
  try {
    for (auto c = buffer->sbumpc(); c != std::streambuf::traits_type::eof(); c = buffer->sbumpc())
      if (!scanner.feed(std::streambuf::traits_type::to_char_type(c)))
        return malformed();
  } catch (const std::exception&) {
    // An I/O error, or no memory left for the edges read so far: either way the file was not
    // read to its end, and an estimate of part of it must not pass for one of the whole.
    return readError(scanner.completedLines());
  }
  if (!scanner.finish())
    return malformed();
  edgeCount = static_cast<int>(edges.size());
  vertexCount = static_cast<int>(scanner.vertexIds().size());
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readInstance(std::istream& input, EdgeList& edges, int& edgeCount,
                                        int& vertexCount) {
  if (auto problem = scanInstance(input, edges, edgeCount, vertexCount))
    return problem->text;
  return std::nullopt;
}

std::optional<InstanceProblem> loadInstance(const std::string& fileName, EdgeList& edges,
                                            int& edgeCount, int& vertexCount) {
  std::ifstream input;
  if (isReadableFile(fileName))
    input.open(fileName, std::ios::binary);
  if (!input.is_open() || !input.good())
    return InstanceProblem{InstanceProblem::Kind::CannotOpen, "Error in openening file"};
  return scanInstance(input, edges, edgeCount, vertexCount);
}

std::optional<std::string> loadInstanceFile(const std::string& fileName, EdgeList& edges,
                                            int& edgeCount, int& vertexCount) {
  const std::optional<InstanceProblem> problem =
      loadInstance(fileName, edges, edgeCount, vertexCount);
  if (!problem)
    return std::nullopt;
  if (problem->kind == InstanceProblem::Kind::CannotOpen)
    return problem->text;
  return problem->text + "\n";
}

std::string noEdgeLineWarning(const std::string& fileName) {
  return "Warning: no edge line (a line whose first field is e) in " + fileName +
         "; it is read as a graph without edges";
}

void readInstanceFile(std::string fileName, EdgeList& edges, int& edgeCount, int& vertexCount) {
  if (auto problem = loadInstanceFile(fileName, edges, edgeCount, vertexCount)) {
    std::cout << *problem;
    std::exit(1);
  }
  if (edgeCount == 0)
    std::cerr << noEdgeLineWarning(fileName) << std::endl;
}
