#include "experiments/run_instance.h"

#include <cstring>
#include <iostream>
#include <optional>

#include "experiments/run_stopped.h"

namespace {

// [vertex count][edge pairs...]: what the other processes need of a sound instance.
std::vector<char> packed(const RunInstance& instance) {
  const std::size_t pairBytes = instance.edges.size() * sizeof(EdgeList::value_type);
  std::vector<char> bytes(sizeof(int) + pairBytes);
  std::memcpy(bytes.data(), &instance.vertexCount, sizeof(int));
  if (pairBytes > 0)
    std::memcpy(bytes.data() + sizeof(int), instance.edges.data(), pairBytes);
  return bytes;
}

RunInstance unpacked(const std::vector<char>& bytes) {
  RunInstance instance;
  std::memcpy(&instance.vertexCount, bytes.data(), sizeof(int));
  instance.edges.resize((bytes.size() - sizeof(int)) / sizeof(EdgeList::value_type));
  if (!instance.edges.empty())
    std::memcpy(static_cast<void*>(instance.edges.data()), bytes.data() + sizeof(int),
                instance.edges.size() * sizeof(EdgeList::value_type));
  instance.edgeCount = static_cast<int>(instance.edges.size());
  return instance;
}

}  // namespace

RunInstance loadRunInstance(const ProcessGroup& group, const std::string& fileName) {
  RunInstance instance;
  std::optional<std::string> problem;
  if (group.leads()) {
    problem = loadInstanceFile(fileName, instance.edges, instance.edgeCount, instance.vertexCount);
    if (problem)
      std::cout << *problem << std::flush;
    else if (instance.edgeCount == 0)
      std::cerr << noEdgeLineWarning(fileName) << std::endl;
  }
  if (!group.allAgree(!problem))
    throw RunStopped{1};
  if (group.size() == 1)
    return instance;
  std::vector<char> bytes;
  if (group.leads())
    bytes = packed(instance);
  group.broadcast(bytes);
  return group.leads() ? instance : unpacked(bytes);
}
