#!/usr/bin/env python3
"""How large a graph each kind of evaluation reaches at 1% relative error in a minute.

For square grids, random 3-regular graphs and complete graphs of growing size, and for each
kind of point, runs the tool (on all cores) for a few seconds at a few budgets, and predicts the
time to RE 0.01 from the pilot: RE falls as 1 / sqrt(N), so time(1%) = t * (RE / 0.01)^2. A
pilot that warned that its estimate cannot be trusted (standard error) counts as not reachable
at that budget, whatever its RE; a pilot in which the budget never cut is exact. Normal mode
runs estimate every coefficient as well; only the point's figures count here. Prints, per
family and point, the largest size reachable in 60 s and the budget that reached it.

    bench/reach.py [path/to/velmora] [seconds per pilot]
"""
import math
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_graphs import grid, random_cubic  # noqa: E402

BINARY = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "build", "velmora")
PILOT_SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 3.0
BUDGETS = [1, 16, 256]
LIMIT_SECONDS = 60.0
TARGET_RE = 0.01

POINTS = {
    "T(1,1)": ["--x", "1", "--y", "1", "--verb", "0"],
    "T(2,1)": ["--x", "2", "--y", "1", "--verb", "0"],
    "T(1,2)": ["--x", "1", "--y", "2", "--verb", "0"],
    "T(2,0) truncated": ["--x", "2", "--y", "0", "--trancation", "1"],
    "T(0,2) truncated": ["--x", "0", "--y", "2", "--trancation", "1"],
}


def complete(n):
    return [(u, v) for u in range(n) for v in range(u + 1, n)]


def families():
    rng = random.Random(20261208)
    yield "grid k x k", [(f"{k}x{k}", list(grid(k, k))) for k in range(4, 13)]
    yield "random 3-regular", [(f"n={n}", random_cubic(n, rng)) for n in (20, 40, 60, 80, 100,
                                                                            140, 200)]
    yield "complete K_n", [(f"K{n}", complete(n)) for n in range(5, 15)]


def run(path, budget, samples, point):
    command = [BINARY, "--problem", path, "--B", str(budget), "--N", str(samples),
               "--expnum", "1"] + POINTS[point]
    done = subprocess.run(command, capture_output=True, text=True, timeout=600)
    found = re.search(r"Point estimator: +(\S+) RE:? (\S+)", done.stdout)
    seconds = float(re.search(r"AVERAGE CPU TIME: +(\S+)", done.stdout).group(1))
    # Only the warnings about the point count here (normal mode also counts imprecise
    # coefficients, which a point estimate does not rest on).
    warned = any(line.startswith("Warning:") and "T(" in line for line in done.stderr.splitlines())
    return float(found.group(2)), seconds, warned


def predicted_seconds(path, budget, point):
    """Seconds to RE 0.01 at this budget, or None when the pilot cannot be trusted."""
    samples = 16
    while True:
        re_, seconds, warned = run(path, budget, samples, point)
        if seconds >= PILOT_SECONDS or samples >= 1 << 22 or seconds * 16 > 2 * LIMIT_SECONDS:
            break
        samples = max(samples * 2, int(samples * PILOT_SECONDS / max(seconds, 1e-4)))
    if re_ == 0.0 and not warned:
        return seconds  # exact: the budget never cut
    if warned or not math.isfinite(re_) or re_ <= 0.0:
        return None
    # At least the 100 samples the effective-sample-size check asks for.
    return seconds / samples * max(samples * (re_ / TARGET_RE) ** 2, 100)


def main():
    with tempfile.TemporaryDirectory() as directory:
        for family, graphs in families():
            for point in POINTS:
                reached = "none"
                for name, edges in graphs:
                    path = os.path.join(directory, name + ".txt")
                    with open(path, "w") as out:
                        out.writelines(f"e {u} {v}\n" for u, v in edges)
                    best = None
                    for budget in BUDGETS:
                        seconds = predicted_seconds(path, budget, point)
                        if seconds is not None and (best is None or seconds < best[0]):
                            best = (seconds, budget)
                    if best is None or best[0] > LIMIT_SECONDS:
                        break
                    reached = f"{name} ({len(edges)} edges, B={best[1]}, {best[0]:.3g} s)"
                print(f"{family:18} {point:18} {reached}", flush=True)


if __name__ == "__main__":
    main()
