#!/usr/bin/env bash
# The growth bench's current default (the pilot's tilt and its choice of the shorted guide)
# against the fitted ratio fitted from that choice: per graph and point one process draws the
# pilot, measures the default, fits and measures the fitted walk, so that the two share the
# pilot's choice and the machine's load. Prints the two rows labelled base and fitted, for
# bench/growth_summary.py; the fit's rounds go to standard error.
#   [FIT_ARGS="--fit-objective cross-entropy"] bench/fit_alternate.sh BIN SECONDS ROUNDS "POINTS" GRAPH...
# e.g. bench/fit_alternate.sh build/bench/velmora_variance_growth 10 2 "1:2 0:2 1:1" \
#        bench/graphs/cubic{100,300,1000}.txt > rows.txt 2> fits.txt
set -euo pipefail
bin=$1 seconds=$2 rounds=$3 points=$4
shift 4
for graph in "$@"; do
  for point in $points; do
    "$bin" --graphs "$graph" --points "$point" --seconds "$seconds" --resistance 1 --radius -1 \
      --guide-by-pilot --fit "$rounds" ${FIT_ARGS:-} | grep -E '^\| (G\(|3-regular|grid)' |
      awk 'NR == 1 { print "base " $0 } NR == 2 { print "fitted " $0 }'
  done
done
