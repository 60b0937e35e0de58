#!/usr/bin/env python3
"""Runs the code blocks of README.md that are marked for it, in order, with
the programs of one build, and fails when one of them fails.

Two kinds of fenced block are run; others are left alone:

  ```sh ci        commands: the block fails when a command in it exits with
                  a status other than 0 (bash -e, -o pipefail)
  ```console ci   a transcript: each line starting with "$ " is a command,
                  and the lines up to the next one are what it must print
                  (standard output and standard error together), exactly

All blocks run in one bash process, one after the other, as a user would
paste them into one terminal; each block starts in the top folder. The top
folder is a scratch copy of the repository (without build/, out/ and .git),
in which build/demo is the build under test, so that the README's commands
run as written: examples/demo.sh gets the build through AT_BIN_DIR and builds
nothing, and the README's own line that puts build/demo on PATH finds the
programs under test. They are put first on PATH here too.

    run_blocks.py --readme README.md --source REPO --bin-dir BUILD --scratch DIR
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

PROGRAMS = ["readtally", "refspread", "rankroll", "strayreads", "lineagetree", "sharescale"]
FENCE = re.compile(r"^(`{3,})(.*)$")


def marked_blocks(readme):
    """(kind, first line number, lines) of every block marked "sh ci" or
    "console ci"."""
    blocks = []
    with open(readme, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        fence, info = opening.group(1), opening.group(2).split()
        body, j = [], i + 1
        while j < len(lines) and not (lines[j].startswith(fence) and lines[j].strip("`") == ""):
            body.append(lines[j])
            j += 1
        if j == len(lines):
            sys.exit(f"{readme}:{i + 1}: code block never closed")
        if len(info) >= 2 and info[0] in ("sh", "console") and "ci" in info[1:]:
            blocks.append((info[0], i + 2, body))
        i = j + 1
    return blocks


def heredoc(text, tag):
    """A quoted here-document that yields `text` (each line ending in a
    newline) as it stands."""
    if tag in text.split("\n"):
        sys.exit(f"a README block holds the line {tag}")
    return f"<<'{tag}'\n{text}{tag}\n"


def transcript_script(body, first_line):
    """The commands of a console block, each followed by the comparison of
    what it printed with the lines under it."""
    steps, command, expected = [], None, []
    for number, line in enumerate(body, first_line):
        if line.startswith("$ "):
            if command:
                steps.append((command, expected))
            command, expected = (number, line[2:]), []
        elif command is None:
            sys.exit(f"README line {number}: a console block must start with a '$ ' line")
        else:
            expected.append(line)
    if command:
        steps.append((command, expected))
    script = []
    for (number, text), lines in steps:
        want = "".join(line + "\n" for line in lines)
        script.append(
            f"__line={number}\n"
            f"cat > \"$__check/want\" {heredoc(want, '__README_EXPECTED__')}"
            f"{{\n{text}\n}} > \"$__check/got\" 2>&1\n"
            f"if ! cmp -s \"$__check/want\" \"$__check/got\"; then\n"
            f"  echo \"README line $__line: the output differs from the README (- README, + now):\" >&2\n"
            f"  diff -u \"$__check/want\" \"$__check/got\" >&2 || true\n"
            f"  exit 1\n"
            f"fi\n")
    return "".join(script)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--readme", required=True)
    parser.add_argument("--source", required=True, help="the repository's top folder")
    parser.add_argument("--bin-dir", required=True, help="a build folder holding <program>/<program>")
    parser.add_argument("--scratch", required=True, help="made afresh; the copy of the repository goes here")
    args = parser.parse_args()

    bin_dir = os.path.abspath(args.bin_dir)
    for program in PROGRAMS:
        if not os.access(os.path.join(bin_dir, program, program), os.X_OK):
            sys.exit(f"no {program}/{program} in {bin_dir}")
    blocks = marked_blocks(args.readme)
    if not blocks:
        sys.exit(f"{args.readme}: no block marked 'sh ci' or 'console ci'")

    scratch = os.path.abspath(args.scratch)
    shutil.rmtree(scratch, ignore_errors=True)
    top = os.path.join(scratch, "repo")
    check = os.path.join(scratch, "check")
    source = os.path.abspath(args.source)
    skipped = {"build", "out", ".git"}
    shutil.copytree(source, top, symlinks=True,
                    ignore=lambda folder, names: [n for n in names if folder == source and n in skipped])
    os.makedirs(os.path.join(top, "build"))
    os.symlink(bin_dir, os.path.join(top, "build", "demo"))
    os.makedirs(check)

    script = [
        "set -eo pipefail\n",
        f"__top='{top}'\n__check='{check}'\n__block=0\n__line=0\n",
        "trap '__status=$?; if [ $__status -ne 0 ]; then "
        "echo \"README block $__block (line $__line) failed: status $__status\" >&2; fi' EXIT\n",
    ]
    for number, (kind, first_line, body) in enumerate(blocks, 1):
        script.append(f"__block={number}\n__line={first_line}\ncd \"$__top\"\n"
                      f"echo '== README block {number}, line {first_line} ({kind})'\n")
        if kind == "sh":
            script.append("\n".join(body) + "\n")
        else:
            script.append(transcript_script(body, first_line))
    script_path = os.path.join(check, "blocks.sh")
    with open(script_path, "w", encoding="utf-8") as f:
        f.write("".join(script))

    env = dict(os.environ)
    env["PATH"] = os.pathsep.join([os.path.join(top, "build", "demo", p) for p in PROGRAMS] + [env.get("PATH", "")])
    env["AT_BIN_DIR"] = bin_dir
    status = subprocess.run(["bash", script_path], cwd=top, env=env, stdin=subprocess.DEVNULL).returncode
    if status != 0:
        print(f"README blocks failed (the script is {script_path})", file=sys.stderr)
        return 1
    print(f"{len(blocks)} README blocks ran")
    return 0


if __name__ == "__main__":
    sys.exit(main())
