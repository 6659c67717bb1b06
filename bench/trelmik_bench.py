#!/usr/bin/env python3
"""Benchmark of trelmik at scale: time and peak memory per event of the
McMillan loop (-c) on dining philosophers, a token ring and independent
cycles from 10^3 to 10^6 events, of the ERV loop (-@c) up to the largest
net its sparse Parikh vectors allow (65534 transitions), and of buffer
chains, whose prefix grows with the square of the chain.

    python3 bench/trelmik_bench.py [--bin build/bin] [--events 1e3,1e4,1e5,1e6]
                                   [--repeat 3] [--timeout 1800] [--no-erv]

For each family and loop it prints, per size: |E|, the median wall time of
the whole run and of the unfolding alone (trelmik -t), the peak resident
memory, each per event (less the fixed cost of any run, measured first on a
one-transition net: process start and its tables dwarf the events of the
smallest nets), and both per-event figures relative to the size of 10^4
events; then the growth exponent of the run time between the two
largest sizes (1.0 = linear in |E|).  The ERV rows also show the ratio of
the ERV loop's unfolding time to the McMillan loop's on the same net (trelmik
-t prints it to the hundredth of a second) and of the whole runs.
Not part of the tests.
"""
import argparse
import math
import os
import re
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import timed, mci_sizes  # noqa: E402
from nets import philosophers, token_ring, cycles, buffer_chain  # noqa: E402

# name, generator, events per unit of n (McMillan), transitions per unit of n
FAMILIES = [
    ("dph", philosophers, 3, 3),
    ("ring", token_ring, 3, 3),
    ("indep", cycles, 2, 2),
]
ERV_TRANSITION_LIMIT = 65534


def loop_seconds(out):
    m = re.search(rb"time:\s*([0-9.]+) s", out)
    return float(m.group(1)) if m else float("nan")


def run(trelmik, opts, n, gen, tmp, repeat, timeout):
    net = os.path.join(tmp, "net.ll_net")
    with open(net, "w") as f:
        f.write(gen(n))
    base = os.path.join(tmp, "net")
    cmd = [trelmik] + opts + ["-t", "-m=" + base, net]
    walls, loops, peak, code = [], [], 0, None
    runs = repeat
    while len(walls) < runs:
        wall, p, code, out = timed(cmd, tmp, 1, timeout)
        if wall is None:
            return None
        walls.append(wall)
        loops.append(loop_seconds(out))
        peak = max(peak, p)
        if len(walls) == repeat and statistics.median(walls) < 1.0:
            # Short runs: more of them, so that the medians of the wall time
            # and of the loop time (printed to the hundredth of a second)
            # settle.
            runs = 3 * repeat
    wall, loop = statistics.median(walls), statistics.median(loops)
    sizes = mci_sizes(base + ".mci") or (0, 0, 0)
    return {"n": n, "events": sizes[1], "wall": wall, "loop": loop, "peak": peak, "code": code}


def fixed_cost(trelmik, tmp, repeat, timeout):
    """Wall time and peak memory of a run on a one-transition net: what every
    run pays before its first event (process start, tables, output files)."""
    r = run(trelmik, ["-c"], 1, lambda _: 'VOS\nPlainNet\nFORMAT_N\nPL\n1"p"M1\nTR\n1"t"\nTP\nPT\n1>1\nTX\n',
            tmp, repeat, timeout)
    return (r["wall"], r["peak"]) if r else (0.0, 0)


def report(name, loop_name, rows, fixed, reference=None):
    print("%-6s %-3s %8s %9s %9s %9s %10s %9s %8s %9s%s" % (
        name, loop_name, "n", "|E|", "wall s", "loop s", "peak KiB", "us/event", "B/event", "vs 10^4",
        "  ERV/McM loop, wall" if reference is not None else ""))
    # Per event: the whole run less the fixed cost of any run.
    def per_event(r):
        e = max(r["events"], 1)
        return 1e6 * max(r["wall"] - fixed[0], 0.0) / e, 1024.0 * max(r["peak"] - fixed[1], 0) / e
    at4 = min(rows, key=lambda r: abs(math.log10(max(r["events"], 1)) - 4)) if rows else None
    for r in rows:
        us, bpe = per_event(r)
        rel = ""
        if at4:
            us4, bpe4 = per_event(at4)
            rel = "%.2f/%.2f" % (us / us4 if us4 > 0 else float("nan"), bpe / bpe4 if bpe4 > 0 else float("nan"))
        ratio = ""
        if reference is not None and r["n"] in reference:
            mc = reference[r["n"]]
            ratio = "  %s, %.2f" % ("%.2f" % (r["loop"] / mc["loop"]) if mc["loop"] > 0 else "-",
                                    r["wall"] / mc["wall"])
        print("%-6s %-3s %8d %9d %9.3f %9.2f %10d %9.2f %8.0f %9s%s" % (
            name, loop_name, r["n"], r["events"], r["wall"], r["loop"], r["peak"], us, bpe, rel, ratio))
    if len(rows) >= 2:
        a, b = rows[-2], rows[-1]
        if a["events"] > 0 and b["events"] > a["events"] and a["wall"] > 0:
            k = math.log(b["wall"] / a["wall"]) / math.log(b["events"] / a["events"])
            km = math.log(b["peak"] / a["peak"]) / math.log(b["events"] / a["events"])
            print("%-6s %-3s growth exponent between the two largest sizes: time %.2f, memory %.2f" % (
                name, loop_name, k, km))
    print()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--events", default="1e3,1e4,1e5,1e6", help="McMillan sizes in events")
    ap.add_argument("--chains", default="30,100,300", help="buffer chain lengths")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=1800)
    ap.add_argument("--no-erv", action="store_true")
    args = ap.parse_args()
    trelmik = os.path.join(os.path.abspath(args.bin), "trelmik")
    if not os.access(trelmik, os.X_OK):
        sys.exit("trelmik_bench: no trelmik in %s" % args.bin)
    targets = [int(float(x)) for x in args.events.split(",")]
    with tempfile.TemporaryDirectory() as tmp:
        fixed = fixed_cost(trelmik, tmp, max(args.repeat, 3), args.timeout)
        print("fixed cost of a run (one-transition net): %.3f s, %d KiB; the per-event figures leave it out"
              % fixed)
        print()
        for name, gen, per_n, trans_per_n in FAMILIES:
            mc = []
            for e in targets:
                r = run(trelmik, ["-c"], max(2, e // per_n), gen, tmp, args.repeat, args.timeout)
                if r is None:
                    print("%-6s mc  n=%d timeout" % (name, e // per_n))
                    break
                mc.append(r)
            report(name, "mc", mc, fixed)
            if args.no_erv:
                continue
            limit = ERV_TRANSITION_LIMIT // trans_per_n
            sizes = sorted({min(max(2, e // per_n), limit) for e in targets})
            erv, reference = [], {r["n"]: r for r in mc}
            for n in sizes:
                if n not in reference:
                    r = run(trelmik, ["-c"], n, gen, tmp, args.repeat, args.timeout)
                    if r is None:
                        break
                    reference[n] = r
                r = run(trelmik, ["-@c"], n, gen, tmp, args.repeat, args.timeout)
                if r is None:
                    print("%-6s erv n=%d timeout" % (name, n))
                    break
                erv.append(r)
            report(name, "erv", erv, fixed, reference)
        chains = []
        for n in (int(x) for x in args.chains.split(",")):
            r = run(trelmik, ["-c"], n, buffer_chain, tmp, args.repeat, args.timeout)
            if r is None:
                print("buffer mc  n=%d timeout" % n)
                break
            chains.append(r)
        report("buffer", "mc", chains, fixed)


if __name__ == "__main__":
    main()
