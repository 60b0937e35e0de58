#!/usr/bin/env bash
# Runs the tool chain on the bundled sample data (300 reads classified by
# mothur) in a fresh output folder, building the programs first if needed.
#   examples/demo.sh [OUTPUT_FOLDER]      (default: out/demo)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data="$top/examples/data"
out=${1:-$top/out/demo}
bin="$top/build/release"

cmake --preset release -S "$top" >/dev/null
cmake --build "$bin" >/dev/null

rm -rf "$out"
mkdir -p "$out"
cd "$out"

"$bin/readtally/readtally" "$data/reads.reference.wang.taxonomy"

reads=$(awk -F'\t' '{ total += $2 } END { print total }' fullLineage.txt)
echo "readtally: $reads reads counted"
echo
echo "Most abundant phyla (reads):"
grep -v '^unassigned	' phylum.txt | sort -t$'\t' -k2,2nr | head -n 10 | awk -F'\t' '{ printf "  %-28s %6d\n", $1, $2 }'

"$bin/strayreads/strayreads" "$data/reads.reference.wang.taxonomy" "$data/reads.fasta"
echo "strayreads: $(grep -c '^>' unclassified.fasta) reads without an OTU in unclassified.fasta"

"$bin/sharescale/sharescale" phylum.txt
echo "sharescale: phylum.txt as percentages in normalized.txt"
echo
echo "Tables written in $out:"
ls -1 "$out" | sed 's/^/  /'
