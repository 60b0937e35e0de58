#!/usr/bin/env python3
"""The seed corpus of a fuzz target, made from the inputs of the tests.

  seed_corpus.py PROGRAM FOLDER
      writes into FOLDER one seed per test input of PROGRAM: the files its
      cases under tests/cli/PROGRAM/ give it on their command line (cmd,
      files of in/), and its inputs under tests/cli/frame/inputs/PROGRAM/.
      A two-input program's seed is its first input, two NUL bytes and its
      second input, as fuzz/fuzz_inputs.hpp cuts them.
  seed_corpus.py --cut FUZZ_INPUT FIRST SECOND
      cuts a fuzz input of a two-input program back into its two files, to
      make a command-line test case of a finding.
"""
import argparse
import hashlib
import os
import shlex
import sys

SEPARATOR = b"\0\0"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.path.join(ROOT, "tests", "cli")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def frame_inputs(program):
    """The files of frame/inputs/PROGRAM, in argument order (programs.tsv)."""
    with open(os.path.join(CLI, "frame", "programs.tsv"), encoding="utf-8") as f:
        for line in f:
            row = line.rstrip("\n").split("\t")
            if not line.startswith("#") and row[0] == program:
                return [os.path.join(CLI, "frame", "inputs", program, name) for name in row[1].split()]
    sys.exit(f"seed_corpus.py: {program} is not in frame/programs.tsv")


def case_inputs(case, program, count):
    """The files of in/ that cmd gives the program as its first arguments,
    or None when they are not all there (a case of a missing input)."""
    try:
        words = shlex.split(read(os.path.join(case, "cmd")).decode(), comments=True)
    except ValueError:  # a script that is not one plain command line
        return None
    if program not in words:
        return None
    at = words.index(program) + 1
    paths = [os.path.join(case, "in", word) for word in words[at:at + count]]
    if len(paths) < count or not all(os.path.isfile(path) for path in paths):
        return None
    return paths


def seeds(program):
    """Each distinct seed of the program, as bytes."""
    count = len(frame_inputs(program))
    input_sets = [frame_inputs(program)]
    program_dir = os.path.join(CLI, program)
    for name in sorted(os.listdir(program_dir)):
        case = os.path.join(program_dir, name)
        if os.path.isfile(os.path.join(case, "cmd")):
            paths = case_inputs(case, program, count)
            if paths:
                input_sets.append(paths)
    return {SEPARATOR.join(read(path) for path in paths) for paths in input_sets}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cut", action="store_true")
    parser.add_argument("args", nargs="+")
    options = parser.parse_args()
    if options.cut:
        if len(options.args) != 3:
            parser.error("--cut takes FUZZ_INPUT FIRST SECOND")
        data = read(options.args[0])
        first, _, second = data.partition(SEPARATOR)
        for path, part in zip(options.args[1:], (first, second)):
            with open(path, "wb") as f:
                f.write(part)
        return
    if len(options.args) != 2:
        parser.error("takes PROGRAM FOLDER")
    program, folder = options.args
    os.makedirs(folder, exist_ok=True)
    made = seeds(program)
    for seed in made:
        with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()), "wb") as f:
            f.write(seed)
    print(f"{program}: {len(made)} seeds in {folder}")


if __name__ == "__main__":
    main()
