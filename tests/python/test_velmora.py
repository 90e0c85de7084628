"""The Python module: inputs, failures, seeds, values against exact ones, interrupts, the shell."""

import decimal
import json
import math
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import networkx
import numpy
import pytest

import velmora

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
BENCH_GRAPHS = pathlib.Path(__file__).resolve().parents[2] / "bench" / "graphs"
DIAMOND = [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3)]
# K4 with a parallel pair, a loop and a pendant edge: every kind of edge.
MIXED = [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3), (2, 3), (0, 1), (2, 2), (3, 4)]
UNBOUNDED = 1 << 20  # a budget that never binds on these graphs: the walk is exact


def brute_force_tutte(edges, x, y):
    """T(x, y) = sum over edge subsets A of (x-1)^(r(E)-r(A)) (y-1)^(|A|-r(A))."""
    vertices = sorted({end for edge in edges for end in edge})

    def rank(subset):
        parent = {v: v for v in vertices}

        def root(v):
            while parent[v] != v:
                v = parent[v]
            return v

        joined = 0
        for u, v in subset:
            a, b = root(u), root(v)
            if a != b:
                parent[a] = b
                joined += 1
        return joined

    full = rank(edges)
    total = 0.0
    for mask in range(1 << len(edges)):
        subset = [edge for k, edge in enumerate(edges) if mask >> k & 1]
        r = rank(subset)
        total += (x - 1) ** (full - r) * (y - 1) ** (len(subset) - r)
    return total


def five_errors(result):
    return 5 * result.std_error + 1e-9 * abs(result.value)


def test_every_kind_of_graph(tmp_path):
    path = tmp_path / "mixed.txt"
    path.write_text("".join(f"e {u} {v}\n" for u, v in MIXED))
    def label(v):  # labels of mixed types
        return f"v{v}" if v % 2 else ("vertex", v)

    multigraph = networkx.MultiGraph()
    multigraph.add_edges_from((label(u), label(v)) for u, v in MIXED)
    simple = networkx.Graph(DIAMOND)
    exact = brute_force_tutte(MIXED, 2, 1)
    for graph in (MIXED, numpy.array(MIXED), str(path), path, multigraph):
        result = velmora.estimate(graph, 2, 1, budget=UNBOUNDED, samples=2, method="walk")
        assert result.exact and result.std_error == 0
        assert result.value == pytest.approx(exact, rel=1e-12), type(graph)
    assert velmora.estimate(simple, 2, 1, budget=UNBOUNDED, samples=1).value == pytest.approx(24)
    # A file without edge lines is the graph without edges, T = 1, and the result says so.
    empty = tmp_path / "plain.txt"
    empty.write_text("0 1\n1 2\n")
    result = velmora.estimate(empty, 3, 3, samples=1)
    assert result.value == 1 and "no edge line" in result.warnings[0]


def test_bad_input_raises_with_a_reason(tmp_path):
    malformed = tmp_path / "malformed.txt"
    malformed.write_text("e 0 1\ne 1\n")
    cases = [
        (networkx.DiGraph(DIAMOND), {}, TypeError, "undirected"),
        (42, {}, TypeError, "got int"),
        ([(0, 1, 2)], {}, TypeError, "not a pair"),
        ([([0], 1)], {}, TypeError, "hashable"),
        (tmp_path / "missing.txt", {}, FileNotFoundError, "missing.txt"),
        (tmp_path, {}, IsADirectoryError, ""),
        (malformed, {}, ValueError, "Error in line 2 of the instance file"),
        (DIAMOND, {"budget": 0}, ValueError, "budget"),
        (DIAMOND, {"samples": -5}, ValueError, "samples"),
        (DIAMOND, {"samples": 2.5}, TypeError, "samples"),
        (DIAMOND, {"cores": 0}, ValueError, "cores"),
        (DIAMOND, {"seed": 2**64}, ValueError, "seed"),
        (DIAMOND, {"method": "fast"}, ValueError, "method"),
        (DIAMOND, {"x": math.inf}, ValueError, "finite"),
        (DIAMOND, {"y": 1j}, TypeError, "real"),
        (DIAMOND, {"tilt": 0}, ValueError, "tilt must be positive"),
        (DIAMOND, {"tilt": "1"}, TypeError, "tilt"),
        (DIAMOND, {"tilt": 2, "method": "walk"}, ValueError, "reduced walk"),
    ]
    for graph, options, error, words in cases:
        arguments = {"x": 2, "y": 1, **options}
        x, y = arguments.pop("x"), arguments.pop("y")
        with pytest.raises(error, match=words):
            velmora.estimate(graph, x, y, **arguments)
    with pytest.raises(ValueError, match="budget"):
        velmora.coefficients(DIAMOND, samples=10, budget=-1)


def test_a_seed_gives_the_same_samples_on_any_number_of_cores():
    # The samples' own invariance is proved in C++ (tests/sample_batch_test.cpp); here the seed
    # and the core count reach them, the reduced walk's pilot included.
    grid = networkx.grid_2d_graph(5, 5)
    runs = [
        velmora.estimate(grid, 1, 2, samples=200, budget=4, seed=7, method="reduced", cores=cores)
        for cores in (1, None)
    ]
    assert len({(r.value, r.std_error, r.nodes, r.tilt) for r in runs}) == 1
    other = velmora.estimate(grid, 1, 2, samples=200, budget=4, seed=8, method="reduced")
    assert other.value != runs[0].value
    clocked = velmora.estimate(grid, 1, 2, samples=50, budget=4, method="reduced")
    again = velmora.estimate(grid, 1, 2, samples=50, budget=4, method="reduced", seed=clocked.seed)
    assert again.value == clocked.value


@pytest.mark.parametrize("method", ["walk", "reduced"])
def test_estimates_agree_with_exact_values(method):
    for x, y in [(0.5, 1.5), (2.0, -0.5)]:
        exact = brute_force_tutte(MIXED, x, y)
        result = velmora.estimate(MIXED, x, y, samples=4000, budget=2, seed=11, method=method)
        assert abs(result.value - exact) <= five_errors(result), (x, y, result)
        assert result.relative_error == pytest.approx(result.std_error / abs(result.value))
    # The 4 x 4 grid has 100,352 spanning trees.
    trees = velmora.estimate(networkx.grid_2d_graph(4, 4), 1, 1, samples=2000, budget=16,
                             seed=3, method=method)
    assert abs(trees.value - 100352) <= five_errors(trees)
    assert trees.relative_error < 0.05 and not trees.warnings
    # A walk that missed most of the tree is set beside the exact count (3.3e13 on 6 x 6).
    if method == "walk":
        low = velmora.estimate(networkx.grid_2d_graph(6, 6), 1, 1, samples=20, budget=1,
                               seed=3, method=method)
        assert any("standard errors from its exact value" in w for w in low.warnings), low


def test_auto_is_exact_where_cheap_and_walks_beyond():
    grid = networkx.grid_2d_graph(4, 4)  # 24 edges
    for x, y, exact in [(1, 1, 100352), (2, 2, 2**24)]:
        result = velmora.estimate(grid, x, y, samples=5)
        assert result.method == "exact" and result.exact and result.value == exact
        assert result.samples == 0 and result.nodes == 0
        assert result.engine in ("matrix_tree", "closed_form") and result.error_bound == 0
    # Elsewhere the frontier engine, every digit of it at an integer point.
    six = networkx.grid_2d_graph(6, 6)
    for x, y in [(2, 1), (-2, 0), (0.5, 1.5)]:
        result = velmora.estimate(six, x, y, samples=5)
        assert result.method == "exact" and result.engine == "frontier", result
        assert result.value == pytest.approx(velmora.exact(six, x, y), rel=1e-15)
    # Terms of both signs at x = 0.5: the bound is relative to their sizes, whose sum is T(1.5, 1.5).
    term_sizes = velmora.exact(six, 1.5, 1.5)
    assert velmora.estimate(six, 0.5, 1.5, samples=5).error_bound < 1e-13 * term_sizes
    # Counting the spanning trees of a 3-regular graph on 2,000 vertices takes seconds, and its
    # frontier is far beyond the frontier engine.
    large = networkx.random_regular_graph(3, 2000, seed=1)
    result = velmora.estimate(large, 1, 1, samples=4, seed=1)
    assert result.method == "reduced" and not result.exact and result.engine is None
    with pytest.raises(ValueError, match="no exact engine answers within 60 s"):
        velmora.estimate(large, 2, 1, method="exact")
    # Each walk's own default budget.
    assert result.budget == velmora.DEFAULT_REDUCED_BUDGET == 1
    assert velmora.estimate(grid, 2, 1, samples=4, method="walk").budget == 16


def test_spanning_trees_exactly():
    assert velmora.spanning_trees(networkx.grid_2d_graph(4, 4)) == 100352
    assert velmora.spanning_trees(networkx.complete_graph(12)) == 12**10
    assert velmora.spanning_trees(MIXED) == round(brute_force_tutte(MIXED, 1, 1))
    assert velmora.spanning_trees([]) == 1
    # A path of 5,000 bundles of 10 parallel edges: more digits than int() takes at once.
    assert velmora.spanning_trees([(v, v + 1) for v in range(5000) for _ in range(10)]) == 10**5000


def test_exact_polynomials_and_values_of_small_graphs():
    k4 = velmora.exact(networkx.complete_graph(4))
    # T(K4) = x^3 + 3x^2 + 2x + 4xy + 2y + 3y^2 + y^3
    assert k4.tolist() == [[0, 2, 3, 1], [2, 4, 0, 0], [3, 0, 0, 0], [1, 0, 0, 0]]
    assert all(type(t) is int for t in k4.flat)
    mixed = velmora.exact(MIXED)
    assert mixed.shape == (5, 6)  # rank 4, nullity 5
    for x, y in [(0.5, 1.5), (2.0, -0.5), (3.0, 3.0)]:
        expected = brute_force_tutte(MIXED, x, y)
        assert sum(t * x**i * y**j for (i, j), t in numpy.ndenumerate(mixed)) == pytest.approx(
            expected, rel=1e-12)
        assert velmora.exact(MIXED, x, y) == pytest.approx(expected, rel=1e-12)
    assert velmora.exact([]).tolist() == [[1]]
    # Beyond a double's range: a path of 1,100 parallel pairs has T(2, 2) = 2^2200 exactly, and
    # at a real point a decimal.Decimal.
    pairs = [(v, v + 1) for v in range(1100) for _ in range(2)]
    assert velmora.exact(pairs, 2, 2) == 2**2200
    value = velmora.exact(pairs, 2.5, 2)  # (x + y)^1100, a product over its blocks
    assert isinstance(value, decimal.Decimal)
    assert abs(value / decimal.Decimal(4.5) ** 1100 - 1) < 1e-12
    # Beyond deletion-contraction (56 edges after reductions): the frontier engine.
    grid = networkx.grid_2d_graph(6, 6)
    table = velmora.exact(grid)
    assert table.shape == (36, 26)
    assert sum(table.flat) == velmora.spanning_trees(grid)
    value = velmora.exact(grid, -2, 0)  # minus a third of its proper 3-colourings: cancels
    assert type(value) is int and value < 0
    assert value == sum(t * (-2) ** i * 0**j for (i, j), t in numpy.ndenumerate(table))
    for graph, point, limit, words in [
        (networkx.random_regular_graph(3, 400, seed=2), (), 60, "no exact engine answers within 60"),
        (networkx.grid_2d_graph(9, 9), (), 0.01, "more than 0.01 s of work"),
        (DIAMOND, (1, None), 60, "both x and y"),
        (DIAMOND, (math.nan, 1), 60, "finite"),
    ]:
        with pytest.raises((ValueError, TypeError), match=words):
            velmora.exact(graph, *point, max_seconds=limit)


def test_exact_cost_before_a_run():
    cost = velmora.exact_cost(networkx.grid_2d_graph(10, 10), 2, 1)
    assert cost.engine == "frontier" and cost.frontier_width == 11 and cost.frontier_complete
    assert 0 < cost.predicted_seconds < 1 and cost.refusal == ""
    beyond = velmora.exact_cost(networkx.random_regular_graph(3, 2000, seed=1))
    assert beyond.engine is None and beyond.frontier_width == 17
    assert "exceeds 16 vertices in every order tried" in beyond.refusal


def test_values_beyond_a_doubles_range():
    # At B = 1 every sample of T(2, 2) is exactly 2^m: each of the m steps either halves the
    # candidates (weight 2) or meets a bridge or loop (factor 2).
    cubic = networkx.random_regular_graph(3, 3000, seed=5)
    result = velmora.estimate(cubic, 2, 2, samples=3, budget=1, seed=1, method="walk")
    assert isinstance(result.value, decimal.Decimal)
    assert abs(result.value / decimal.Decimal(2) ** 4500 - 1) < 1e-16
    assert result.log10 == pytest.approx(4500 * math.log10(2), abs=1e-9)
    assert result.std_error == 0 and not result.exact
    with pytest.raises(OverflowError):
        float(result)
    assert "E+1354" in repr(result)
    # Coefficient tables beyond the range: T = (x + y)^1100 of a path of 1100 parallel pairs.
    pairs = [(v, v + 1) for v in range(1100) for _ in range(2)]
    tables = velmora.coefficients(pairs, samples=2, budget=1, seed=2)
    assert tables.mean.dtype == object and tables.mean.shape == (2201, 2201)
    reached = [value for value in tables.mean.flat if value != 0]
    assert all(isinstance(value, decimal.Decimal) for value in reached)
    assert abs(sum(reached) / decimal.Decimal(2) ** 1100 - 1) < 1e-15


def test_coefficients_of_small_graphs():
    exact = velmora.coefficients("%s/multigraph.txt" % EXAMPLES, samples=3, budget=UNBOUNDED)
    expected = numpy.zeros((5, 5))
    expected[2, 1] = expected[1, 2] = 1  # T = x^2 y + x y^2
    assert exact.exact and exact.mean.dtype == numpy.float64
    numpy.testing.assert_allclose(exact.mean, expected, atol=1e-12)
    assert not exact.relative_error.any()
    cut = velmora.coefficients(networkx.grid_2d_graph(6, 6), samples=20, budget=1, seed=6)
    assert cut.mean.shape == (61, 61) and not cut.exact
    assert any("RE above" in warning for warning in cut.warnings)


def test_ctrl_c_stops_a_long_estimate_within_a_second():
    # Two million samples of an 8 x 8 grid at B = 64: most of an hour. That a walk stops within
    # its sample is proved in C++ (tests/sample_batch_test.cpp).
    graph, samples, budget = networkx.grid_2d_graph(8, 8), 2_000_000, 64
    signalled = []

    def interrupt():
        signalled.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(0.5, interrupt)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        velmora.estimate(graph, 1, 1, samples=samples, budget=budget, method="walk")
    assert time.monotonic() - signalled[0] < 1


def test_shell_entry_point(tmp_path):
    def run(*arguments):
        return subprocess.run([sys.executable, "-m", "velmora", *arguments],
                              capture_output=True, text=True, timeout=120)

    files = [str(EXAMPLES / "diamond.txt"), str(EXAMPLES / "triangle.txt")]
    done = run(*files, "--x", "2", "--y", "1", "--budget", "1000", "--seed", "5", "--json")
    assert done.returncode == 0, done.stderr
    lines = [json.loads(line) for line in done.stdout.splitlines()]
    assert [line["file"] for line in lines] == files
    assert [line["value"] for line in lines] == pytest.approx([24, 7])
    assert all(line["exact"] and line["seed"] == 5 for line in lines)
    tilted = run(files[0], "--x", "2", "--y", "1", "--method", "reduced", "--tilt", "1.5", "--json")
    assert tilted.returncode == 0 and json.loads(tilted.stdout)["tilt"] == 1.5
    plain = run(files[0], "--x", "0", "--y", "1", "--budget", "1", "--samples", "50")
    assert plain.returncode == 0 and plain.stdout.startswith(f"{files[0]}: T(0, 1) = ")
    missing = run(str(tmp_path / "missing.txt"), "--x", "1", "--y", "1")
    assert missing.returncode == 1 and "missing.txt" in missing.stderr


def test_processes_of_an_mpi_launch_share_the_samples():
    # Two processes started by mpirun give the line one process gives for the same seed; rank
    # 1 prints nothing. Open MPI refuses to run as root unless told twice.
    environment = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
    arguments = [sys.executable, "-m", "velmora", str(BENCH_GRAPHS / "grid8x8.txt"),
                 "--x", "1", "--y", "2", "--samples", "3000", "--seed", "11", "--json"]

    def run(*launcher):
        done = subprocess.run([*launcher, *arguments], capture_output=True, text=True,
                              timeout=300, env=environment)
        assert done.returncode == 0, done.stderr
        (line,) = done.stdout.splitlines()
        return {key: value for key, value in json.loads(line).items() if key != "seconds"}

    assert run("mpirun", "-np", "2", "--oversubscribe") == run()
