#!/usr/bin/env python3
"""Runs the engine's workloads as whole processes side by side with python3:
each workload is an applet assembled and packed with our own tools and played
headless by the player, and the same program as a python3 script. The two
alternate, run after run; the medians of the wall-clock times and their ratio
(ours / python's; below 1 means the player is faster) are printed, and the
"net" ratio of the times less each side's start-up (an empty program, timed
the same way first). Each applet checks its own result and ends with an
error when it is wrong.

    python3 bench/compare_python.py [--build DIR] [--runs N] [--cpu] [--only NAME ...]

On a shared machine --cpu compares the processor time each process used
(user and system), which waiting for a processor does not inflate.

The peer is Debian's /usr/bin/python3 when it is there (a python3 found on
the PATH may be a wrapper script whose start-up would be timed too).
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# An applet fails with an error (exit status 1) when R(reg) is not [expect].
def check(reg, expect):
    return f"""  EQ 1 {reg} #{expect}
  JMP ok
  NEWTABLE 9
  GETTABLE 9 9 "wrong result"
ok:
  RETURN 0 1
"""


def counted_loop(body, count, index=1):
    """A numeric loop over R(index).. R(index + 2) from 1 to [count]."""
    return f"""  LOADK {index} #0
  LOADK {index + 1} #{count}
  LOADK {index + 2} #1
  JMP test
loop:
{body}
test:
  FORLOOP {index} loop
"""


def appends(count):
    return ("  LOADK 0 \"\"\n" + counted_loop("  MOVE 4 0\n  LOADK 5 \"x\"\n  CONCAT 0 4 5", count) +
            "  GETGLOBAL 4 \"strlen\"\n  MOVE 5 0\n  CALL 4 2 2\n" + check(4, count))


def python_appends(count):
    return f"""def main():
    s = ""
    for i in range({count}):
        s = s + "x"
    assert len(s) == {count}
main()
"""


CHUNK = "0123456789abcdef" * 64  # 1 KB

# The start-up of each side alone: the "net" column takes it off both times.
STARTUP = ("start-up only (empty program)", "startup", None, "  RETURN 0 1\n", "pass\n")

WORKLOADS = [
    ("numeric for loop (10^7)", "forloop", 0.25,
     "  LOADK 0 #0\n" + counted_loop("  ADD 0 0 1", 10**7) + check(0, 10**7 * (10**7 + 1) // 2),
     """def main():
    s = 0
    for i in range(1, 10**7 + 1):
        s = s + i
    assert s == 50000005000000
main()
"""),
    ("fill and sum a 10^6 table", "table", 0.25,
     "  NEWTABLE 0 0 0\n" + counted_loop("  SETTABLE 0 1 1", 10**6) + "  LOADK 4 #0\n" +
     counted_loop("  GETTABLE 5 0 1\n  ADD 4 4 5", 10**6).replace("loop", "loop2").replace("test", "test2") +
     check(4, 10**6 * (10**6 + 1) // 2),
     """def main():
    t = {}
    for i in range(1, 10**6 + 1):
        t[i] = i
    s = 0
    for i in range(1, 10**6 + 1):
        s = s + t[i]
    assert s == 500000500000
main()
"""),
    ("fib(27), recursive", "fib", 0.25,
     """.function fib
.linedefined 1
.params 1
  LT 1 0 #2
  JMP small
  GETGLOBAL 1 "fib"
  SUB 2 0 #1
  CALL 1 2 2
  GETGLOBAL 2 "fib"
  SUB 3 0 #2
  CALL 2 2 2
  ADD 1 1 2
  RETURN 1 2
small:
  RETURN 0 2
.end
  CLOSURE 0 fib
  SETGLOBAL 0 "fib"
  GETGLOBAL 0 "fib"
  LOADK 1 #27
  CALL 0 2 2
""" + check(0, 196418),
     """def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)
assert fib(27) == 196418
"""),
    ("10^6 calls of Abs", "calls", 0.25,
     "  LOADK 0 #0\n" + counted_loop("  GETGLOBAL 4 \"abs\"\n  MOVE 5 1\n  CALL 4 2 2\n  ADD 0 0 4", 10**6) +
     check(0, 10**6 * (10**6 + 1) // 2),
     """def main():
    s = 0
    for i in range(1, 10**6 + 1):
        s = s + abs(i)
    assert s == 500000500000
main()
"""),
    ("10^5 appends s = s .. \"x\"", "append5", 0.5, appends(10**5), python_appends(10**5)),
    ("10^6 appends s = s .. \"x\"", "append6", 0.5, appends(10**6), python_appends(10**6)),
    ("AddStr to 1 MB in 1 KB steps", "addstr", None,
     "  LOADK 0 \"\"\n" +
     counted_loop(f"  GETGLOBAL 4 \"addstr\"\n  MOVE 5 0\n  LOADK 6 \"{CHUNK}\"\n  CALL 4 3 2\n  MOVE 0 4", 1024) +
     "  GETGLOBAL 4 \"strlen\"\n  MOVE 5 0\n  CALL 4 2 2\n" + check(4, 1 << 20),
     f"""def main():
    s = ""
    chunk = "{CHUNK}"
    for i in range(1024):
        s = s + chunk
    assert len(s) == 1 << 20
main()
"""),
]


def make_applet(tools, work, name, listing):
    src = work / f"{name}.vkasm"
    src.write_text(f'.source "@{name}"\n' + listing)
    manifest = work / f"{name}.manifest"
    manifest.write_text(f"bytecode {name}.vkasm\n")
    out = work / f"{name}.vka"
    subprocess.run([str(tools / "vkpack"), str(manifest), "-o", str(out)], check=True)
    return out


def timed(cmd, env, cpu):
    """Milliseconds of one run: wall clock, or with [cpu] the processor time
    (user and system) the process used, which a busy machine disturbs less."""
    with tempfile.TemporaryFile() as out:
        t0 = time.perf_counter()
        child = subprocess.Popen(cmd, env=env, stdout=out, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(child.pid, 0)
        ms = (time.perf_counter() - t0) * 1000.0
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            out.seek(0)
            sys.exit(f"{' '.join(map(str, cmd))} failed ({child.returncode}):\n{out.read().decode(errors='replace')}")
    return (usage.ru_utime + usage.ru_stime) * 1000.0 if cpu else ms


def main():
    root = Path(__file__).resolve().parent.parent
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(root / "build"), help="build folder with the player and the tools")
    ap.add_argument("--python", default="/usr/bin/python3" if Path("/usr/bin/python3").exists() else "python3",
                    help="the python3 to run")
    ap.add_argument("--runs", type=int, default=5, help="runs of each program (median taken)")
    ap.add_argument("--cpu", action="store_true",
                    help="time the processor time each process used instead of the wall clock")
    ap.add_argument("--only", nargs="*", help="workload short names to run: " +
                    " ".join(w[1] for w in WORKLOADS))
    args = ap.parse_args()
    build = Path(args.build)
    player = build / "vellumark"
    tools = build / "tools" / "vkpack"
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy")
    print(f"{'workload':32} {'ours ms':>9} {'python ms':>10} {'ratio':>7} {'goal':>6} {'net':>6}")
    start = None
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        for title, name, goal, listing, program in [STARTUP] + WORKLOADS:
            if args.only and name not in args.only and name != "startup":
                continue
            applet = make_applet(tools, work, name, listing)
            script = work / f"{name}.py"
            script.write_text(program)
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(timed([str(player), str(applet)], env, args.cpu))
                theirs.append(timed([args.python, str(script)], env, args.cpu))
            mine, peer = statistics.median(ours), statistics.median(theirs)
            goal_text = f"{goal:6.2f}" if goal else "     -"
            net_text = "     -"
            if start is None:
                start = (mine, peer)
            elif peer - start[1] > 1.0:
                net_text = f"{max(mine - start[0], 0.0) / (peer - start[1]):6.2f}"
            print(f"{title:32} {mine:9.1f} {peer:10.1f} {mine / peer:7.2f} {goal_text} {net_text}", flush=True)


if __name__ == "__main__":
    main()
