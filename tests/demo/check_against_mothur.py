#!/usr/bin/env python3
"""readtally's rank tables on the sample data against mothur's own summary.

mothur wrote reads.reference.wang.tax.summary from the same classification
run: one row per node of its taxonomy tree with the number of reads under it.
Every taxon that readtally counts at a rank must have the count mothur gives
it at that level, and the unassigned row must hold the reads that mothur
placed at no real taxon of that level (its "..._unclassified" nodes and the
reads it could not place at all).
"""
import argparse
import os
import shutil
import subprocess
import sys

# mothur's level of each rank, with readtally's table and the rank prefix.
LEVELS = [(2, "phylum.txt", "p__"), (3, "class.txt", "c__"), (4, "order.txt", "o__"),
          (5, "family.txt", "f__"), (6, "genus.txt", "g__"), (8, "otu.txt", "u__")]


def read_table(path):
    with open(path, encoding="utf-8") as f:
        return [tuple(line.rstrip("\n").split("\t")) for line in f]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--readtally", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()

    shutil.rmtree(args.scratch, ignore_errors=True)
    os.makedirs(args.scratch)
    classification = os.path.join(args.data, "reads.reference.wang.taxonomy")
    subprocess.run([args.readtally, classification], cwd=args.scratch, check=True)

    summary = read_table(os.path.join(args.data, "reads.reference.wang.tax.summary"))[1:]
    total_reads = int(next(row[4] for row in summary if row[0] == "0"))
    failures = []
    for level, table, prefix in LEVELS:
        expected = {row[2][len(prefix):]: int(row[4]) for row in summary
                    if row[0] == str(level) and row[2].startswith(prefix) and not row[2].endswith("_unclassified")}
        rows = read_table(os.path.join(args.scratch, table))
        if rows[-1][0] != "unassigned":
            failures.append(f"{table}: the last row is not the unassigned row")
            continue
        counted = {key: int(value) for key, value in rows[:-1]}
        if counted != expected:
            missing = sorted(set(expected) - set(counted))[:5]
            extra = sorted(set(counted) - set(expected))[:5]
            wrong = sorted(k for k in set(counted) & set(expected) if counted[k] != expected[k])[:5]
            failures.append(f"{table}: missing {missing}, not in mothur's summary {extra}, other counts {wrong}")
        unassigned = int(rows[-1][1])
        if unassigned != total_reads - sum(expected.values()):
            failures.append(f"{table}: unassigned {unassigned}, mothur leaves "
                            f"{total_reads - sum(expected.values())} reads without a taxon of this rank")
    for failure in failures:
        print(failure)
    if not failures:
        print(f"{len(LEVELS)} ranks agree with mothur's summary of {total_reads} reads")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
