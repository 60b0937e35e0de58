#!/usr/bin/env python3
"""Runs each step of the tool chain on the sample data with its inputs as
they stand, gzip-compressed, with CRLF line ends, and the first one through
standard input, and checks that every form gives the same outputs."""
import argparse
import gzip
import os
import shutil
import subprocess
import sys

# program, inputs (sample files, or outputs of an earlier step), outputs
STEPS = [
    ("readtally", ["@reads.reference.wang.taxonomy"],
     ["otu.txt", "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt",
      "fullLineage.txt"]),
    ("refspread", ["otu.txt", "@mapping_matrix.txt"], ["otu_reflowONE.txt", "otu_reflowMANY.txt"]),
    ("rankroll", ["otu_reflowONE.txt", "@gg_taxonomy_spaced.txt"], ["fullLineage.txt", "phylum.txt"]),
    ("strayreads", ["@reads.reference.wang.taxonomy", "@reads.fasta"], ["unclassified.fasta"]),
    ("lineagetree", ["@reads.reference.wang.taxonomy"], ["taxonomy.json"]),
    ("sharescale", ["phylum.txt"], ["normalized.txt"]),
]


def crlf(data):
    return data.replace(b"\n", b"\r\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()
    shutil.rmtree(args.scratch, ignore_errors=True)
    plain_dir = os.path.join(args.scratch, "plain")
    os.makedirs(plain_dir)
    failures = []
    for program, inputs, outputs in STEPS:
        binary = os.path.join(args.bin_dir, program, program)
        paths = [os.path.join(args.data, name[1:]) if name.startswith("@") else os.path.join(plain_dir, name)
                 for name in inputs]
        data = [open(path, "rb").read() for path in paths]

        def run(form, files, stdin=None):
            folder = os.path.join(args.scratch, form, program)
            os.makedirs(folder, exist_ok=True)
            done = subprocess.run([binary, "-o", folder] + files, input=stdin, capture_output=True)
            if done.returncode != 0:
                failures.append(f"{program} ({form}): exit {done.returncode}: {done.stderr.decode()}")
            return {name: open(os.path.join(folder, name), "rb").read() if done.returncode == 0 else None
                    for name in outputs}

        want = run("plain", paths)
        for name in outputs:  # later steps read these
            shutil.copy(os.path.join(args.scratch, "plain", program, name), os.path.join(plain_dir, name))
        forms = {}
        for form, change in (("gzip", gzip.compress), ("crlf", crlf)):
            files = []
            for i, bytes_ in enumerate(data):
                files.append(os.path.join(args.scratch, f"{program}.{i}.{form}"))
                with open(files[-1], "wb") as f:
                    f.write(change(bytes_))
            forms[form] = run(form, files)
        forms["stdin"] = run("stdin", ["-"] + paths[1:], stdin=data[0])
        forms["stdin gzip"] = run("stdin-gzip", ["-"] + paths[1:], stdin=gzip.compress(crlf(data[0])))
        for form, got in forms.items():
            for name in outputs:
                if got[name] != want[name]:
                    failures.append(f"{program}: {name} from {form} input differs from the plain input's")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
