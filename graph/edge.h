#pragma once

// One edge of a multigraph. `id` is the edge's position in the instance's edge list and never
// changes; `u == v` marks a loop.
struct Edge {
  int id;
  int u;
  int v;
};
