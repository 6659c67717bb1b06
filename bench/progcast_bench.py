#!/usr/bin/env python3
"""Benchmark of progcast: B(PN)2 programs of growing size translated into
M-nets; prints the net size, the median time, the time per action and the
peak memory.

    python3 bench/progcast_bench.py [--bin build/bin] [--seq 1000,3000,10000]
                                    [--par 100,300,1000] [--nest 100,300,1000]
                                    [--repeat 3] [--timeout 600]

seq N: one variable and N atomic actions in sequence; par N: N atomic
actions on one variable in parallel; nest N: N blocks nested in each other,
each declaring a variable that the innermost action writes.  VOSHOME
defaults to the source tree's templates.  Not part of the test run.
"""
import argparse
import os
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from frontend_bench import net_size, run  # noqa: E402


def sequence(n):
    body = ";\n".join("  <x' = %d>" % (k % 2) for k in range(n))
    return "begin\n  var x : {0..1} init 0;\n%s\nend\n" % body


def parallel(n):
    body = "\n  ||\n".join("  <x' = %d>" % (k % 2) for k in range(n))
    return "begin\n  var x : {0..1} init 0;\n%s\nend\n" % body


def nested(n):
    return "begin var x : {0..1} init 0;\n" * n + "<x' = 1>\n" + "end\n" * n


FAMILIES = {"seq": sequence, "par": parallel, "nest": nested}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--seq", default="1000,3000,10000")
    ap.add_argument("--par", default="100,300,1000")
    ap.add_argument("--nest", default="100,300,1000")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=int, default=600)
    args = ap.parse_args()
    program = os.path.join(os.path.abspath(args.bin), "progcast")
    if not os.access(program, os.X_OK):
        sys.exit("progcast is not built in %s" % args.bin)
    env = dict(os.environ)
    env.setdefault("VOSHOME", os.path.join(HERE, "..", "frontends", "templates"))
    print("%-6s %7s %8s %8s %9s %11s %8s" % ("family", "size", "places", "trans", "sec", "us/action", "peak MB"))
    with tempfile.TemporaryDirectory() as tmp:
        for family in ("seq", "par", "nest"):
            for size in getattr(args, family).split(","):
                if not size:
                    continue
                n = int(size)
                with open(os.path.join(tmp, "p.b"), "w") as f:
                    f.write(FAMILIES[family](n))
                times, peaks = [], []
                for _ in range(args.repeat):
                    code, elapsed, peak, err = run([program, "p.b", "-p=p.hl_net"], tmp, env, args.timeout)
                    if code != 0:
                        sys.exit("progcast failed on %s %d (exit %d): %s" % (family, n, code, err[-500:]))
                    times.append(elapsed)
                    if peak:
                        peaks.append(peak)
                places, trans = net_size(os.path.join(tmp, "p.hl_net"))
                t = statistics.median(times)
                print("%-6s %7d %8d %8d %9.3f %11.1f %8s" % (
                    family, n, places, trans, t, 1e6 * t / n,
                    "%.1f" % (max(peaks) / 1024.0) if peaks else "-"))
                sys.stdout.flush()


if __name__ == "__main__":
    main()
