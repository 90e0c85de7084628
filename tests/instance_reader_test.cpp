#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "graph/instance_reader.h"

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
}
