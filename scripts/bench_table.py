#!/usr/bin/env python3
"""One table of our routines' time over each reference's, for the 32-bit and x86-64 builds.

Usage: bench_table.py DIR32 DIR64. Each folder holds one Google Benchmark JSON file per benchmark
program (written with --benchmark_out_format=json). A case is named "<case>/<ours>[/<args>]" with
siblings "<case>/<reference>[/<args>]"; the ratio is of the medians when the cases were repeated.
In-process references are compared by CPU time, which other load on the machine disturbs least;
md5sum runs as a child process, so it is compared by wall time.
"""
import json
import os
import sys

OURS = ("gevrast", "VHP", "LAL", "ours")
WALL_TIME_REFERENCES = ("md5sum",)


def medians(path):
    """Case name -> (cpu time, real time) in the file's time unit, medians where repeated."""
    with open(path, encoding="utf-8") as f:
        runs = json.load(f).get("benchmarks", [])
    times, from_median = {}, set()
    for run in runs:
        if run.get("error_occurred"):
            continue
        name = run.get("run_name", run["name"])
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
        value = (run["cpu_time"] * scale, run["real_time"] * scale)
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                times[name] = value
                from_median.add(name)
        elif name not in from_median:
            times[name] = value
    return times


def ratios(times):
    """(case, reference) -> our time / the reference's."""
    result = {}
    for name, (cpu, real) in times.items():
        parts = name.split("/")
        for at, part in enumerate(parts):
            if part not in OURS:
                continue
            for other, (ref_cpu, ref_real) in times.items():
                other_parts = other.split("/")
                if len(other_parts) != len(parts) or other == name:
                    continue
                if other_parts[:at] != parts[:at] or other_parts[at + 1:] != parts[at + 1:]:
                    continue
                reference = other_parts[at]
                if reference in WALL_TIME_REFERENCES:
                    ours_time, ref_time = real, ref_real
                else:
                    ours_time, ref_time = cpu, ref_cpu
                if ref_time > 0:
                    case = "/".join(parts[:at] + [p for p in parts[at + 1:] if p != "real_time"])
                    result[(case, reference)] = ours_time / ref_time
    return result


def main(argv):
    if len(argv) != 3:
        print(f"usage: {argv[0]} DIR32 DIR64", file=sys.stderr)
        return 2
    dir32, dir64 = argv[1], argv[2]
    programs = sorted(p for p in set(os.listdir(dir32)) | set(os.listdir(dir64)) if p.endswith(".json"))
    print(f"{'program':<16} {'routine':<44} {'reference':<19} {'emulated 32-bit':>15} {'native 64-bit':>14}")
    for program in programs:
        tables = []
        for folder in (dir32, dir64):
            path = os.path.join(folder, program)
            tables.append(ratios(medians(path)) if os.path.exists(path) else {})
        for key in sorted(set(tables[0]) | set(tables[1])):
            cells = [f"{t[key]:.3f}" if key in t else "-" for t in tables]
            print(f"{program[:-5]:<16} {key[0]:<44} {key[1]:<19} {cells[0]:>15} {cells[1]:>14}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
