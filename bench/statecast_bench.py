#!/usr/bin/env python3
"""Benchmark of statecast: IF systems of growing size, translated into
M-nets; prints the net size, the median time and the peak memory.

    python3 bench/statecast_bench.py [--bin build/bin] [--sizes 10x10,50x20]
                                     [--repeat 3] [--timeout 600]

A size PxS is a ring of P processes with S states each: every state takes
the token signal from its queue, counts it in a variable, decides on it and
hands it on to the next process through a signalroute; the first process
starts the ring.  VOSHOME defaults to the source tree's templates.  Not part
of the test run.
"""
import argparse
import os
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from frontend_bench import net_size, run  # noqa: E402


def ring(processes, states):
    out = ["system Ring;", "  type count = range 0..3;", "  signal tok(count);"]
    for p in range(processes):
        out.append("  process P%d(1);" % p)
        out.append("    var c count;")
        for s in range(states):
            attrs = " #start" if s == 0 else ""
            out.append("    state s%d%s;" % (s, attrs))
            if p == 0 and s == 0:
                out.append("      output tok(0) via {r%d}0;" % p)
                out.append("      nextstate s1;" if states > 1 else "      nextstate s0;")
                out.append("    endstate;")
                continue
            out.append("      input tok(c);")
            out.append("      if c < 3 then task c := c + 1; else task c := 0; endif")
            out.append("      output tok(c) via {r%d}0;" % p)
            out.append("      nextstate s%d;" % ((s + 1) % states))
            out.append("    endstate;")
        out.append("  endprocess;")
    for p in range(processes):
        out.append("  signalroute r%d(1) #unicast from P%d to P%d with tok;" % (p, p, (p + 1) % processes))
    out.append("endsystem;")
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--sizes", default="10x10,25x10,50x10,100x10,200x10,10x50,10x100,50x100,200x100")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=int, default=600)
    args = ap.parse_args()
    program = os.path.join(os.path.abspath(args.bin), "statecast")
    if not os.access(program, os.X_OK):
        sys.exit("statecast is not built in %s" % args.bin)
    env = dict(os.environ)
    env.setdefault("VOSHOME", os.path.join(HERE, "..", "frontends", "templates"))
    print("%-10s %8s %8s %10s %10s %10s %10s" % ("size", "IF lines", "places", "trans", "sec", "us/trans", "peak MB"))
    with tempfile.TemporaryDirectory() as tmp:
        for size in args.sizes.split(","):
            p, s = (int(x) for x in size.split("x"))
            spec = ring(p, s)
            with open(os.path.join(tmp, "ring.if"), "w") as f:
                f.write(spec)
            times, peaks = [], []
            for _ in range(args.repeat):
                code, elapsed, peak, err = run([program, "ring.if"], tmp, env, args.timeout)
                if code != 0:
                    sys.exit("statecast failed on %s (exit %d): %s" % (size, code, err))
                times.append(elapsed)
                if peak:
                    peaks.append(peak)
            places, trans = net_size(os.path.join(tmp, "ring.hl_net"))
            t = statistics.median(times)
            print("%-10s %8d %8d %10d %10.3f %10.1f %10s" % (
                size, spec.count("\n"), places, trans, t, 1e6 * t / max(trans, 1),
                "%.1f" % (max(peaks) / 1024.0) if peaks else "-"))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
