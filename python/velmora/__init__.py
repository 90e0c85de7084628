"""Estimates of the Tutte polynomial T(G; x, y) of undirected multigraphs.

Velmora walks the deletion-contraction tree of a graph from the root one depth at a time and
keeps at most ``budget`` nodes per depth, chosen at random: the level walk uniformly, the
reduced walk, which sums the forced parts of the tree exactly, in proportion to their weights.
Each walk is one unbiased sample of T(G; x, y), and an estimate is the mean of ``samples`` of
them, with its standard error. Where an exact engine gives the value within about a second (a
closed form, the spanning-tree count, or the frontier engine on graphs with small separators
such as grids and planar networks), "auto" takes it instead; ``exact`` asks for an exact answer
outright, ``exact_cost`` tells beforehand what one would cost, and ``spanning_trees`` counts
T(G; 1, 1) exactly. Loops and parallel edges count;
isolated vertices change nothing.

Started by an MPI launcher (``mpirun -np K``, ``srun``), every process runs the same script,
and ``estimate`` and ``coefficients`` share their samples among the K processes through
mpi4py: each process returns the same result, the same as one process's for the same seed.
The exact engines run on rank 0 alone while the others wait. ``leads()`` says which process
should print.

A graph is any of:

- a ``networkx.Graph`` or ``networkx.MultiGraph`` (self-loops and parallel edges are kept, and
  node labels may be of any hashable type);
- a sequence of ``(u, v)`` pairs, one per edge, with hashable labels;
- the path (``str`` or ``os.PathLike``) of an instance file in the command-line tool's format
  (``e u v`` lines), read by the library's reader.

The walk runs without the interpreter's lock, on every core unless ``cores`` says otherwise,
and Ctrl-C stops it (KeyboardInterrupt) at the next depth of the walks in progress, within a
fraction of a second whatever the budget.

Numbers: a value is a ``float`` when a double holds it; beyond a double's range (T(2, 2) = 2^m
of a graph with m = 4,500 edges is about 10^1354) it is a ``decimal.Decimal`` of 17
significant digits that keeps its exponent. ``Estimate.log10`` is always a float.
"""

from __future__ import annotations

import decimal
import math
import numbers
import operator
import os
import sys
from collections.abc import Iterable, Mapping
from dataclasses import dataclass, field

import numpy

from . import _velmora

__all__ = [
    "DEFAULT_REDUCED_BUDGET",
    "DEFAULT_SAMPLES",
    "DEFAULT_WALK_BUDGET",
    "EXACT_REQUEST_SECONDS",
    "Coefficients",
    "Estimate",
    "ExactCost",
    "coefficients",
    "estimate",
    "exact",
    "exact_cost",
    "leads",
    "spanning_trees",
]

#: Samples of an estimate when none are asked for.
DEFAULT_SAMPLES = 1000
#: Nodes kept per depth by the reduced walk (methods "reduced" and "auto") when no budget is
#: asked for: 1. On every graph measured a larger budget costs the reduced walk more per sample
#: than its smaller spread saves, often by orders of magnitude: for a smaller error raise the
#: samples instead, and heed the warnings.
DEFAULT_REDUCED_BUDGET = _velmora.DEFAULT_REDUCED_BUDGET
#: Nodes kept per depth by the level walk (method "walk") when no budget is asked for: 16. The
#: level walk's spread shrinks quickly as its budget grows: on graphs of more than a few dozen
#: edges raise it (each sample slows down linearly) and heed the warnings.
DEFAULT_WALK_BUDGET = _velmora.DEFAULT_LEVEL_BUDGET

#: The predicted time beyond which ``exact`` and method "exact" refuse, when no other limit is
#: given: 60 seconds.
EXACT_REQUEST_SECONDS = _velmora.EXACT_REQUEST_SECONDS

_INT_MAX = 2**31 - 1
_SEED_LIMIT = 2**64


@dataclass(frozen=True, repr=False, eq=False)
class Estimate:
    """An estimate of T(G; x, y).

    Attributes:
        x, y: the point.
        value: the estimate, the mean of the samples: a float, or a decimal.Decimal beyond a
            double's range.
        std_error: its standard error, the samples' standard deviation over sqrt(samples)
            (same kind of number); 0 when exact.
        relative_error: std_error / |value|; 0 when exact, inf when the value is 0 but the
            samples vary, nan when every sample was 0.
        log10: log10(|value|), a float even where value is beyond a double's range (-inf for
            0).
        samples, budget: the samples drawn and the nodes kept per depth.
        method: "walk", "reduced" or "exact": what computed the value.
        engine: for method "exact", the exact engine that answered: "closed_form",
            "matrix_tree", "frontier" or "deletion_contraction"; None for the walks.
        error_bound: for method "exact", a bound on |value - T(x, y)|: 0 at integer points
            (beyond the value's own rounding to a float), the frontier engine's bound on its
            rounding at real points; None for the walks.
        tilt: the reduced walk's tilt, given or chosen by the pilot; None for the other
            methods.
        guided: True when the reduced walk's pilot chose to guide each choice by resistances
            as well (on dense graphs at points such as (1, 1), (2, 1) and (2, 0)).
        fitted: True when the reduced walk's choices followed the ratio fitted to the graph
            and point by its pilot (on sparse graphs at (1, 2), (0, 2), (1, 1), dense ones at
            (2, 1), (2, 0)).
        seed: the run's seed; the same seed gives the same samples on any number of cores.
        nodes: tree nodes built by all the run's walks together (the tilt's pilot aside).
        seconds: elapsed time of the estimate, the pilot's included.
        exact: True when the value is exact: the budget never cut a level, so that every
            sample is the exact deletion-contraction sum.
        warnings: why the estimate may not be trusted, one line each, as the tool writes them
            on standard error (see "When to trust an estimate" in the README), after what
            reading an instance file had to say; empty when nothing is to be said.

    float(estimate) is the value; it raises OverflowError beyond a double's range.
    """

    x: float
    y: float
    value: float | decimal.Decimal
    std_error: float | decimal.Decimal
    relative_error: float | decimal.Decimal
    log10: float
    samples: int
    budget: int
    method: str
    seed: int
    nodes: int
    seconds: float
    exact: bool
    tilt: float | None = None
    guided: bool = False
    fitted: bool = False
    warnings: list[str] = field(default_factory=list)
    engine: str | None = None
    error_bound: float | decimal.Decimal | None = None

    def __float__(self) -> float:
        return _to_float(self.value)

    def __repr__(self) -> str:
        return (
            f"Estimate(x={self.x!r}, y={self.y!r}, value={_number_text(self.value)}, "
            f"std_error={_number_text(self.std_error)}, "
            f"relative_error={_number_text(self.relative_error)}, method={self.method!r}, "
            f"engine={self.engine!r}, "
            f"tilt={self.tilt!r}, samples={self.samples}, budget={self.budget}, seed={self.seed}, "
            f"exact={self.exact}, warnings={self.warnings!r})"
        )


@dataclass(frozen=True, repr=False, eq=False)
class Coefficients:
    """Estimates of every coefficient t_ij of T(G; x, y) = sum t_ij x^i y^j.

    Attributes:
        mean: (m + 1) x (m + 1) numpy array for a graph of m edges; row i is the power of x,
            column j the power of y. float64, or, when some coefficient is beyond a double's
            range, an object array of floats and decimal.Decimal values.
        relative_error: each coefficient's standard error over its mean, in the same layout
            (0 where the mean is 0, and everywhere when exact).
        samples, budget, seed, nodes, seconds, exact, warnings: as in Estimate.
    """

    mean: numpy.ndarray
    relative_error: numpy.ndarray
    samples: int
    budget: int
    seed: int
    nodes: int
    seconds: float
    exact: bool
    warnings: list[str] = field(default_factory=list)

    def __repr__(self) -> str:
        return (
            f"Coefficients(shape={self.mean.shape}, samples={self.samples}, "
            f"budget={self.budget}, seed={self.seed}, exact={self.exact}, "
            f"warnings={self.warnings!r})"
        )


def estimate(
    graph,
    x: float,
    y: float,
    *,
    samples: int = DEFAULT_SAMPLES,
    budget: int | None = None,
    method: str = "auto",
    seed: int | None = None,
    cores: int | None = None,
    tilt: float | None = None,
) -> Estimate:
    """Estimates T(graph; x, y) at a real point.

    Args:
        graph: a networkx Graph or MultiGraph, a sequence of (u, v) pairs, or the path of an
            instance file.
        x, y: the point (finite real numbers).
        samples: samples to draw (at least 1), DEFAULT_SAMPLES when not given.
        budget: nodes kept per depth of the tree (at least 1); when not given,
            DEFAULT_REDUCED_BUDGET (1) for "reduced" and "auto", DEFAULT_WALK_BUDGET (16) for
            "walk".
        method: "walk" (the level walk; at x == 0 or y == 0 it cuts off the subtrees worth
            nothing there), "reduced" (the reduced walk, which sums the forced parts of the
            tree exactly), "exact" (the cheapest exact engine, as ``exact`` chooses it,
            refused beyond EXACT_REQUEST_SECONDS) or "auto": the exact value where an exact
            engine is predicted to give it within about a second (see ``exact_cost``): on
            the hyperbola (x - 1)(y - 1) = 1, which holds (2, 2), at (1, 1) by counting the
            spanning trees (up to a 3-regular graph of about 1,700 vertices), elsewhere by
            the frontier engine where the frontier stays small (a 10 x 10 grid in about
            0.2 s) or by deletion-contraction on graphs of about 40 edges after reductions;
            beyond that, the reduced walk. Deciding costs at most about half a second.
        seed: the run's seed, 0 <= seed < 2**64; None takes one from the clock (returned in
            the result).
        cores: None for every core, else at most this many threads (1: one core). The
            samples do not depend on it.
        tilt: the reduced walk's tilt (methods "reduced" and "auto"), a positive number: the
            factor on a deletion's weight where the walk chooses between a node's two
            children. It changes the samples' spread, often by orders of magnitude, and never
            their mean. None chooses it by a pilot before the run: short walks at budget 1
            (the tilt belongs to the graph and the point, not to the budget) over 13 tilts
            from 1/8 to 8 (widened up to 2**-10 or 2**10 when the best is at an end), an
            eighth as many as the samples but at least 16 and at most 200 per tilt, and a
            second pilot as long with each choice guided by resistances as well, which the
            run keeps where it predicts at most half the work (``guided`` in the result);
            then three short rounds fit each choice's chance to the branch edge's local
            features, kept likewise (``fitted``).
            The pilots draw from the run's seed too, so a seed still gives the same result on
            any number of cores. Give the tilt a run reported to skip the pilots in further
            runs at the same graph and point (a given tilt runs unguided). "auto" ignores it where it takes an exact value.
            Of 200 samples or more a tenth are drawn at a neighbouring tilt as a second
            opinion, and a warning says when the two parts disagree.

    Returns:
        An Estimate.

    Raises:
        TypeError: graph is directed or not a graph, or an argument has the wrong type.
        ValueError: samples, budget or cores below 1, a seed out of range, an unknown method,
            a point that is not finite, a tilt that is not positive and finite or is given
            with method "walk", a malformed instance file, or method "exact" on a graph
            beyond every exact engine (the message names the predicted cost).
        OSError: the instance file cannot be opened or read.
        MemoryError: the budget keeps more graphs than memory holds.
        KeyboardInterrupt: Ctrl-C during the walk.
    """
    x = _real("x", x)
    y = _real("y", y)
    if not isinstance(method, str):
        raise TypeError(f"method must be a str, not {type(method).__name__}")
    samples, budget = _count("samples", samples), _budget(budget)
    seed, cores = _seed(seed), _cores(cores)
    tilt = None if tilt is None else _real("tilt", tilt)
    result = _velmora.estimate(
        _instance(graph), x, y, samples, budget, method, seed, cores, tilt, _processes()
    )
    return Estimate(x=x, y=y, **result)


def coefficients(
    graph,
    *,
    samples: int,
    budget: int | None = None,
    seed: int | None = None,
    cores: int | None = None,
) -> Coefficients:
    """Estimates every coefficient t_ij of T(graph; x, y), as the tool's normal mode does.

    Args:
        graph, seed, cores: as for estimate.
        samples: samples to draw (at least 1).
        budget: nodes kept per depth of the tree (at least 1); DEFAULT_WALK_BUDGET (16) when
            not given.

    Returns:
        Coefficients with numpy tables ``mean`` and ``relative_error``, row i for x^i and
        column j for y^j, and the run's warnings. When the budget cut, these include the
        tool's check of the coefficients' sum, the run's estimate of T(1, 1), against the
        exact number of spanning trees, unless counting them would take more than about a
        second.

    Raises:
        The exceptions of estimate.
    """
    samples, budget = _count("samples", samples), _budget(budget)
    seed, cores = _seed(seed), _cores(cores)
    result = _velmora.coefficients(_instance(graph), samples, budget, seed, cores, _processes())
    return Coefficients(**result)


def spanning_trees(graph) -> int:
    """The exact number of spanning trees of graph, T(graph; 1, 1).

    For a disconnected graph the number of maximal spanning forests (the product over its
    components). Loops take no part; parallel edges count with their multiplicity; a graph
    without edges has 1.

    Args:
        graph: as for estimate.

    Returns:
        An int, every digit of it.

    Raises:
        The exceptions of estimate for the graph. Ctrl-C takes effect only once the count ends.

    Cost, on one core: trees and cycles next to nothing, a 10 x 10 grid under a
    millisecond, a 50 x 50 grid 0.2 s, a random 3-regular graph on 1,000 vertices 0.13 s
    and on 2,000 vertices 2 s. Graphs that do not stay sparse under elimination, such as
    random regular ones, take time that grows with about the fourth power of their
    vertices.
    """
    instance = _instance(graph)
    return _int_of_decimal(_on_leader(lambda: _velmora.spanning_trees(instance)))


def exact(
    graph,
    x: float | None = None,
    y: float | None = None,
    *,
    max_seconds: float = EXACT_REQUEST_SECONDS,
):
    """The exact Tutte polynomial of a graph, or its exact value at one point.

    The cheapest exact engine predicted to answer within max_seconds does (``exact_cost``
    tells which, and at what cost, without running it): a closed form on the hyperbola
    (x - 1)(y - 1) = 1, the spanning-tree count at (1, 1), the frontier engine, or
    deletion-contraction with a cache. The frontier engine sweeps the graph's vertices in an
    order that keeps the frontier (the vertices met that still have edges to come) small, and
    carries one number, or one table of counts, per way of partitioning the frontier: its work
    grows with the number of such partitions, exponentially in the frontier's width, and not
    with the graph's size. Grids, planar networks, fullerenes and most sparse real networks
    have small frontiers (a 10 x 10 grid 11, C60 about 11); random 3-regular graphs have about
    0.16 n and leave its reach near 60 to 80 vertices. Deletion-contraction takes graphs of up
    to 40 edges after reductions (64 in all) for the polynomial and 46 for a value.

    Args:
        graph: as for estimate.
        x, y: the point, both or neither (finite real numbers). Neither: the polynomial.
        max_seconds: the predicted time beyond which the request is refused.

    Returns:
        Without a point, the coefficients t_ij of T(graph; x, y) = sum t_ij x^i y^j as a numpy
        object array of Python ints, row i for x^i from 0 to the rank r of the graph and
        column j for y^j from 0 to its nullity m - r (both degrees are reached; a graph
        without edges gives [[1]]). Note that ``coefficients`` returns (m + 1) x (m + 1)
        tables instead. With a point: at integer points an int, every digit of it, for
        every sign (from deletion-contraction, which works in floating point, a float exact
        while below 2^53); at other points a float, or beyond a double's range a
        decimal.Decimal, within a bound on its rounding (``estimate(method="exact")`` gives
        the bound as error_bound): about 1e-15 relative per step of the sweep where every
        term is non-negative (x, y >= 1); elsewhere terms of both signs can cancel, and the
        error is relative to the size of the terms.

    Raises:
        The exceptions of estimate for the graph and the point; ValueError beyond every
        engine, naming the predicted cost; TypeError when only one of x and y is given.
        Ctrl-C takes effect only once the engine ends.
    """
    if (x is None) != (y is None):
        raise TypeError("exact takes both x and y, or neither")
    seconds = _real("max_seconds", max_seconds)
    if x is not None:
        x, y = _real("x", x), _real("y", y)
        instance = _instance(graph)
        value = _on_leader(lambda: _velmora.exact_value(instance, x, y, seconds))
        return _int_of_decimal(value) if isinstance(value, str) else value
    instance = _instance(graph)
    rows = _on_leader(lambda: _velmora.exact_coefficients(instance, seconds))
    table = numpy.empty((len(rows), len(rows[0])), dtype=object)
    for i, row in enumerate(rows):
        for j, text in enumerate(row):
            table[i, j] = _int_of_decimal(text)
    return table


@dataclass(frozen=True)
class ExactCost:
    """What an exact answer would cost, as ``exact_cost`` predicts it.

    Attributes:
        engine: the engine that would answer ("closed_form", "matrix_tree", "frontier" or
            "deletion_contraction"), or None when none would within the limit.
        predicted_seconds: its predicted time on one core of the 2-core machine the
            predictions were measured on (the frontier's when no engine would answer).
        predicted_bytes: the frontier engine's predicted peak memory (0 for the others).
        frontier_width: the largest frontier in the order kept; 17 when every order tried
            exceeds the engine's 16.
        frontier_states: the frontier's states summed over its steps, as its dry run met
            them, and frontier_max_states those of its largest step.
        frontier_complete: False when the dry run stopped at the limit: the state figures
            are then lower bounds.
        refusal: why no engine would answer, naming the predicted cost; "" when one would.
    """

    engine: str | None
    predicted_seconds: float
    predicted_bytes: float
    frontier_width: int
    frontier_states: float
    frontier_max_states: float
    frontier_complete: bool
    refusal: str


def exact_cost(
    graph,
    x: float | None = None,
    y: float | None = None,
    *,
    max_seconds: float = EXACT_REQUEST_SECONDS,
) -> ExactCost:
    """Which engine ``exact`` would use on graph, and at what predicted cost, without running it.

    Args:
        graph, x, y, max_seconds: as for exact (neither x nor y: the polynomial).

    Returns:
        An ExactCost. Deciding costs the frontier's orders (about linear in the edges) and a
        dry run over its states that stops once they would take longer than max_seconds: at
        most about half of it, and nothing when the frontier outgrows the engine. At (1, 1)
        deciding is counting the spanning trees.

    Raises:
        As for exact.
    """
    if (x is None) != (y is None):
        raise TypeError("exact_cost takes both x and y, or neither")
    seconds = _real("max_seconds", max_seconds)
    if x is not None:
        x, y = _real("x", x), _real("y", y)
    return ExactCost(**_velmora.exact_cost(_instance(graph), x, y, seconds))


def _instance(graph) -> _velmora.Instance:
    """The library's graph for any of the accepted kinds of graph."""
    if isinstance(graph, (str, bytes, os.PathLike)):
        path = os.fspath(graph)
        # The system's own error (FileNotFoundError, PermissionError, IsADirectoryError).
        with open(path, "rb"):
            pass
        return _velmora.Instance.from_file(os.fsencode(path), os.fsdecode(path))
    if _is_networkx_graph(graph):
        if graph.is_directed():
            raise TypeError(
                "the Tutte polynomial is defined for undirected graphs; pass a networkx "
                f"Graph or MultiGraph, not {type(graph).__name__}"
            )
        edges = graph.edges()
    elif isinstance(graph, Iterable) and not isinstance(graph, Mapping):
        edges = graph
    else:
        raise TypeError(
            "a graph is a networkx Graph or MultiGraph, a sequence of (u, v) pairs or the "
            f"path of an instance file; got {type(graph).__name__}"
        )
    return _velmora.Instance.from_pairs(_numbered_pairs(edges))


def _is_networkx_graph(graph) -> bool:
    return all(hasattr(graph, name) for name in ("is_directed", "is_multigraph", "edges", "nodes"))


def _numbered_pairs(edges) -> list[tuple[int, int]]:
    """Each edge's ends numbered 0, 1, ... in order of first appearance."""
    numbers_of: dict = {}
    pairs = []
    for position, edge in enumerate(edges):
        if isinstance(edge, (str, bytes)) or not isinstance(edge, Iterable):
            raise TypeError(f"edge {position} is {edge!r}, not a pair (u, v)")
        ends = tuple(edge)
        if len(ends) != 2:
            raise TypeError(f"edge {position} is {edge!r}, not a pair (u, v)")
        try:
            u = numbers_of.setdefault(ends[0], len(numbers_of))
            v = numbers_of.setdefault(ends[1], len(numbers_of))
        except TypeError:
            raise TypeError(
                f"edge {position} is {edge!r}: vertex labels must be hashable"
            ) from None
        pairs.append((u, v))
    if len(numbers_of) > _INT_MAX:
        raise ValueError("a graph has at most 2147483647 vertices")
    return pairs


def _real(name: str, value) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    value = float(value)
    if not math.isfinite(value):
        raise ValueError(f"{name} must be finite, not {value}")
    return value


def _integer(name: str, value) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None


def _count(name: str, value) -> int:
    value = _integer(name, value)
    if not 1 <= value <= _INT_MAX:
        raise ValueError(f"{name} must be between 1 and {_INT_MAX}, not {value}")
    return value


def leads() -> bool:
    """True on rank 0 of an MPI launch, and in a process started without a launcher."""
    processes = _processes()
    return processes is None or processes.rank == 0


def _budget(budget) -> int | None:
    return None if budget is None else _count("budget", budget)


_launched_processes = None


def _processes():
    """The processes of the MPI launch that started this one, or None without a launcher.

    Under mpirun, mpiexec or srun every process calls the same estimates with the same
    arguments; the samples are shared among them through mpi4py's COMM_WORLD, and each
    returns the same result. Without a launcher MPI is never touched (mpi4py is not even
    imported).
    """
    global _launched_processes
    if _launched_processes is None and _velmora.started_by_launcher():
        import mpi4py

        # One thread at a time calls MPI, the one that runs the estimate; "multiple" (mpi4py's
        # default) makes Open MPI take locks and poll on every call.
        if "mpi4py.MPI" not in sys.modules:
            mpi4py.rc.thread_level = "serialized"
        from mpi4py import MPI

        world = MPI.COMM_WORLD
        machine = world.Split_type(MPI.COMM_TYPE_SHARED)
        _launched_processes = _velmora.Processes(world, machine.Get_size())
        machine.Free()
    return _launched_processes


def _on_leader(compute):
    """compute() on rank 0 alone under an MPI launcher, its result (or its exception) sent to
    every process: the exact engines are fast where they answer, and the others wait."""
    processes = _processes()
    if processes is None:
        return compute()
    from mpi4py import MPI

    outcome = None
    if processes.rank == 0:
        try:
            outcome = (True, compute())
        except Exception as failure:  # every process raises it
            outcome = (False, failure)
    done, value = MPI.COMM_WORLD.bcast(outcome, root=0)
    if not done:
        raise value
    return value


def _seed(seed) -> int | None:
    if seed is None:
        return None
    seed = _integer("seed", seed)
    if not 0 <= seed < _SEED_LIMIT:
        raise ValueError(f"seed must be between 0 and 2**64 - 1, not {seed}")
    return seed


def _cores(cores) -> int | None:
    return None if cores is None else _count("cores", cores)


_DOUBLE_MAX = decimal.Decimal(sys.float_info.max)


def _to_float(value) -> float:
    if isinstance(value, decimal.Decimal) and value.copy_abs() > _DOUBLE_MAX:
        raise OverflowError(
            f"{value} is beyond a double's range; use the value itself (a decimal.Decimal) "
            "or log10"
        )
    return float(value)


# Decimal texts up to this long go to int() at once: Python refuses longer ones by default
# (sys.get_int_max_str_digits), as a guard against the quadratic time of the conversion.
_DECIMAL_PIECE = 4000


def _int_of_decimal(text: str) -> int:
    """The int of a decimal text of any length and either sign, converted in halves."""
    if text.startswith("-"):
        return -_int_of_decimal(text[1:])
    if len(text) <= _DECIMAL_PIECE:
        return int(text)
    low = len(text) // 2
    return _int_of_decimal(text[:-low]) * 10**low + _int_of_decimal(text[-low:])


def _number_text(value) -> str:
    return str(value) if isinstance(value, decimal.Decimal) else repr(value)
