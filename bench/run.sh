#!/usr/bin/env bash
# The benchmark, one command from a clean clone:
#   bench/run.sh [PROGRAM ...]          (default: all six; unbuilt ones are skipped)
# Builds the release preset (when needed), generates the inputs once into a
# folder outside the repository, then times each program against `wc -l` on
# the same input and prints a table for the README.
#
# Environment:
#   BENCH_DATA   input folder (default /work/tmp/bench-data, else $TMPDIR/bench-data);
#                about 3.5 GB at scale 1
#   BENCH_SCALE  size of the inputs (default 1: ~1.2 GB classification files)
#   BENCH_RUNS   timed runs per program after the warm-up (default 5)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -n "${BENCH_DATA:-}" ]; then
  data=$BENCH_DATA
elif [ -d /work/tmp ] && [ -w /work/tmp ]; then
  data=/work/tmp/bench-data
else
  data=${TMPDIR:-/tmp}/bench-data
fi
scale=${BENCH_SCALE:-1}
runs=${BENCH_RUNS:-5}
build="$top/build/release"

mkdir -p "$data"
data=$(cd "$data" && pwd)
case "$data/" in
  "$top"/*) echo "run.sh: BENCH_DATA must be outside the repository ($data)" >&2; exit 2 ;;
esac

echo "== build (release preset)" >&2
log="$data/build.log"
if ! { { [ -f "$build/build.ninja" ] || cmake --preset release -S "$top"; } && cmake --build "$build"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed" >&2
  exit 1
fi

measure="$build/bench-tools/bench-measure"
if [ ! -x "$measure" ] || [ "$top/bench/measure.cpp" -nt "$measure" ]; then
  mkdir -p "$(dirname "$measure")"
  "${CXX:-c++}" -O2 -Wall -Wextra -o "$measure" "$top/bench/measure.cpp"
fi

echo "== inputs in $data (scale $scale; made once, kept for later runs)" >&2
python3 "$top/bench/generate.py" --out "$data" --scale "$scale"

echo "== timing" >&2
python3 "$top/bench/bench.py" --bin "$build" --data "$data" --measure "$measure" --runs "$runs" \
  --results "$data/results.json" "$@"
