#!/usr/bin/env bash
# Runs the whole tool chain on the bundled sample data (300 16S reads that
# mothur classified) in a fresh output folder, building the programs first if
# needed, and prints a short summary.
#
#   examples/demo.sh [OUTPUT_FOLDER]        (default: out/demo)
#
# With AT_BIN_DIR set, nothing is built: the programs are taken from that
# folder (a build tree such as build/asan, or a folder holding the programs,
# such as an install's bin/). The tests run the demo this way.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data="$top/examples/data"
out=${1:-$top/out/demo}
# The demo writes only into a folder of its own: a new or empty one, or one an
# earlier demo run made (it holds the marker file). Anything else is refused,
# so that a mistyped argument never touches a user's files.
marker=.amplicon-tally-demo
if [ -d "$out" ] && [ ! -e "$out/$marker" ] && [ -n "$(ls -A "$out")" ]; then
    echo "demo.sh: $out is not empty and not an earlier demo folder; give a new folder" >&2
    exit 1
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
programs=(readtally refspread rankroll strayreads lineagetree sharescale)

if [ -n "${AT_BIN_DIR:-}" ]; then
    bin=$(cd "$AT_BIN_DIR" && pwd)
    echo "Using the programs in $bin"
    for program in "${programs[@]}"; do
        for candidate in "$bin/$program/$program" "$bin/$program" ""; do
            [ -f "$candidate" ] && [ -x "$candidate" ] && break
        done
        if [ -z "$candidate" ]; then
            echo "demo.sh: no $program in $bin" >&2
            exit 1
        fi
    done
else
    # Only the six programs are built (no tests), in a preset of their own that
    # compiles each target as one unit, so that shared headers are read once.
    bin="$top/build/demo"
    echo "Building the programs (demo preset, $bin):"
    if [ ! -f "$bin/build.ninja" ]; then
        cmake --preset demo -S "$top" >/dev/null
    fi
    cmake --build "$bin"
    echo
fi
PATH="$bin:$PATH"
for program in "${programs[@]}"; do PATH="$bin/$program:$PATH"; done

cd "$out"
touch "$marker"
# Only what the demo itself writes is removed, so every run starts afresh.
tables=(otu.txt species.txt genus.txt family.txt order.txt class.txt phylum.txt fullLineage.txt)
rm -f "${tables[@]}" otu_reflowONE.txt otu_reflowMANY.txt unclassified.fasta taxonomy.json normalized.txt
for folder in rankroll-ONE rankroll-MANY; do
    [ -d "$folder" ] && (cd "$folder" && rm -f "${tables[@]}")
done

classification="$data/reads.reference.wang.taxonomy"
step() { printf '  $ %s\n' "$*"; "$@"; }

echo "Running the tool chain in $out:"
step readtally "$classification"
step refspread otu.txt "$data/mapping_matrix.txt"
# rankroll writes tables of the same names as readtally: each run gets its own folder.
step rankroll -o rankroll-ONE otu_reflowONE.txt "$data/gg_taxonomy_spaced.txt"
step rankroll -o rankroll-MANY otu_reflowMANY.txt "$data/gg_taxonomy_spaced.txt"
step strayreads "$classification" "$data/reads.fasta"
step lineagetree "$classification"
step sharescale phylum.txt

reads=$(awk -F'\t' '{ total += $2 } END { print total }' fullLineage.txt)
no_otu=$(grep -c '^>' unclassified.fasta || true)

# The ten largest rows of a rank table but its unassigned row, with their
# share of all reads: from sharescale's normalized.txt where one is given,
# worked out here otherwise.
top_ten() {  # table reads [percentages]
    grep -v '^unassigned	' "$1" | sort -t$'\t' -k2,2nr -k1,1 | head -n 10 |
        awk -F'\t' -v reads="$2" -v shares="${3:-}" '
            BEGIN { if (shares != "") while ((getline row < shares) > 0) { split(row, f, "\t"); pct[f[1]] = f[2] } }
            { share = (shares != "") ? pct[$1] : 100 * $2 / reads
              printf "    %-32s %6d  %6.2f%%\n", $1, $2, share }'
}

cat <<SUMMARY

Summary
  reads counted:            $reads
  reads with no OTU:        $no_otu (written to unclassified.fasta)
  reads with no phylum:     $(awk -F'\t' '$1 == "unassigned" { print $2 }' phylum.txt)

  Ten most abundant phyla (reads, share of all reads):
$(top_ten phylum.txt "$reads" normalized.txt)

  Ten most abundant genera:
$(top_ten genus.txt "$reads")

Files written
  $out/
    readtally:    otu.txt species.txt genus.txt family.txt order.txt class.txt
                  phylum.txt fullLineage.txt
    refspread:    otu_reflowONE.txt otu_reflowMANY.txt
    strayreads:   unclassified.fasta
    lineagetree:  taxonomy.json
    sharescale:   normalized.txt (phylum.txt as percentages)
  $out/rankroll-ONE/
    rankroll:     fullLineage.txt and six rank tables of the whole mapped-back counts
  $out/rankroll-MANY/
    rankroll:     the same of the mapped-back percentages
SUMMARY
