#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ios>
#include <new>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "graph/instance_reader.h"

namespace {

// The largest single allocation through operator new since the last reset. A reader that held
// a long line would make at least one allocation as long as the line.
std::atomic<std::size_t> largestAllocation{0};

// An input of head + count copies of filler + tail, made as it is read so that a test can feed
// the reader far more than it should hold. With failAtEnd the input then fails the way a file
// stream does on an I/O error: its buffer throws, and the stream sets badbit.
class GeneratedInput : public std::streambuf {
 public:
  GeneratedInput(std::string head, char filler, std::size_t count, std::string tail,
                 bool failAtEnd = false)
      : head_(std::move(head)),
        tail_(std::move(tail)),
        filler_(filler),
        size_(head_.size() + count + tail_.size()),
        failAtEnd_(failAtEnd) {}

 protected:
  int_type underflow() override {
    if (position_ == size_) {
      if (failAtEnd_)
        throw std::ios_base::failure("read error");
      return traits_type::eof();
    }
    const std::size_t count = std::min(buffer_.size(), size_ - position_);
    for (std::size_t k = 0; k < count; ++k, ++position_)
      buffer_[k] = byteAt(position_);
    setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  char byteAt(std::size_t k) const {
    if (k < head_.size())
      return head_[k];
    const std::size_t fromEnd = size_ - k;
    return fromEnd <= tail_.size() ? tail_[tail_.size() - fromEnd] : filler_;
  }

  std::string head_, tail_;
  char filler_;
  std::size_t size_, position_ = 0;
  bool failAtEnd_;
  std::string buffer_ = std::string(4096, '\0');
};

}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* block = std::malloc(size == 0 ? 1 : size))
    return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
  std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

TEST(InstanceReader, TokenRulesAndMalformedEdgeLines) {
  struct Case {
    std::string text;
    EdgeList edges;
    int vertexCount;
    std::string error = "";  // the line a malformed edge line is reported at
  };
  const std::vector<Case> cases = {
      {"", {}, 0},
      {"c only a comment\nc\n\n", {}, 0},
      {"e 0 1\ne 1 0\n", {{0, 1}, {1, 0}}, 2},
      {"e 2 2", {{2, 2}}, 1},
      {"e 0 1 7\ne 1 2 \n", {{0, 1}, {1, 2}}, 3},
      {"e  0 1\n", {{0, 0}}, 1},  // the empty token between the blanks is vertex 0
      {" e 0 1\ne\t0\t1\nE 0 1\nedge 0 1\n", {}, 0},
      {"e 3x 4y\n", {{3, 4}}, 2},
      {"e 0 1\r\ne 1 2\r\n", {{0, 1}, {1, 2}}, 3},
      {"p edge 9 9\ne 0 1\nc between\ne 1 2\ne 2 0", {{0, 1}, {1, 2}, {2, 0}}, 3},
      {"e 1 2\ne 2 4\n", {{1, 2}, {2, 4}}, 3},
      {"e\n", {}, 0, "line 1 "},
      {"e 0 1\nc\ne 5\n", {}, 0, "line 3 "},
      {"e 0 1\r\ne\r\n", {}, 0, "line 2 "},  // the CR is not part of the first token
      {"e 0 -1\n", {}, 0, "line 1 "},
      {"c\ne -3 0 \n", {}, 0, "line 2 "},
      // A byte-order mark is skipped at the start only; lone carriage returns end lines.
      {"\xEF\xBB\xBF"
       "e 0 1\ne 1 2\n",
       {{0, 1}, {1, 2}},
       3},
      {"e 0 1\n\xEF\xBB\xBF"
       "e 1 2\n",
       {{0, 1}},
       2},
      {"\xEF\xBB"
       "e 0 1\n",
       {},
       0},
      {"e 0 1\re 1 2\re 2 0", {{0, 1}, {1, 2}, {2, 0}}, 3},
      {"e 0 1\r\r\ne 1 2\n\re 2 3\r\n", {{0, 1}, {1, 2}, {2, 3}}, 4},
      {"e 0 1\r\re 5\r\n", {}, 0, "line 3 "},
      {"e 0\r1\n", {}, 0, "line 1 "},
      // Ids are read like atoi wherever the int range holds them.
      {"e 2147483647 000000000000000000001\n", {{2147483647, 1}}, 2},
      {"e -0 +5\ne \t7\v 8\n", {{0, 5}, {7, 8}}, 4},
      {"e 1 2 99999999999999999999\ne - +\n", {{1, 2}, {0, 0}}, 3},
      {"e 0 2147483648\n", {}, 0, "line 1 of the instance file: vertex id out of range"},
      {"c\ne 4294967296 0\n", {}, 0, "line 2 of the instance file: vertex id out of range"},
      {"e 0 -2147483649\n", {}, 0, "line 1 of the instance file: vertex id out of range"},
      {"e 0 -2147483648\n", {}, 0, "line 1 of the instance file: vertex ids must not be negative"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream input(c.text);
    EdgeList edges;
    int edgeCount = -1, vertexCount = -1;
    std::optional<std::string> error = readInstance(input, edges, edgeCount, vertexCount);
    if (!c.error.empty()) {
      ASSERT_TRUE(error.has_value());
      EXPECT_NE(error->find(c.error), std::string::npos) << *error;
      EXPECT_EQ(error->find('\n'), std::string::npos);
      continue;
    }
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(edges, c.edges);
    EXPECT_EQ(edgeCount, static_cast<int>(c.edges.size()));
    EXPECT_EQ(vertexCount, c.vertexCount);
  }
}

TEST(InstanceReader, LongLinesAreNotHeldAndFailedReadsAreNotTheEnd) {
  constexpr std::size_t kLong = std::size_t{16} << 20;
  struct Case {
    GeneratedInput input;
    EdgeList edges;
    std::string error = "";  // the whole message when the read must fail
  };
  Case cases[] = {
      {{"c", ' ', kLong, "\ne 0 1\ne 1 2\n"}, {{0, 1}, {1, 2}}},
      {{"c ", 'x', kLong, "\re 0 1"}, {{0, 1}}},
      {{"e 0 1 ", '7', kLong, "\n"}, {{0, 1}}},
      {{"e ", '0', kLong, "5 3\n"}, {{5, 3}}},  // the value counts, not the number of digits
      {{"e ", '9', kLong, " 3\n"},
       {},
       "Error in line 1 of the instance file: vertex id out of range"},
      {{"e 0 1\ne 1 2\ne 2", ' ', 0, "", true},
       {},
       "Error in reading the instance file after line 2"},
      {{"", ' ', 0, "", true}, {}, "Error in reading the instance file after line 0"},
      {{"e 0 1\r\n", 'c', kLong, "", true}, {}, "Error in reading the instance file after line 1"},
  };
  for (Case& c : cases) {
    std::istream input(&c.input);
    EdgeList edges;
    int edgeCount = -1, vertexCount = -1;
    largestAllocation = 0;
    const std::optional<std::string> error = readInstance(input, edges, edgeCount, vertexCount);
    EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
    EXPECT_EQ(error.value_or(""), c.error);
    if (c.error.empty()) {
      EXPECT_EQ(edges, c.edges);
    }
  }
}

TEST(InstanceReader, LoadedFilesNameTheKindOfProblem) {
  using Kind = InstanceProblem::Kind;
  const std::string source = VELMORA_SOURCE_DIR;
  const std::pair<std::string, std::optional<Kind>> cases[] = {
      {source + "/examples/diamond.txt", std::nullopt},
      {source + "/examples/no_such_file.txt", Kind::CannotOpen},
      {source + "/examples", Kind::CannotOpen},
      {"/proc/self/mem", Kind::ReadFailed},
      {source + "/tests/golden/negative_vertex_id.txt", Kind::MalformedLine},
  };
  for (const auto& [path, kind] : cases) {
    EdgeList edges;
    int edgeCount = 0, vertexCount = 0;
    const std::optional<InstanceProblem> problem =
        loadInstance(path, edges, edgeCount, vertexCount);
    ASSERT_EQ(problem.has_value(), kind.has_value()) << path;
    if (problem) {
      EXPECT_EQ(problem->kind, *kind) << path;
      EXPECT_EQ(problem->text.find('\n'), std::string::npos) << path;
    } else {
      EXPECT_EQ(edgeCount, 5);
    }
  }
}

TEST(SplitLine, CutsAtEveryDelimiterAndAppends) {
  auto split = [](std::string line, const std::string& delimiter) {
    std::vector<std::string> tokens = {"kept"};
    splitLine(line, tokens, delimiter);
    return tokens;
  };
  using Tokens = std::vector<std::string>;
  EXPECT_EQ(split("e 0 1", " "), (Tokens{"kept", "e", "0", "1"}));
  EXPECT_EQ(split("", " "), (Tokens{"kept", ""}));
  EXPECT_EQ(split("  a ", " "), (Tokens{"kept", "", "", "a", ""}));
  EXPECT_EQ(split("a\tb", " "), (Tokens{"kept", "a\tb"}));
  EXPECT_EQ(split("a, b,c", ", "), (Tokens{"kept", "a", "b,c"}));
  EXPECT_EQ(split("a b", ""), (Tokens{"kept", "a b"}));

  // The line is left holding its last piece.
  std::string line = "e 0 1";
  std::vector<std::string> tokens;
  splitLine(line, tokens, " ");
  EXPECT_EQ(line, "1");

  // 4 MB in 250,000 pieces. Erasing each piece from the front of the line would move about
  // 5e11 bytes (a minute or more); a linear split takes milliseconds, so 5 s is a wide margin.
  std::string piece = "abcdefghijklmnop", longLine;
  for (int k = 0; k < 250000; ++k)
    longLine += piece + " ";
  const auto start = std::chrono::steady_clock::now();
  tokens.clear();
  splitLine(longLine, tokens, " ");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(tokens.size(), 250001u);
  EXPECT_TRUE(tokens[0] == piece && tokens[249999] == piece && tokens.back().empty());
}
