#!/usr/bin/env python3
"""Runs the five interpreter benchmarks of bench_engine_interp and the same
five programs in python3, and prints both times and their ratio (ours /
python's; below 1 means the player's engine is faster).

    python3 bench/compare_python.py [path/to/bench_engine_interp]
"""
import json
import subprocess
import sys
import time
from pathlib import Path


def for_loop():
    s = 0
    for i in range(1, 10**7 + 1):
        s = s + i
    return s


def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)


def fib27():
    return fib(27)


def table_fill_sum():
    t = {}
    for i in range(1, 10**6 + 1):
        t[i] = i
    s = 0
    for i in range(1, 10**6 + 1):
        s = s + t[i]
    return s


def string_concat():
    s = ""
    for i in range(1, 10001):
        s = s + str(i) + ","
    return s


def command_calls():
    cmd = abs  # a native function, as a command is
    for i in range(1, 10**6 + 1):
        cmd(i)


PROGRAMS = [
    ("numeric for loop (10^7)", "BM_ForLoop", for_loop),
    ("recursive fib(27)", "BM_Fib27", fib27),
    ("fill and sum a 10^6 table", "BM_TableFillSum", table_fill_sum),
    ("string concatenation (10^4)", "BM_StringConcat", string_concat),
    ("command calls (10^6)", "BM_CommandCalls", command_calls),
]


def python_ms(fn, repeat=3):
    best = None
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        t = (time.perf_counter() - t0) * 1000.0
        best = t if best is None else min(best, t)
    return best


def our_ms(binary):
    out = subprocess.run([str(binary), "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "min" or (b.get("aggregate_name") == "mean" and b["run_name"] not in times):
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1000.0}[b["time_unit"]]
            times[b["run_name"]] = b["real_time"] * scale
    return times


def main():
    root = Path(__file__).resolve().parent.parent
    binary = Path(sys.argv[1]) if len(sys.argv) > 1 else root / "build" / "bench" / "bench_engine_interp"
    ours = our_ms(binary)
    print(f"{'program':32} {'ours ms':>10} {'python ms':>10} {'ratio':>7}")
    for title, name, fn in PROGRAMS:
        mine = ours[name]
        theirs = python_ms(fn)
        print(f"{title:32} {mine:10.2f} {theirs:10.2f} {mine / theirs:7.3f}")


if __name__ == "__main__":
    main()
