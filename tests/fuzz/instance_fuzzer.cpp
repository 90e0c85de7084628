// Fuzz target: an input is an instance file. It goes through the reader, the graph and the walk,
// and every result is compared with an answer worked out here from first principles, without
// the code under test: the file re-parsed by the format rules, the edge classes by brute force,
// and the Tutte polynomial of small graphs by its expansion over edge subsets.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "estimator/coefficient_estimator.h"
#include "estimator/point_estimator.h"
#include "estimator/random_source.h"
#include "estimator/sample_batch.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;
using Polynomial = std::vector<std::vector<double>>;  // [power of x][power of y]

// Graphs up to this many edges get the brute-force classification after every edit, and up to
// the smaller number the exact polynomial from all 2^m edge subsets.
constexpr int kClassifiedEdges = 40;
constexpr int kExpandedEdges = 10;

void check(bool holds, const char* what) {
  if (holds)
    return;
  std::fprintf(stderr, "instance fuzzer: %s\n", what);
  std::abort();
}

// ---- The format, re-read line by line ----

struct Reference {
  Pairs edges;
  std::optional<std::string> error;
  int vertexCount = 0;
};

std::vector<std::string> linesOf(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;  // a line has begun
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (c == '\n' || c == '\r') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && k + 1 < text.size() && text[k + 1] == '\n')
        ++k;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending)
    lines.push_back(line);
  return lines;
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ' ')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

// atoi's reading, with the value kept exactly as a decimal string so that the range check
// does not depend on any integer type's overflow.
struct Id {
  bool negative = false;
  std::string digits;  // without leading zeros
};

Id idOf(const std::string& field) {
  std::size_t k = field.find_first_not_of("\t\v\f");
  Id id;
  if (k == std::string::npos)
    return id;
  if (field[k] == '+' || field[k] == '-')
    id.negative = field[k++] == '-';
  for (; k < field.size() && field[k] >= '0' && field[k] <= '9'; ++k)
    if (!id.digits.empty() || field[k] != '0')
      id.digits += field[k];
  return id;
}

bool fitsInInt(const Id& id) {
  const std::string limit = id.negative ? "2147483648" : "2147483647";
  return id.digits.size() < limit.size() ||
         (id.digits.size() == limit.size() && id.digits <= limit);
}

Reference reparse(std::string_view text) {
  Reference reference;
  std::set<int> ids;
  const std::vector<std::string> lines = linesOf(text);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::vector<std::string> fields = fieldsOf(lines[n]);
    if (fields[0] != "e")
      continue;
    const std::string where = "Error in line " + std::to_string(n + 1) + " of the instance file: ";
    if (fields.size() < 3) {
      reference.error = where + "an edge line needs two vertex ids after the e";
      return reference;
    }
    const Id u = idOf(fields[1]), v = idOf(fields[2]);
    if (!fitsInInt(u) || !fitsInInt(v)) {
      reference.error = where + "vertex id out of range";
      return reference;
    }
    if ((u.negative && !u.digits.empty()) || (v.negative && !v.digits.empty())) {
      reference.error = where + "vertex ids must not be negative";
      return reference;
    }
    const int a = u.digits.empty() ? 0 : std::stoi(u.digits);
    const int b = v.digits.empty() ? 0 : std::stoi(v.digits);
    reference.edges.emplace_back(a, b);
    ids.insert({a, b});
  }
  reference.vertexCount = static_cast<int>(ids.size());
  return reference;
}

// ---- Brute force over the current edges of a graph ----

Pairs currentEdges(const Graph& graph, std::vector<int>& ids) {
  Pairs edges;
  ids.clear();
  for (int id = 0; id < graph.edgeIdLimit(); ++id) {
    if (graph.hasEdge(id)) {
      edges.emplace_back(graph.edge(id).u, graph.edge(id).v);
      ids.push_back(id);
    }
  }
  return edges;
}

// The number of components that the edges whose bit is set in `subset` make of the ends of all
// `edges`, and the number of those ends.
std::pair<int, int> componentsAndVertices(const Pairs& edges, std::uint64_t subset) {
  std::vector<int> ends;
  for (auto [u, v] : edges)
    ends.insert(ends.end(), {u, v});
  std::sort(ends.begin(), ends.end());
  ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
  auto index = [&ends](int vertex) {
    return static_cast<int>(std::lower_bound(ends.begin(), ends.end(), vertex) - ends.begin());
  };
  std::vector<int> parent(ends.size());
  std::iota(parent.begin(), parent.end(), 0);
  auto root = [&parent](int x) {
    while (parent[x] != x)
      x = parent[x] = parent[parent[x]];
    return x;
  };
  int components = static_cast<int>(ends.size());
  for (std::size_t k = 0; k < edges.size(); ++k) {
    if ((subset >> k & 1u) == 0)
      continue;
    const int a = root(index(edges[k].first)), b = root(index(edges[k].second));
    if (a != b) {
      parent[a] = b;
      --components;
    }
  }
  return {components, static_cast<int>(ends.size())};
}

// An edge is a bridge iff the graph without it has more components, over the same vertices.
bool isBridge(const Pairs& edges, std::size_t k) {
  const std::uint64_t all = edges.size() == 64 ? ~0ull : (1ull << edges.size()) - 1;
  return componentsAndVertices(edges, all & ~(1ull << k)).first >
         componentsAndVertices(edges, all).first;
}

void expectBruteForceClasses(const Graph& graph) {
  std::vector<int> ids;
  const Pairs edges = currentEdges(graph, ids);
  check(static_cast<int>(edges.size()) == graph.edgeCount, "edge count");
  int firstOrdinary = -1;
  for (std::size_t k = 0; k < edges.size(); ++k) {
    const bool loop = edges[k].first == edges[k].second;
    const bool bridge = !loop && isBridge(edges, k);
    const EdgeClass found = graph.edgeClass(ids[k]);
    check(loop == (found == EdgeClass::Loop), "an edge is a loop iff its ends are equal");
    check(bridge == (found == EdgeClass::Bridge),
          "an edge is a bridge iff removing it disconnects its ends");
    if (!loop && !bridge && firstOrdinary < 0)
      firstOrdinary = ids[k];
  }
  if (firstOrdinary >= 0)
    check(graph.firstOrdinaryEdge() == firstOrdinary, "the branch edge is the first ordinary one");
}

// T = sum over edge subsets A of (x-1)^(r(E)-r(A)) (y-1)^(|A|-r(A)), with r(A) = |V| - k(A):
// coefficient by coefficient, t_ij = sum over A of the binomial expansion of that product.
Polynomial subsetExpansion(const Pairs& edges) {
  const int m = static_cast<int>(edges.size());
  const std::uint64_t subsets = 1ull << m;
  auto rank = [&edges](std::uint64_t subset) {
    auto [components, vertices] = componentsAndVertices(edges, subset);
    return vertices - components;
  };
  const int fullRank = rank(subsets - 1);
  std::vector<std::vector<double>> binomial(m + 1, std::vector<double>(m + 1, 0.0));
  for (int n = 0; n <= m; ++n) {
    binomial[n][0] = 1;
    for (int k = 1; k <= n; ++k)
      binomial[n][k] = binomial[n - 1][k - 1] + (k <= n - 1 ? binomial[n - 1][k] : 0);
  }
  Polynomial t(m + 1, std::vector<double>(m + 1, 0.0));
  for (std::uint64_t subset = 0; subset < subsets; ++subset) {
    const int r = rank(subset);
    const int a = fullRank - r, b = std::popcount(subset) - r;
    // (x - 1)^a (y - 1)^b = sum over i, j of C(a, i) x^i (-1)^(a-i) C(b, j) y^j (-1)^(b-j).
    for (int i = 0; i <= a; ++i)
      for (int j = 0; j <= b; ++j)
        t[i][j] += binomial[a][i] * binomial[b][j] * (((a - i) + (b - j)) % 2 ? -1 : 1);
  }
  return t;
}

double evaluate(const Polynomial& t, int x, int y) {
  double value = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < t[i].size(); ++j)
      value += t[i][j] * std::pow(x, static_cast<double>(i)) * std::pow(y, static_cast<double>(j));
  return value;
}

bool near(double expected, WideFloat found) {
  return std::abs(expected - found.toDouble()) <= 1e-9 * std::max(1.0, std::abs(expected));
}

// ---- The walk against the expansion ----

struct Parameters {
  std::uint64_t seed;
  int smallBudget;  // 1 to 3
  int x, y;         // 0 to 3
};

void expectWalksAgree(const Graph& graph, const Parameters& p) {
  std::vector<int> ids;
  const Pairs edges = currentEdges(graph, ids);
  const Polynomial exact = subsetExpansion(edges);
  const int m = static_cast<int>(edges.size());
  seedRandomSource(p.seed);

  // A budget that never binds: the walk is the exact recursion.
  for (int budget : {-1, 1 << 20}) {
    std::vector<WideFloat> points;
    const CoefficientMatrix table = estimateCoefficients(budget, graph, 0, p.x, p.y, points);
    check(table.edgeCount == m, "a table has the graph's edge count");
    for (int i = 0; i <= m; ++i)
      for (int j = 0; j <= m; ++j)
        check(near(exact[i][j], table.at(i, j)), "an unbound walk gives every coefficient");
    check(points.size() == 1 && near(evaluate(exact, p.x, p.y), points[0]),
          "an unbound walk gives the point value");
  }
  check(near(evaluate(exact, 0, p.y), estimatePoint(-1, 0, graph, 0, p.y)),
        "an unbound walk cut at x = 0 gives T(0, y)");
  check(near(evaluate(exact, p.x, 0), estimatePoint(-1, 0, graph, p.x, 0)),
        "an unbound walk cut at y = 0 gives T(x, 0)");

  // A binding budget: each sample differs, but it only ever reaches leaves of the tree, so it
  // weights monomials of T and no other, with positive finite weights.
  std::vector<WideFloat> points;
  const CoefficientMatrix table = estimateCoefficients(p.smallBudget, graph, 0, -1, -1, points);
  check(points.empty(), "no point value is made without a point");
  for (const CoefficientEntry& entry : table.entries) {
    check(entry.row >= 0 && entry.row <= m && entry.column >= 0 && entry.column <= m,
          "a sample's entries lie in the table");
    check(exact[entry.row][entry.column] > 0.5, "a sample weights only monomials of T");
    check(entry.value.isFinite() && entry.value > 0.0, "leaf weights are positive and finite");
  }
  const WideFloat cut = estimatePoint(p.smallBudget, 0, graph, p.x, 0);
  check(cut.isFinite() && cut >= 0.0, "a cut walk's sample is finite and not negative");

  // The reduced walk: its reductions sum the forced parts exactly, so without a binding budget
  // it is the exact value; with one, a sample at a point of positive coordinates is positive
  // wherever T is (every leaf weight is a product of positive factors).
  const WalkSettings reduced{
      -1, 0, static_cast<double>(p.x), static_cast<double>(p.y), 0, WalkKind::Reduced};
  check(near(evaluate(exact, p.x, p.y), estimatePointSamples(graph, reduced, {p.seed}).values[0]),
        "an unbound reduced walk gives the point value");
  WalkSettings bound = reduced;
  bound.budget = p.smallBudget;
  bound.x = p.x + 1;
  bound.y = p.y + 1;
  const WideFloat sample = estimatePointSamples(graph, bound, {p.seed}).values[0];
  check(sample.isFinite() && sample > 0.0, "a reduced sample at a positive point is positive");
}

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 1469598103934665603ull;
  for (std::size_t k = 0; k < size; ++k)
    hash = (hash ^ data[k]) * 1099511628211ull;
  return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream input(text);
  EdgeList edges;
  int edgeCount = -1, vertexCount = -1;
  const std::optional<std::string> error = readInstance(input, edges, edgeCount, vertexCount);
  const Reference reference = reparse(text);
  check(error == reference.error, "the reader refuses exactly the malformed lines, by number");
  if (error)
    return 0;
  check(edges == reference.edges, "the reader finds every edge line's ids, in file order");
  check(edgeCount == static_cast<int>(edges.size()), "the edge count is the number of edges");
  check(vertexCount == reference.vertexCount, "the vertex count is the number of distinct ids");
  if (edgeCount > kClassifiedEdges)
    return 0;

  std::uint64_t hash = hashOf(data, size);
  const Parameters parameters{hash, static_cast<int>(hash % 3) + 1, static_cast<int>(hash >> 8 & 3),
                              static_cast<int>(hash >> 10 & 3)};
  Graph graph(vertexCount, edges);
  check(graph.edgeCount == edgeCount, "a new graph has every edge");
  for (int a = 0; a < edgeCount; ++a)
    for (int b = 0; b < edgeCount; ++b)
      for (int s = 0; s < 4; ++s) {
        const int original[2] = {edges[a].first, edges[a].second};
        const int other[2] = {edges[b].first, edges[b].second};
        const int renamed[2] = {graph.edge(a).u, graph.edge(a).v};
        const int otherRenamed[2] = {graph.edge(b).u, graph.edge(b).v};
        check((original[s & 1] == other[s >> 1]) == (renamed[s & 1] == otherRenamed[s >> 1]),
              "a new graph keeps which ends are the same vertex");
      }
  graph.classifyEdges();
  expectBruteForceClasses(graph);
  if (edgeCount <= kExpandedEdges)
    expectWalksAgree(graph, parameters);

  // A few edits chosen by the input, each followed by the same checks. The branch-edge edits
  // keep the classes without a new search; the plain ones need one.
  for (int step = 0; step < 4 && graph.edgeCount > 0; ++step) {
    hash = hash * 6364136223846793005ull + 1442695040888963407ull;
    const int choice = static_cast<int>(hash >> 60 & 3);
    if (choice < 2 && graph.classified && graph.ordinaryCount() > 0) {
      choice == 0 ? graph.deleteBranchEdge() : graph.contractBranchEdge();
      check(graph.classified, "a branch-edge edit keeps the graph classified");
    } else {
      std::vector<int> ids;
      const Pairs current = currentEdges(graph, ids);
      const std::size_t k = (hash >> 20) % ids.size();
      if (choice == 3 && current[k].first != current[k].second)
        graph.contractEdge(ids[k]);
      else
        graph.deleteEdge(ids[k]);
      graph.classifyEdges();
    }
    expectBruteForceClasses(graph);
    if (graph.edgeCount <= kExpandedEdges)
      expectWalksAgree(graph, parameters);
  }
  return 0;
}
