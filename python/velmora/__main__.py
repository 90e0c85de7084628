"""python3 -m velmora FILE... --x X --y Y: estimates of T(x, y) from a shell.

One line per instance file on standard output: a sentence, or with --json one JSON object.
Warnings go to standard error, or with --json into the object. Exit status 0 after
every file was estimated, 1 when one could not be (the reason on standard error), 2 for a
malformed command line, 130 after Ctrl-C.
"""

from __future__ import annotations

import argparse
import decimal
import json
import math
import sys

from . import DEFAULT_REDUCED_BUDGET, DEFAULT_SAMPLES, DEFAULT_WALK_BUDGET, Estimate, estimate, leads


def _arguments(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m velmora",
        description="Estimate the Tutte polynomial T(G; x, y) of each instance file.",
    )
    parser.add_argument("files", nargs="+", metavar="FILE", help="instance file (e u v lines)")
    parser.add_argument("--x", type=float, required=True, help="the point's x (a real number)")
    parser.add_argument("--y", type=float, required=True, help="the point's y (a real number)")
    parser.add_argument(
        "--samples", type=int, default=DEFAULT_SAMPLES,
        help=f"samples to draw (default {DEFAULT_SAMPLES})",
    )
    parser.add_argument(
        "--budget", type=int,
        help=f"nodes kept per depth of the tree (default {DEFAULT_REDUCED_BUDGET} for the "
        f"methods auto and reduced, {DEFAULT_WALK_BUDGET} for walk)",
    )
    parser.add_argument(
        "--method", choices=("auto", "walk", "reduced", "exact"), default="auto",
        help="how the value is computed (default auto)",
    )
    parser.add_argument(
        "--tilt", type=float,
        help="the reduced walk's tilt, a positive number (default: chosen by a pilot)",
    )
    parser.add_argument("--seed", type=int, help="the run's seed (default: from the clock)")
    parser.add_argument("--cores", type=int, help="at most this many threads (default: all)")
    parser.add_argument("--json", action="store_true", help="one JSON object per file")
    return parser.parse_args(argv)


def _json_number(value):
    """A JSON number where a float holds the value, its decimal text beyond; null for nan."""
    if isinstance(value, decimal.Decimal):
        return str(value)
    return value if math.isfinite(value) else None


def _json_line(file: str, result: Estimate) -> str:
    return json.dumps(
        {
            "file": file,
            "x": result.x,
            "y": result.y,
            "value": _json_number(result.value),
            "std_error": _json_number(result.std_error),
            "relative_error": _json_number(result.relative_error),
            "log10": _json_number(result.log10),
            "samples": result.samples,
            "budget": result.budget,
            "method": result.method,
            "engine": result.engine,
            "tilt": result.tilt,
            "seed": result.seed,
            "nodes": result.nodes,
            "seconds": result.seconds,
            "exact": result.exact,
            "warnings": result.warnings,
        }
    )


def _sentence(file: str, result: Estimate) -> str:
    tilt = "" if result.tilt is None else f" tilt {result.tilt:.3g},"
    if result.engine is not None:
        tilt = f" {result.engine},"
    return (
        f"{file}: T({result.x:g}, {result.y:g}) = {result.value:.6g} (std error "
        f"{result.std_error:.3g}, RE {result.relative_error:.3g}; {result.method},{tilt} "
        f"N = {result.samples}, B = {result.budget}, seed {result.seed}, "
        f"{result.seconds:.3g} s)"
    )


def main(argv=None) -> int:
    arguments = _arguments(argv)
    status = 0
    for file in arguments.files:
        try:
            result = estimate(
                file, arguments.x, arguments.y, samples=arguments.samples,
                budget=arguments.budget, method=arguments.method, seed=arguments.seed,
                cores=arguments.cores, tilt=arguments.tilt,
            )
        except (OSError, ValueError, TypeError, MemoryError) as error:
            if leads():
                print(f"velmora: {file}: {error}", file=sys.stderr)
            status = 1
            continue
        # Under an MPI launcher every process holds the same result; rank 0 prints it.
        if not leads():
            continue
        if arguments.json:
            print(_json_line(file, result), flush=True)
        else:
            print(_sentence(file, result), flush=True)
            for warning in result.warnings:
                print(warning, file=sys.stderr)
    return status


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
