#!/usr/bin/env python3
"""Runs the real programs under strace, which makes a system call fail or
sends a signal, and checks what the run leaves: its exit status, its
message, the earlier outputs or the new ones, and no other file.

Each row of cases.tsv (TAB-separated) is one run:
  case       a name
  program    one of tests/cli/frame/programs.tsv, run in a fresh scratch
             folder on its frame inputs (tests/cli/frame/inputs/PROGRAM/)
             beside an earlier file of each of its outputs, holding
             "earlier NAME"
  inputs     "frame", or "large": the frame inputs with a FASTA file grown,
             at run time, until strayreads writes more than 40 MiB
  command    run by bash in the scratch folder; $strace is strace writing
             its trace beside the folder, $run the program on its inputs, and
             {first CALL} the number of the first CALL (write, close) on
             an output file, counted in a run without tampering
  status     the exit status (128 + N for a run ended by signal N)
  outputs    "earlier": every earlier output byte for byte as it was;
             "new": every output as a run without tampering writes it
  message    standard error, without strace's own lines ("" for none);
             a message is written as the program words it, between newlines
Afterwards the folder holds the inputs and the outputs and nothing else,
and the trace shows that strace did make a call fail or send a signal.
Without strace every case fails.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def frame_programs(frame):
    """program -> (inputs, outputs), from programs.tsv."""
    with open(os.path.join(frame, "programs.tsv"), encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]
    return {row[0]: (row[1].split(), row[2].split()) for row in rows}


def lay_out(folder, frame, program, inputs, outputs, large):
    if os.path.lexists(folder):
        shutil.rmtree(folder)
    shutil.copytree(os.path.join(frame, "inputs", program), folder)
    if large:
        # Records of a read that the frame's classification leaves without an
        # OTU, each copied to the output, so that the output passes 40 MiB
        # in many small writes.
        with open(os.path.join(folder, inputs[-1]), "w", encoding="ascii") as f:
            f.write((">r02\n" + "ACGT" * 250 + "\n") * 44000)
    for name in outputs:
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(f"earlier {name}\n")


def run(command, folder, env):
    result = subprocess.run(["bash", "-c", command], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=120)
    status = result.returncode if result.returncode >= 0 else 128 - result.returncode
    return status, result.stderr


def first_call_on_output(folder, env, call, inputs):
    """The number of the first call (write, close) on an output file, in a
    run without tampering: strace -y shows the path of the call's file, an
    output's is in the folder and names no input."""
    trace = folder + ".calls"
    run(f"strace -f -qq -y -e trace={call} -o {trace} $run", folder, env)
    with open(trace, encoding="utf-8", errors="replace") as f:
        calls = [line for line in f if f" {call}(" in line]
    os.remove(trace)
    real_folder = os.path.realpath(folder)
    for number, line in enumerate(calls, 1):
        path = re.search(r"<([^>]*)>", line)
        if path and os.path.dirname(path.group(1)) == real_folder and os.path.basename(path.group(1)) not in inputs:
            return str(number)
    raise RuntimeError(f"no {call}() on an output")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True, help="the build folder: PROGRAM/PROGRAM")
    parser.add_argument("--frame", required=True, help="tests/cli/frame")
    parser.add_argument("--cases", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()
    if shutil.which("strace") is None:
        print("FAIL: strace is not installed; the fault tests need it (apt-get install strace)")
        return 1

    programs = frame_programs(args.frame)
    bin_dir = os.path.abspath(args.bin_dir)
    env = dict(os.environ)
    # LeakSanitizer cannot stop the threads of a process that is traced.
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    with open(args.cases, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]

    failed, new_outputs = 0, {}
    for case, program, input_kind, command, status, outputs_after, message in rows:
        inputs, outputs = programs[program]
        env["run"] = " ".join([os.path.join(bin_dir, program, program)] + inputs)
        large = input_kind == "large"
        folder = os.path.join(args.scratch, case)
        if outputs_after == "new" and (program, large) not in new_outputs:
            lay_out(folder, args.frame, program, inputs, outputs, large)
            run("$run", folder, env)
            new_outputs[program, large] = {name: read_bytes(os.path.join(folder, name)) for name in outputs}
        if "{" in command:
            lay_out(folder, args.frame, program, inputs, outputs, large)
            command = re.sub(r"\{first (\w+)\}", lambda m: first_call_on_output(folder, env, m.group(1), inputs),
                             command)
        lay_out(folder, args.frame, program, inputs, outputs, large)
        trace = folder + ".trace"
        env["strace"] = f"strace -f -qq -o {trace}"
        before = {name: read_bytes(os.path.join(folder, name)) for name in os.listdir(folder)}

        got_status, stderr = run(command, folder, env)
        stderr = b"".join(line for line in stderr.splitlines(True) if not line.startswith(b"strace: "))
        want_stderr = f"\n{message}\n".encode() if message else b""
        problems = []
        if not re.search(rb"\(INJECTED\)|^\d+ +(---|\+\+\+ killed by) SIG", read_bytes(trace), re.MULTILINE):
            problems.append("strace made no call fail and sent no signal")
        if got_status != int(status):
            problems.append(f"exit status {got_status}, expected {status}")
        if stderr != want_stderr:
            problems.append(f"standard error {stderr!r}, expected {want_stderr!r}")
        left = sorted(os.listdir(folder))
        if left != sorted(before):
            problems.append(f"files left: {left}")
        want = {name: before[name] for name in outputs} if outputs_after == "earlier" else new_outputs[program, large]
        for name in outputs:
            path = os.path.join(folder, name)
            if not os.path.isfile(path) or read_bytes(path) != want[name]:
                problems.append(f"{name} is not the {outputs_after} file")
        print(f"{'FAIL' if problems else 'ok  '} {case}: {command}")
        for problem in problems:
            print(f"       {problem}")
        failed += bool(problems)
        if not problems:
            shutil.rmtree(folder)
            os.remove(trace)
    print(f"{len(rows) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
