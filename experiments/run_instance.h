#pragma once

#include <string>

#include "distributed/process_group.h"
#include "graph/instance_reader.h"

// The graph of a run, as the instance file gives it.
struct RunInstance {
  EdgeList edges;
  int edgeCount = 0;
  int vertexCount = 0;
};

// Reads the instance file on the leader and sends it to every process, so that a file only the
// leader can see works too (a cluster without a shared disk). When the file cannot be used the
// leader prints why and every process throws RunStopped{1}, none left waiting for another. A
// file without edge lines is read as the empty graph, with a warning from the leader.
RunInstance loadRunInstance(const ProcessGroup& group, const std::string& fileName);
