#!/usr/bin/env bash
# Whole-run timing: runs the velmora binary on the fixed benchmark instances and prints one
# table row per case: graph, mode, B, N, mcore, seconds per sample, peak memory.
#   bench/run.sh [path/to/velmora] [case-file]
# A case file holds lines "graph mode B N mcore" (mode: point or normal); '#' starts a comment.
# Seconds per sample come from the tool's own average experiment time (file reading excluded)
# divided by N; peak memory is the maximum resident set size of the whole process.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-$here/../build/velmora}
cases=${2:-$here/cases.txt}

command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)" >&2; exit 1; }

printf '%-12s %-7s %6s %7s %6s %16s %14s\n' graph mode B N mcore seconds/sample "peak MiB"
grep -vE '^\s*(#|$)' "$cases" | while read -r graph mode budget samples mcore; do
  if [ "$mode" = point ]; then
    point=(--x 2 --y 0 --trancation 1)
  else
    point=(--x 2 --y 1 --verb 0)
  fi
  output=$(/usr/bin/time -f 'PEAK_KB %M' "$binary" --problem "$here/graphs/$graph.txt" \
    --B "$budget" --N "$samples" --mcore "$mcore" --expnum 1 "${point[@]}" 2>&1)
  seconds=$(sed -n 's/^AVERAGE CPU TIME: *\([^ ]*\) (sec)$/\1/p' <<<"$output")
  peak_kb=$(sed -n 's/^PEAK_KB //p' <<<"$output")
  awk -v g="$graph" -v m="$mode" -v b="$budget" -v n="$samples" -v c="$mcore" \
      -v s="$seconds" -v k="$peak_kb" \
      'BEGIN { printf "%-12s %-7s %6s %7s %6s %16.6g %14.1f\n", g, m, b, n, c, s / n, k / 1024 }'
done
