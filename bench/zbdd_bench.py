#!/usr/bin/env python3
"""Benchmark of the ZBDD checkers: reachability sets (cyrtal -b), the three
cycle checks on Büchi nets built by pelwick, and movrane's CTL fixpoints
(AG EF p, EG p and E[p U q]), on dining philosophers, token rings and
Milner's cyclic scheduler of growing size.

    python3 bench/zbdd_bench.py [--bin build/bin] [--sizes 50,100,150,200]
                                [--check-sizes 10,20,40] [--families phil,ring,sched]
                                [--model s|m|l|x] [--timeout 600]

Reachability and movrane run on --sizes; the cycle checks, whose macro-step
fixpoints hold far larger intermediate diagrams than the chained
reachability fixpoint, on --check-sizes.

Prints per run the wall time, the peak resident memory, the nodes made
("overall number of nodes"), the live nodes after the run, the garbage
collections, the hits of the fire and binOp caches and their joint hit
rate, as the programs report them.  The package keeps no peak of live
nodes, so none is printed.  Not part of the test run.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

GNU_TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


def philosophers(n):
    """n philosophers taking the left fork, then the right one."""
    s = ["\\beginnet{phil%d}" % n]
    arcs = []
    for i in range(n):
        j = (i + 1) % n
        for p, m in (("think", 1), ("fork", 1), ("hasL", 0), ("eat", 0)):
            s.append("\\place{%s_%d}{\\name{%s_%d} \\init{%d}}" % (p, i, p, i, m))
        for t in ("takeL", "takeR", "release"):
            s.append("\\transition{%s_%d}{\\name{%s_%d}}" % (t, i, t, i))
        arcs += [("think_%d" % i, "takeL_%d" % i), ("fork_%d" % i, "takeL_%d" % i), ("takeL_%d" % i, "hasL_%d" % i),
                 ("hasL_%d" % i, "takeR_%d" % i), ("fork_%d" % j, "takeR_%d" % i), ("takeR_%d" % i, "eat_%d" % i),
                 ("eat_%d" % i, "release_%d" % i), ("release_%d" % i, "think_%d" % i),
                 ("release_%d" % i, "fork_%d" % i), ("release_%d" % i, "fork_%d" % j)]
    s += ["\\arc{a%d}{\\from{%s} \\to{%s}}" % (k, f, t) for k, (f, t) in enumerate(arcs)]
    return "\n".join(s) + "\n\\endnet\n", "eat_0", "think_0"


def ring(n):
    """A token ring: station i may enter its critical section while it holds
    the token, and passes the token on while idle."""
    s = ["\\beginnet{ring%d}" % n]
    arcs = []
    for i in range(n):
        j = (i + 1) % n
        s.append("\\place{idle_%d}{\\name{idle_%d} \\init{1}}" % (i, i))
        s.append("\\place{crit_%d}{\\name{crit_%d} \\init{0}}" % (i, i))
        s.append("\\place{tok_%d}{\\name{tok_%d} \\init{%d}}" % (i, i, 1 if i == 0 else 0))
        for t in ("enter", "leave", "pass"):
            s.append("\\transition{%s_%d}{\\name{%s_%d}}" % (t, i, t, i))
        arcs += [("idle_%d" % i, "enter_%d" % i, "ordinary"), ("enter_%d" % i, "crit_%d" % i, "ordinary"),
                 ("tok_%d" % i, "enter_%d" % i, "readarc"), ("crit_%d" % i, "leave_%d" % i, "ordinary"),
                 ("leave_%d" % i, "idle_%d" % i, "ordinary"), ("tok_%d" % i, "pass_%d" % i, "ordinary"),
                 ("idle_%d" % i, "pass_%d" % i, "readarc"), ("pass_%d" % i, "tok_%d" % j, "ordinary")]
    s += ["\\arc{a%d}{\\from{%s} \\to{%s} \\type{%s}}" % (k, f, t, ty) for k, (f, t, ty) in enumerate(arcs)]
    return "\n".join(s) + "\n\\endnet\n", "crit_0", "idle_0"


def scheduler(n):
    """Milner's cyclic scheduler: cycler i starts its task when it holds the
    turn and is ready, then hands the turn on; the task ends on its own."""
    s = ["\\beginnet{sched%d}" % n]
    arcs = []
    for i in range(n):
        j = (i + 1) % n
        for p, m in (("go", 1 if i == 0 else 0), ("ready", 1), ("busy", 0), ("pass", 0)):
            s.append("\\place{%s_%d}{\\name{%s_%d} \\init{%d}}" % (p, i, p, i, m))
        for t in ("start", "hand", "finish"):
            s.append("\\transition{%s_%d}{\\name{%s_%d}}" % (t, i, t, i))
        arcs += [("go_%d" % i, "start_%d" % i), ("ready_%d" % i, "start_%d" % i), ("start_%d" % i, "busy_%d" % i),
                 ("start_%d" % i, "pass_%d" % i), ("pass_%d" % i, "hand_%d" % i), ("hand_%d" % i, "go_%d" % j),
                 ("busy_%d" % i, "finish_%d" % i), ("finish_%d" % i, "ready_%d" % i)]
    s += ["\\arc{a%d}{\\from{%s} \\to{%s}}" % (k, f, t) for k, (f, t) in enumerate(arcs)]
    return "\n".join(s) + "\n\\endnet\n", "busy_0", "go_0"


FAMILIES = {"phil": philosophers, "ring": ring, "sched": scheduler}

# movrane's formulas over the family's home place p and its proposition q.
CTL = (("AG EF", "AG EF %(p)s"), ("EG", "EG %(p)s"), ("E[U]", "E[%(p)s U %(q)s]"))

# FG !p: the negation of GF p ("p happens infinitely often").
def automaton(prop, with_x):
    return ("\\beginba{%s}\n\\header{2 1}\n\\aps{%s}{1}\n"
            "\\node{T0_init}{\\init \\post{0 1}}\n"
            "\\node{accept_S1}{\\acc{1} \\post{1} \\apslist{-1}}\n\\endba\n") % (
                "LTL2BA_wX" if with_x else "LTL2BA", prop)


def run(cmd, cwd, timeout, stdout=None):
    memfile = os.path.join(cwd, ".mem")
    full = ([GNU_TIME, "-f", "%M", "-o", memfile] if GNU_TIME else []) + cmd
    start = time.monotonic()
    try:
        p = subprocess.run(full, cwd=cwd, timeout=timeout, stdout=stdout or subprocess.PIPE,
                           stderr=subprocess.PIPE)
    except subprocess.TimeoutExpired:
        return None
    wall = time.monotonic() - start
    peak = None
    if GNU_TIME:
        try:
            with open(memfile) as f:
                peak = int(f.read().split()[-1])
        except (OSError, ValueError, IndexError):
            pass
    out = p.stdout.decode("latin-1") if stdout is None else ""
    return wall, peak, p.returncode, out


def hit_rate(out):
    """Hits per lookup of the fire and binOp caches together, in percent."""
    hits = looks = 0
    for name in ("fireUnion", "binOp"):
        m = re.search(name + r" cache hits/miss/sum: (\d+) (\d+) (\d+)", out)
        if not m:
            return "-"
        hits += int(m.group(1))
        looks += int(m.group(3))
    return "%.0f%%" % (100.0 * hits / looks) if looks else "-"


def stats(out):
    def num(pattern):
        m = re.search(pattern, out)
        return m.group(1) if m else "-"
    return {
        "made": num(r"overall number of nodes: (\d+)"),
        "live": num(r"number of nodes in nodes-array: (\d+)"),
        "gc": num(r"number of garbage collections: (\d+)"),
        "fire": num(r"fireUnion cache hits/miss/sum: (\d+)"),
        "binop": num(r"binOp cache hits/miss/sum: (\d+)"),
        "rate": hit_rate(out),
        "states": num(r"#states (\d+)"),
        "verdict": ("true" if re.search(r"Formula is true|formula 1 is TRUE", out) else
                    "false" if re.search(r"Formula is false|formula 1 is FASLE", out) else "-"),
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--sizes", default="50,100,150,200")
    ap.add_argument("--check-sizes", default="10,20,40")
    ap.add_argument("--families", default="phil,ring,sched")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--model", default="m", choices="smlx",
                    help="model size of cyrtal and movrane (a small node array collects often)")
    args = ap.parse_args()
    size = "-" + args.model
    bin_dir = os.path.abspath(args.bin)
    prog = {p: os.path.join(bin_dir, p) for p in ("cyrtal", "movrane", "pelwick")}
    for p, path in prog.items():
        if not os.access(path, os.X_OK):
            sys.exit("zbdd_bench: %s not built in %s" % (p, bin_dir))
    print("%-6s %5s %-14s %8s %8s %9s %8s %5s %10s %10s %5s %7s %s" % (
        "family", "n", "run", "time[s]", "peak[MB]", "made", "live", "gc", "fire hits", "binop hits", "hit%",
        "verdict", "states"))
    with tempfile.TemporaryDirectory() as tmp:
        for fam in args.families.split(","):
            sizes = [int(x) for x in args.sizes.split(",")]
            check_sizes = [int(x) for x in args.check_sizes.split(",")]
            for n in sorted(set(sizes) | set(check_sizes)):
                net, prop, home = FAMILIES[fam](n)
                with open(os.path.join(tmp, "net.apnn"), "w") as f:
                    f.write(net)
                with open(os.path.join(tmp, "net.bn"), "w") as f:
                    f.write(net)
                with open(os.path.join(tmp, "ox.ba"), "w") as f:
                    f.write(automaton(prop, False))
                with open(os.path.join(tmp, "wx.ba"), "w") as f:
                    f.write(automaton(prop, True))
                for k, (_, formula) in enumerate(CTL):
                    with open(os.path.join(tmp, "f%d.ctl" % k), "w") as f:
                        f.write("VERIFY n AGAINST BEGIN %s; END.\n" % (formula % {"p": home, "q": prop}))
                for bn, opt, ba in (("f.bn", "-f", "ox.ba"), ("d.bn", "-d", "wx.ba")):
                    with open(os.path.join(tmp, bn), "w") as out:
                        subprocess.run([prog["pelwick"], opt, "net.apnn", ba], cwd=tmp, stdout=out, check=True)
                runs = [("cyrtal -b (RS)", [prog["cyrtal"], size, "-b", "net.bn"]),
                        ("cyrtal -f", [prog["cyrtal"], size, "-f", "f.bn"]),
                        ("cyrtal -b", [prog["cyrtal"], size, "-b", "f.bn"]),
                        ("cyrtal -d", [prog["cyrtal"], size, "-d", "d.bn"])]
                runs += [("movrane " + name, [prog["movrane"], size, "net.apnn", "f%d.ctl" % k])
                         for k, (name, _) in enumerate(CTL)]
                for name, cmd in runs:
                    if n not in (sizes if name == "cyrtal -b (RS)" or name.startswith("movrane") else check_sizes):
                        continue
                    r = run(cmd, tmp, args.timeout)
                    if r is None:
                        print("%-6s %5d %-14s timeout" % (fam, n, name))
                        continue
                    wall, peak, code, out = r
                    s = stats(out)
                    print("%-6s %5d %-14s %8.2f %8s %9s %8s %5s %10s %10s %5s %7s %s" % (
                        fam, n, name, wall, "%.0f" % (peak / 1024) if peak else "-", s["made"], s["live"], s["gc"],
                        s["fire"], s["binop"], s["rate"], s["verdict"] if code == 0 else "exit%d" % code,
                        s["states"] if name.endswith("(RS)") else ""))
                    sys.stdout.flush()


if __name__ == "__main__":
    main()
