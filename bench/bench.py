#!/usr/bin/env python3
"""Times every built program on the generated inputs against `wc -l`.

    bench/bench.py --bin BUILD_DIR --data DATA_DIR --measure BENCH_MEASURE [--runs 5] [PROGRAM ...]

Normally started by bench/run.sh, which builds the programs and the measuring
helper and generates the inputs first. For each case: one warm-up run of the
program and of `wc -l` on the same input (which also brings the files into the
page cache), then RUNS timed runs of each, alternating, so that both see the
same machine state. Reported: the median wall time, MB/s of the program's
largest input, the peak resident memory of the runs, the median `wc -l` time
and the ratio of the two medians.
"""

import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

# (program, input label, arguments as data file names, file whose size and
# `wc -l` time the program is compared with, the target of the speed issue)
CASES = [
    ("readtally", "classification, ~3k lineages", ["reads.wang.taxonomy"], "reads.wang.taxonomy", "≤ 8 (aim ≤ 5), ≤ 64 MiB"),
    ("readtally", "classification, ~1M lineages", ["reads.1m.wang.taxonomy"], "reads.1m.wang.taxonomy", "time ≤ 2× the 3k case"),
    # readtally --count: timed with plain readtally and with the count table
    # alone (an empty classification file) in the same rounds.
    ("readtally", "--count: classification + count table, ~3k lineages", ["reads.count_table", "reads.wang.taxonomy"],
     "reads.wang.taxonomy", "≤ 1.5 × (plain + count table alone)"),
    ("lineagetree", "classification, ~3k lineages", ["reads.wang.taxonomy"], "reads.wang.taxonomy", "≤ 8 (aim ≤ 5), ≤ 64 MiB"),
    ("lineagetree", "classification, ~1M lineages", ["reads.1m.wang.taxonomy"], "reads.1m.wang.taxonomy", "time ≤ 2× the 3k case"),
    ("strayreads", "classification + FASTA", ["reads.wang.taxonomy", "reads.fasta"], "reads.fasta", None),
    ("rankroll", "abundance + 200k taxonomy", ["mapped_back_abundance.txt", "gg_taxonomy.txt"], "gg_taxonomy.txt", "≤ 8"),
    ("refspread", "100k OTU table + matrix", ["otu_abundance.txt", "mapping_matrix.txt"], "mapping_matrix.txt", "≤ 10"),
    ("sharescale", "100k-row table", ["share_table.txt"], "share_table.txt", "≤ 10"),
    # Gzip inputs, compared with `igzip -dc` of the same files instead of `wc -l`.
    ("readtally", "gzip classification, ~3k lineages", ["reads.wang.taxonomy.gz"], "reads.wang.taxonomy.gz",
     "≤ 1.3 (aim 1.1) × igzip -dc"),
    ("lineagetree", "gzip classification, ~3k lineages", ["reads.wang.taxonomy.gz"], "reads.wang.taxonomy.gz",
     "≤ 1.3 (aim 1.1) × igzip -dc"),
    ("strayreads", "gzip classification + gzip FASTA", ["reads.wang.taxonomy.gz", "reads.fasta.gz"],
     "reads.fasta.gz", "≤ 1.3 (aim 1.1) × igzip -dc of both"),
]

EMPTY_FASTA = "empty.fasta"
EMPTY_CLASSIFICATION = "empty.taxonomy"


def find_program(bin_dir, program):
    """The built executable: <build>/<program>/<program> as CMake lays it out,
    or anywhere below the build folder."""
    usual = os.path.join(bin_dir, program, program)
    if os.access(usual, os.X_OK):
        return usual
    for folder, _, files in os.walk(bin_dir):
        if program in files and os.access(os.path.join(folder, program), os.X_OK) \
                and os.path.isfile(os.path.join(folder, program)):
            return os.path.join(folder, program)
    return None


class RunFailed(Exception):
    """A program exited with a status other than 0."""


class Runner:
    def __init__(self, measure, gnu_time):
        self.measure = measure
        self.gnu_time = gnu_time

    def run(self, argv, cwd):
        """One run: (wall seconds, peak RSS kB, CPU seconds); RunFailed when
        the command fails."""
        done = subprocess.run([self.measure] + argv, cwd=cwd, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            sys.exit(f"bench: the measuring helper failed: {done.stderr.strip()}")
        seconds, peak_kb, status, cpu = done.stdout.split()
        if int(status) != 0:
            raise RunFailed(f"{' '.join(argv)} exited with status {status}: {done.stderr.strip()}")
        return float(seconds), int(peak_kb), float(cpu)

    def gnu_time_peak(self, argv, cwd):
        """GNU time's %M for the same command, to check the helper's figure."""
        report = os.path.join(cwd, ".gnu-time")
        done = subprocess.run([self.gnu_time, "-f", "%M", "-o", report] + argv, cwd=cwd,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            raise RunFailed(f"{' '.join(argv)} exited with status {done.returncode}: {done.stderr.strip()}")
        with open(report) as f:
            peak = int(f.read().split()[-1])
        os.unlink(report)
        return peak


def timed(runner, commands, runs, cwd, checked=None):
    """commands: name -> argv, or name -> (argv, folder) for a command that
    runs in a folder of its own instead of `cwd`. One warm-up each (the
    `checked` one under GNU time, when there is one, for its peak memory),
    then `runs` rounds in which every command runs once. Returns name ->
    (median wall s, max peak kB, median CPU s), and GNU time's peak of the
    checked command or None."""
    where = {name: (c if isinstance(c, tuple) else (c, cwd)) for name, c in commands.items()}
    gnu_peak = None
    for name, (argv, folder) in where.items():
        if name == checked and runner.gnu_time:
            gnu_peak = runner.gnu_time_peak(argv, folder)
        else:
            runner.run(argv, folder)
    times = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(runs):
        for name, (argv, folder) in where.items():
            seconds, peak, cpu_seconds = runner.run(argv, folder)
            times[name].append(seconds)
            cpu[name].append(cpu_seconds)
            peaks[name] = max(peaks[name], peak)
    return {name: (statistics.median(times[name]), peaks[name], statistics.median(cpu[name]))
            for name in commands}, gnu_peak


def row(program, label, size, measured, wc, target, note=""):
    """measured: (median wall s, peak kB or None, median CPU s) of the
    program; wc: the same of `wc -l` on the file it is compared with."""
    seconds, peak_kb, cpu = measured
    return {
        "program": program, "input": label, "input_mb": size / 1e6,
        "seconds": seconds, "mb_per_s": size / 1e6 / seconds if seconds > 0 else float("inf"),
        "peak_mib": peak_kb / 1024 if peak_kb is not None else None,
        "wc_seconds": wc[0], "ratio": seconds / wc[0],
        "cpu_seconds": cpu, "wc_cpu_seconds": wc[2], "cpu_ratio": cpu / wc[2] if wc[2] > 0 else None,
        "target": target or "", "note": note,
    }


def show(r):
    peak = f"{r['peak_mib']:.1f}" if r["peak_mib"] is not None else "-"
    size = f"{r['input_mb']:.0f}" if r["input_mb"] >= 100 else f"{r['input_mb']:.1f}"
    cpu_ratio = f"{r['cpu_ratio']:.1f}" if r["cpu_ratio"] is not None else "-"
    return (f"| {r['program']} | {r['input']} | {size} | {r['seconds']:.3f} | "
            f"{r['mb_per_s']:.0f} | {peak} | {r['wc_seconds']:.4f} | {r['ratio']:.1f} | {cpu_ratio} | {r['target']} |")


HEADER = ("| program | input | MB | median s | MB/s | peak RSS MiB | `wc -l` s | ratio | CPU ratio | target (issue 7) |\n"
          "|---|---|--:|--:|--:|--:|--:|--:|--:|---|")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="build folder of the release preset")
    parser.add_argument("--data", required=True, help="folder of the generated inputs")
    parser.add_argument("--measure", required=True, help="the bench-measure helper")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--results", help="also write the figures as JSON to this file")
    parser.add_argument("--keep-outputs", action="store_true", help="keep the programs' output files")
    parser.add_argument("programs", nargs="*", help="only these programs (default: all six)")
    args = parser.parse_args()
    args.bin, args.data, args.measure = (os.path.abspath(p) for p in (args.bin, args.data, args.measure))

    gnu_time = shutil.which("time", path="/usr/bin:/bin") or None
    if gnu_time is None:
        print("note: GNU time not found (Debian package `time`); peak memory comes from "
              "bench-measure alone, without the cross-check", file=sys.stderr)
    runner = Runner(args.measure, gnu_time)
    scratch_root = os.path.join(args.data, "scratch")
    data = lambda name: os.path.join(args.data, name)
    wanted = set(args.programs)
    unknown = wanted - {case[0] for case in CASES}
    if unknown:
        sys.exit(f"bench: no such program: {' '.join(sorted(unknown))}")

    load_at_start = os.getloadavg()[0]
    rows, skipped, done, failed = [], [], set(), False
    for program, label, inputs, largest, target in CASES:
        if wanted and program not in wanted:
            continue
        binary = find_program(args.bin, program)
        if binary is None:
            message = f"{program}: not built yet (no {program} executable under {args.bin}), skipped"
            if message not in skipped:
                skipped.append(message)
                print(f"skip  {message}", file=sys.stderr, flush=True)
            continue
        missing = [name for name in inputs if not os.path.exists(data(name))]
        if missing:
            sys.exit(f"bench: missing input {', '.join(missing)} in {args.data} (run bench/generate.py)")
        if (program, label) in done:
            continue
        cwd = os.path.join(scratch_root, program)
        os.makedirs(cwd, exist_ok=True)
        extra_folders = []
        # A 3k-lineage case is timed with its 1M partner, when that is wanted
        # and its input is there.
        partner = next((case for case in CASES if case[0] == program and "~3k" in label
                        and case[1] == label.replace("~3k", "~1M")
                        and all(os.path.exists(data(name)) for name in case[2])), None)
        both = f" and on {partner[1]}" if partner else ""
        print(f"time  {program} on {label}{both} ({args.runs} runs after a warm-up) ...", file=sys.stderr, flush=True)
        size = os.path.getsize(data(largest))
        argv = [binary] + [data(name) for name in inputs]

        try:
            gzipped = [name for name in inputs if name.endswith(".gz")]
            if gzipped:
                # The baseline is decompressing every gzip input with igzip.
                igzip = shutil.which("igzip")
                if igzip is None:
                    raise RunFailed("igzip not found (Debian package `isal`)")
                baselines = {f"igzip_{i}": [igzip, "-dc", data(name)] for i, name in enumerate(gzipped)}
                got, gnu_peak = timed(runner, {**baselines, "program": argv}, args.runs, cwd, checked="program")
                baseline = tuple(sum(got[name][k] for name in baselines) if k != 1 else None for k in range(3))
                new = [row(program, label, size, got["program"], baseline, target,
                           "ratio and `wc -l` column: igzip -dc")]
                helper_peak = got["program"][1]
            elif program == "strayreads":
                # The ID pass alone: the same classification file, an empty FASTA.
                empty = os.path.join(cwd, EMPTY_FASTA)
                open(empty, "w").close()
                cls = data(inputs[0])
                got, gnu_peak = timed(runner, {
                    "wc_fasta": ["wc", "-l", data(largest)],
                    "wc_cls": ["wc", "-l", cls],
                    "ids": [binary, cls, empty],
                    "whole": argv,
                }, args.runs, cwd, checked="whole")
                whole, ids = got["whole"], got["ids"]
                wc_fasta, wc_cls = got["wc_fasta"], got["wc_cls"]
                cls_size = os.path.getsize(cls)
                # The FASTA pass is what the whole run takes beyond the ID pass.
                fasta_pass = (whole[0] - ids[0], None, whole[2] - ids[2])
                both_wc = (wc_fasta[0] + wc_cls[0], None, wc_fasta[2] + wc_cls[2])
                new = [
                    row(program, "whole run: classification + FASTA", size + cls_size, whole, both_wc,
                        "", "compared with wc -l of both files"),
                    row(program, "FASTA pass (whole run − ID pass)", size, fasta_pass, wc_fasta,
                        "≤ 6 (aim ≤ 4)", "difference of the medians"),
                    row(program, "ID pass: classification, empty FASTA", cls_size, ids, wc_cls,
                        "memory grows only with the ID set"),
                ]
                helper_peak = got["whole"][1]
            elif "reads.count_table" in inputs:
                table, classification = data(inputs[0]), data(inputs[1])
                empty = os.path.join(cwd, EMPTY_CLASSIFICATION)
                open(empty, "w").close()
                got, gnu_peak = timed(runner, {
                    "wc": ["wc", "-l", classification],
                    "wc_table": ["wc", "-l", table],
                    "plain": [binary, classification],
                    "table": [binary, "--count", table, empty],
                    "program": [binary, "--count", table, classification],
                }, args.runs, cwd, checked="program")
                plain, alone, weighted = got["plain"], got["table"], got["program"]
                bound = plain[0] + alone[0]
                new = [
                    row(program, "count table alone (empty classification)", os.path.getsize(table), alone,
                        got["wc_table"], ""),
                    row(program, label, size, weighted, got["wc"],
                        f"{target}: {weighted[0] / bound:.2f}× of {plain[0]:.2f} + {alone[0]:.2f} s"),
                ]
                helper_peak = got["program"][1]
            elif partner is not None:
                # The 3k and the 1M case in the same rounds, so that the
                # ratio of the two sees the same machine; each case in a
                # folder of its own, replacing only its own earlier outputs.
                _, big_label, big_inputs, big_largest, big_target = partner
                big_cwd = cwd + "-1m"
                os.makedirs(big_cwd, exist_ok=True)
                got, gnu_peak = timed(runner, {
                    "wc": ["wc", "-l", data(largest)],
                    "program": argv,
                    "wc_big": ["wc", "-l", data(big_largest)],
                    "program_big": ([binary] + [data(name) for name in big_inputs], big_cwd),
                }, args.runs, cwd, checked="program")
                new = [row(program, label, size, got["program"], got["wc"], target),
                       row(program, big_label, os.path.getsize(data(big_largest)), got["program_big"],
                           got["wc_big"], f"{big_target}: {got['program_big'][0] / got['program'][0]:.2f}×")]
                helper_peak = got["program"][1]
                done.add((program, big_label))
                extra_folders.append(big_cwd)
            else:
                got, gnu_peak = timed(runner, {"wc": ["wc", "-l", data(largest)], "program": argv}, args.runs, cwd,
                                      checked="program")
                new = [row(program, label, size, got["program"], got["wc"], target)]
                helper_peak = got["program"][1]
            if gnu_peak is not None:
                if abs(gnu_peak - helper_peak) > max(512, helper_peak * 0.05):
                    print(f"warn  {program}: GNU time says {gnu_peak} kB peak, bench-measure {helper_peak} kB",
                          file=sys.stderr)
        except RunFailed as failure:
            message = f"{program} on {label}: failed, {failure}"
            skipped.append(message)
            failed = True
            print(f"fail  {message}", file=sys.stderr, flush=True)
            continue
        for r in new:
            print(show(r), file=sys.stderr, flush=True)
        rows.extend(new)
        if not args.keep_outputs:
            for folder in [cwd] + extra_folders:
                shutil.rmtree(folder, ignore_errors=True)

    if not args.keep_outputs:
        shutil.rmtree(scratch_root, ignore_errors=True)

    manifest = {}
    try:
        with open(data("manifest.json")) as f:
            manifest = json.load(f)
    except (OSError, ValueError):
        pass
    print()
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    print(f"Machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; "
          f"warm page cache; medians of {args.runs} runs after a warm-up; "
          f"MB = 10^6 bytes; ratio = program median ÷ `wc -l` median on the same file, same run "
          f"(wall time; CPU ratio: the same with user + system CPU time). "
          f"Load average {load_at_start:.1f} at the start, {os.getloadavg()[0]:.1f} at the end.")
    for name in ("reads.wang.taxonomy", "reads.1m.wang.taxonomy"):
        facts = manifest.get(name)
        if facts:
            print(f"{name}: {facts['lines']:,} lines, {facts['bytes'] / 1e6:.0f} MB, "
                  f"{facts['distinct_lineages']:,} distinct full lineages.")
    print()
    print(HEADER)
    for r in rows:
        print(show(r))
    if skipped:
        print()
        for message in skipped:
            print(message)
    if args.results:
        with open(args.results, "w") as f:
            json.dump({"date": time.strftime("%Y-%m-%d %H:%M"), "cpu": cpu, "runs": args.runs,
                       "load_average": [load_at_start, os.getloadavg()[0]],
                       "rows": rows, "skipped": skipped}, f, indent=1)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
