// The extension module under the velmora package: it converts Python inputs to the library's
// types and the library's results to Python objects, and translates the library's failures into
// Python exceptions. Everything it returns is computed by the library.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <Python.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "estimator/exact_evaluator.h"
#include "estimator/exact_route.h"
#include "estimator/spanning_tree_count.h"
#include "estimator/walk_levels.h"
#include "graph/instance_reader.h"
#include "library/process_exchange.h"
#include "library/tutte_coefficients.h"
#include "library/tutte_estimate.h"

namespace py = pybind11;

namespace {

// How often a running estimate looks for a signal such as Ctrl-C.
constexpr std::chrono::milliseconds kSignalPoll{50};

// A graph as the library reads it, and what reading it had to say.
struct Instance {
  EdgeList edges;
  std::vector<std::string> warnings;
};

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

Instance instanceFromFile(const std::string& path, const std::string& name) {
  Instance instance;
  int edgeCount = 0, vertexCount = 0;
  const std::optional<InstanceProblem> problem =
      loadInstance(path, instance.edges, edgeCount, vertexCount);
  if (problem) {
    switch (problem->kind) {
      case InstanceProblem::Kind::CannotOpen:
        raise(PyExc_OSError, "cannot open the instance file " + name +
                                 ": it is missing, unreadable or a directory");
      case InstanceProblem::Kind::ReadFailed:
        raise(PyExc_OSError,
              "cannot read the instance file " + name + " to its end (" + problem->text + ")");
      case InstanceProblem::Kind::MalformedLine:
        raise(PyExc_ValueError, "malformed instance file " + name + ": " + problem->text);
    }
  }
  if (edgeCount == 0)
    instance.warnings.push_back(noEdgeLineWarning(name));
  return instance;
}

Instance instanceFromPairs(EdgeList edges) {
  return {std::move(edges), {}};
}

// A float where the value is one exactly (or is 0, infinite or not a number); beyond a double's
// range, or where it would lose digits as a subnormal, a decimal.Decimal of 17 significant
// digits, which keeps the exponent and reads back to the same value.
py::object toPython(WideFloat value) {
  const double plain = value.toDouble();
  if (!value.isFinite() || value.isZero() || std::isnormal(plain))
    return py::float_(plain);
  std::ostringstream text;
  text.precision(17);
  text << value;
  return py::module_::import("decimal").attr("Decimal")(text.str());
}

// Runs work(stop) on a thread of its own while this thread, without the interpreter's lock,
// looks for signals every kSignalPoll. A signal whose handler raises (Ctrl-C's
// KeyboardInterrupt) sets the stop flag, and once the work has stopped the exception is raised
// here. The work's own exception is rethrown here.
template <typename Result, typename Work>
Result runInterruptibly(Work work) {
  std::atomic<bool> stop{false};
  std::optional<Result> result;
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finishedSignal;
  bool finished = false;
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        result.emplace(work(stop));
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      finished = true;
      finishedSignal.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!finishedSignal.wait_for(lock, kSignalPoll, [&] { return finished; })) {
      if (interrupted)
        continue;  // the walks end at their next depth
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        interrupted = PyErr_CheckSignals() != 0;
      }
      lock.lock();
      if (interrupted)
        stop = true;
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted)
    throw py::error_already_set();  // the handler's exception, which is still pending
  if (failure)
    std::rethrow_exception(failure);
  return std::move(*result);
}

// The processes of an MPI launch, as mpi4py's communicator reaches them: the library calls
// allGather from the thread that runs the estimate, which takes the interpreter's lock for it.
class PythonProcesses : public ProcessExchange {
 public:
  PythonProcesses(py::object communicator, int sizeOnThisMachine)
      : communicator_(std::move(communicator)),
        rank_(communicator_.attr("Get_rank")().cast<int>()),
        size_(communicator_.attr("Get_size")().cast<int>()),
        sizeOnThisMachine_(sizeOnThisMachine) {}
  int rank() const override { return rank_; }
  int size() const override { return size_; }
  int sizeOnThisMachine() const override { return sizeOnThisMachine_; }
  std::vector<std::string> allGather(const std::string& bytes) const override {
    py::gil_scoped_acquire acquire;
    std::vector<std::string> shares;
    for (const py::handle share : communicator_.attr("allgather")(py::bytes(bytes)))
      shares.push_back(share.cast<std::string>());
    return shares;
  }

 private:
  py::object communicator_;
  int rank_, size_, sizeOnThisMachine_;
};

// Runs an estimate and gives a failure of memory the sentence the tool prints for it.
template <typename Result, typename Work>
Result runEstimate(Work work, int budget) {
  try {
    return runInterruptibly<Result>(work);
  } catch (const std::bad_alloc&) {
    raise(PyExc_MemoryError, "out of memory: " + exhaustedMemoryReason(budget));
  }
}

SamplingOptions samplingOptions(int samples, std::optional<int> budget,
                                std::optional<std::uint64_t> seed, std::optional<int> cores,
                                const PythonProcesses* processes) {
  return {samples, budget, seed, cores, nullptr, processes};
}

void addRun(py::dict& result, const SamplingReport& run, const Instance& instance) {
  result["samples"] = run.samples;
  result["budget"] = run.budget;
  result["seed"] = run.seed;
  result["nodes"] = run.nodesBuilt;
  result["seconds"] = run.seconds;
  result["exact"] = run.exact;
  std::vector<std::string> warnings = instance.warnings;
  warnings.insert(warnings.end(), run.warnings.begin(), run.warnings.end());
  result["warnings"] = warnings;
}

py::dict estimate(const Instance& instance, double x, double y, int samples,
                  std::optional<int> budget, const std::string& method,
                  std::optional<std::uint64_t> seed, std::optional<int> cores,
                  std::optional<double> tilt, const PythonProcesses* processes) {
  const std::optional<EstimateMethod> requested = methodNamed(method);
  if (!requested)
    raise(PyExc_ValueError,
          "method must be 'auto', 'walk', 'reduced' or 'exact', not '" + method + "'");
  ValueOptions options{x, y, *requested, samplingOptions(samples, budget, seed, cores, processes),
                       tilt};
  const TutteEstimate estimate = runEstimate<TutteEstimate>(
      [&](const std::atomic<bool>& stop) {
        ValueOptions stoppable = options;
        stoppable.sampling.stop = &stop;
        return estimateTutteValue(instance.edges, stoppable);
      },
      budgetOf(options.sampling, walkOf(*requested)));
  py::dict result;
  result["value"] = toPython(estimate.value);
  result["std_error"] = toPython(estimate.standardError);
  result["relative_error"] = toPython(estimate.relativeError);
  result["log10"] = log10(abs(estimate.value));
  result["method"] = std::string(methodName(estimate.method));
  result["engine"] = estimate.engine
                         ? py::object(py::str(std::string(exactEngineName(*estimate.engine))))
                         : py::object(py::none());
  result["error_bound"] = estimate.engine ? toPython(estimate.errorBound) : py::object(py::none());
  result["tilt"] = estimate.tilt;
  result["guided"] = estimate.guided;
  result["fitted"] = estimate.fitted;
  addRun(result, estimate.run, instance);
  return result;
}

// A dense size x size table: float64 when every cell is a float exactly, else an object array
// of floats and decimals (toPython).
py::object denseTable(const CoefficientTable& table) {
  const auto plain = [](WideFloat value) {
    return !value.isFinite() || value.isZero() || std::isnormal(value.toDouble());
  };
  const py::ssize_t size = table.size;
  bool allPlain = plain(table.background);
  for (const CoefficientTable::Cell& cell : table.cells)
    allPlain = allPlain && plain(cell.value);
  if (allPlain) {
    py::array_t<double> dense({size, size});
    auto cells = dense.mutable_unchecked<2>();
    const double background = table.background.toDouble();
    for (py::ssize_t i = 0; i < size; ++i)
      for (py::ssize_t j = 0; j < size; ++j)
        cells(i, j) = background;
    for (const CoefficientTable::Cell& cell : table.cells)
      cells(cell.row, cell.column) = cell.value.toDouble();
    return dense;
  }
  py::object dense = py::module_::import("numpy").attr("full")(
      py::make_tuple(size, size), toPython(table.background), py::arg("dtype") = "object");
  for (const CoefficientTable::Cell& cell : table.cells)
    dense[py::make_tuple(cell.row, cell.column)] = toPython(cell.value);
  return dense;
}

py::dict coefficients(const Instance& instance, int samples, std::optional<int> budget,
                      std::optional<std::uint64_t> seed, std::optional<int> cores,
                      const PythonProcesses* processes) {
  const SamplingOptions options = samplingOptions(samples, budget, seed, cores, processes);
  const TutteCoefficients estimate = runEstimate<TutteCoefficients>(
      [&](const std::atomic<bool>& stop) {
        SamplingOptions stoppable = options;
        stoppable.stop = &stop;
        return estimateTutteCoefficients(instance.edges, stoppable);
      },
      budgetOf(options, WalkKind::Level));
  py::dict result;
  result["mean"] = denseTable(estimate.means);
  result["relative_error"] = denseTable(estimate.relativeErrors);
  addRun(result, estimate.run, instance);
  return result;
}

// The exact number of spanning trees in decimal. The count cannot be stopped midway: Ctrl-C
// takes effect when it ends.
std::string spanningTrees(const Instance& instance) {
  return runInterruptibly<std::string>([&](const std::atomic<bool>&) {
    return countSpanningTrees(graphOfEdges(instance.edges)).decimal;
  });
}

// The exact polynomial's coefficients in decimal, row i for x^i and column j for y^j, by the
// cheapest exact engine predicted within `seconds`; beyond, ValueError with the predicted cost,
// as ExactSizeExceeded is a std::invalid_argument. The engines cannot be stopped midway: Ctrl-C
// takes effect when they end.
std::vector<std::vector<std::string>> exactCoefficients(const Instance& instance, double seconds) {
  return runInterruptibly<std::vector<std::vector<std::string>>>([&](const std::atomic<bool>&) {
    return exactPolynomialOrRefuse(graphOfEdges(instance.edges), seconds).coefficients;
  });
}

// The exact value: every digit, as the decimal text of an int, where the engine gives them;
// else a float or a decimal.Decimal (toPython).
py::object exactValue(const Instance& instance, double x, double y, double seconds) {
  const ExactValue value = runInterruptibly<ExactValue>([&](const std::atomic<bool>&) {
    return exactValueOrRefuse(graphOfEdges(instance.edges), x, y, seconds);
  });
  if (value.decimal)
    return py::str(*value.decimal);
  return toPython(value.value);
}

// What answering would cost: the engine chosen and the frontier's figures, as plain values.
py::dict exactCost(const Instance& instance, std::optional<double> x, std::optional<double> y,
                   double seconds) {
  const ExactCost cost = runInterruptibly<ExactCost>([&](const std::atomic<bool>&) {
    const Graph graph = graphOfEdges(instance.edges);
    return x ? exactValueCost(graph, *x, *y, seconds) : exactPolynomialCost(graph, seconds);
  });
  py::dict result;
  result["engine"] = cost.engine ? py::object(py::str(std::string(exactEngineName(*cost.engine))))
                                 : py::object(py::none());
  result["predicted_seconds"] = cost.predictedSeconds;
  result["predicted_bytes"] = cost.predictedBytes;
  result["frontier_width"] = cost.frontierWidth;
  result["frontier_states"] = cost.frontierStates;
  result["frontier_max_states"] = cost.frontierMaxStates;
  result["frontier_complete"] = cost.frontierComplete;
  result["refusal"] = cost.refusal;
  return result;
}

}  // namespace

PYBIND11_MODULE(_velmora, module) {
  module.doc() =
      "Velmora's extension module: the library's estimates, called by the velmora package.";
  module.attr("DEFAULT_LEVEL_BUDGET") = kDefaultLevelBudget;
  module.attr("DEFAULT_REDUCED_BUDGET") = kDefaultReducedBudget;
  py::class_<Instance>(module, "Instance", "A graph as the library reads it.")
      .def_static("from_file", &instanceFromFile, py::arg("path"), py::arg("name"),
                  "Reads an instance file (path as bytes; name for messages).")
      .def_static("from_pairs", &instanceFromPairs, py::arg("pairs"),
                  "The graph of a list of (u, v) vertex id pairs, one per edge.");
  py::class_<PythonProcesses>(module, "Processes",
                              "The processes of an MPI launch, through an mpi4py communicator.")
      .def(py::init<py::object, int>(), py::arg("communicator"), py::arg("size_on_this_machine"))
      .def_property_readonly("rank", &PythonProcesses::rank)
      .def_property_readonly("size", &PythonProcesses::size);
  module.def("started_by_launcher", &startedByLauncher,
             "Whether an MPI launcher (mpirun, mpiexec, srun) started this process.");
  module.def("estimate", &estimate, py::arg("instance"), py::arg("x"), py::arg("y"),
             py::arg("samples"), py::arg("budget"), py::arg("method"), py::arg("seed"),
             py::arg("cores"), py::arg("tilt"), py::arg("processes"),
             "One estimate of T(x, y), as a dict of plain values.");
  module.def("coefficients", &coefficients, py::arg("instance"), py::arg("samples"),
             py::arg("budget"), py::arg("seed"), py::arg("cores"), py::arg("processes"),
             "Estimates of every coefficient, as a dict with two dense tables.");
  module.def("spanning_trees", &spanningTrees, py::arg("instance"),
             "The exact number of spanning trees, in decimal.");
  module.def("exact_coefficients", &exactCoefficients, py::arg("instance"), py::arg("seconds"),
             "The exact polynomial's coefficients in decimal, as a list of rows.");
  module.def("exact_value", &exactValue, py::arg("instance"), py::arg("x"), py::arg("y"),
             py::arg("seconds"),
             "The exact value at (x, y): decimal text of an int, a float or a decimal.Decimal.");
  module.def("exact_cost", &exactCost, py::arg("instance"), py::arg("x"), py::arg("y"),
             py::arg("seconds"), "The exact engine chosen and its predicted cost, as a dict.");
  module.attr("EXACT_REQUEST_SECONDS") = kExactRequestSeconds;
}
