#!/usr/bin/env bash
# Runs the growth bench of two builds cell by cell, one after the other, so that their figures
# share the machine's load; prints each cell's row after its build's label.
#   bench/growth_alternate.sh BASE_BIN "BASE_ARGS" NEW_BIN "NEW_ARGS" FAMILY "SIZES" "POINTS" SECONDS
# e.g. bench/growth_alternate.sh base/velmora_variance_growth "" \
#        build/bench/velmora_variance_growth "--resistance 1 --radius -1 --guide-by-pilot" \
#        dense "50 100 150" "2:1 2:0 1:1" 10 | python3 bench/growth_summary.py /dev/stdin
set -euo pipefail
base=$1 baseArgs=$2 new=$3 newArgs=$4 family=$5 sizes=$6 points=$7 seconds=$8
cell() {  # label binary args size point
  local row
  # shellcheck disable=SC2086
  row=$("$2" --families "$family" --smallest "$4" --largest "$4" --points "$5" \
    --seconds "$seconds" $3 2>/dev/null | grep -E '^\| (G\(|3-regular|grid)' | head -1)
  echo "$1 $row"
}
for size in $sizes; do
  for point in $points; do
    cell base "$base" "$baseArgs" "$size" "$point"
    cell new "$new" "$newArgs" "$size" "$point"
  done
done
