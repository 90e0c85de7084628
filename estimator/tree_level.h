#pragma once

#include <vector>

#include "graph/graph.h"

// The kept nodes of one depth of the deletion-contraction tree. A node's index is its position.
using TreeLevel = std::vector<Graph>;

// Child codes: 2k names the delete child of node k, 2k + 1 its contract child.
using CandidateList = std::vector<int>;

// Point form: lists the child codes of every expandable node in level order, pruning nodes
// with a bridge when x == 0 and nodes with a loop when y == 0. Returns true when nothing was
// listed. Classifies nodes that need it.
bool listChildren(TreeLevel& level, CandidateList& candidates, int x, int y);

// Coefficient form: the same without pruning.
bool listChildren(TreeLevel& level, CandidateList& candidates);

// Builds the child named by the code at `position`: a copy of its parent with the parent's
// first ordinary edge deleted (even code) or contracted (odd code).
Graph expandChild(const TreeLevel& level, const CandidateList& candidates, int position);

// Replaces the level by the children named by the first `count` codes, in candidate order, on
// one core (mcore == 0) or on all. Each child is classified.
void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore);

// Makes `root` the only node of an empty level, copied into a pooled graph.
void startLevel(TreeLevel& level, const Graph& root);

// Empties a level whose walk is over, keeping its graphs' buffers for later levels.
void recycleLevel(TreeLevel& level);
