#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes each program's core in turn, one target
# at a time, for SECONDS each (default 60), starting from a seed corpus made
# of the tests' inputs (fuzz/seed_corpus.py). Inputs found to add coverage
# are kept in build/fuzz/corpus/PROGRAM/ for the next run; a finding (crash,
# sanitizer report, timeout, out of memory) is written to
# build/fuzz/findings/PROGRAM/ and makes the script fail once every target
# has run. Each target's whole output goes to build/fuzz/logs/PROGRAM.log;
# its closing statistics, or the end of the report of a finding, are shown.
#
# Usage: fuzz/run.sh [SECONDS [PROGRAM...]]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(readtally refspread rankroll strayreads lineagetree sharescale)

cmake --preset fuzz
cmake --build --preset fuzz

build=build/fuzz
failed=()
for program in "${programs[@]}"; do
  seeds=$build/seeds/$program
  corpus=$build/corpus/$program
  findings=$build/findings/$program
  log=$build/logs/$program.log
  rm -rf "$seeds"
  python3 fuzz/seed_corpus.py "$program" "$seeds"
  mkdir -p "$corpus" "$findings" "$build/logs"
  echo "== fuzz_$program for ${seconds} s"
  # A unit slower than 10 s or a run above 2 GB is a finding too.
  if ! "$build/fuzz/fuzz_$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -dict=fuzz/taxonomy.dict -artifact_prefix="$findings/" -print_final_stats=1 \
       "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    failed+=("$program")
  else
    grep -E '^(Done|stat::)' "$log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs under $build/findings/)" >&2
  exit 1
fi
echo "fuzzing: ${#programs[@]} targets ran ${seconds} s each without a finding"
