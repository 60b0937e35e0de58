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
Every file ending in .json that the run leaves must parse as JSON.
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


def show(data):
    text = data.decode("utf-8", "backslashreplace")
    return text if len(text) < 2000 else text[:2000] + "...[cut]"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--case", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()

    case = args.case
    scratch = args.scratch
    if os.path.lexists(scratch):
        shutil.rmtree(scratch)
    in_dir = os.path.join(case, "in")
    if os.path.isdir(in_dir):
        shutil.copytree(in_dir, scratch, symlinks=True)
    else:
        os.makedirs(scratch)
    before = tree(scratch)

    with open(os.path.join(case, "cmd"), encoding="utf-8") as f:
        command = f.read().strip()
    env = dict(os.environ)
    env["PATH"] = os.path.abspath(args.bin_dir) + os.pathsep + env.get("PATH", "")
    result = subprocess.run(["bash", "-c", command], cwd=scratch, env=env,
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=600)

    failures = []
    want_status = int(read_bytes(os.path.join(case, "expected_status"), b"0").strip() or b"0")
    if result.returncode != want_status:
        failures.append(f"exit status {result.returncode}, expected {want_status}")
    for stream, got in (("stderr", result.stderr), ("stdout", result.stdout)):
        want = read_bytes(os.path.join(case, "expected_" + stream))
        if got != want:
            failures.append(f"{stream} differs:\n--- expected\n{show(want)}\n--- got\n{show(got)}")

    expected_dir = os.path.join(case, "expected")
    expected = tree(expected_dir) if os.path.isdir(expected_dir) else set()
    after = tree(scratch)
    extra = after - before - expected
    if extra:
        failures.append("unexpected files left: " + ", ".join(sorted(extra)))
    for rel in sorted(expected):
        if rel.endswith("/"):
            if not os.path.isdir(os.path.join(scratch, rel)):
                failures.append(f"{rel}: folder missing")
            continue
        got_path = os.path.join(scratch, rel)
        if not os.path.isfile(got_path):
            failures.append(f"{rel}: not written")
            continue
        want = read_bytes(os.path.join(expected_dir, rel))
        got = read_bytes(got_path)
        if got != want:
            failures.append(f"{rel} differs:\n--- expected\n{show(want)}\n--- got\n{show(got)}")
    for rel in sorted(after):
        if rel.endswith(".json") and os.path.isfile(os.path.join(scratch, rel)):
            try:
                with open(os.path.join(scratch, rel), "rb") as f:
                    # Names are bytes; those above 127 need not be UTF-8.
                    json.loads(f.read().decode("utf-8", "surrogateescape"))
            except ValueError as error:
                failures.append(f"{rel} is not valid JSON: {error}")

    if failures:
        print(f"FAIL {case}\n$ {command}")
        for failure in failures:
            print(failure)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
