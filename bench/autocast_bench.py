#!/usr/bin/env python3
"""Benchmark of autocast: projects of A automata with S states each,
translated into an M-net with its reference file; prints the net size, the
median time, the time per arc and the peak memory.

    python3 bench/autocast_bench.py [--bin build/bin] [--sizes 10x10,100x100]
                                    [--repeat 3] [--timeout 600]

A size AxS is A automata over one global variable x : {0..3}; each
automaton is a ring of S states whose arcs alternately increment x (modulo
4) and test it, plus a chord from every fourth state back to the first, and
has a local variable of its own.  The time per arc should stay flat as A
and S grow: states are found by number and references are numbered without
walking the tables.  Every state, arc, automaton and variable takes a
reference number, of which there are 65535, so A * (2.25 S + 2) stays
below that.  VOSHOME defaults to the source tree's templates.  Not part of
the test run.
"""
import argparse
import os
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from frontend_bench import net_size, run  # noqa: E402


def automaton(index, states):
    """The text of one automaton file and its number of arcs."""
    out = ["VOS", "FiniteAutomaton", "FORMAT_N2", "PL"]
    for s in range(states):
        kind = "1" if s == 0 else ("3" if s == states - 1 else "2")
        out.append('%d %d@%d %s "a%d_s%d"' % (s + 1, 60 * (s % 50), 60 * (s // 50), kind, index, s))
    out.append("AR")
    arcs = []
    for s in range(states):
        if s % 2 == 0:
            label = "<x' = ('x + 1) % 4 and l' = 'l>"
        else:
            label = "<x # 3>"
        arcs.append((s + 1, (s + 1) % states + 1, label))
        if s % 4 == 3:
            arcs.append((s + 1, 1, "<x = 0>"))
    for n, (a, b, label) in enumerate(arcs, 1):
        out.append('%d %d>%d 30@%d 0@0 "%s"' % (n, a, b, 30 + n % 1000, label))
    out += ["TX", '"B(PN)2"', '"var l : {0..1} init 0;"']
    return "\n".join(out) + "\n", len(arcs)


def write_project(directory, automata, states):
    names = []
    arcs = 0
    for a in range(automata):
        name = "a%d.pfa" % a
        text, n = automaton(a, states)
        with open(os.path.join(directory, name), "w") as f:
            f.write(text)
        names.append(name)
        arcs += n
    with open(os.path.join(directory, "p.prj"), "w") as f:
        f.write("VOS\nPROJECT_vosPFA\nVAR\nvar x : {0..3} init 0;\nFA\n" + "\n".join(names) + "\n")
    return arcs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--sizes", default="10x10,100x10,1000x10,2000x10,10x100,10x1000,25x1000")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=int, default=600)
    args = ap.parse_args()
    program = os.path.join(os.path.abspath(args.bin), "autocast")
    if not os.access(program, os.X_OK):
        sys.exit("autocast is not built in %s" % args.bin)
    env = dict(os.environ)
    env.setdefault("VOSHOME", os.path.join(HERE, "..", "frontends", "templates"))
    print("%-10s %8s %8s %8s %10s %10s %10s" % ("size", "arcs", "places", "trans", "sec", "us/arc", "peak MB"))
    for size in args.sizes.split(","):
        automata, states = (int(x) for x in size.split("x"))
        with tempfile.TemporaryDirectory() as tmp:
            arcs = write_project(tmp, automata, states)
            times, peaks = [], []
            for _ in range(args.repeat):
                code, elapsed, peak, err = run([program, "p.prj", "-o", "p.hl_net", "-r", "p.pfa_hl_ref"], tmp, env,
                                               args.timeout)
                if code != 0:
                    sys.exit("autocast failed on %s (exit %d): %s" % (size, code, err[-2000:]))
                times.append(elapsed)
                if peak:
                    peaks.append(peak)
            places, trans = net_size(os.path.join(tmp, "p.hl_net"))
        t = statistics.median(times)
        print("%-10s %8d %8d %8d %10.3f %10.1f %10s" % (
            size, arcs, places, trans, t, 1e6 * t / max(arcs, 1),
            "%.1f" % (max(peaks) / 1024.0) if peaks else "-"))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
