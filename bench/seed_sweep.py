"""Runs of one estimate over many seeds and sample counts, set beside a reference value.

    PYTHONPATH=build/python /usr/bin/python3 bench/seed_sweep.py GRAPH.txt --x 1 --y 1 \
        --samples 1000,10000,100000 --seeds 1-20 [--method reduced] [--reference V]

One line per run: the estimate over the reference, its RE, how many standard errors it is off,
the tilt, the seconds (pilot included), the work to an RE of 1% (seconds x (RE / 0.01)^2),
the number of warnings and their first words. The reference is the number of spanning
trees at (1, 1), otherwise --reference. The last lines count the runs more than 5 standard
errors off without a warning, and the warned runs that were within 5.
"""

import argparse
import math
import sys

import velmora


def seeds_of(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("graph")
    parser.add_argument("--x", type=float, default=1.0)
    parser.add_argument("--y", type=float, default=1.0)
    parser.add_argument("--samples", default="1000,10000,100000")
    parser.add_argument("--seeds", default="1-20")
    parser.add_argument("--method", default="reduced")
    parser.add_argument("--reference", type=float)
    parser.add_argument("--cores", type=int)
    options = parser.parse_args()
    reference = options.reference
    if reference is None and options.x == 1 and options.y == 1:
        reference = float(velmora.spanning_trees(options.graph))
    missed = false_alarms = runs = 0
    print(f"{'N':>7} {'seed':>4} {'est/ref':>9} {'RE':>7} {'off SE':>8} {'tilt':>6} {'s':>7} "
          f"{'s to 1%':>9} warnings")
    for samples in [int(n) for n in options.samples.split(",")]:
        for seed in seeds_of(options.seeds):
            result = velmora.estimate(options.graph, options.x, options.y,
                                      method=options.method, samples=samples, seed=seed,
                                      cores=options.cores)
            value, error = float(result.value), float(result.std_error)
            ratio = value / reference if reference else math.nan
            off = (value - reference) / error if reference and error > 0 else math.nan
            warned = len(result.warnings)
            kinds = "; ".join(w.split(":")[2].strip()[:40] if w.count(":") > 1 else w[:40]
                              for w in result.warnings)
            tilt = result.tilt if result.tilt is not None else math.nan
            relative = float(result.relative_error)
            work = result.seconds * (relative / 0.01) ** 2
            print(f"{samples:>7} {seed:>4} {ratio:>9.3g} {relative:>7.3g} {off:>8.3g} {tilt:>6.3g} "
                  f"{result.seconds:>7.3g} {work:>9.3g} {warned} {kinds}", flush=True)
            runs += 1
            if reference and abs(off) > 5 and not warned:
                missed += 1
            if reference and abs(off) <= 5 and warned:
                false_alarms += 1
    if reference:
        print(f"# {runs} runs: {missed} more than 5 standard errors off without a warning, "
              f"{false_alarms} warned within 5")
    return 0


if __name__ == "__main__":
    sys.exit(main())
