#!/usr/bin/env python3
"""The string benchmarks of bench_stringlib done in python3, for comparison:
building 1 MB from 1 KB pieces with a + b (a new string each time, as AddStr
makes), and str.replace over the same 1 MB text (case-sensitive, and
case-insensitive through re)."""
import re
import time
import timeit

TEXT_BYTES = 1 << 20
PIECE = "x" * 1024


def build():
    s = ""
    for _ in range(TEXT_BYTES // len(PIECE)):
        t = s  # a second reference keeps python from appending in place
        s = t + PIECE
    return len(s)


TEXT = ("lorem ipsum dolo" * (TEXT_BYTES // 16 + 1))[:TEXT_BYTES]
NOCASE = re.compile(re.escape("IPSUM"), re.IGNORECASE)

for name, fn in [
    ("build 1 MB by appending 1 KB", build),
    ("replace in 1 MB", lambda: TEXT.replace("ipsum", "IPSUM!")),
    ("replace in 1 MB, any case", lambda: NOCASE.sub("x", TEXT)),
]:
    n = 3
    t = min(timeit.repeat(fn, number=n, repeat=3, timer=time.process_time)) / n
    print(f"{name}: {t * 1000:.3f} ms")
