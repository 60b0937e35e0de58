#!/usr/bin/env python3
"""readtally's rank tables on the sample data against mothur's own summaries.

mothur wrote reads.reference.wang.tax.summary from the same classification
run: one row per node of its taxonomy tree with the number of reads under it.
Every taxon that readtally counts at a rank must have the count mothur gives
it at that level, and the unassigned row must hold the reads that mothur
placed at no real taxon of that level (its "..._unclassified" nodes and the
reads it could not place at all).

groups/ holds mothur's summaries of the same run weighted by a count table
(count=) and split by a group file (group=): a total and one column per
sample for each node. readtally --count (with the table in its compressed
and its plain form) and --groups must give those totals in X.txt and those
columns in X.samples.txt. Then, on the weighted run, lineagetree --count's
leaf sizes must add up to the weighted reads that reached a phylum, and
sharescale --columns must give each sample column a sum of 100.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

# mothur's level of each rank, with readtally's table and the rank prefix.
LEVELS = [(2, "phylum", "p__"), (3, "class", "c__"), (4, "order", "o__"),
          (5, "family", "f__"), (6, "genus", "g__"), (8, "otu", "u__")]


def read_table(path):
    with open(path, encoding="utf-8") as f:
        return [tuple(line.rstrip("\n").split("\t")) for line in f]


def expected_at(summary, level, prefix):
    """The real taxa of a level: name -> (total, per-sample counts...)."""
    return {row[2][len(prefix):]: tuple(int(v) for v in row[4:]) for row in summary
            if row[0] == str(level) and row[2].startswith(prefix) and not row[2].endswith("_unclassified")}


def compare(name, counted, expected):
    if counted == expected:
        return []
    missing = sorted(set(expected) - set(counted))[:5]
    extra = sorted(set(counted) - set(expected))[:5]
    wrong = sorted(k for k in set(counted) & set(expected) if counted[k] != expected[k])[:5]
    return [f"{name}: missing {missing}, not in mothur's summary {extra}, other counts {wrong}"]


def check_tables(out, summary_path):
    """Each rank table (and, when the summary has sample columns, each
    .samples.txt table) of the run in `out` against a summary."""
    header, *summary = read_table(summary_path)
    samples = list(header[5:])
    root = tuple(int(v) for v in next(row for row in summary if row[0] == "0")[4:])
    failures = []
    for level, table, prefix in LEVELS:
        expected = expected_at(summary, level, prefix)
        unassigned = tuple(r - sum(counts[i] for counts in expected.values()) for i, r in enumerate(root))
        expected["unassigned"] = unassigned
        rows = read_table(os.path.join(out, table + ".txt"))
        if rows[-1][0] != "unassigned":
            failures.append(f"{table}.txt: the last row is not the unassigned row")
        counted = {key: (int(value),) for key, value in rows}
        failures += compare(f"{table}.txt", counted, {key: counts[:1] for key, counts in expected.items()})
        if not samples:
            continue
        wide = read_table(os.path.join(out, table + ".samples.txt"))
        if list(wide[0]) != [table] + samples:
            failures.append(f"{table}.samples.txt: header {wide[0]}, mothur's samples {samples}")
        if [row[0] for row in wide[1:]] != [row[0] for row in rows]:
            failures.append(f"{table}.samples.txt: not the keys of {table}.txt in its order")
        by_sample = {row[0]: tuple(int(v) for v in row[1:]) for row in wide[1:]}
        failures += compare(f"{table}.samples.txt", by_sample, {key: counts[1:] for key, counts in expected.items()})
    return failures, root[0], samples


def leaf_sizes(node):
    return node["size"] if "size" in node else sum(leaf_sizes(child) for child in node["children"])


def run(command, cwd):
    subprocess.run(command, cwd=cwd, check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--readtally", required=True)
    parser.add_argument("--lineagetree", required=True)
    parser.add_argument("--sharescale", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()

    shutil.rmtree(args.scratch, ignore_errors=True)
    os.makedirs(args.scratch)
    classification = os.path.join(args.data, "reads.reference.wang.taxonomy")
    groups = os.path.join(args.data, "groups")
    runs = [("plain", [], "reads.reference.wang.tax.summary"),
            ("count", ["--count", os.path.join(groups, "reads.count_table")], "groups/reads.count.tax.summary"),
            ("plain_count", ["--count", os.path.join(groups, "reads.plain.count_table")],
             "groups/reads.count.tax.summary"),
            ("groups", ["--groups", os.path.join(groups, "reads.groups")], "groups/reads.groups.tax.summary")]
    failures = []
    for name, options, summary in runs:
        run([args.readtally, "-o", name, *options, classification], args.scratch)
        found, reads, samples = check_tables(os.path.join(args.scratch, name), os.path.join(args.data, summary))
        failures += [f"readtally {' '.join(options)}: {failure}" for failure in found]
        print(f"readtally {' '.join(options) or '(no counts)'}: {len(LEVELS)} ranks against {summary}, "
              f"{reads} reads, samples {samples}")

    # The weighted tree holds the weighted reads that reached a phylum.
    out = os.path.join(args.scratch, "count")
    run([args.lineagetree, "-o", out, "--count", os.path.join(groups, "reads.count_table"), classification],
        args.scratch)
    with open(os.path.join(out, "taxonomy.json"), encoding="utf-8") as f:
        sizes = leaf_sizes(json.load(f))
    phylum_rows = read_table(os.path.join(out, "phylum.txt"))
    with_phylum = sum(int(value) for key, value in phylum_rows if key != "unassigned")
    if sizes != with_phylum:
        failures.append(f"lineagetree --count: leaf sizes add up to {sizes}, the reads with a phylum are {with_phylum}")
    print(f"lineagetree --count: leaf sizes add up to {sizes}")

    # Each sample column in percent adds up to 100.
    run([args.sharescale, "-o", out, "--columns", os.path.join(out, "genus.samples.txt")], args.scratch)
    rows = read_table(os.path.join(out, "normalized.txt"))
    for column, sample in enumerate(rows[0][1:], start=1):
        total = sum(float(row[column]) for row in rows[1:])
        if abs(total - 100) > 1e-3:
            failures.append(f"sharescale --columns: the column {sample} adds up to {total}")
    print(f"sharescale --columns: {len(rows[0]) - 1} columns of {len(rows) - 1} rows")

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
