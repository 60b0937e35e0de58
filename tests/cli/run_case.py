#!/usr/bin/env python3
"""Runs one command-line test case in a fresh scratch folder.

A case is a folder:
  cmd              the command line, run by bash in the scratch folder with
                   the built programs first on PATH
  in/              files and folders copied into the scratch folder first
  expected/        the files the folder must hold afterwards, byte for byte;
                   besides these and the files of in/, nothing may be left
                   (no temporary files). A cmd may move an output to another
                   name once the program succeeded, as the cases of readtally
                   and rankroll do with the table of the rank below genus
                   (kept as s_rank.txt); the move fails, and so the case,
                   when the output was not written.
  expected_stderr  standard error, exactly (empty when the file is absent)
  expected_stdout  standard output, exactly (empty when the file is absent)
  expected_status  the exit status (0 when the file is absent)
Every file ending in .json that the run leaves must parse as JSON (but for
frame cases, below).

What all programs share is tested once, by the cases of frame/, each run for
every program of frame/programs.tsv (--program NAME): its inputs in argument
order (files of frame/inputs/NAME/), its outputs, the arguments of its usage
line. A frame case folder differs from the above:
  - the scratch folder starts with the program's inputs and, for each output,
    an earlier file of that name holding "earlier NAME"; in/ is added on top
  - setup, if present, then runs like cmd; afterwards the folder must be left
    exactly as it is then (there is no expected/)
  - cmd and setup see $program, $usage, $inputs, $first_input, $second_input
    (empty for one input), $outputs and $last_output; the expected files may
    hold them as @program@, @usage@, ...; expected_stdout.NAME (and so on)
    stands in for expected_stdout when running program NAME
  - programs, if present, lists the programs the case is for, one a line
"""
import argparse
import json
import os
import shutil
import subprocess
import sys


def read_bytes(path, default=b""):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def tree(folder):
    """Relative paths of every file below folder (folders end in '/')."""
    found = set()
    for root, dirs, files in os.walk(folder):
        rel = os.path.relpath(root, folder)
        for d in dirs:
            found.add(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            found.add(os.path.normpath(os.path.join(rel, f)))
    return found


def snapshot(folder):
    """Path below folder -> its bytes (None for a folder)."""
    return {rel: None if rel.endswith("/") else read_bytes(os.path.join(folder, rel))
            for rel in tree(folder)}


def frame_program(case, program):
    """The variables of program, from programs.tsv beside the frame case."""
    frame = os.path.dirname(os.path.abspath(case))
    with open(os.path.join(frame, "programs.tsv"), encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    name, inputs, outputs, usage = next(row for row in rows if row[0] == program)
    inputs, outputs = inputs.split(), outputs.split()
    return os.path.join(frame, "inputs", name), outputs, {
        "program": name, "usage": usage, "inputs": " ".join(inputs),
        "first_input": inputs[0], "second_input": " ".join(inputs[1:2]),
        "outputs": " ".join(outputs), "last_output": outputs[-1]}


def show(data):
    text = data.decode("utf-8", "backslashreplace")
    return text if len(text) < 2000 else text[:2000] + "...[cut]"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--case", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--program", help="run the frame case for this program")
    args = parser.parse_args()

    case = args.case
    scratch = args.scratch
    if os.path.lexists(scratch):
        shutil.rmtree(scratch)
    os.makedirs(scratch)
    env = dict(os.environ)
    env["PATH"] = os.path.abspath(args.bin_dir) + os.pathsep + env.get("PATH", "")
    variables = {}
    if args.program:
        inputs_dir, outputs, variables = frame_program(case, args.program)
        shutil.copytree(inputs_dir, scratch, dirs_exist_ok=True)
        for name in outputs:
            with open(os.path.join(scratch, name), "w", encoding="utf-8") as f:
                f.write(f"earlier {name}\n")
        env.update(variables)
    in_dir = os.path.join(case, "in")
    if os.path.isdir(in_dir):
        shutil.copytree(in_dir, scratch, symlinks=True, dirs_exist_ok=True)

    def run(name):
        with open(os.path.join(case, name), encoding="utf-8") as f:
            command = f.read().strip()
        return command, subprocess.run(["bash", "-c", command], cwd=scratch, env=env,
                                       stdin=subprocess.DEVNULL, capture_output=True,
                                       timeout=600)

    def wanted(name, default=b""):
        """An expected file (the program's own, if it has one), @variables@ filled in."""
        own = os.path.join(case, f"{name}.{args.program}")
        data = read_bytes(own if os.path.exists(own) else os.path.join(case, name), default)
        for key, value in variables.items():
            data = data.replace(f"@{key}@".encode(), value.encode())
        return data

    failures = []
    if os.path.exists(os.path.join(case, "setup")):
        command, result = run("setup")
        if result.returncode != 0:
            failures.append(f"setup failed: {show(result.stderr)}")
    before = tree(scratch)
    expected_dir = os.path.join(case, "expected")
    if args.program:
        expected = snapshot(scratch)
    else:
        expected = snapshot(expected_dir) if os.path.isdir(expected_dir) else {}

    command, result = run("cmd")
    want_status = int(wanted("expected_status", b"0").strip() or b"0")
    if result.returncode != want_status:
        failures.append(f"exit status {result.returncode}, expected {want_status}")
    for stream, got in (("stderr", result.stderr), ("stdout", result.stdout)):
        want = wanted("expected_" + stream)
        if got != want:
            failures.append(f"{stream} differs:\n--- expected\n{show(want)}\n--- got\n{show(got)}")

    after = tree(scratch)
    extra = after - before - set(expected)
    if extra:
        failures.append("unexpected files left: " + ", ".join(sorted(extra)))
    for rel, want in sorted(expected.items()):
        if want is None:
            if not os.path.isdir(os.path.join(scratch, rel)):
                failures.append(f"{rel}: folder missing")
            continue
        got_path = os.path.join(scratch, rel)
        if not os.path.isfile(got_path):
            failures.append(f"{rel}: not written")
            continue
        got = read_bytes(got_path)
        if got != want:
            failures.append(f"{rel} differs:\n--- expected\n{show(want)}\n--- got\n{show(got)}")
    # A frame case leaves the folder as it was, earlier outputs and all.
    for rel in sorted(after if not args.program else ()):
        if rel.endswith(".json") and os.path.isfile(os.path.join(scratch, rel)):
            try:
                with open(os.path.join(scratch, rel), "rb") as f:
                    # Names are bytes; those above 127 need not be UTF-8.
                    json.loads(f.read().decode("utf-8", "surrogateescape"))
            except ValueError as error:
                failures.append(f"{rel} is not valid JSON: {error}")

    if failures:
        print(f"FAIL {case} {args.program or ''}\n$ {command}")
        for failure in failures:
            print(failure)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
