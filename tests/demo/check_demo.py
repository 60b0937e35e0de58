#!/usr/bin/env python3
"""Runs examples/demo.sh on the sample data with the programs of one build and
checks that the tables of the whole tool chain agree with each other and with
the sample data.

The demo gets the build through AT_BIN_DIR, so it builds nothing itself and
the programs under test (release, asan, clang, ...) are the ones that run.
"""
import argparse
import json
import math
import os
import shutil
import subprocess
import sys

PROGRAMS = ["readtally", "refspread", "rankroll", "strayreads", "lineagetree", "sharescale"]
RANK_TABLES = ["species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt"]
ROLLUP_TABLES = ["fullLineage.txt"] + RANK_TABLES

# Every file the demo leaves, and nothing else (a temporary file left behind
# by a program would show up here). The marker says the folder is the demo's.
EXPECTED_FILES = sorted(
    [".amplicon-tally-demo", "otu.txt", "fullLineage.txt"] + RANK_TABLES
    + ["otu_reflowONE.txt", "otu_reflowMANY.txt", "unclassified.fasta", "taxonomy.json", "normalized.txt"]
    + [f"rankroll-{variant}/{name}" for variant in ("ONE", "MANY") for name in ROLLUP_TABLES])


class Checks:
    def __init__(self):
        self.failures = []

    def that(self, holds, message):
        if not holds:
            self.failures.append(message)
        return holds


def rows(path):
    """The rows of a two-column table as (key, value text) pairs."""
    with open(path, encoding="utf-8", newline="\n") as f:
        return [tuple(line.rstrip("\n").split("\t", 1)) for line in f if line != "\n"]


def whole_sum(path):
    return sum(int(value) for _, value in rows(path))


def real_sum(path):
    return sum(float(value) for _, value in rows(path))


def keys(path):
    return {key for key, _ in rows(path)}


def classification_lines(path):
    """(read ID, lineage tokens) of each line of the classification file."""
    lines = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line:
                read_id, _, lineage = line.partition("\t")
                lines.append((read_id, [token for token in lineage.split(";") if token]))
    return lines


def counted_tokens_per_rank(tokens):
    """How many tokens of each rank letter a line holds once the markers of
    ranks below the cutoff and of unplaced reads are left out."""
    ranks = {}
    for token in tokens:
        label = token.split("(", 1)[0]
        if "unclassified" in token or label == "unknown":
            continue
        ranks[token[0]] = ranks.get(token[0], 0) + 1
    return ranks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--demo", required=True, help="examples/demo.sh")
    parser.add_argument("--data", required=True, help="examples/data")
    parser.add_argument("--bin-dir", required=True, help="the build tree whose programs run")
    parser.add_argument("--out", required=True, help="scratch folder for the demo's outputs")
    args = parser.parse_args()

    if os.path.lexists(args.out):
        shutil.rmtree(args.out)
    env = dict(os.environ, AT_BIN_DIR=args.bin_dir)
    result = subprocess.run(["bash", args.demo, args.out], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=600)
    if result.returncode != 0 or result.stderr:
        print(f"demo.sh failed with status {result.returncode}\n--- stdout\n{result.stdout}"
              f"\n--- stderr\n{result.stderr}")
        return 1

    check = Checks()
    out = args.out

    def path(name):
        return os.path.join(out, name)

    left = sorted(os.path.relpath(os.path.join(root, name), out)
                  for root, _, files in os.walk(out) for name in files)
    check.that(left == EXPECTED_FILES, f"files left by the demo: {left}")
    if check.failures:
        print("\n".join(check.failures))
        return 1

    reads = classification_lines(os.path.join(args.data, "reads.reference.wang.taxonomy"))
    read_count = len(reads)
    check.that(read_count == 300, f"{read_count} reads in the sample classification, expected 300")
    no_otu_ids = {read_id for read_id, tokens in reads if not any(t.startswith("u__") for t in tokens)}

    # What the demo tells the user.
    check.that(f"reads counted:            {read_count}\n" in result.stdout,
               "the summary does not give the number of reads")
    check.that(f"reads with no OTU:        {len(no_otu_ids)} " in result.stdout,
               "the summary does not give the number of reads with no OTU")
    check.that("Building" not in result.stdout, "the demo built the programs instead of using AT_BIN_DIR")

    # readtally: every read falls under one full lineage; every rank table,
    # unassigned row included, counts each read once while no read holds two
    # counted tokens of one rank, which the sample data guarantees.
    check.that(whole_sum(path("fullLineage.txt")) == read_count,
               f"fullLineage.txt adds up to {whole_sum(path('fullLineage.txt'))}, not {read_count}")
    for letter, table in [("u", "otu.txt"), ("s", "species.txt"), ("g", "genus.txt"), ("f", "family.txt"),
                          ("o", "order.txt"), ("c", "class.txt"), ("p", "phylum.txt")]:
        doubled = [read_id for read_id, tokens in reads if counted_tokens_per_rank(tokens).get(letter, 0) > 1]
        if check.that(not doubled, f"reads with two counted '{letter}' tokens: {doubled[:3]}"):
            total = whole_sum(path(table))
            check.that(total == read_count, f"{table} adds up to {total}, not {read_count}")
    otu_unassigned = dict(rows(path("otu.txt"))).get("unassigned")
    check.that(otu_unassigned == str(len(no_otu_ids)),
               f"otu.txt unassigned row {otu_unassigned}, expected {len(no_otu_ids)} reads without OTU")

    # refspread: whole counts keep the total of otu.txt, percentages make 100.
    otu_total = whole_sum(path("otu.txt"))
    one_total = whole_sum(path("otu_reflowONE.txt"))
    check.that(one_total == otu_total, f"otu_reflowONE.txt adds up to {one_total}, otu.txt to {otu_total}")
    many_total = real_sum(path("otu_reflowMANY.txt"))
    check.that(abs(many_total - 100) <= 0.01, f"otu_reflowMANY.txt adds up to {many_total}, not 100")

    # rankroll: every mapped-back reference id has one lineage in the sample
    # taxonomy, so each phylum table with its unassigned row gives back the
    # total it was rolled up from (single-precision sums: a relative 1e-5).
    rolled_one = real_sum(path("rankroll-ONE/phylum.txt"))
    check.that(math.isclose(rolled_one, one_total, rel_tol=1e-5),
               f"rankroll-ONE/phylum.txt adds up to {rolled_one}, otu_reflowONE.txt to {one_total}")
    rolled_many = real_sum(path("rankroll-MANY/phylum.txt"))
    check.that(abs(rolled_many - many_total) <= 0.01,
               f"rankroll-MANY/phylum.txt adds up to {rolled_many}, otu_reflowMANY.txt to {many_total}")
    # The roll-up tables are rankroll's own, not readtally's left in place.
    check.that(keys(path("rankroll-ONE/fullLineage.txt")) != keys(path("fullLineage.txt")),
               "rankroll-ONE/fullLineage.txt holds readtally's lineages")

    # strayreads: the record of each read without an OTU token, its header
    # cut to the read ID and all its sequence lines (the sample is wrapped).
    def records(fasta_path):
        found = []
        with open(fasta_path, encoding="utf-8") as f:
            for line in f.read().splitlines():
                if line.startswith(">"):
                    found.append([line[1:].split(" ")[0]])
                elif found:
                    found[-1].append(line)
        return found
    written = records(path("unclassified.fasta"))
    sample = {record[0]: record for record in records(os.path.join(args.data, "reads.fasta"))}
    check.that(len(written) == 64, f"unclassified.fasta holds {len(written)} records, expected 64")
    check.that({record[0] for record in written} == no_otu_ids
               and all(record == sample[record[0]] for record in written),
               "unclassified.fasta is not the whole record of each read without OTU")

    # lineagetree: a JSON tree whose top level is the phyla readtally counted
    # (every sample read that reaches a phylum has a token after it).
    try:
        with open(path("taxonomy.json"), encoding="utf-8") as f:
            tree = json.load(f)
    except ValueError as error:
        check.that(False, f"taxonomy.json is not valid JSON: {error}")
    else:
        phyla = keys(path("phylum.txt")) - {"unassigned"}
        check.that(tree.get("name") == "taxonomy", "taxonomy.json: the root is not named taxonomy")
        def reads(node):
            return node["size"] if "size" in node else sum(reads(child) for child in node["children"])
        # Each phylum's subtree holds exactly its reads, so the leaves add up
        # to the reads with a phylum.
        in_tree = {child["name"]: reads(child) for child in tree.get("children", [])}
        in_table = {key: int(value) for key, value in rows(path("phylum.txt")) if key != "unassigned"}
        check.that(in_tree == in_table, f"taxonomy.json: phylum totals {in_tree}, phylum.txt {in_table}")

    # sharescale: phylum.txt as percentages.
    normalized_total = real_sum(path("normalized.txt"))
    check.that(abs(normalized_total - 100) <= 0.01, f"normalized.txt adds up to {normalized_total}, not 100")
    check.that(keys(path("normalized.txt")) == keys(path("phylum.txt")),
               "normalized.txt does not hold the keys of phylum.txt")

    if check.failures:
        print("\n".join(check.failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
