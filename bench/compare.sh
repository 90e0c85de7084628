#!/usr/bin/env bash
# Builds two commits side by side and runs the whole-run table on both, in one go, so that the
# figures are comparable on a noisy machine.
#   bench/compare.sh BASE_COMMIT [NEW_COMMIT=HEAD] [case-file]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && git rev-parse --show-toplevel)
base=${1:?usage: bench/compare.sh BASE_COMMIT [NEW_COMMIT] [case-file]}
new=${2:-HEAD}
cases=${3:-$here/cases.txt}
work=$(mktemp -d)
trap 'git -C "$repo" worktree remove --force "$work/base" >/dev/null 2>&1 || true;
      git -C "$repo" worktree remove --force "$work/new" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

build() {
  git -C "$repo" worktree add --detach "$work/$1" "$2" >/dev/null 2>&1
  cmake -S "$work/$1" -B "$work/$1/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$work/$1/build" --target velmora >/dev/null
}

build base "$base"
build new "$new"
echo "base: $(git -C "$repo" rev-parse --short "$base")   new: $(git -C "$repo" rev-parse --short "$new")"
# One after the other: runs side by side would share the cores and skew every multi-core figure.
"$here/run.sh" "$work/base/build/velmora" "$cases" >"$work/base.txt"
"$here/run.sh" "$work/new/build/velmora" "$cases" | awk '{print $6, $7}' >"$work/new.txt"
paste "$work/base.txt" "$work/new.txt" |
  awk 'NR == 1 { printf "%-12s %-7s %6s %7s %6s %14s %10s %14s %10s %9s %9s\n", "graph", "mode", "B",
                      "N", "mcore", "base s/sample", "base MiB", "new s/sample", "new MiB",
                      "speed-up", "mem ratio"; next }
       { printf "%-12s %-7s %6s %7s %6s %14.6g %10.1f %14.6g %10.1f %9.2f %9.2f\n", $1, $2, $3,
                $4, $5, $6, $7, $8, $9, $6 / $8, $7 / $9 }'
