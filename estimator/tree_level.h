#pragma once

#include <vector>

#include "graph/graph.h"

// The kept nodes of one depth of the deletion-contraction tree. A node's index is its position.
using TreeLevel = std::vector<Graph>;

// Child codes: 2k names the delete child of node k, 2k + 1 its contract child.
using CandidateList = std::vector<int>;

// The pruning rule of the point walk: at x == 0 every leaf below a node with a bridge carries
// a factor 0, and so does every leaf below a node with a loop at y == 0, so such a node's whole
// subtree is worth nothing. Classifies the node if needed.
bool isPruned(Graph& node, double x, double y);

// Point form: lists the child codes of every expandable node in level order, pruning as above.
// Returns true when nothing was listed. Classifies nodes that need it.
bool listChildren(TreeLevel& level, CandidateList& candidates, double x, double y);

// Coefficient form: the same without pruning.
bool listChildren(TreeLevel& level, CandidateList& candidates);

// Builds the child named by the code at `position`: a copy of its parent with the parent's
// first ordinary edge deleted (even code) or contracted (odd code). The parent is only read.
Graph expandChild(const TreeLevel& level, const CandidateList& candidates, int position);

// Replaces the level by the children named by the first `count` codes, in candidate order, on
// one core (mcore == 0) or on all. Each child is classified.
void expandLevel(TreeLevel& level, const CandidateList& candidates, int count, int mcore);

// What expandLevel does, with the buffers in the caller's hands: builds the children named by
// the first `count` codes into next[0 .. count) (next must have at least count graphs, whose
// buffers are reused). The parents are consumed: a parent none of whose other children is
// built is moved into its child instead of copied, so only parents with two built children
// are copied, and only when their two codes are adjacent. Time: one edit per child, plus one
// copy per parent with two children.
void buildChildren(TreeLevel& parents, const CandidateList& candidates, int count, int mcore,
                   TreeLevel& next);
